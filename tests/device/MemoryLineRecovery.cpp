// Recovery on the in-memory line against the simulator's command model, on
// a virtual clock: the tracker comes on after each byte position of a
// repeated set-up, and the mended faults of recovery (stop, a reopen whose
// settings fail, the settings put back at close).
#include "boundary/CBase.h"
#include "common/CoutCapture.h"
#include "common/OptionLinesBuilder.h"
#include "common/KitRecords.h"
#include "platform/memory/MemoryLine.h"
#include "sim/Commands.h"
#include "sim/Motion.h"
#include "sim/Records.h"
#include "storage/FixedPoint.h"
#include "support/DeviceClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>

extern "C" CBase* createDev(DevConfig* config, CLogH* log);
extern "C" bool deleteDev(CBase* device);

namespace {

using namespace is900sim;
using TimePoint = DeviceClock::TimePoint;
using std::chrono::milliseconds;

const char portName[] = "memory-tracker";
const double recordSeconds = 1.0 / 120;

// Time passes only where the device sleeps and where the line waits.
struct VirtualTime {
    TimePoint now = TimePoint() + std::chrono::hours(1);
    void pass(milliseconds span) { now += span; }
};

AlignmentFrame configuredFrame() {
    AlignmentFrame frame;
    const double cave[9] = {0, 0, 0, 0, 0, -200, 200, 0, 0};
    alignOnTop(frame, cave);
    return frame;
}

// One head sensor on station 1, as the simulator's command model runs it.
class TrackerPeer : public platform::memory::LinePeer {
public:
    explicit TrackerPeer(VirtualTime& time) : time(time), motion(StationSetup{}, 7) { settings.powerUp({StationSetup{}}, false); }

    void written(const uint8_t* bytes, size_t size) override {
        bytesWritten += size;
        for (size_t i = 0; i < size; ++i) {
            if (!on) {
                if (bytesUntilOn > 0 && --bytesUntilOn == 0) switchOn();
                continue;
            }
            std::string command;
            if (splitter.feed(bytes[i], command)) applyCommand(command, settings);
        }
    }

    size_t read(uint8_t* buffer, size_t size, unsigned long timeoutMs) override {
        if (pending.empty() && on && settings.continuous) sendRecord();
        if (pending.empty()) {
            if (timeoutMs == 0) blockedForever = true;
            time.pass(timeoutMs == 0 ? milliseconds(3600000) : milliseconds(timeoutMs));
            return 0;
        }
        size_t count = 0;
        for (; count < size && !pending.empty(); ++count) buffer[count] = pending.front(), pending.pop_front();
        return count;
    }

    void discard() override { pending.clear(); }

    void switchOff(size_t onAfterBytes) {
        on = false;
        bytesUntilOn = onAfterBytes;
    }
    void switchOn() {
        on = true;
        onAt = time.now;
        settings.powerUp({StationSetup{}}, false);
        splitter = CommandSplitter();
    }

    // The poses the device may publish: those of records sent in the configured frame.
    std::deque<TraData> aligned;
    bool on = true;
    bool blockedForever = false;
    size_t bytesWritten = 0;
    TimePoint onAt;

private:
    void sendRecord() {
        time.pass(milliseconds(8));
        const Sample sample = motion.next(seconds += recordSeconds);
        const SentRecord record = encodeRecord(1, settings.outputLists[1], settings.binary, false,
                                               seenInFrame(settings.frames[1], sample), false);
        pending.insert(pending.end(), record.bytes.begin(), record.bytes.end());
        if (!sameFrame(settings.frames[1], configuredFrame())) return;
        TraData expected;
        expected.clear();
        const float k = 1.0f / 12;
        expected.setX(k * record.position[1]);
        expected.setY(-k * record.position[2]);
        expected.setZ(-k * record.position[0]);
        expected.setAzim(-record.angles[0]);
        expected.setElev(record.angles[1]);
        expected.setRoll(-record.angles[2]);
        aligned.push_back(expected);
        if (aligned.size() > 64) aligned.pop_front();
    }

    VirtualTime& time;
    TrackerSettings settings;
    CommandSplitter splitter;
    StationMotion motion;
    std::deque<uint8_t> pending;
    size_t bytesUntilOn = 0;
    double seconds = 0;
};

bool near(const TraData& published, const TraData& sent) {
    const uint32_t TraData::*position[] = {&TraData::x, &TraData::y, &TraData::z};
    const uint32_t TraData::*angles[] = {&TraData::azim, &TraData::elev, &TraData::roll};
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(fixedpoint::decodePose(published.*position[i]) - fixedpoint::decodePose(sent.*position[i])) > 1e-4f)
            return false;
        if (std::fabs(fixedpoint::decodePose(published.*angles[i]) - fixedpoint::decodePose(sent.*angles[i])) > 1e-3f)
            return false;
    }
    return true;
}

bool maskHas(const unsigned char* mask, uint32_t id) { return (mask[3 - (id - 1) / 8] >> ((id - 1) % 8) & 1) != 0; }

// A device with station 1 on the in-memory line, reconnect on, streaming.
class MemoryLineRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        DeviceClock clock;
        clock.now = [this] { return time.now; };
        clock.sleep = [this](unsigned long ms) { time.pass(milliseconds(ms)); };
        DeviceClock::install(clock);
        platform::memory::replaceLine(portName);
        platform::memory::setLinePeer(&peer);
        lines.add("port", {portName}).add("sensors", {"1"}).add("reconnect", {"on", "1"});
        device = createDev(lines.get(), nullptr);
        is900::hostkit::DevInitInfo kitInfo = is900::hostkit::deviceInitInfo(trackers, controllers, &runFlag);
        info = *kitrecords::plugin(&kitInfo);
        CoutCapture quiet;
        ASSERT_EQ(device->init(&info), 1);
        ASSERT_EQ(device->configure(), 2);
    }
    void TearDown() override {
        CoutCapture quiet;
        device->stop();
        deleteDev(device);
        platform::memory::setLinePeer(nullptr);
        platform::memory::failSettings(false);
        platform::memory::failWrites(false);
        DeviceClock::install(DeviceClock::system());
    }

    // One call; a published pose must be one sent in the configured frame.
    int receive(bool& published) {
        const int result = device->recvData(masks, nullptr);
        published = maskHas(masks, 1);
        if (published) {
            TraData pose;
            EXPECT_TRUE(kitrecords::readTraData(trackers, 1, pose));
            bool known = false;
            for (const TraData& sent : peer.aligned) known = known || near(pose, sent);
            EXPECT_TRUE(known) << "a pose outside the configured frame";
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

    // Calls until a pose is published; the virtual time that took.
    milliseconds untilPublished(milliseconds limit) {
        const TimePoint start = time.now;
        bool published = false;
        while (!published && time.now - start < limit) EXPECT_EQ(receive(published), 1);
        return std::chrono::duration_cast<milliseconds>(time.now - start);
    }

    VirtualTime time;
    TrackerPeer peer{time};
    OptionLinesBuilder lines;
    is900::hostkit::HostStorage trackers{is900::hostkit::StorageKind::tracker};
    is900::hostkit::HostStorage controllers{is900::hostkit::StorageKind::controller};
    DevInitInfo info;
    int32_t runFlag = 1;
    unsigned char masks[8] = {};
    CBase* device = nullptr;
};

} // namespace

TEST_F(MemoryLineRecovery, ATrackerThatComesOnAfterAnyByteOfTheSetUpIsAlignedBeforeItsPosesArePublished) {
    CoutCapture quiet;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    // The length of a repeated set-up: the bytes written while the tracker stays off.
    peer.switchOff(0);
    const size_t before = peer.bytesWritten;
    bool published = false;
    while (peer.bytesWritten == before) receive(published);
    const size_t setUpLength = peer.bytesWritten - before;
    EXPECT_EQ(setUpLength, 24u + 208u + 8 * 9u + 2u);
    peer.switchOn();
    ASSERT_LT(untilPublished(milliseconds(10000)).count(), 10000);

    const milliseconds bound(2 * 1000 + 3000); // no boot time, silence limit 1 s
    for (size_t byte = 1; byte <= setUpLength; ++byte) {
        peer.switchOff(byte);
        published = true;
        while (published) receive(published); // the records the line still held
        const TimePoint offAt = time.now;
        while (!peer.on && time.now - offAt < milliseconds(10000)) receive(published);
        ASSERT_TRUE(peer.on) << "no set-up reached the tracker, byte " << byte;
        const TimePoint onAt = peer.onAt;
        untilPublished(milliseconds(20000));
        EXPECT_LE(std::chrono::duration_cast<milliseconds>(time.now - onAt).count(), bound.count())
            << "streaming resumed too late after power-on at byte " << byte;
        if (HasFailure()) break;
    }
}

TEST_F(MemoryLineRecovery, AfterStopNothingIsOpenedOrWritten) {
    CoutCapture quiet;
    ASSERT_LT(untilPublished(milliseconds(2000)).count(), 2000);
    device->stop();
    const size_t opened = platform::memory::openedLineCount();
    const size_t written = peer.bytesWritten;
    for (const TimePoint start = time.now; time.now - start < milliseconds(5000); time.pass(milliseconds(100)))
        EXPECT_EQ(device->recvData(masks, nullptr), -1);
    EXPECT_EQ(platform::memory::openedLineCount(), opened);
    EXPECT_EQ(peer.bytesWritten, written);
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
    for (const TimePoint start = time.now; time.now - start < milliseconds(5000);) {
        const TimePoint callStart = time.now;
        EXPECT_EQ(device->recvData(masks, nullptr), 1);
        EXPECT_LE(std::chrono::duration_cast<milliseconds>(time.now - callStart).count(), 1500);
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
