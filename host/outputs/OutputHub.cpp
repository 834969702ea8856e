#include "host/outputs/OutputHub.h"

#include <chrono>

namespace {

const auto collectInterval = std::chrono::milliseconds(1);

} // namespace

OutputHub::~OutputHub() { close(); }

void OutputHub::add(std::unique_ptr<Output> output) {
    lanes.emplace_back(new Lane);
    Lane& lane = *lanes.back();
    lane.output = std::move(output);
    lane.thread = std::thread([this, &lane] { drain(lane); });
    if (!distributor.joinable()) distributor = std::thread([this] { distribute(); });
}

void OutputHub::publish(const std::string& device, const RecordView& view) {
    Item item;
    item.record.device = device;
    item.record.view = view;
    post(std::move(item));
}

void OutputHub::publishStatus(const DeviceStatus& status) {
    Item item;
    item.isStatus = true;
    item.status = status;
    post(std::move(item));
}

void OutputHub::post(Item item) {
    if (lanes.empty()) return;
    std::unique_lock<std::mutex> lock(inboxMutex);
    if (inbox.size() >= inboxLength) inboxChanged.wait(lock, [&] { return inbox.size() < inboxLength || closing; });
    if (!closing) inbox.push_back(std::move(item));
}

void OutputHub::distribute() {
    std::deque<Item> batch;
    std::unique_lock<std::mutex> lock(inboxMutex);
    while (!closing || !inbox.empty()) {
        inboxChanged.wait_for(lock, collectInterval, [&] { return closing; });
        batch.swap(inbox);
        inboxChanged.notify_all();
        lock.unlock();
        for (const Item& item : batch)
            for (auto& lane : lanes) enqueue(*lane, item);
        batch.clear();
        lock.lock();
    }
}

void OutputHub::enqueue(Lane& lane, const Item& item) {
    std::unique_lock<std::mutex> lock(lane.mutex);
    if (lane.output->lossless())
        lane.changed.wait(lock, [&] { return lane.queue.size() < losslessQueueLength || lane.failed || lane.closing; });
    if (lane.failed || lane.closing || lane.queue.size() >= (lane.output->lossless() ? losslessQueueLength : lossyQueueLength)) {
        ++lane.dropped;
        return;
    }
    lane.queue.push_back(item);
    lane.changed.notify_all();
}

void OutputHub::drain(Lane& lane) {
    std::unique_lock<std::mutex> lock(lane.mutex);
    while (true) {
        lane.changed.wait(lock, [&] { return !lane.queue.empty() || lane.closing; });
        if (lane.queue.empty()) {
            lock.unlock();
            lane.output->close();
            return;
        }
        Item item = std::move(lane.queue.front());
        lane.queue.pop_front();
        lane.changed.notify_all();
        lock.unlock();
        bool sent = true;
        if (item.isStatus) lane.output->sendStatus(item.status);
        else sent = lane.output->send(item.record);
        lock.lock();
        if (sent) {
            ++lane.sent;
            continue;
        }
        ++lane.dropped;
        if (lane.output->lossless() && !lane.failed) {
            lane.failed = true;
            lane.dropped += lane.queue.size();
            lane.queue.clear();
            lane.changed.notify_all();
            if (failureHandler) failureHandler();
        }
    }
}

void OutputHub::close() {
    {
        std::lock_guard<std::mutex> lock(inboxMutex);
        closing = true;
        inboxChanged.notify_all();
    }
    if (distributor.joinable()) distributor.join();
    for (auto& lane : lanes) {
        {
            std::lock_guard<std::mutex> lock(lane->mutex);
            lane->closing = true;
            lane->changed.notify_all();
        }
        if (lane->thread.joinable()) lane->thread.join();
    }
}

std::vector<OutputCounts> OutputHub::counts() const {
    std::vector<OutputCounts> all;
    for (const auto& lane : lanes) all.push_back({lane->output->describe(), lane->sent.load(), lane->dropped.load()});
    return all;
}
