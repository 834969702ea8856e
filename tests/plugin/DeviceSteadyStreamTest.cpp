#include "DeviceRig.h"

#include "common/CoutCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// The simulator's records for a station in the form the device must publish them.
std::vector<TraData> expectedSequence(const std::vector<is900sim::SentRecord>& sent) {
    std::vector<TraData> expected;
    for (const auto& record : sent)
        if (record.hasPosition && !record.truncated && !record.crLfInside)
            expected.push_back(expectedTraData(record, false, false));
    return expected;
}

// Walks the sent sequence: each record is either the next published one or
// equal to the last published one (unchanged records are not published again).
// Returns the index of the last sent record accounted for, or -1 on a mismatch.
long accountFor(const std::vector<TraData>& expected, const std::vector<TraData>& published) {
    if (published.empty()) return -1;
    size_t first = 0;
    while (first < expected.size() && !samePose(expected[first], published[0])) ++first;
    if (first >= expected.size() || first > 3) return -1; // at most the first records may be cut by the start
    size_t next = 1;
    long last = static_cast<long>(first);
    for (size_t j = first + 1; j < expected.size() && next < published.size(); ++j) {
        if (samePose(expected[j], published[next])) {
            ++next;
        } else if (!samePose(expected[j], published[next - 1])) {
            return -1;
        }
        last = static_cast<long>(j);
    }
    return next == published.size() ? last : -1;
}

} // namespace

// Several stations at the line's full speed for ten seconds: every record the
// simulator sent that differs from its station's previous one is published,
// in order, and none is corrupted.
TEST(DeviceSteadyStream, NothingIsLostOrCorruptedAtFullLineSpeed) {
    DeviceRig rig({{1, is900sim::StationKind::tracker},
                   {2, is900sim::StationKind::tracker},
                   {3, is900sim::StationKind::both}},
                  115200, 120.0);
    rig.lines.add("sensors", {"1", "1", "1"}).add("controllers", {"0", "0", "1"}).add("cavecoord", {"off"});
    CoutCapture quiet;
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 1);

    std::thread receiver([&] {
        while (rig.receive() == 1) {
        }
    });
    // Until each station has sent about 1000 records (the simulator takes
    // the stations in turn), at most a minute.
    EXPECT_TRUE(rig.simulator().waitForRecords(3 * 1000, 60000));
    __atomic_store_n(&rig.runFlag, 0, __ATOMIC_RELAXED);
    receiver.join();
    EXPECT_TRUE(rig.device()->stop());

    for (int station = 1; station <= 3; ++station) {
        const auto sent = expectedSequence(rig.simulator().sentRecords(station));
        const auto& published = rig.publishedTrackers[static_cast<uint32_t>(station)];
        ASSERT_GT(sent.size(), 900u) << "station " << station << " streamed near its full rate";
        const long last = accountFor(sent, published);
        EXPECT_GE(last, 0) << "station " << station << ": published records are exactly the changed sent ones";
        EXPECT_GE(last, static_cast<long>(sent.size()) - 5)
            << "station " << station << ": only records sent after reception ended are missing";
    }
    EXPECT_GT(rig.publishedControllers[1].size(), 10u);
}
