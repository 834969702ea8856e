// One minute of streaming with the reconnect option on and one unplug of the
// line: every record the simulator sent while the line was up reaches the
// host's storage, except before the device confirmed its start-up set-up
// and in the 5 s after the line's return.
#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A float whose bytes hold CR LF ends its record early: the line's framing
// costs that record and the next one on the line, whatever the receiver does.
std::set<uint64_t> cutByTheFraming(const std::vector<is900sim::SentRecord>& all) {
    std::set<uint64_t> cut;
    for (const auto& record : all)
        if (record.crLfInside) cut.insert({record.sequence, record.sequence + 1});
    return cut;
}

// Counts the records of one station that were sent outside the outage and
// changed from the station's previous record, and finds each among the
// published ones, in order.
std::size_t missingRecords(const std::vector<is900sim::SentRecord>& sent, const std::vector<TraData>& published,
                           const std::vector<Clock::time_point>& sentAt, const std::set<uint64_t>& cut,
                           Clock::time_point confirmed, Clock::time_point outageBegin, Clock::time_point outageEnd,
                           Clock::time_point stopped, std::size_t& required) {
    std::size_t missing = 0, next = 0;
    bool first = true;
    TraData expected;
    expected.clear();
    for (const auto& record : sent) {
        if (record.truncated || !record.hasPosition) continue;
        const TraData last = expected;
        expected = expectedTraData(record, true, false);
        const bool changed = first || !samePose(expected, last);
        first = false;
        const Clock::time_point at = sentAt[record.sequence];
        if (!changed || cut.count(record.sequence) || at < confirmed || (at >= outageBegin && at <= outageEnd) ||
            at >= stopped)
            continue;
        ++required;
        std::size_t found = next;
        while (found < published.size() && !samePose(published[found], expected)) ++found;
        if (found == published.size()) {
            ADD_FAILURE() << "record " << record.sequence << " of station " << record.station << ", sent "
                          << std::chrono::duration_cast<std::chrono::milliseconds>(at - outageBegin).count()
                          << " ms after the outage began, was not published";
            ++missing;
        } else {
            next = found + 1;
        }
    }
    return missing;
}

} // namespace

TEST(DeviceLongRun, OneMinuteWithOneUnplugPublishesEverythingSentWhileTheLineWasUp) {
    CLogH hostLog;
    hostLog.showDate = hostLog.showTime = hostLog.showThreadId = false;
    const std::string link = testing::TempDir() + "is900-long-run-" + std::to_string(getpid());
    DeviceRig rig({{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::tracker}}, 115200, 120.0,
                  &hostLog, link);
    rig.lines.add("reconnect", {"on"});
    std::mutex sentMutex;
    std::vector<Clock::time_point> sentAt;
    rig.simulator().setRecordCallback([&](const is900sim::SentRecord& record) {
        std::lock_guard<std::mutex> lock(sentMutex);
        sentAt.resize(record.sequence + 1, Clock::now());
    });
    CoutCapture capture;
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.device()->configure(), 2);

    const Clock::time_point start = Clock::now();
    const std::size_t setUpCommands = rig.simulator().commandLog().size();
    std::thread receiver([&] {
        while (rig.receive() == 1) {
        }
    });
    // At its first record the device stops the stream and sends the set-up once more.
    EXPECT_TRUE(rig.simulator().waitForCommands(2 * setUpCommands + 1, 10000));
    const Clock::time_point confirmed = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(20));
    const Clock::time_point pulled = Clock::now();
    rig.simulator().unplug(3000);
    ASSERT_TRUE(rig.simulator().waitForLineBack(10000));
    const Clock::time_point back = Clock::now();
    std::this_thread::sleep_until(start + std::chrono::seconds(60));
    const Clock::time_point stopped = Clock::now();
    __atomic_store_n(&rig.runFlag, 0, __ATOMIC_SEQ_CST);
    receiver.join();
    rig.device()->stop();

    std::lock_guard<std::mutex> lock(sentMutex);
    // Bytes still in the line's buffer when the cable is pulled go with it.
    const Clock::time_point outageBegin = pulled - std::chrono::milliseconds(100);
    const Clock::time_point outageEnd = back + std::chrono::seconds(5);
    // What was still on its way when the host ended reception.
    const Clock::time_point lastRequired = stopped - std::chrono::milliseconds(100);
    const std::set<uint64_t> cut = cutByTheFraming(rig.simulator().sentRecords());
    for (uint32_t station = 1; station <= 2; ++station) {
        std::size_t required = 0;
        const std::size_t missing =
            missingRecords(rig.simulator().sentRecords(static_cast<int>(station)), rig.publishedTrackers[station],
                           sentAt, cut, confirmed, outageBegin, outageEnd, lastRequired, required);
        EXPECT_GT(required, 4000u) << "station " << station << ": more than the 20 s before the outage hold";
        EXPECT_EQ(missing, 0u) << "of " << required << " records of station " << station;
    }
}
