#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Every record the device published for station 1 is the encoding of a record the simulator sent.
void expectOnlySentRecordsPublished(DeviceRig& rig) {
    const auto sent = rig.simulator().sentRecords(1);
    for (const TraData& published : rig.publishedTrackers[1]) {
        bool found = false;
        for (const auto& record : sent)
            found = found || (record.hasPosition && samePose(published, expectedTraData(record, false, false)));
        EXPECT_TRUE(found) << "a published record that was never sent";
    }
}

// A streaming device on station 1 without CAVE coordinates, debug lines on, so that dropped records are reported.
class StreamingDevice : public ::testing::Test {
protected:
    StreamingDevice() {
        hostLog.showDate = hostLog.showTime = hostLog.showThreadId = false;
        hostLog.setName("HOST");
        hostLog.debugLevel = 1;
        rig.reset(new DeviceRig({{1, is900sim::StationKind::tracker}}, 115200, 120.0, &hostLog));
        rig->lines.add("sensors", {"1"}).add("cavecoord", {"off"}); // no alignment waits
        CoutCapture quiet;
        EXPECT_EQ(rig->init(), 1);
        EXPECT_EQ(rig->device()->configure(), 2);
        EXPECT_TRUE(rig->receiveUntil({1}, {}, 3000));
    }
    ~StreamingDevice() override {
        CoutCapture quiet;
        rig->device()->stop();
    }

    // Receives until count more records were published for ID 1.
    std::string receiveRecords(size_t count) {
        CoutCapture capture;
        const size_t target = rig->publishedTrackers[1].size() + count;
        const auto start = Clock::now();
        while (rig->publishedTrackers[1].size() < target && millisecondsSince(start) < 5000)
            if (rig->receive() < 0) break;
        EXPECT_GE(rig->publishedTrackers[1].size(), target);
        return capture.text();
    }

    CLogH hostLog;
    std::unique_ptr<DeviceRig> rig;
};

} // namespace

TEST_F(StreamingDevice, GarbageAndTruncatedRecordsAreDroppedAndTheStreamRecovers) {
    rig->simulator().injectGarbage({'x', 'y', 'z', '\r', '\n'});
    rig->simulator().truncateNextRecord(10);
    const std::string output = receiveRecords(10);
    EXPECT_NE(output.find("HOST: WARNING: CISX00: Got wrong length of data: "), std::string::npos)
        << "the truncated record joins the next one and is dropped for its length";
    expectOnlySentRecordsPublished(*rig);
}

TEST_F(StreamingDevice, AFloatHoldingCrLfCostsThatRecordAndTheNextOnly) {
    rig->simulator().forceCrLfInNextRecord();
    const std::string output = receiveRecords(10);
    EXPECT_NE(output.find("Got wrong length of data: "), std::string::npos);
    expectOnlySentRecordsPublished(*rig);
    for (const auto& sent : rig->simulator().sentRecords(1)) {
        if (!sent.crLfInside) continue;
        for (const TraData& published : rig->publishedTrackers[1])
            EXPECT_FALSE(samePose(published, expectedTraData(sent, false, false)));
    }
}

TEST_F(StreamingDevice, ARecordLongerThanTheBufferIsDroppedWithoutOverflow) {
    std::vector<uint8_t> endless(700, 'x');
    endless[0] = '0';
    rig->simulator().injectGarbage(endless);
    const std::string output = receiveRecords(5);
    EXPECT_NE(output.find("HOST: WARNING: CISX00: Got wrong length of data: 512 Ignored.\n"), std::string::npos);
    expectOnlySentRecordsPublished(*rig);
}

TEST_F(StreamingDevice, AStationDigitBelowOneIsShownUnsignedAndDropped) {
    std::vector<uint8_t> record = {'0', '/', ' '};
    record.resize(27, 0x40);
    record.push_back(0x0D);
    record.push_back(0x0A);
    rig->simulator().injectGarbage(record);
    const std::string output = receiveRecords(5);
    EXPECT_NE(output.find("CISX00: rawID: 4294967295 newTraID: 0\n"), std::string::npos)
        << "the station number -1 and the ID are printed as unsigned numbers";
    expectOnlySentRecordsPublished(*rig);
}

TEST_F(StreamingDevice, SilenceEndsACallAfterTheReadTimeOutWithClearedMasks) {
    rig->simulator().silence(2500);
    CoutCapture quiet;
    Clock::time_point start;
    int result = 0;
    // Drain what was on the line before the silence began.
    do {
        start = Clock::now();
        result = rig->receive();
    } while (millisecondsSince(start) < 800 && result == 1);
    EXPECT_EQ(result, 1);
    EXPECT_GE(millisecondsSince(start), 900);
    EXPECT_LT(millisecondsSince(start), 2000);
    for (unsigned char byte : rig->masks) EXPECT_EQ(byte, 0);
}

TEST_F(StreamingDevice, ClearingTheRunFlagEndsReception) {
    CoutCapture quiet;
    std::atomic<bool> finished{false};
    std::thread host([&] {
        while (rig->receive() == 1) {
        }
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto cleared = Clock::now();
    __atomic_store_n(&rig->runFlag, 0, __ATOMIC_RELAXED);
    host.join();
    EXPECT_TRUE(finished);
    EXPECT_LT(millisecondsSince(cleared), 1500);
    EXPECT_EQ(rig->device()->recvData(rig->masks, nullptr), -1) << "a cleared flag ends the call before any read";
}

TEST_F(StreamingDevice, AHangUpEndsReceptionWithoutABusyLoop) {
    rig->simulator().hangUp();
    CoutCapture capture;
    const auto start = Clock::now();
    int calls = 0;
    while (rig->receive() == 1 && calls < 100) ++calls;
    EXPECT_LT(calls, 100) << "reception must end once the line is gone";
    EXPECT_LT(millisecondsSince(start), 3000);
    EXPECT_NE(capture.text().find("HOST: ERROR: CISX00: Reading error occured.\n"), std::string::npos);
}
