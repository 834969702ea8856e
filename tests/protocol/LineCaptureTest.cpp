// The capture file as the plug-in writes it and the simulator reads it back:
// chunks, events, the header, the write-out once a second, the size limit,
// a failing disk, and the refusal of damaged files.
#include "common/CoutCapture.h"
#include "TestLine.h"
#include "protocol/CRS232H.h"
#include "protocol/LineCapture.h"
#include "sim/CaptureFile.h"
#include "sim/Simulator.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using std::chrono::microseconds;

struct VirtualClock {
    DeviceClock::TimePoint at{};
    DeviceClock clock() {
        DeviceClock c;
        c.now = [this] { return at; };
        c.sleep = [](unsigned long) {};
        return c;
    }
};

std::string temporaryPath(const char* name) {
    return std::string(::testing::TempDir()) + "/" + std::to_string(getpid()) + "-" + name;
}

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string chunkHead(char kind, uint64_t micros, uint32_t length) {
    std::string head(1, kind);
    for (int i = 0; i < 8; ++i) head += static_cast<char>(micros >> (8 * i));
    for (int i = 0; i < 4; ++i) head += static_cast<char>(length >> (8 * i));
    return head;
}

const std::string validHeader = "is900-capture\t1\tport=COM1\tbaud=38400\tread-timeout-ms=1000\n";
const std::string headerText = validHeader.substr(0, validHeader.size() - 1); // as open takes it

std::string refusal(const std::string& bytes) {
    try {
        is900sim::parseCapture(bytes, "f");
    } catch (const is900sim::CaptureError& error) {
        return error.what();
    }
    return "accepted";
}

} // namespace

TEST(LineCapture, WritesWhatTheReaderReadsBackAndWritesOutOnceASecond) {
    VirtualClock time;
    CLogH log;
    const std::string path = temporaryPath("chunks.is900cap");
    LineCapture capture(&log, time.clock());
    std::string header = LineCapture::headerStart("/dev/my port", 38400, 1000);
    const char* port[] = {"port", "/dev/my port"};
    const char* capturing[] = {"capture", "100%.cap", "5"};
    LineCapture::appendOptionField(header, port, 2);
    LineCapture::appendOptionField(header, capturing, 3);
    ASSERT_TRUE(capture.open(path.c_str(), 1 << 20, header));
    capture.bytes(LineCapture::writtenBytes, "C\r", 2);
    time.at += microseconds(100);
    capture.bytes(LineCapture::readBytes, "0", 1);
    time.at += microseconds(300);
    capture.bytes(LineCapture::readBytes, "\r\n", 2); // a record's end ends the chunk
    time.at += microseconds(5000);
    capture.bytes(LineCapture::readBytes, "2", 1);
    capture.event(LineCapture::timedOut);
    capture.event(LineCapture::lineLost);
    capture.event(LineCapture::lineLost); // one loss, reported twice
    capture.event(LineCapture::reopened);
    EXPECT_EQ("", fileText(path)) << "written out before a second passed";
    time.at += std::chrono::seconds(1);
    capture.bytes(LineCapture::readBytes, "3", 1); // written out before this chunk
    const std::string written = fileText(path);
    ASSERT_FALSE(written.empty());

    const is900sim::Capture read = is900sim::parseCapture(written, path);
    EXPECT_EQ("/dev/my port", read.port);
    EXPECT_EQ(38400, read.baudRate);
    ASSERT_EQ(2u, read.optionLines.size());
    EXPECT_EQ((std::vector<std::string>{"capture", "100%.cap", "5"}), read.optionLines[1]);
    std::string kinds, bytes;
    std::vector<uint64_t> times;
    for (const is900sim::CaptureChunk& chunk : read.chunks) {
        kinds += chunk.kind;
        bytes += std::string(chunk.bytes.begin(), chunk.bytes.end()) + "|";
        times.push_back(chunk.micros);
    }
    EXPECT_EQ("WRRTLO", kinds);
    EXPECT_EQ("C\r|0\r\n|2||||", bytes);
    EXPECT_EQ((std::vector<uint64_t>{0, 100, 5400, 5400, 5400, 5400}), times);
    EXPECT_FALSE(read.lastChunkCutShort);
    std::remove(path.c_str());
}

TEST(LineCapture, EndsAtItsLimitWithAWarningAndAtAFailedWriteWithAnError) {
    VirtualClock time;
    CLogH log;
    const std::string path = temporaryPath("limit.is900cap");
    {
        CoutCapture out;
        LineCapture capture(&log, time.clock());
        ASSERT_TRUE(capture.open(path.c_str(), validHeader.size() + 60, headerText));
        const std::string record(29, '0');
        for (int i = 0; i < 3 && capture.active(); ++i, time.at += microseconds(8000))
            capture.bytes(LineCapture::readBytes, record.data(), 29);
        EXPECT_FALSE(capture.active());
        EXPECT_NE(std::string::npos, out.text().find(path + " reached its limit of 0 MiB; capture ended.")) << out.text();
    }
    const std::string kept = fileText(path);
    EXPECT_LE(kept.size(), validHeader.size() + 60);
    EXPECT_EQ(1u, is900sim::parseCapture(kept, path).chunks.size()) << "ends at a chunk's end";
    std::remove(path.c_str());

    CoutCapture out;
    LineCapture full(&log, time.clock());
    ASSERT_TRUE(full.open("/dev/full", 1 << 20, headerText));
    full.bytes(LineCapture::readBytes, "0", 1);
    full.flush();
    EXPECT_FALSE(full.active());
    EXPECT_NE(std::string::npos, out.text().find("/dev/full failed: No space left on device; capture ended."))
        << out.text();
}

TEST(LineCapture, ThePortCapturesWritesReadTimeOutsALostLineOnceAndAReopen) {
    is900sim::SimulatorOptions options;
    options.linkPath = temporaryPath("line");
    is900sim::Simulator tracker(options);
    ASSERT_TRUE(tracker.start());
    CLogH log;
    CoutCapture quiet;
    CRS232H port(&log);
    ASSERT_TRUE(port.openPort(options.linkPath.c_str()));
    PortAttribute quick = trackerAttribute(38400);
    quick.timeouts.ReadTotalTimeoutConstant = 50;
    ASSERT_TRUE(port.setAttribute(&quick));
    const std::string path = temporaryPath("port.is900cap");
    std::unique_ptr<LineCapture> capture(new LineCapture(&log, DeviceClock::system()));
    ASSERT_TRUE(capture->open(path.c_str(), 1 << 20, headerText));
    port.captureTo(std::move(capture));

    unsigned char byte = 0;
    EXPECT_EQ(1u, port.writeData("f", 1));
    EXPECT_EQ(0, port.readData(&byte, 1));
    tracker.unplug(200);
    EXPECT_EQ(-1, port.readData(&byte, 1));
    port.abandonPort();
    ASSERT_TRUE(tracker.waitForLineBack(5000));
    EXPECT_TRUE(port.reopenPort());
    port.closePort();

    std::string kinds;
    for (const is900sim::CaptureChunk& chunk : is900sim::readCapture(path).chunks) kinds += chunk.kind;
    EXPECT_EQ("WTLO", kinds);
    std::remove(path.c_str());
}

TEST(CaptureFile, RefusesDamageByItsOffsetAndKeepsACutShortLastChunk) {
    const std::string read = chunkHead('R', 10, 3) + "0ab";
    EXPECT_EQ("f: byte offset 0: damaged header: not an is900-capture file", refusal("is900-capturx\t1\n"));
    EXPECT_EQ("f: byte offset 0: damaged header: no end of line", refusal("is900-capture\t1"));
    EXPECT_EQ("f: capture format version 2; this program reads version 1", refusal("is900-capture\t2\n"));
    const std::string offsetAfter = "f: byte offset " + std::to_string(validHeader.size() + read.size());
    EXPECT_EQ(offsetAfter + ": damaged chunk: unknown kind", refusal(validHeader + read + chunkHead('X', 20, 0)));
    EXPECT_EQ(offsetAfter + ": damaged chunk: claims 4000000000 bytes",
              refusal(validHeader + read + chunkHead('R', 20, 4000000000u) + "12"));
    EXPECT_EQ(offsetAfter + ": time stamp goes backwards", refusal(validHeader + read + chunkHead('T', 9, 0)));

    const is900sim::Capture cut = is900sim::parseCapture(validHeader + read + chunkHead('R', 20, 29) + "01x", "f");
    ASSERT_EQ(2u, cut.chunks.size());
    EXPECT_TRUE(cut.lastChunkCutShort);
    EXPECT_EQ(validHeader.size() + read.size(), cut.cutShortOffset);
    EXPECT_EQ((std::vector<uint8_t>{'0', '1', 'x'}), cut.chunks[1].bytes);
}
