// Recovery on the in-memory line against the simulator's command model, on
// a virtual clock: the tracker comes on after each byte position of a
// repeated set-up, and the mended faults of recovery (stop, a reopen whose
// settings fail, the settings put back at close).
#include "boundary/CBase.h"
#include "common/CoutCapture.h"
#include "common/OptionLinesBuilder.h"
#include "common/KitRecords.h"
#include "common/MemoryTracker.h"
#include "storage/FixedPoint.h"
#include "support/DeviceClock.h"

#include <gtest/gtest.h>

#include <functional>

extern "C" CBase* createDev(DevConfig* config, CLogH* log);
extern "C" bool deleteDev(CBase* device);

namespace {

using TimePoint = DeviceClock::TimePoint;
using std::chrono::milliseconds;

const char portName[] = "memory-tracker";

// Time passes only where the device sleeps and where the line waits.
struct VirtualTime : memorytracker::LineTime {
    TimePoint current = TimePoint() + std::chrono::hours(1);
    TimePoint now() override { return current; }
    void pass(milliseconds span) override { current += span; }
};

// A published pose as x, y, z in feet and angles in degrees.
void decoded(const TraData& record, float pose[6]) {
    const uint32_t TraData::*fields[] = {&TraData::x, &TraData::y, &TraData::z,
                                         &TraData::azim, &TraData::elev, &TraData::roll};
    for (int i = 0; i < 6; ++i) pose[i] = fixedpoint::decodePose(record.*fields[i]);
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

bool maskHas(const unsigned char* mask, uint32_t id) { return (mask[3 - (id - 1) / 8] >> ((id - 1) % 8) & 1) != 0; }

// A device with station 1 on the in-memory line, reconnect on, streaming.
class MemoryLineRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        DeviceClock clock;
        clock.now = [this] { return time.now(); };
        clock.sleep = [this](unsigned long ms) { time.pass(milliseconds(ms)); };
        DeviceClock::install(clock);
        platform::memory::replaceLine(portName);
        platform::memory::setLinePeer(&peer);
        lines.add("port", {portName}).add("sensors", {"1"}).add("reconnect", {"on", "1"});
        is900::hostkit::DevInitInfo kitInfo = is900::hostkit::deviceInitInfo(trackers, controllers, &runFlag);
        info = *kitrecords::plugin(&kitInfo);
        startDevice();
    }
    void TearDown() override {
        stopDevice();
        platform::memory::setLinePeer(nullptr);
        platform::memory::failSettings(false);
        platform::memory::failWrites(false);
        platform::memory::failReads(false);
        DeviceClock::install(DeviceClock::system());
    }

    // A new device, its tracker switched off until the byte of that number
    // that configure sends (on with 0).
    void startDevice(size_t onAfterByte = 0) {
        CoutCapture quiet;
        device = createDev(lines.get(), nullptr);
        trackers.setRecordCount(0); // the same record ID for every device, as a host gives it
        ASSERT_EQ(device->init(&info), 1);
        if (onAfterByte > 0) peer.switchOff(onAfterByte);
        ASSERT_EQ(device->configure(), 2);
    }
    void stopDevice() {
        CoutCapture quiet;
        if (!device) return;
        device->stop();
        deleteDev(device);
        device = nullptr;
    }

    // One call; a published pose must be one sent in the configured frame.
    int receive(bool& published) {
        const int result = device->recvData(masks, nullptr);
        published = maskHas(masks, 1);
        if (published) {
            TraData record;
            EXPECT_TRUE(kitrecords::readTraData(trackers, 1, record));
            float pose[6];
            decoded(record, pose);
            EXPECT_TRUE(peer.sentAligned(pose)) << "a pose outside the configured frame";
        }
        return result;
    }

    // Silence with writes refused: the repeated set-up fails and the line is dropped.
    void loseTheLine() {
        platform::memory::failWrites(true);
        peer.switchOff(0);
        bool published = false;
        for (int call = 0; call < 100 && platform::memory::openLineCount() > 0; ++call) receive(published);
        ASSERT_EQ(platform::memory::openLineCount(), 0u);
        platform::memory::failWrites(false);
    }

    enum class SetUpKind { startUp, afterSilence, afterReopen };

    // The tracker comes on right after the byte of that number of a set-up of
    // that kind; every pose published from then on must be aligned (receive
    // checks it). The virtual time from the power-on until a pose is
    // published, or -1 when no set-up reached the tracker.
    long long powerOnInside(SetUpKind kind, size_t byte) {
        bool published = true;
        while (published) receive(published); // the records the line still held
        if (kind == SetUpKind::startUp) {
            stopDevice();
            startDevice(byte);
        } else {
            if (kind == SetUpKind::afterReopen) loseTheLine();
            peer.switchOff(byte);
        }
        for (const TimePoint offAt = time.current; !peer.on() && time.current - offAt < milliseconds(10000);)
            receive(published);
        if (!peer.on()) return -1;
        untilPublished(milliseconds(20000));
        return std::chrono::duration_cast<milliseconds>(time.current - peer.cameOnAt()).count();
    }

    // Calls until a pose is published; the virtual time that took.
    milliseconds untilPublished(milliseconds limit) {
        const TimePoint start = time.current;
        bool published = false;
        while (!published && time.current - start < limit) EXPECT_EQ(receive(published), 1);
        return std::chrono::duration_cast<milliseconds>(time.current - start);
    }

    VirtualTime time;
    memorytracker::TrackerPeer peer{time};
    OptionLinesBuilder lines;
    is900::hostkit::HostStorage trackers{is900::hostkit::StorageKind::tracker};
    is900::hostkit::HostStorage controllers{is900::hostkit::StorageKind::controller};
    DevInitInfo info;
    int32_t runFlag = 1;
    unsigned char masks[8] = {};
    CBase* device = nullptr;
};

} // namespace

// Start-up's set-up, one repeated after a silence and one after a reopened
// line: each may reach a tracker that comes on in its middle, and is
// confirmed before a pose is published.
TEST_F(MemoryLineRecovery, ATrackerThatComesOnAfterAnyByteOfAnySetUpIsAlignedBeforeItsPosesArePublished) {
    CoutCapture quiet;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    // The length of a repeated set-up: the bytes written while the tracker stays off.
    peer.switchOff(0);
    const size_t before = peer.bytesWritten();
    bool published = false;
    while (peer.bytesWritten() == before) receive(published);
    const size_t setUpLength = peer.bytesWritten() - before;
    EXPECT_EQ(setUpLength, 24u + 208u + 8 * 9u + 2u);
    peer.switchOn();
    ASSERT_LT(untilPublished(milliseconds(10000)).count(), 10000);

    const long long boundMs = 2 * 1000 + 3000; // no boot time, silence limit 1 s
    const struct {
        SetUpKind kind;
        const char* name;
    } kinds[] = {{SetUpKind::startUp, "start-up"},
                 {SetUpKind::afterSilence, "after a silence"},
                 {SetUpKind::afterReopen, "after a reopened line"}};
    for (const auto& kind : kinds) {
        for (size_t byte = 1; byte <= setUpLength && !HasFailure(); ++byte) {
            const long long resumedMs = powerOnInside(kind.kind, byte);
            ASSERT_GE(resumedMs, 0) << "no set-up reached the tracker, " << kind.name << ", byte " << byte;
            EXPECT_LE(resumedMs, boundMs) << "streaming resumed too late, " << kind.name << ", power-on at byte " << byte;
        }
    }
}

TEST_F(MemoryLineRecovery, AfterStopNothingIsOpenedOrWritten) {
    CoutCapture quiet;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    device->stop();
    const size_t opened = platform::memory::openedLineCount();
    const size_t written = peer.bytesWritten();
    for (const TimePoint start = time.current; time.current - start < milliseconds(5000); time.pass(milliseconds(100)))
        EXPECT_EQ(device->recvData(masks, nullptr), -1);
    EXPECT_EQ(platform::memory::openedLineCount(), opened);
    EXPECT_EQ(peer.bytesWritten(), written);
}

TEST_F(MemoryLineRecovery, AReopenWhoseSettingsFailIsRetriedAndNoCallWaitsForEver) {
    CoutCapture capture;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    loseTheLine();
    // A new adapter under the same name, whose settings do not apply for now.
    platform::memory::replaceLine(portName);
    platform::memory::failSettings(true);
    peer.switchOn();
    const size_t opened = platform::memory::openedLineCount();
    for (const TimePoint start = time.current; time.current - start < milliseconds(5000);) {
        const TimePoint callStart = time.current;
        EXPECT_EQ(device->recvData(masks, nullptr), 1);
        EXPECT_LE(std::chrono::duration_cast<milliseconds>(time.current - callStart).count(), 1500);
    }
    EXPECT_FALSE(peer.blockedForever);
    EXPECT_GE(platform::memory::openedLineCount(), opened + 4) << "a reopen each second";
    EXPECT_EQ(platform::memory::openLineCount(), 0u) << "a line without its settings is not used";
    platform::memory::failSettings(false);
    EXPECT_LT(untilPublished(milliseconds(10000)).count(), 10000);
    const std::string output = capture.text();
    size_t errors = 0;
    for (size_t at = output.find("ERROR: CRS232H: Setting attribute"); at != std::string::npos;
         at = output.find("ERROR: CRS232H: Setting attribute", at + 1))
        ++errors;
    EXPECT_EQ(errors, 1u) << "later failures of the outage are debug lines\n" << output;
}

TEST_F(MemoryLineRecovery, ThePortsOriginalSettingsArePutBackAtCloseAfterAReopen) {
    CoutCapture quiet;
    ASSERT_EQ(platform::memory::lineControl(portName).BaudRate, 38400u);
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    loseTheLine();
    peer.switchOn();
    EXPECT_LT(untilPublished(milliseconds(10000)).count(), 10000);
    EXPECT_EQ(platform::memory::openLineCount(), 1u);
    device->stop();
    EXPECT_EQ(platform::memory::lineControl(portName).BaudRate, 9600u) << "the settings found at the first open";
}

// A line that opens again and fails at once is still the same spell: one
// warning, one line saying it is back, and the two error lines of the first
// failed read, not a set of lines every second.
TEST_F(MemoryLineRecovery, ALineThatKeepsFailingAfterReopeningIsToldOncePerSpell) {
    CoutCapture capture;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    platform::memory::failReads(true);
    const size_t opened = platform::memory::openedLineCount();
    for (const TimePoint start = time.current; time.current - start < milliseconds(6000);)
        ASSERT_EQ(device->recvData(masks, nullptr), 1);
    EXPECT_GE(platform::memory::openedLineCount(), opened + 3) << "a reopen, and its set-up, every two seconds";
    platform::memory::failReads(false);
    EXPECT_LT(untilPublished(milliseconds(10000)).count(), 10000);
    const std::string output = capture.text();
    EXPECT_EQ(occurrences(output, "WARNING: CISX00: Lost the line on"), 1u) << output;
    EXPECT_EQ(occurrences(output, "is back; streaming again."), 1u) << output;
    EXPECT_EQ(occurrences(output, "ERROR:"), 2u) << output;
    EXPECT_EQ(occurrences(output, "ERROR: CISX00: Reading error occured."), 1u) << output;
}

// Set-up commands that keep failing on a line opened again are errors only
// up to the first reopen.
TEST_F(MemoryLineRecovery, SetUpErrorsAreQuietAfterTheFirstFailedReopen) {
    CoutCapture capture;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    loseTheLine();
    platform::memory::failWrites(true);
    const size_t opened = platform::memory::openedLineCount();
    for (const TimePoint start = time.current; time.current - start < milliseconds(5000);)
        ASSERT_EQ(device->recvData(masks, nullptr), 1);
    EXPECT_GE(platform::memory::openedLineCount(), opened + 4) << "a reopen each second";
    const std::string output = capture.text();
    EXPECT_EQ(occurrences(output, "ERROR: CISX00: Could not set data format."), 2u)
        << "the repeated set-up that lost the line and the first reopen's\n" << output;
}

// A run flag cleared while the tracker is silent ends reception before a
// set-up is repeated: nothing more is said or sent to the tracker.
TEST_F(MemoryLineRecovery, AClearedRunFlagEndsReceptionBeforeASetUpIsRepeated) {
    CoutCapture capture;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    peer.switchOff(0);
    peer.onSilentRead = [this] { runFlag = 0; };
    const size_t written = peer.bytesWritten();
    EXPECT_EQ(device->recvData(masks, nullptr), -1);
    EXPECT_EQ(peer.bytesWritten(), written);
    EXPECT_EQ(occurrences(capture.text(), "repeating the streaming set-up"), 0u) << capture.text();
    runFlag = 1;
}
