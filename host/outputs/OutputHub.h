// The hand-over between the receiving threads and the outputs. publish()
// only appends the record to the hub's inbox, under a lock nobody holds for
// long and without waking anyone: the hub's thread collects the inbox every
// millisecond and hands each record to every output's queue, and each output
// has a sending thread of its own, so a slow or unreachable destination never
// holds up reception. A lossy output's full queue drops the record and counts
// it; a lossless output's full queue (a reader that stopped reading) holds
// up the hub, and publish() waits once the inbox is full too.
#pragma once

#include "host/outputs/Output.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct OutputCounts {
    std::string output;
    uint64_t sent = 0;
    uint64_t dropped = 0; // queue full or sending failed
};

class OutputHub {
public:
    static const std::size_t lossyQueueLength = 256;
    static const std::size_t losslessQueueLength = 65536;
    static const std::size_t inboxLength = 65536;

    OutputHub() = default;
    ~OutputHub(); // sends what is queued, then ends the threads
    OutputHub(const OutputHub&) = delete;
    OutputHub& operator=(const OutputHub&) = delete;

    // All outputs are added before the first record is published.
    void add(std::unique_ptr<Output> output);
    bool empty() const { return lanes.empty(); }
    // Called when a lossless output fails for good (its reader went away).
    void onLosslessFailure(std::function<void()> handler) { failureHandler = std::move(handler); }

    void publish(const std::string& device, const RecordView& view);
    void publishStatus(const DeviceStatus& status);
    // Waits until every queue is empty, then stops the sending threads.
    void close();
    std::vector<OutputCounts> counts() const;

private:
    struct Item {
        bool isStatus = false;
        PublishedRecord record;
        DeviceStatus status;
    };
    struct Lane {
        std::unique_ptr<Output> output;
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Item> queue;
        bool closing = false;
        bool failed = false;
        std::atomic<uint64_t> sent{0};
        std::atomic<uint64_t> dropped{0};
        std::thread thread;
    };

    void post(Item item);
    void distribute();
    void enqueue(Lane& lane, const Item& item);
    void drain(Lane& lane);

    std::vector<std::unique_ptr<Lane>> lanes;
    std::mutex inboxMutex;
    std::condition_variable inboxChanged;
    std::deque<Item> inbox;
    bool closing = false;
    std::thread distributor;
    std::function<void()> failureHandler;
};
