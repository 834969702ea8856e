// The tracking quality of every device, worked out behind the hub from the
// records as the devices published them (never on a receiving thread), and
// handed back to the hub once a second per device for the outputs that show
// it. A record's time is when its receiving thread handed it to the hub, on
// the steady clock, told as seconds since 1970 from the moment the output
// was made, so that gaps and states read as times of day.
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

    // Every device's figures as they are at a moment.
    std::vector<is900::hostkit::DeviceQuality> figures(Clock::time_point now) const;

private:
    double secondsOf(Clock::time_point moment) const;
    void publishEverySecond();

    OutputHub* hub;
    const Clock::time_point madeAt = Clock::now();
    const double madeAtSeconds;
    mutable std::mutex mutex;
    is900::hostkit::QualityMonitor monitor; // under mutex
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};
