// DDS (Eclipse Cyclone DDS) as ROS 2 sees it: every tracker record as a
// geometry_msgs/msg/PoseStamped on rt/<prefix>/tracker<ID>, every controller
// record as a sensor_msgs/msg/Joy on rt/<prefix>/controller<ID>, with ROS 2's
// sensor-data quality of service (best effort, keep last 5, volatile).
// Positions in metres, the orientation as the quaternion of the pipeline's
// rotation matrix (host/Orientation.h), stamps from the records.
#pragma once

#include "host/outputs/Output.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>

struct DdsSettings {
    int domain = 0;            // 0..232
    std::string prefix = "is900";
    std::string frameId = "is900";
};

class DdsOutput : public Output {
public:
    // Throws std::runtime_error when the participant cannot be created.
    explicit DdsOutput(DdsSettings settings);
    ~DdsOutput() override;
    DdsOutput(const DdsOutput&) = delete;
    DdsOutput& operator=(const DdsOutput&) = delete;

    bool send(const PublishedRecord& record) override;
    bool lossless() const override { return false; }
    std::string describe() const override;

private:
    int32_t writerFor(RecordKind kind, uint32_t id);

    DdsSettings settings;
    int32_t participant = 0;
    std::map<std::pair<RecordKind, uint32_t>, int32_t> writers;
};

const int maxDdsDomain = 232;
