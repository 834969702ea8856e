// What the host publishes beyond its own screen: every record of every device
// and each change of a device's state, handed to outputs that send them on.
#pragma once

#include "host/supervision/DeviceStatus.h"
#include "host/view/RecordView.h"
#include "is900/hostkit/QualityFigures.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// A tracker's pose as the host processed it (the configuration's predict and
// filter keys): the view keeps the device's own.
struct ProcessedPose {
    float pose[6];        // x, y, z in feet; azimuth, elevation, roll
    double standsFor = 0; // the moment it is predicted for, seconds since 1970
    std::string processing; // "predict 20 ms", "filter 0.3 12; predict 20 ms", ...
};

struct PublishedRecord {
    std::string device; // the device's name, as given to the plug-in
    RecordView view;    // as the device published it
    std::chrono::steady_clock::time_point handedOver; // when the receiving thread gave it to the hub
    std::optional<ProcessedPose> processed; // only for a station the host processes
    // The record as the outputs send it: the processed pose in place of the device's.
    RecordView sent() const;
};

// One destination. Its operations run on a thread of the hub's (see
// OutputHub), never on a receiving thread.
class Output {
public:
    virtual ~Output() = default;
    // Sends one record; false when it could not be sent (counted as dropped).
    virtual bool send(const PublishedRecord& record) = 0;
    virtual void sendStatus(const DeviceStatus&) {}
    // A device's tracking quality, once a second (see QualityOutput).
    virtual void sendQuality(const is900::hostkit::DeviceQuality&) {}
    // Called instead of send for a record that an output the dispatcher
    // sends through loses for falling behind: what an output works out from
    // one record to the next (a button's press or release) must not be lost.
    virtual void passOver(const PublishedRecord&) {}
    // Called once on the sending thread after the last record, while the hub stands.
    virtual void close() {}
    // Called from another thread when the run ends, perhaps more than once:
    // an output whose sends wait for a reader fails them from now on when
    // the reader takes nothing for a while.
    virtual void giveUpWhenStalled() {}
    // False for an output whose sends only hand a message to the kernel or a
    // library without waiting (a datagram, a keep-last history, a socket
    // written without waiting): the hub's dispatcher sends through it, a
    // thread-hop sooner.
    virtual bool mayWait() const { return true; }
    // True when an output that may wait would not wait for a send now (a
    // pipe with room): while its thread is idle the dispatcher sends itself.
    virtual bool readyNow() const { return false; }
    // Lossless outputs get every record, at the price of holding up the
    // hub when their queue is full; the others lose what does not fit.
    virtual bool lossless() const = 0;
    // Names the output in messages, e.g. "osc osc.udp://127.0.0.1:7770".
    virtual std::string describe() const = 0;
};
