// The hand-over between the receiving threads and the outputs. publish()
// puts a receiving thread's records in the hub's inbox and wakes one thread,
// the dispatcher, only when the inbox was empty, so the receiving thread pays
// for one wake-up at most and never waits for a destination. The dispatcher
// puts each record on the queue of every output that may wait (each has a
// sending thread of its own, woken under its queue's own lock) or, while
// that thread is idle and the output is ready now, sends it itself; then it
// sends it through the outputs that never wait. So most records are one
// thread away from reception. Nothing wakes while no record arrives. An
// output that falls behind loses the oldest records and counts them; a
// lossless output's full queue (a reader that stopped reading) makes
// publish() wait until it has room, or until, once the run ends, the output
// gives up on a reader that takes nothing. A status never waits.
#pragma once

#include "host/outputs/Output.h"
#include "host/outputs/ProcessingStage.h"

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
    // From the hub's hand-over to the end of each record's send, on the
    // steady clock: the records timed and their sum.
    uint64_t timed = 0;
    double latencySeconds = 0;
};

class OutputHub {
public:
    static const std::size_t lossyQueueLength = 256;
    static const std::size_t losslessQueueLength = 65536;

    explicit OutputHub(std::size_t losslessLength = losslessQueueLength) : losslessLength(losslessLength) {}
    ~OutputHub(); // sends what is queued, then ends the threads
    OutputHub(const OutputHub&) = delete;
    OutputHub& operator=(const OutputHub&) = delete;

    // All outputs are added, and the processing set, before the first
    // record is published.
    void add(std::unique_ptr<Output> output);
    // The dispatcher processes the poses of the stations the stage names
    // before any output sees them.
    void process(std::unique_ptr<ProcessingStage> poses) { processing = std::move(poses); }
    bool empty() const { return lanes.empty(); }
    // Called when a lossless output fails for good (its reader went away).
    void onLosslessFailure(std::function<void()> handler) { failureHandler = std::move(handler); }
    // Called, with the output's name, each time publishing has to wait for a
    // lossless output whose queue is full.
    void onHoldUp(std::function<void(const std::string&)> handler) { holdUpHandler = std::move(handler); }

    void publish(const std::string& device, const RecordView& view);
    // One wake-up for all the records a receiving thread got at once; the
    // views are moved out, not copied.
    void publish(const std::string& device, std::vector<RecordView>&& views);
    void publishStatus(const DeviceStatus& status);
    // Never waits, like a status.
    void publishQuality(const is900::hostkit::DeviceQuality& quality);
    // Called when the run ends: from now on an output fails on a destination
    // that takes nothing for a while, so that nothing waits for it for ever.
    void giveUpOnStalledOutputs();
    // Gives up on stalled outputs, waits until every queue is empty, then
    // stops the sending threads.
    void close();
    std::vector<OutputCounts> counts() const;

private:
    struct Item {
        enum class Kind { record, status, quality } kind = Kind::record;
        PublishedRecord record;
        DeviceStatus status;
        is900::hostkit::DeviceQuality quality;
    };
    using SharedItem = std::shared_ptr<const Item>;
    struct Lane {
        std::unique_ptr<Output> output;
        std::mutex mutex;
        std::condition_variable published; // the sending thread waits here for records
        std::condition_variable drained;   // a publisher waits here for room (lossless)
        std::deque<SharedItem> queue;      // the rest under mutex
        bool failed = false;
        bool closing = false;
        bool busy = false;   // its thread is sending
        bool direct = false; // sent through by the dispatcher, no queue or thread
        uint64_t sent = 0;
        uint64_t dropped = 0;
        uint64_t timed = 0;
        double latencySeconds = 0;
        std::thread thread;
    };

    void post(std::vector<SharedItem> items, bool mayWait);
    void dispatch();
    template <typename Items> void processPoses(Items& items);
    void deliver(const SharedItem& item, bool closing);
    void sendDirect(const std::deque<SharedItem>& batch);
    // Records sent and the time from their hand-over to the end of their send.
    struct Timing {
        uint64_t records = 0;
        double seconds = 0;
    };
    static bool sendThrough(Output& output, const Item& item);
    static bool sendTimed(Output& output, const Item& item, Timing& timing);
    static void add(Lane& lane, const Timing& timing); // under the lane's lock
    void waitForRoom(Lane& lane, std::unique_lock<std::mutex>& lock);
    void drain(Lane& lane);
    void failed(Lane& lane, std::unique_lock<std::mutex>& lock);

    const std::size_t losslessLength;
    std::vector<std::unique_ptr<Lane>> lanes;
    // Held by add() and counts(): an output's own thread (DDS diagnostics)
    // reads the counts while later outputs are still being added.
    mutable std::mutex lanesMutex;
    std::mutex inboxMutex;
    std::condition_variable inboxFilled; // the dispatcher waits here
    std::condition_variable inboxRoom;   // a publisher waits here while the dispatcher is held up
    std::deque<SharedItem> inbox;        // the rest under inboxMutex
    bool inboxClosing = false;
    std::thread dispatcher;
    std::unique_ptr<ProcessingStage> processing;
    std::mutex processingMutex; // the dispatcher's, and a publisher's while the hub closes
    std::function<void()> failureHandler;
    std::function<void(const std::string&)> holdUpHandler;
};
