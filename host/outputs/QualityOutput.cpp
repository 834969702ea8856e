#include "host/outputs/QualityOutput.h"

#include "host/outputs/OutputHub.h"

const char* const QualityOutput::name = "quality";

QualityOutput::QualityOutput(OutputHub* hub) : hub(hub) {
    if (hub) thread = std::thread([this] { publishEverySecond(); });
}

QualityOutput::~QualityOutput() { close(); }

bool QualityOutput::send(const PublishedRecord& record) {
    std::lock_guard<std::mutex> lock(mutex);
    monitor.addRecord(record.view, record.view.stamp);
    return true;
}

// Each bring-up is a set-up of the tracker; those after the first are the
// repeated ones a silence or a lost line brought about. A state is timed
// when the device's run published it, not when the hub handed it on.
void QualityOutput::sendStatus(const DeviceStatus& status) {
    const double now = status.time > 0 ? status.time : secondsSince1970();
    std::lock_guard<std::mutex> lock(mutex);
    monitor.noteState(status.device, stateName(status.state), now);
    if (status.state == DeviceState::starting) monitor.noteSetUp(status.device, now);
}

void QualityOutput::close() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
}

void QualityOutput::publishEverySecond() {
    Clock::time_point due = Clock::now() + std::chrono::seconds(1);
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_until(lock, due, [this] { return stopping; })) {
        const std::vector<is900::hostkit::DeviceQuality> all = monitor.snapshot(secondsSince1970());
        lock.unlock();
        for (const is900::hostkit::DeviceQuality& device : all) hub->publishQuality(device);
        lock.lock();
        const Clock::time_point now = Clock::now();
        while (due <= now) due += std::chrono::seconds(1);
    }
}
