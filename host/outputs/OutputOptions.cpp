#include "host/outputs/OutputOptions.h"

#include "host/outputs/JsonLinesOutput.h"
#ifdef IS900_HOST_OSC
#include "host/outputs/OscOutput.h"
#endif
#ifdef IS900_HOST_DDS
#include "host/outputs/DdsOutput.h"
#endif

#include <CLI/CLI.hpp>

void addOutputOptions(CLI::App& app, OutputOptions& options) {
#ifdef IS900_HOST_OSC
    app.add_option("--osc", options.oscUrls, "send OSC messages to osc.udp://HOST:PORT (repeatable)");
#endif
#ifdef IS900_HOST_DDS
    app.add_flag("--dds", options.dds, "publish ROS 2 PoseStamped and Joy samples over DDS");
    app.add_option("--dds-domain", options.ddsDomain, "DDS domain, 0 to 232");
    app.add_option("--dds-prefix", options.ddsPrefix, "DDS topics are rt/PREFIX/trackerID and rt/PREFIX/controllerID");
    app.add_option("--frame", options.frameId, "header.frame_id of the DDS samples, the parent frame of the transforms");
    app.add_flag("--tf", options.tf, "with --dds: every tracker record also as a transform on rt/tf, for rviz2")
        ->needs("--dds");
#endif
    app.add_option("--record", options.recordPath, "write the JSON lines of one device to FILE");
    app.add_option("--record-device", options.recordDevice, "with --record: the device to record")->needs("--record");
}

#ifdef IS900_HOST_DDS
namespace {

// Names ROS accepts, and one frame only over devices that agree on it.
void checkDdsNames(const OutputOptions& options) {
    if (!validRosName(options.ddsPrefix))
        throw OutputError("--dds-prefix " + options.ddsPrefix + " is not a ROS name (letters, digits, _ and /)");
    if (!validRosName(options.frameId))
        throw OutputError("--frame " + options.frameId + " is not a ROS name (letters, digits, _ and /)");
    for (const DeviceSection& device : options.devices)
        if (device.setup.cave != options.devices.front().setup.cave)
            throw OutputError("--frame " + options.frameId + " is one frame, but devices '" +
                              options.devices.front().name + "' and '" + device.name + "' differ in cavecoord");
}

} // namespace
#endif

bool sendsRecords(const OutputOptions& options) { return !options.oscUrls.empty() || options.dds; }

void checkOutputOptions(const OutputOptions& options, const std::string& deviceName) {
    if (!options.recordDevice.empty() && options.recordDevice != deviceName)
        throw OutputError("--record-device " + options.recordDevice + " names no device of this host");
#ifdef IS900_HOST_DDS
    if (options.dds && (options.ddsDomain < 0 || options.ddsDomain > maxDdsDomain))
        throw OutputError("--dds-domain " + std::to_string(options.ddsDomain) + " is outside 0..232");
    if (options.dds) checkDdsNames(options);
#endif
#ifdef IS900_HOST_OSC
    try {
        for (const std::string& url : options.oscUrls) checkOscUrl(url);
    } catch (const std::exception& error) {
        throw OutputError(error.what());
    }
#endif
}

std::unique_ptr<OutputHub> buildOutputs(const OutputOptions& options, std::FILE* jsonLines,
                                        const std::string& deviceName, const std::vector<OptionLine>& deviceOptions) {
    checkOutputOptions(options, deviceName);
    std::unique_ptr<OutputHub> hub(new OutputHub);
    try {
        if (jsonLines) hub->add(std::unique_ptr<Output>(new JsonLinesOutput(jsonLines)));
        if (!options.recordPath.empty())
            hub->add(std::unique_ptr<Output>(new RecordFileOutput(options.recordPath, deviceName, deviceOptions)));
#ifdef IS900_HOST_OSC
        for (const std::string& url : options.oscUrls) hub->add(std::unique_ptr<Output>(new OscOutput(url)));
#endif
#ifdef IS900_HOST_DDS
        if (options.dds) {
            DdsSettings settings;
            settings.domain = options.ddsDomain;
            settings.prefix = options.ddsPrefix;
            settings.frameId = options.frameId;
            settings.tf = options.tf;
            settings.devices = ddsDevices(options.devices);
            DdsOutput* output = new DdsOutput(settings);
            hub->add(std::unique_ptr<Output>(output));
            output->reportCountsOf(hub.get());
        }
#endif
    } catch (const OutputError&) {
        throw;
    } catch (const std::exception& error) {
        throw OutputError(error.what());
    }
    return hub;
}
