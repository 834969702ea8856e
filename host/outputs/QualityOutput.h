// The tracking quality of every device, worked out behind the hub from the
// records as the devices published them (never on a receiving thread), and
// handed back to the hub once a second per device for the outputs that show
// it. A record's time is its own stamp, taken when the device read it, so
// that the figures say what the published records and a recording of them
// show; states, set-ups and the figures' moments are timed on the same clock.
#pragma once

#include "host/outputs/Output.h"
#include "is900/hostkit/Quality.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class OutputHub;

class QualityOutput : public Output {
public:
    using Clock = std::chrono::steady_clock;
    static const char* const name;

    // With a hub, a thread publishes the figures into it every second.
    explicit QualityOutput(OutputHub* hub);
    ~QualityOutput() override;
    QualityOutput(const QualityOutput&) = delete;
    QualityOutput& operator=(const QualityOutput&) = delete;

    bool send(const PublishedRecord& record) override;
    void passOver(const PublishedRecord& record) override { send(record); }
    void sendStatus(const DeviceStatus& status) override;
    void close() override;
    bool mayWait() const override { return false; }
    bool lossless() const override { return false; }
    std::string describe() const override { return name; }

private:
    void publishEverySecond();

    OutputHub* hub;
    std::mutex mutex;
    is900::hostkit::QualityMonitor monitor; // under mutex
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};
