#include "tools/host/outputs/OutputHub.h"

OutputHub::~OutputHub() { close(); }

void OutputHub::add(std::unique_ptr<Output> output) {
    lanes.emplace_back(new Lane);
    Lane& lane = *lanes.back();
    lane.output = std::move(output);
    lane.thread = std::thread([this, &lane] { drain(lane); });
}

void OutputHub::publish(const std::string& device, const RecordView& view) {
    for (auto& lane : lanes) {
        Item item;
        item.record.device = device;
        item.record.view = view;
        enqueue(*lane, std::move(item));
    }
}

void OutputHub::publishStatus(const DeviceStatus& status) {
    for (auto& lane : lanes) {
        Item item;
        item.isStatus = true;
        item.status = status;
        enqueue(*lane, std::move(item));
    }
}

void OutputHub::enqueue(Lane& lane, Item item) {
    std::unique_lock<std::mutex> lock(lane.mutex);
    if (lane.output->lossless())
        lane.changed.wait(lock, [&] { return lane.queue.size() < losslessQueueLength || lane.failed || lane.closing; });
    if (lane.failed || lane.closing || lane.queue.size() >= (lane.output->lossless() ? losslessQueueLength : lossyQueueLength)) {
        ++lane.dropped;
        return;
    }
    lane.queue.push_back(std::move(item));
    lane.changed.notify_all();
}

void OutputHub::drain(Lane& lane) {
    std::unique_lock<std::mutex> lock(lane.mutex);
    while (true) {
        lane.changed.wait(lock, [&] { return !lane.queue.empty() || lane.closing; });
        if (lane.queue.empty()) return;
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
