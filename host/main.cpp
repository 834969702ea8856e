// is900-host: loads the IS-900 device plug-in, drives one device or several
// the way a tracking host does, keeps them running and shows what they publish.
#include "host/config/CaptureOption.h"
#include "host/config/ConfigFile.h"
#include "host/config/DeviceConfigBlock.h"
#include "host/platform/HostPlatform.h"
#include "host/supervision/HostStorages.h"
#include "host/config/LoggerRecord.h"
#include "is900/hostkit/PluginLibrary.h"
#include "is900/signals/StopSignals.h"
#include "host/supervision/Session.h"
#include "host/supervision/SessionEvents.h"
#include "host/outputs/HostOutputs.h"
#ifdef IS900_HOST_SIMULATOR
#include "host/simulation/SimulatedTracker.h"
#include "sim/CaptureFile.h"
#endif
#ifdef IS900_HOST_WEB
#include "host/outputs/web/ConfigWriter.h"
#include "host/outputs/web/WebLines.h"
#include "host/outputs/web/WebView.h"
#include "host/platform/Network.h"
#endif

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>

using is900::hostkit::PluginError;
using is900::hostkit::PluginLibrary;
using is900::hostkit::defaultPluginPath;

namespace {

struct HostOptions {
    std::string configPath;
    std::string pluginPath = defaultPluginPath();
    std::string deviceName = "is900";
    std::string portName;
    bool simulate = false;
    std::string simulatorLog;
    std::string captureFolder;
    std::string replayCapture;
    double replaySpeed = 1;
    bool replayLoop = false;
    std::string format = "auto";
    double durationSeconds = 0;
    double silenceSeconds = 10;
    bool once = false;
    bool quiet = false;
    int debugLevel = 0;
    bool timestamps = false;
    bool threadIds = false;
    std::string web;
    bool allowConfigWrite = false;
    OutputOptions outputs;
};

// A signal or a reader that left ends the run in order through this.
SessionEvents events;

// At a second stop signal, the time the stop sequence under way has to reach
// the trackers; shorter than the wait for a receiving thread that does not
// return, so that such a device still ends the host with 130.
const auto stopSequenceGrace = std::chrono::seconds(3);

// A flag's number, refused with what the flag takes: the whole text must be
// a finite number (no unit), above the least value.
CLI::Validator numberAbove(double least, bool whole, const std::string& what) {
    return CLI::Validator(
        [least, whole, what](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = text.empty() ? 0 : std::strtod(text.c_str(), &end);
            const bool number = !text.empty() && *end == '\0' && std::isfinite(value) &&
                                (!whole || text.find_first_not_of("0123456789") == std::string::npos);
            if (number && value > least) return std::string();
            return "takes " + what + ", not '" + text + "'";
        },
        what);
}

void defineOptions(CLI::App& app, HostOptions& options) {
    app.option_defaults()->always_capture_default();
    app.add_option("-c,--config", options.configPath, "configuration file: option lines, or [device NAME] sections");
    app.add_option("--plugin", options.pluginPath, "the device plug-in library");
    app.add_option("--name", options.deviceName, "device name handed to the plug-in (one device only)");
    app.add_option("--port", options.portName, "serial port; replaces the configuration's port line (one device only)");
#ifdef IS900_HOST_SIMULATOR
    app.add_flag("--simulate", options.simulate, "run against the built-in tracker simulator, one per device");
    app.add_option("--sim-log", options.simulatorLog, "with --simulate: append every command the tracker receives")
        ->needs("--simulate");
    app.add_option("--replay-capture", options.replayCapture,
                   "play a capture's tracker side back on a built-in simulator; the device's option lines are the "
                   "capture's unless -c gives others")
        ->excludes("--simulate");
    app.add_option("--speed", options.replaySpeed, "with --replay-capture: divide the spacing between chunks by X")
        ->needs("--replay-capture")
        ->check(numberAbove(0, false, "a number greater than 0"));
    app.add_flag("--loop", options.replayLoop, "with --replay-capture: start over at the end")
        ->needs("--replay-capture");
#endif
    app.add_option("--capture", options.captureFolder,
                   "capture every device's line into a file in DIR named after the device and the start time");
    app.add_option("--format", options.format, "auto (table on a terminal, else jsonl), table or jsonl")
        ->check(CLI::IsMember({"auto", "table", "jsonl"}));
    const CLI::Validator seconds = numberAbove(0, false, "a number of seconds greater than 0");
    app.add_option("--duration", options.durationSeconds, "stop by itself after SECONDS")->check(seconds);
    app.add_option("--silence", options.silenceSeconds,
                   "bring a device up anew when it publishes nothing for SECONDS (with --once: give up); a device "
                   "with reconnect on recovers by itself")
        ->check(seconds);
    app.add_flag("--once", options.once, "end the run at the first failure instead of bringing the device up again");
    app.add_flag("-q,--quiet", options.quiet, "switch the plug-in's log lines off");
    app.add_option("--debug", options.debugLevel, "debug level of the plug-in's logger (0: off)")
        ->check(numberAbove(-1, true, "a whole number, 0 or more"));
    app.add_flag("--timestamps", options.timestamps, "date and time on the plug-in's log lines");
    app.add_flag("--thread-ids", options.threadIds, "thread ids on the plug-in's log lines");
#ifdef IS900_HOST_WEB
    app.add_option("--web", options.web,
                   "serve a live 3D view at [ADDRESS:]PORT (address 127.0.0.1 unless given; port 0 picks a free one)");
    app.add_flag("--allow-config-write", options.allowConfigWrite,
                 "with -c FILE and --web on a loopback address: let the web view write a device's corrections into "
                 "FILE, for requests with the token printed at the start");
#endif
    addOutputOptions(app, options.outputs);
}

// The devices to run: the configuration's sections, or one device named by
// --name whose port --port may replace.
HostConfig readDevices(const HostOptions& options, const CLI::App& app,
                       const std::vector<OptionLine>& defaultOptions) {
    HostConfig config;
    config.devices.emplace_back();
    config.devices.front().options = defaultOptions;
    if (!options.configPath.empty()) config = readHostConfig(options.configPath);
    if (config.sectioned) {
        for (const char* flag : {"--port", "--name", "--replay-capture"})
            if (app.count(flag) > 0)
                throw ConfigError(std::string(flag) + " names one device, but " + options.configPath +
                                  " has device sections");
        return config;
    }
    DeviceSection& device = config.devices.front();
    device.name = options.deviceName;
    if (!options.portName.empty()) overridePortOption(device.options, options.portName);
    return config;
}

HostConfig loadConfig(const HostOptions& options, const CLI::App& app,
                      const std::vector<OptionLine>& defaultOptions = {}) {
    HostConfig config = readDevices(options, app, defaultOptions);
    const std::time_t start = std::time(nullptr);
    if (!options.captureFolder.empty())
        for (DeviceSection& device : config.devices)
            overrideCaptureOption(device.options, captureFilePath(options.captureFolder, device.name, start));
    readSetups(config);
    return config;
}

SessionOptions sessionOptions(const HostOptions& options, HostOutputs& data) {
    SessionOptions session;
    session.durationSeconds = options.durationSeconds;
    session.silenceSeconds = options.silenceSeconds;
    session.once = options.once;
    session.terminal = data.terminal();
    session.format = data.jsonLines() ? OutputFormat::jsonl : OutputFormat::table;
    session.outputs = data.hub();
    session.table = data.table();
    return session;
}

LoggerSettings loggerSettings(const HostOptions& options, const std::string& deviceName) {
    LoggerSettings settings;
    settings.name = deviceName;
    // With -q the plug-in still logs: the quiet filter picks init's errors out.
    settings.timestamps = options.timestamps;
    settings.threadIds = options.threadIds;
    settings.debugLevel = options.debugLevel;
    return settings;
}

// Where the device's line goes, for the line that announces the device.
std::string captureNote(const is900::hostkit::CaptureSetup& capture) {
    if (capture.path.empty()) return "";
    return "; line captured into " + capture.path + " (at most " + std::to_string(capture.limitMiB) + " MiB)";
}

int runDevices(const HostOptions& options, const HostConfig& config,
               const std::map<std::string, std::unique_ptr<PluginLibrary>>& plugins, HostOutputs& data) {
    SessionOptions session = sessionOptions(options, data);
    LoggerRecord storageLogger(loggerSettings(options, options.deviceName));
    HostStorages storages(storageLogger.get());
    if (session.format == OutputFormat::table && session.terminal) hostplatform::prepareTerminal();
    Session run(storages, session, data.screen(), events);
    for (const DeviceSection& section : config.devices) {
        DeviceDefinition definition;
        definition.name = section.name;
        definition.options = section.options;
        definition.setup = section.setup;
        definition.logger = loggerSettings(options, section.name);
        definition.plugin = plugins.at(section.pluginPath.empty() ? options.pluginPath : section.pluginPath).get();
        std::cerr << "is900-host: device '" << definition.name << "' on " << definition.setup.port
                  << captureNote(definition.setup.capture) << (options.durationSeconds > 0 ? "" : "; Ctrl-C stops")
                  << std::endl;
        run.addDevice(definition);
    }
    return run.run();
}

// The device whose records --record writes: the one --record-device names,
// or the only one.
const DeviceSection& recordedDevice(const HostOptions& options, const HostConfig& config) {
    const std::string& wanted = options.outputs.recordDevice;
    for (const DeviceSection& device : config.devices)
        if (device.name == wanted) return device;
    if (!options.outputs.recordPath.empty() && wanted.empty() && config.devices.size() > 1)
        throw OutputError("--record needs --record-device NAME when the configuration has several devices");
    return config.devices.front(); // a name that matches no device is refused by the outputs
}

#ifdef IS900_HOST_SIMULATOR
// The capture's option lines, its own capture line left out.
std::vector<OptionLine> captureOptions(const is900sim::Capture& capture) {
    std::vector<OptionLine> lines;
    for (const std::vector<std::string>& words : capture.optionLines)
        lines.push_back(OptionLine{static_cast<uint32_t>(lines.size() + 1), words.front(),
                                   std::vector<std::string>(words.begin() + 1, words.end())});
    return withoutCaptureOption(lines);
}

std::shared_ptr<const is900sim::Capture> loadCapture(const std::string& path) {
    auto capture = std::make_shared<is900sim::Capture>(is900sim::readCapture(path));
    if (capture->lastChunkCutShort)
        std::cerr << "is900-host: warning: " << path << ": the last chunk, at byte offset " << capture->cutShortOffset
                  << ", is cut short; it is replayed up to its end" << std::endl;
    return capture;
}
#endif

#ifdef IS900_HOST_WEB
// Configuration writes reach the file only from this machine.
bool configWritesRefused(const HostOptions& options) {
    if (!options.allowConfigWrite) return false;
    if (!options.configPath.empty() && !options.web.empty() && hostplatform::isLoopbackAddress(webAddress(options.web)))
        return false;
    std::cerr << "is900-host: error: --allow-config-write needs -c FILE and --web bound to a loopback address "
                 "(127.0.0.1, ::1 or localhost)"
              << std::endl;
    return true;
}

// Returns the token that write requests must carry.
std::string allowConfigWrites(WebView& web, const HostOptions& options, const HostConfig& config) {
    const std::string token = randomToken();
    std::unique_ptr<ConfigWriter> writer(new ConfigWriter(options.configPath, config.text, config.sectioned));
    web.allowConfigWrites(std::move(writer), token, [](const std::string& device, const std::vector<OptionLine>& lines) {
        events.requestRestart(DeviceRestart{device, lines});
    });
    return token;
}

// Started before any device is touched, so that a busy port ends the run at
// once; null when it cannot start. The hub owns it.
WebView* startWebView(const HostOptions& options, const HostConfig& config, HostOutputs& data) {
    std::unique_ptr<WebView> web(new WebView(webAssetFolder()));
    const std::string token = options.allowConfigWrite ? allowConfigWrites(*web, options, config) : "";
    if (!web->start(options.web)) {
        std::cerr << "is900-host: error: --web: " << web->errorText() << std::endl;
        return nullptr;
    }
    std::cerr << "is900-host: web view at " << web->url() << std::endl;
    if (!token.empty())
        std::cerr << "is900-host: configuration writes need the header X-Is900-Token: " << token << std::endl;
    for (const DeviceSection& device : config.devices)
        web->publish("setup/" + device.name, webSetupLine(device.name, device.setup));
    WebView* view = web.get();
    data.add(std::move(web));
    return view;
}
#endif

int runHost(const HostOptions& options, const CLI::App& app) {
#ifdef IS900_HOST_WEB
    if (configWritesRefused(options)) return exitConfig;
#endif
    HostConfig config;
#ifdef IS900_HOST_SIMULATOR
    std::shared_ptr<const is900sim::Capture> capture;
#endif
    try {
#ifdef IS900_HOST_SIMULATOR
        if (!options.replayCapture.empty()) capture = loadCapture(options.replayCapture);
        config = loadConfig(options, app, capture ? captureOptions(*capture) : std::vector<OptionLine>());
    } catch (const is900sim::CaptureError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitConfig;
#else
        config = loadConfig(options, app);
#endif
    } catch (const ConfigError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitConfig;
    }
    std::unique_ptr<HostOutputs> data;
    try {
        const DeviceSection& recorded = recordedDevice(options, config);
        OutputOptions outputs = options.outputs;
        outputs.devices = config.devices;
        data.reset(new HostOutputs(outputs, options.format, options.quiet, recorded.name, recorded.options));
        data->onReaderGone([] { events.requestStop(); });
    } catch (const OutputError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitConfig;
    }
#ifdef IS900_HOST_WEB
    WebView* view = nullptr;
    if (!options.web.empty() && !(view = startWebView(options, config, *data))) return exitConfig;
#endif
    std::map<std::string, std::unique_ptr<PluginLibrary>> plugins;
    try {
        for (const DeviceSection& device : config.devices) {
            const std::string path = device.pluginPath.empty() ? options.pluginPath : device.pluginPath;
            if (!plugins.count(path)) plugins[path].reset(new PluginLibrary(path));
        }
    } catch (const PluginError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitPlugin;
    }
#ifdef IS900_HOST_SIMULATOR
    std::vector<std::unique_ptr<SimulatedTracker>> simulators;
    if (capture) {
        try {
            is900sim::SimulatorOptions replay = simulatorOptionsFor(config.devices.front().setup);
            replay.commandLogPath = options.simulatorLog;
            replay.capture = capture;
            replay.captureSpeed = options.replaySpeed;
            replay.loop = options.replayLoop;
            simulators.emplace_back(new SimulatedTracker(replay));
            overrideDevicePort(config.devices.front(), simulators.back()->portName());
        } catch (const std::exception& error) {
            std::cerr << "is900-host: error: " << error.what() << std::endl;
            return exitSimulator;
        }
    }
    if (options.simulate) {
        try {
            for (DeviceSection& device : config.devices) {
                const std::string log = options.simulatorLog.empty() || !config.sectioned
                                            ? options.simulatorLog
                                            : options.simulatorLog + "." + device.name;
                simulators.emplace_back(new SimulatedTracker(device.setup, log));
                overrideDevicePort(device, simulators.back()->portName());
            }
        } catch (const std::exception& error) {
            std::cerr << "is900-host: error: " << error.what() << std::endl;
            return exitSimulator;
        }
    }
#endif
#ifdef IS900_HOST_WEB
    // The devices as they will run, on the simulators' ports.
    if (view) view->serveDevices(config.devices);
#endif
    const int status = runDevices(options, config, plugins, *data);
    data->finish();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Loads the IS-900 device plug-in, streams from the tracker and shows the published records."};
    HostOptions options;
    defineOptions(app, options);
    is900::hostkit::handleStopSignals([] { events.requestStop(); },
                                      [] { events.waitForDevicesStopped(stopSequenceGrace); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ValidationError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitConfig;
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    return runHost(options, app);
}
