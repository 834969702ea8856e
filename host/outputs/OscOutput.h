// OSC over UDP (liblo): /is900/tracker/<ID> with x, y, z in feet, azimuth,
// elevation and roll in degrees as floats and the record's time as a double;
// /is900/controller/<ID> with the buttons as an int32 bit field (button n in
// bit n-1) and the valuators as floats. A station whose poses the host
// processes has them at /is900/tracker/<ID> and the device's own at
// /is900/tracker/<ID>/raw.
#pragma once

#include "host/outputs/Output.h"

#include <string>

class OscOutput : public Output {
public:
    // Throws std::invalid_argument for a URL that is not osc.udp://HOST:PORT.
    explicit OscOutput(const std::string& url);
    ~OscOutput() override;
    OscOutput(const OscOutput&) = delete;
    OscOutput& operator=(const OscOutput&) = delete;

    bool send(const PublishedRecord& record) override;
    bool lossless() const override { return false; }
    // A datagram to a numeric address; a name is looked up at the first
    // send, which may wait on the name service.
    bool mayWait() const override { return !numeric; }
    std::string describe() const override { return "osc " + url; }

private:
    bool sendPose(const std::string& path, const float pose[6], double stamp);

    std::string url;
    void* address; // lo_address
    bool numeric;
};

// Throws std::invalid_argument unless url is osc.udp://HOST:PORT.
void checkOscUrl(const std::string& url);
