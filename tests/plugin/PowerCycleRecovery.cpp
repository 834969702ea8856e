// Power cycles of the tracker over the pseudo-terminal, with reconnect on:
// the device links the core and shares a skipping clock with the simulator,
// so that seconds of silence and boot pass in a fraction of that.
#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "sim/Records.h"
#include "storage/FixedPoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

extern "C" CBase* createDev(DevConfig* config, CLogH* log);
extern "C" bool deleteDev(CBase* device);

namespace {

using is900sim::AlignmentFrame;
using is900sim::SentRecord;
using is900sim::sameFrame;

const unsigned long bootMs = 3000;
// An empty call stands for this much of a silent line's time.
const unsigned long silentStepMs = 250;

AlignmentFrame configuredFrame() {
    AlignmentFrame frame;
    const double cave[9] = {0, 0, 0, 0, 0, -200, 200, 0, 0};
    is900sim::alignOnTop(frame, cave);
    return frame;
}

// Within 1e-4 ft and 1e-3 degrees of what the device must make of the sent record.
bool poseOf(const TraData& published, const SentRecord& sent) {
    const TraData expected = expectedTraData(sent, true, false);
    const uint32_t TraData::*fields[] = {&TraData::x, &TraData::y, &TraData::z,
                                         &TraData::azim, &TraData::elev, &TraData::roll};
    for (int i = 0; i < 6; ++i)
        if (std::fabs(fixedpoint::decodePose(published.*fields[i]) - fixedpoint::decodePose(expected.*fields[i])) >
            (i < 3 ? 1e-4 : 1e-3))
            return false;
    return true;
}

// The published poses that no record sent in the configured frame explains.
std::size_t unexplained(const std::vector<TraData>& published, const std::vector<SentRecord>& sent) {
    const AlignmentFrame configured = configuredFrame();
    std::size_t count = 0;
    for (const TraData& record : published) {
        bool explained = false;
        for (auto it = sent.rbegin(); !explained && it != sent.rend(); ++it)
            explained = sameFrame(it->frame, configured) && poseOf(record, *it);
        count += !explained;
    }
    return count;
}

struct Cycle {
    unsigned long offMs;
    unsigned long silenceSeconds;
};

class PowerCycle : public ::testing::TestWithParam<Cycle> {};

} // namespace

TEST_P(PowerCycle, StreamingResumesInTheConfiguredFrameInTime) {
    const Cycle cycle = GetParam();
    SkippingClock clock;
    InstalledDeviceClock installed(clock.deviceClock());
    const LinkedDevice linked{createDev, deleteDev, [&clock] { return clock.now(); }, bootMs};
    DeviceRig rig({{1, is900sim::StationKind::tracker}}, 115200, 120.0, nullptr, "", &linked);
    rig.lines.add("sensors", {"1"}).add("reconnect", {"on", std::to_string(cycle.silenceSeconds)});
    CoutCapture quiet;
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 2);
    ASSERT_TRUE(rig.receiveUntil({1}, {}, 5000));

    rig.simulator().powerCycle(cycle.offMs);
    const SkippingClock::TimePoint poweredAgain = clock.now() + std::chrono::milliseconds(cycle.offMs);
    const long long allowedMs = bootMs + 2000 * cycle.silenceSeconds + 3000;
    std::size_t before = rig.publishedTrackers[1].size();
    long long resumedMs = -1;
    while (resumedMs < 0 && clock.millisecondsSince(poweredAgain) < allowedMs + 10000) {
        ASSERT_EQ(rig.receive(), 1);
        if (rig.publishedTrackers[1].size() > before && rig.simulator().poweredOn())
            resumedMs = clock.millisecondsSince(poweredAgain);
        else if (rig.publishedTrackers[1].size() == before)
            clock.skip(silentStepMs - SkippingClock::readTimeoutMs);
        before = rig.publishedTrackers[1].size();
    }
    ASSERT_GE(resumedMs, 0) << "streaming resumed\n" << quiet.text();
    EXPECT_LE(resumedMs, allowedMs);
    // A while of streaming after the return.
    const std::size_t resumedAt = rig.publishedTrackers[1].size();
    for (int calls = 0; rig.publishedTrackers[1].size() < resumedAt + 60 && calls < 1000; ++calls)
        ASSERT_EQ(rig.receive(), 1);
    rig.device()->stop();

    EXPECT_EQ(unexplained(rig.publishedTrackers[1], rig.simulator().sentRecords(1)), 0u)
        << "of " << rig.publishedTrackers[1].size() << " published poses";
}

INSTANTIATE_TEST_SUITE_P(OffAndSilenceLimit, PowerCycle,
                         ::testing::Values(Cycle{2000, 1}, Cycle{4000, 1}, Cycle{7000, 1}, Cycle{15000, 1},
                                           Cycle{2000, 3}, Cycle{4000, 3}, Cycle{7000, 3}, Cycle{15000, 3}),
                         [](const ::testing::TestParamInfo<Cycle>& info) {
                             return std::to_string(info.param.offMs / 1000) + "s_off_" +
                                    std::to_string(info.param.silenceSeconds) + "s_silence";
                         });
