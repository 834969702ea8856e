// The tracker comes on inside a bring-up of the host, at one byte within
// each command of it: no pose the host publishes is in the tracker's raw
// frame, and records flow again in time. With reconnect off the host brings
// the device up after a silence (the stop's alignment restore, init,
// configure) and confirms that bring-up; with reconnect on the device
// confirms its own set-ups, the one at start-up included.
#include "common/ChildProcess.h"

#include "is900/hostkit/RecordSchema.h"
#include "sim/Records.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <iostream>
#include <mutex>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using is900sim::AlignmentFrame;
using is900sim::SentRecord;

const std::string host = "./is900-host";
const double hostSilenceSeconds = 1;

// The bytes of the commands of a bring-up, in the order they go out.
const std::size_t stopBytes = 1 + 24 + 200;               // 'c', R1..R8, the alignment restored
const std::size_t setUpBytes = 24 + 208 + 8 * 9 + 1 + 1; // R1..R8, the alignment, O1..O8, 'f', 'C'

// One byte inside each command of a set-up that follows `before` bytes.
std::vector<std::size_t> insideSetUp(std::size_t before) {
    std::vector<std::size_t> bytes{before + 12, before + 24 + 100};
    for (std::size_t station = 0; station < 8; ++station) bytes.push_back(before + 24 + 208 + 9 * station + 4);
    bytes.push_back(before + setUpBytes - 1);
    bytes.push_back(before + setUpBytes);
    return bytes;
}

AlignmentFrame configuredFrame() {
    AlignmentFrame frame;
    const double cave[9] = {0, 0, 0, 0, 0, -200, 200, 0, 0};
    is900sim::alignOnTop(frame, cave);
    return frame;
}

// What the host must publish for a record sent in inches, in CAVE coordinates.
struct ExpectedPose {
    float pose[6];
    bool aligned;
};

// Every record the simulator sends, as the pose the host would make of it.
class SentPoses {
public:
    explicit SentPoses(is900sim::Simulator& tracker) {
        tracker.setRecordCallback([this](const SentRecord& record) {
            const float k = 1.0f / 12;
            const float* p = record.position;
            const float* a = record.angles;
            ExpectedPose expected{{k * p[1], -k * p[2], -k * p[0], -a[0], a[1], -a[2]},
                                  is900sim::sameFrame(record.frame, configured)};
            std::lock_guard<std::mutex> lock(mutex);
            poses.push_back(expected);
        });
    }

    // 1: the pose of an aligned record; 0: of a raw one; -1: of none.
    int alignedFor(const float pose[6]) const {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = poses.rbegin(); it != poses.rend(); ++it) {
            bool same = true;
            for (int i = 0; i < 6 && same; ++i) same = std::fabs(it->pose[i] - pose[i]) < 2e-4f;
            if (same) return it->aligned ? 1 : 0;
        }
        return -1;
    }

private:
    const AlignmentFrame configured = configuredFrame();
    mutable std::mutex mutex;
    std::vector<ExpectedPose> poses;
};

// The longest time records took to flow again, said at the end.
struct Slowest {
    double seconds = 0;
    std::size_t byte = 0;
    double of(double taken, std::size_t at) {
        if (taken > seconds) seconds = taken, byte = at;
        return taken;
    }
    ~Slowest() { std::cout << "slowest return: " << seconds << " s, power-on at byte " << byte << std::endl; }
};

class BringUpSweep : public ::testing::Test {
protected:
    // The simulator ends before what its thread tells of records.
    void TearDown() override {
        child.reset();
        tracker.reset();
    }

    void SetUp() override {
        is900sim::SimulatorOptions options;
        options.stations = {{1, is900sim::StationKind::tracker}};
        options.linkPath = testing::TempDir() + "is900-sweep-" + std::to_string(getpid());
        options.bootMs = 0;
        tracker.reset(new is900sim::Simulator(options));
        ASSERT_TRUE(tracker->start()) << tracker->errorText();
        sent.reset(new SentPoses(*tracker));
        link = options.linkPath;
    }

    ChildProcess* startHost(const std::string& options) {
        const std::string config = writeTempFile("sweep.cfg", "port " + link + "\nsensors 1\n" + options);
        child.reset(new ChildProcess({host, "-c", config, "--format", "jsonl", "-q", "--silence",
                                      std::to_string(hostSilenceSeconds)}));
        return child.get();
    }

    // Switched off now; on again right after the byte of that number it
    // receives from now.
    void powerOnAfter(std::size_t byte) {
        tracker->powerCycle(24u * 3600 * 1000);
        tracker->powerOnAfterBytes(byte);
    }

    // Waits for the first tracker record the host publishes after the
    // tracker came on; the seconds since it came on, or -1.
    double secondsUntilPublished(int timeoutMs) {
        const bool published = child->waitForLine(
            [this](const std::string& line) {
                return tracker->poweredOn() && contains(line, "\"type\":\"tracker\"");
            },
            timeoutMs);
        if (!published) return -1;
        return std::chrono::duration<double>(Clock::now() - tracker->poweredOnAt()).count();
    }

    // Lets a few records more go out, then counts the published poses that
    // are of a raw record, or of none. The simulator tells of a record just
    // after it wrote it: once it wrote one more, it has told of every
    // record the host can have published.
    std::size_t unalignedPoses() {
        std::size_t seen = 0;
        child->waitForLine(
            [&seen](const std::string& line) { return contains(line, "\"type\":\"tracker\"") && ++seen > 10; }, 5000);
        EXPECT_TRUE(tracker->waitForRecords(tracker->recordsSent() + 1, 5000));
        std::size_t raw = 0, unknown = 0;
        for (const std::string& text : child->outputLines()) {
            if (!contains(text, "\"type\":\"tracker\"")) continue;
            const int aligned = sent->alignedFor(is900::hostkit::readJsonLine(text).record.pose);
            raw += aligned == 0;
            unknown += aligned < 0;
            if (aligned != 1) ADD_FAILURE() << (aligned ? "a pose of no record sent: " : "a raw pose: ") << text;
        }
        return raw + unknown;
    }

    std::unique_ptr<is900sim::Simulator> tracker;
    std::unique_ptr<SentPoses> sent;
    std::unique_ptr<ChildProcess> child;
    std::string link;
};

} // namespace

// Without reconnect the host brings the device up after each silence; the
// tracker comes on inside the stop's commands or the set-up's, and the
// host's confirming bring-up makes every published pose aligned.
TEST_F(BringUpSweep, AHostBringUpAfterASilenceIsConfirmedWithReconnectOff) {
    startHost("");
    ASSERT_GE(secondsUntilPublished(15000), 0) << child->errors();
    std::vector<std::size_t> bytes{1, 1 + 12, 1 + 24 + 100};
    for (std::size_t byte : insideSetUp(stopBytes)) bytes.push_back(byte);
    Slowest slowest;
    for (std::size_t byte : bytes) {
        powerOnAfter(byte);
        const double seconds = slowest.of(secondsUntilPublished(30000), byte);
        ASSERT_GE(seconds, 0) << "no record after a power-on at byte " << byte << "\n" << child->errors();
        // The silence, a back-off of at most 2 s, and a bring-up with its confirmation.
        EXPECT_LE(seconds, hostSilenceSeconds + 2 + 4) << "power-on at byte " << byte;
        ASSERT_EQ(unalignedPoses(), 0u) << "power-on at byte " << byte << "\n" << child->errors();
    }
    child->sendSignal(SIGINT);
    EXPECT_EQ(child->waitForExit(10000), 0) << child->errors();
    EXPECT_TRUE(contains(child->errors(), "answers; bringing it up once more before its records are used"));
}

// With reconnect on the device confirms the set-up of a host's start-up
// that the tracker hears only in part, and recovers from a power cycle by
// itself.
TEST_F(BringUpSweep, AStartUpSetUpIsConfirmedWithReconnectOn) {
    Slowest slowest;
    for (std::size_t byte : insideSetUp(0)) {
        powerOnAfter(byte);
        startHost("reconnect on 1\n");
        const double seconds = slowest.of(secondsUntilPublished(20000), byte);
        ASSERT_GE(seconds, 0) << "no record after a power-on at byte " << byte << "\n" << child->errors();
        EXPECT_LE(seconds, 2 * 1 + 3) << "power-on at byte " << byte;
        EXPECT_EQ(unalignedPoses(), 0u) << "power-on at byte " << byte;
        child->sendSignal(SIGINT);
        ASSERT_EQ(child->waitForExit(10000), 0) << child->errors();
    }

    // A silence longer than --silence is the device's to recover from, not the host's.
    startHost("reconnect on 1\n");
    ASSERT_GE(secondsUntilPublished(20000), 0) << child->errors();
    tracker->powerCycle(static_cast<unsigned long>(hostSilenceSeconds * 2000));
    ASSERT_GE(secondsUntilPublished(20000), 0) << child->errors();
    EXPECT_EQ(unalignedPoses(), 0u);
    child->sendSignal(SIGINT);
    ASSERT_EQ(child->waitForExit(10000), 0) << child->errors();
    EXPECT_FALSE(contains(child->errors(), "no record from the tracker")) << child->errors();
}
