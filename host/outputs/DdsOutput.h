// DDS (Eclipse Cyclone DDS) as ROS 2 sees it: every tracker record as a
// geometry_msgs/msg/PoseStamped on rt/<prefix>/tracker<ID>, every controller
// record as a sensor_msgs/msg/Joy on rt/<prefix>/controller<ID>, with ROS 2's
// sensor-data quality of service (best effort, keep last 5, volatile).
// Positions in metres, the orientation as the quaternion of the pipeline's
// rotation matrix (host/view/Orientation.h), stamps from the records.
// Beside them: the host's entry in the directory of devices (DdsDirectory),
// health on rt/diagnostics (DdsDiagnostics), each controller button's press
// and release on rt/<prefix>/buttons (reliable, numbered per device), and
// with tf on, every tracker record as a transform on rt/tf from the frame to
// <prefix>_tracker<ID>, and on rt/tf_static, in one message, the turn from
// the y-up CAVE frame to ROS's z-up convention and each device's transmitter
// placement.
#pragma once

#include "host/outputs/DdsDevices.h"
#include "host/outputs/Output.h"
#include "host/outputs/OutputHub.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class DdsDirectory;
class DdsDiagnostics;

struct DdsSettings {
    int domain = 0;            // 0..232
    std::string prefix = "is900";
    std::string frameId = "is900";
    bool tf = false;
    std::vector<DdsDevice> devices;
};

class DdsOutput : public Output {
public:
    // Throws std::runtime_error when the participant or a topic cannot be created.
    explicit DdsOutput(DdsSettings settings);
    ~DdsOutput() override;
    DdsOutput(const DdsOutput&) = delete;
    DdsOutput& operator=(const DdsOutput&) = delete;

    bool send(const PublishedRecord& record) override;
    void sendStatus(const DeviceStatus& status) override;
    void sendQuality(const is900::hostkit::DeviceQuality& quality) override;
    // A controller record the hub drops still gives its button edges.
    void passOver(const PublishedRecord& record) override;
    void close() override;
    bool lossless() const override { return false; }
    // Every writer keeps the last few samples: a write replaces, never waits.
    bool mayWait() const override { return false; }
    std::string describe() const override;
    // The diagnostics report what the hub's outputs dropped.
    void reportCountsOf(const OutputHub* hub);

private:
    // raw: the topic of a processed tracker's own poses, "tracker<ID>_raw".
    int32_t writerFor(RecordKind kind, uint32_t id, bool raw = false);
    int32_t reliableWriter(const void* type, const std::string& topic, bool transientLocal, int depth);
    void sendTransform(const RecordView& view);
    bool sendPose(int32_t writer, const RecordView& view);
    bool writePose(int32_t writer, const RecordView& view);
    void sendStaticTransforms();
    // Notes the record; true when the directory learnt something new.
    bool note(const PublishedRecord& record, std::vector<std::pair<uint32_t, bool>>& edges, uint64_t& firstEdge);
    void sendEdges(const PublishedRecord& record, const std::vector<std::pair<uint32_t, bool>>& edges, uint64_t first);
    void noteAndSendEdges(const PublishedRecord& record);
    DdsDevice* deviceNamed(const std::string& name);

    DdsSettings settings;
    int32_t participant = 0;
    int32_t buttonWriter = 0;
    int32_t tfWriter = 0;
    int32_t tfStaticWriter = 0;
    std::map<std::tuple<RecordKind, uint32_t, bool>, int32_t> writers;
    std::mutex mutex; // guards settings.devices and hub
    const OutputHub* hub = nullptr;
    std::unique_ptr<DdsDirectory> directory;
    std::unique_ptr<DdsDiagnostics> diagnostics;
};

const int maxDdsDomain = 232;

// A ROS name: parts of letters, digits and underscores, none starting with
// a digit, separated by single slashes, with no slash at either end.
bool validRosName(const std::string& name);
