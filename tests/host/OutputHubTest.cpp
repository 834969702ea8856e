// The hub between the receiving thread and the outputs, with outputs that
// stand for a destination that cannot keep up.
#include "host/outputs/OutputHub.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

namespace {

class SlowOutput : public Output {
public:
    SlowOutput(bool lossless, std::vector<uint32_t>& sentIds) : isLossless(lossless), sentIds(sentIds) {}
    bool send(const PublishedRecord& record) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        sentIds.push_back(record.view.id);
        if (afterSend) afterSend(record.view.id);
        return record.device == "is900";
    }
    bool lossless() const override { return isLossless; }
    std::string describe() const override { return isLossless ? "lossless" : "lossy"; }

    std::function<void(uint32_t)> afterSend; // on the output's thread, after each record

private:
    bool isLossless;
    std::vector<uint32_t>& sentIds;
};

} // namespace


namespace {

// Holds every record in send() until the gate is opened, or fails it once
// the run ended.
class GatedOutput : public Output {
public:
    GatedOutput(bool lossless, std::vector<uint32_t>& sentIds, bool waits = true)
        : isLossless(lossless), waits(waits), sentIds(sentIds) {}
    void open() {
        std::lock_guard<std::mutex> lock(mutex);
        opened = true;
        changed.notify_all();
    }
    void giveUpWhenStalled() override {
        std::lock_guard<std::mutex> lock(mutex);
        givenUp = true;
        changed.notify_all();
    }
    bool send(const PublishedRecord& record) override {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return opened || givenUp; });
        if (opened) sentIds.push_back(record.view.id);
        return opened;
    }
    bool lossless() const override { return isLossless; }
    bool mayWait() const override { return waits; }
    std::string describe() const override { return "gated"; }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool opened = false;
    bool givenUp = false;
    bool isLossless;
    bool waits;
    std::vector<uint32_t>& sentIds;
};

} // namespace

// Publishing must not wait for a network output, whether it has a thread
// of its own or the dispatcher sends through it: were it to wait, the
// records could never all be published before the output opens, and the
// test would hang.
class OutputHubNetwork : public testing::TestWithParam<bool> {};

TEST_P(OutputHubNetwork, AnOutputThatTakesNothingDropsAndCountsWhileTheLosslessOneGetsEveryRecordInOrder) {
    std::vector<uint32_t> lossy, lossless;
    const uint32_t records = 1000;
    std::promise<void> lastSent; // outlives the hub, whose thread sets it
    {
        OutputHub hub;
        auto* closed = new GatedOutput(false, lossy, GetParam());
        hub.add(std::unique_ptr<Output>(closed));
        auto* slow = new SlowOutput(true, lossless);
        slow->afterSend = [&](uint32_t id) {
            if (id == records) lastSent.set_value();
        };
        hub.add(std::unique_ptr<Output>(slow));
        for (uint32_t id = 1; id <= records; ++id) {
            RecordView view;
            view.id = id;
            hub.publish("is900", view);
        }
        // Through a queue, every record reaches the lane while the output
        // holds the first: all but that one and a full queue are dropped.
        // Opened before the dispatcher got that far, the queue would drain
        // instead; the dispatcher hands each record to the gated lane before
        // the lossless one, so the lossless output's last record shows it
        // got that far. Sent through, the dispatcher itself waits at the gate.
        if (GetParam()) {
            ASSERT_EQ(lastSent.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
            EXPECT_GE(hub.counts()[0].dropped, records - 1 - OutputHub::lossyQueueLength);
        }
        closed->open();
        hub.close();
        const std::vector<OutputCounts> counts = hub.counts();
        ASSERT_EQ(counts.size(), 2u);
        EXPECT_EQ(counts[0].sent, lossy.size());
        EXPECT_EQ(counts[0].sent + counts[0].dropped, records);
        EXPECT_GT(counts[0].dropped, 0u);
        EXPECT_EQ(counts[1].sent, records);
        EXPECT_EQ(counts[1].dropped, 0u);
    }
    ASSERT_EQ(lossless.size(), records);
    for (uint32_t id = 1; id <= records; ++id) EXPECT_EQ(lossless[id - 1], id);
    EXPECT_TRUE(std::is_sorted(lossy.begin(), lossy.end()));
}

INSTANTIATE_TEST_SUITE_P(QueuedOrSentThrough, OutputHubNetwork, testing::Bool());

TEST(OutputHub, ALosslessOutputThatFailsIsReportedOnceAndDropsTheRest) {
    std::vector<uint32_t> sent;
    std::atomic<int> failures{0};
    OutputHub hub;
    hub.add(std::unique_ptr<Output>(new SlowOutput(true, sent)));
    hub.onLosslessFailure([&] { ++failures; });
    RecordView view;
    for (uint32_t id = 1; id <= 20; ++id) {
        view.id = id;
        hub.publish(id < 5 ? "is900" : "gone", view);
    }
    hub.close();
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(hub.counts()[0].sent, 4u);
    EXPECT_EQ(hub.counts()[0].dropped, 16u);
}

// Only the records sent are timed, each from its hand-over to the end of its
// send, which takes the slow output at least 2 ms.
TEST(OutputHub, EachRecordSentIsTimedFromItsHandOver) {
    std::vector<uint32_t> sent;
    OutputHub hub;
    hub.add(std::unique_ptr<Output>(new SlowOutput(true, sent)));
    RecordView view;
    for (uint32_t id = 1; id <= 5; ++id) hub.publish(id < 4 ? "is900" : "gone", view);
    hub.publishStatus(DeviceStatus{});
    hub.close();
    const OutputCounts counts = hub.counts()[0];
    EXPECT_EQ(counts.timed, 3u);
    EXPECT_GE(counts.latencySeconds, 3 * 0.002);
}


TEST(OutputHub, PublishingWaitsForALosslessOutputWhoseQueueIsFullAndLosesNothing) {
    std::vector<uint32_t> sent;
    std::vector<std::string> heldUpBy;
    const uint32_t records = 40;
    {
        OutputHub hub(4);
        GatedOutput* gated = new GatedOutput(true, sent);
        hub.add(std::unique_ptr<Output>(gated));
        hub.onHoldUp([&](const std::string& output) {
            heldUpBy.push_back(output);
            gated->open();
        });
        RecordView view;
        for (view.id = 1; view.id <= records; ++view.id) hub.publish("is900", view);
        gated->open();
        hub.close();
        EXPECT_EQ(hub.counts()[0].sent, records);
        EXPECT_EQ(hub.counts()[0].dropped, 0u);
    }
    ASSERT_EQ(sent.size(), records);
    for (uint32_t id = 1; id <= records; ++id) EXPECT_EQ(sent[id - 1], id);
    ASSERT_FALSE(heldUpBy.empty()) << "publishing into a full queue is told";
    EXPECT_EQ(heldUpBy[0], "gated");
}

// A lossless output that takes nothing holds publishing up, but never a
// state change, and no longer once the run has ended and it gave up.
TEST(OutputHub, AStatusNeverWaitsForAFullQueueAndTheEndOfTheRunReleasesPublishing) {
    std::vector<uint32_t> sent;
    OutputHub hub(4);
    GatedOutput* gated = new GatedOutput(true, sent);
    hub.add(std::unique_ptr<Output>(gated));
    std::promise<void> heldUp;
    bool told = false; // the dispatcher's
    hub.onHoldUp([&](const std::string&) {
        if (!told) heldUp.set_value();
        told = true;
    });
    hub.publish("is900", std::vector<RecordView>(10));
    ASSERT_EQ(heldUp.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    hub.publish("is900", std::vector<RecordView>(4)); // the inbox is full now

    auto status = std::async(std::launch::async, [&] { hub.publishStatus(DeviceStatus()); });
    EXPECT_EQ(status.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "a status waited for room";
    auto record = std::async(std::launch::async, [&] { hub.publish("is900", RecordView()); });
    hub.giveUpOnStalledOutputs();
    EXPECT_EQ(record.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "publishing still waits";

    gated->open();
    hub.close();
    EXPECT_EQ(hub.counts()[0].sent, 0u);
    EXPECT_EQ(hub.counts()[0].dropped, 16u);
}
