#include "host/outputs/OutputHub.h"

OutputHub::~OutputHub() { close(); }

void OutputHub::add(std::unique_ptr<Output> output) {
    std::lock_guard<std::mutex> lanesLock(lanesMutex);
    if (lanes.empty()) dispatcher = std::thread([this] { dispatch(); });
    lanes.emplace_back(new Lane);
    Lane& lane = *lanes.back();
    lane.output = std::move(output);
    lane.direct = !lane.output->mayWait();
    if (!lane.direct) lane.thread = std::thread([this, &lane] { drain(lane); });
}

void OutputHub::publish(const std::string& device, const RecordView& view) {
    publish(device, std::vector<RecordView>{view});
}

void OutputHub::publish(const std::string& device, std::vector<RecordView>&& views) {
    if (lanes.empty() || views.empty()) return;
    std::vector<SharedItem> items;
    items.reserve(views.size());
    const auto now = std::chrono::steady_clock::now();
    for (RecordView& view : views) {
        std::shared_ptr<Item> item = std::make_shared<Item>();
        item->record.device = device;
        item->record.view = std::move(view);
        item->record.handedOver = now;
        items.push_back(std::move(item));
    }
    post(std::move(items), true);
}

void OutputHub::publishStatus(const DeviceStatus& status) {
    if (lanes.empty()) return;
    std::shared_ptr<Item> item = std::make_shared<Item>();
    item->kind = Item::Kind::status;
    item->status = status;
    post({std::move(item)}, false);
}

void OutputHub::publishQuality(const is900::hostkit::DeviceQuality& quality) {
    if (lanes.empty()) return;
    std::shared_ptr<Item> item = std::make_shared<Item>();
    item->kind = Item::Kind::quality;
    item->quality = quality;
    post({std::move(item)}, false);
}

void OutputHub::giveUpOnStalledOutputs() {
    for (auto& lane : lanes) lane->output->giveUpWhenStalled();
}

// A processed record is a copy: the receiving thread's item stays as it was published.
template <typename Items>
void OutputHub::processPoses(Items& items) {
    if (!processing) return;
    std::lock_guard<std::mutex> lock(processingMutex);
    for (SharedItem& item : items) {
        if (item->kind != Item::Kind::record || !processing->processes(item->record)) continue;
        std::shared_ptr<Item> processed = std::make_shared<Item>(*item);
        processing->apply(processed->record);
        item = std::move(processed);
    }
}

// A full inbox means a lossless output holds the dispatcher up: the
// publisher waits with it, so nothing is lost.
void OutputHub::post(std::vector<SharedItem> items, bool mayWait) {
    std::unique_lock<std::mutex> lock(inboxMutex);
    inboxRoom.wait(lock, [&] { return !mayWait || inbox.size() < losslessLength || inboxClosing; });
    if (inboxClosing) {
        lock.unlock();
        processPoses(items);
        for (const SharedItem& item : items) deliver(item, true);
        return;
    }
    const bool wasEmpty = inbox.empty();
    for (SharedItem& item : items) inbox.push_back(std::move(item));
    lock.unlock();
    if (wasEmpty) inboxFilled.notify_one();
}

void OutputHub::dispatch() {
    std::unique_lock<std::mutex> lock(inboxMutex);
    while (true) {
        inboxFilled.wait(lock, [&] { return !inbox.empty() || inboxClosing; });
        if (inbox.empty()) break;
        std::deque<SharedItem> batch;
        batch.swap(inbox);
        lock.unlock();
        inboxRoom.notify_all();
        processPoses(batch);
        for (const SharedItem& item : batch) deliver(item, false);
        sendDirect(batch);
        lock.lock();
    }
    lock.unlock();
    for (auto& lane : lanes)
        if (lane->direct) lane->output->close();
}

// A record published while the hub closes reaches no direct output: the
// dispatcher may be sending its last records through them.
void OutputHub::deliver(const SharedItem& item, bool closing) {
    for (auto& each : lanes) {
        Lane& lane = *each;
        std::unique_lock<std::mutex> lock(lane.mutex);
        if (lane.direct) {
            lane.dropped += closing;
            continue;
        }
        // With nothing queued and its thread idle, a send now keeps the order.
        if (!closing && lane.queue.empty() && !lane.busy && !lane.failed && !lane.closing &&
            lane.output->readyNow()) {
            Timing timing;
            if (sendTimed(*lane.output, *item, timing)) ++lane.sent;
            else failed(lane, lock);
            add(lane, timing);
            continue;
        }
        if (lane.output->lossless()) waitForRoom(lane, lock);
        if (lane.closing || lane.failed) {
            ++lane.dropped;
            continue;
        }
        if (lane.queue.size() >= lossyQueueLength && !lane.output->lossless()) {
            lane.queue.pop_front(); // the oldest goes: a live view wants the newest
            ++lane.dropped;
        }
        lane.queue.push_back(item);
        lock.unlock();
        lane.published.notify_one();
    }
}

// The lane's lock is given up while waiting, so its sending thread can make room.
void OutputHub::waitForRoom(Lane& lane, std::unique_lock<std::mutex>& lock) {
    const auto hasRoom = [&] { return lane.queue.size() < losslessLength || lane.failed || lane.closing; };
    if (hasRoom()) return;
    if (holdUpHandler) {
        lock.unlock();
        holdUpHandler(lane.output->describe());
        lock.lock();
    }
    lane.drained.wait(lock, hasRoom);
}

void OutputHub::drain(Lane& lane) {
    std::unique_lock<std::mutex> lock(lane.mutex);
    while (true) {
        lane.published.wait(lock, [&] { return !lane.queue.empty() || lane.closing; });
        if (lane.queue.empty()) {
            lock.unlock();
            lane.output->close();
            return;
        }
        const SharedItem item = std::move(lane.queue.front());
        lane.queue.pop_front();
        lane.busy = true;
        lock.unlock();
        if (lane.output->lossless()) lane.drained.notify_all();
        Timing timing;
        const bool sent = sendTimed(*lane.output, *item, timing);
        lock.lock();
        add(lane, timing);
        lane.busy = false;
        if (sent) ++lane.sent;
        else failed(lane, lock);
    }
}

// A lossless output that fails drops what it holds and what comes after,
// and says so once.
void OutputHub::failed(Lane& lane, std::unique_lock<std::mutex>& lock) {
    ++lane.dropped;
    if (!lane.output->lossless() || lane.failed) return;
    lane.failed = true;
    lane.dropped += lane.queue.size();
    lane.queue.clear();
    lane.drained.notify_all();
    if (!failureHandler) return;
    lock.unlock();
    failureHandler();
    lock.lock();
}

// A stalled output fails first, so that the dispatcher cannot wait for it.
void OutputHub::close() {
    giveUpOnStalledOutputs();
    {
        std::lock_guard<std::mutex> lock(inboxMutex);
        inboxClosing = true;
    }
    inboxFilled.notify_one();
    inboxRoom.notify_all();
    if (dispatcher.joinable()) dispatcher.join();
    for (auto& lane : lanes) {
        {
            std::lock_guard<std::mutex> lock(lane->mutex);
            lane->closing = true;
        }
        lane->published.notify_all();
        lane->drained.notify_all();
    }
    for (auto& lane : lanes)
        if (lane->thread.joinable()) lane->thread.join();
}

std::vector<OutputCounts> OutputHub::counts() const {
    std::lock_guard<std::mutex> lanesLock(lanesMutex);
    std::vector<OutputCounts> all;
    for (const auto& lane : lanes) {
        std::lock_guard<std::mutex> lock(lane->mutex);
        all.push_back({lane->output->describe(), lane->sent, lane->dropped, lane->timed, lane->latencySeconds});
    }
    return all;
}

// The records queued behind the newest lossyQueueLength are lost to the
// outputs sent through directly: they fell that far behind. The outputs are
// still shown them, and every state change is sent.
void OutputHub::sendDirect(const std::deque<SharedItem>& batch) {
    const std::size_t stale = batch.size() > lossyQueueLength ? batch.size() - lossyQueueLength : 0;
    for (auto& each : lanes) {
        Lane& lane = *each;
        if (!lane.direct) continue;
        uint64_t sent = 0, dropped = 0;
        Timing timing;
        for (std::size_t n = 0; n < batch.size(); ++n) {
            const Item& item = *batch[n];
            if (n < stale && item.kind == Item::Kind::record) {
                lane.output->passOver(item.record);
                ++dropped;
            } else if (sendTimed(*lane.output, item, timing)) {
                ++sent;
            } else {
                ++dropped;
            }
        }
        std::lock_guard<std::mutex> lock(lane.mutex);
        lane.sent += sent;
        lane.dropped += dropped;
        add(lane, timing);
    }
}

bool OutputHub::sendTimed(Output& output, const Item& item, Timing& timing) {
    const bool sent = sendThrough(output, item);
    if (sent && item.kind == Item::Kind::record) {
        const auto since = std::chrono::steady_clock::now() - item.record.handedOver;
        timing.seconds += std::chrono::duration<double>(since).count();
        ++timing.records;
    }
    return sent;
}

void OutputHub::add(Lane& lane, const Timing& timing) {
    lane.timed += timing.records;
    lane.latencySeconds += timing.seconds;
}

bool OutputHub::sendThrough(Output& output, const Item& item) {
    switch (item.kind) {
    case Item::Kind::record: return output.send(item.record);
    case Item::Kind::status: output.sendStatus(item.status); break;
    case Item::Kind::quality: output.sendQuality(item.quality); break;
    }
    return true;
}
