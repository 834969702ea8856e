#include "host/outputs/web/WebLines.h"

#include "host/outputs/ProcessingStage.h"
#include "host/view/Orientation.h"

#include <cstdio>
#include <sstream>

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

} // namespace

std::string webRecordKey(const RecordView& view) {
    return view.device + (view.kind == RecordKind::tracker ? "/tracker/" : "/controller/") + std::to_string(view.id);
}

std::string webRecordLine(const PublishedRecord& record) {
    if (record.view.kind != RecordKind::tracker) return jsonLine(record.view);
    const float* pose = record.processed ? record.processed->pose : record.view.pose;
    const Quaternion q = orientationQuaternion(pose[3], pose[4], pose[5]);
    const std::string quat = "[" + number(q.x) + "," + number(q.y) + "," + number(q.z) + "," + number(q.w) + "]";
    return recordJsonLine(record, {{"quat", quat}});
}

std::string webSetupLine(const std::string& device, const is900::hostkit::DeviceSetup& setup) {
    const is900::hostkit::Placement& transmitter = setup.transmitter;
    std::ostringstream line;
    line << "{\"type\":\"setup\",\"device\":" << jsonString(device) << ",\"cave\":" << (setup.cave ? "true" : "false")
         << ",\"transmitter\":";
    if (!transmitter.offsetSet && !transmitter.rotationSet) return line.str() + "null}";
    line << "{\"position\":[" << number(transmitter.offset[0]) << "," << number(transmitter.offset[1]) << ","
         << number(transmitter.offset[2]) << "],\"axes\":[";
    for (int i = 0; i < 3; ++i)
        line << (i ? "," : "") << "[" << number(transmitter.rotation[3 * i]) << "," << number(transmitter.rotation[3 * i + 1])
             << "," << number(transmitter.rotation[3 * i + 2]) << "]";
    return line.str() + "]}}";
}
