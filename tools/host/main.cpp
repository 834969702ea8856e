// is900-host: loads the IS-900 device plug-in, drives one device the way a
// tracking host does and shows what it publishes.
#include "tools/host/ConfigFile.h"
#include "tools/host/DeviceSetup.h"
#include "tools/host/HostPlatform.h"
#include "tools/host/HostStorages.h"
#include "tools/host/LoggerRecord.h"
#include "tools/hostkit/PluginLibrary.h"
#include "tools/host/Session.h"
#include "tools/host/outputs/HostOutputs.h"
#ifdef IS900_HOST_SIMULATOR
#include "tools/host/SimulatedTracker.h"
#endif

#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

struct HostOptions {
    std::string configPath;
    std::string pluginPath = defaultPluginPath();
    std::string deviceName = "is900";
    std::string portName;
    bool simulate = false;
    std::string simulatorLog;
    std::string format = "auto";
    double durationSeconds = 0;
    double silenceSeconds = 5;
    bool quiet = false;
    int debugLevel = 0;
    bool timestamps = false;
    bool threadIds = false;
    OutputOptions outputs;
};

std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int signalNumber) {
    if (stopRequested.exchange(true)) std::_Exit(130);
    std::signal(signalNumber, onStopSignal);
}

void defineOptions(CLI::App& app, HostOptions& options) {
    app.option_defaults()->always_capture_default();
    app.add_option("-c,--config", options.configPath, "configuration file of option lines");
    app.add_option("--plugin", options.pluginPath, "the device plug-in library");
    app.add_option("--name", options.deviceName, "device name handed to the plug-in");
    app.add_option("--port", options.portName, "serial port; replaces the configuration's port line");
#ifdef IS900_HOST_SIMULATOR
    app.add_flag("--simulate", options.simulate, "run against the built-in tracker simulator");
    app.add_option("--sim-log", options.simulatorLog, "with --simulate: append every command the tracker receives")
        ->needs("--simulate");
#endif
    app.add_option("--format", options.format, "auto (table on a terminal, else jsonl), table or jsonl")
        ->check(CLI::IsMember({"auto", "table", "jsonl"}));
    app.add_option("--duration", options.durationSeconds, "stop by itself after SECONDS")
        ->check(CLI::PositiveNumber);
    app.add_option("--silence", options.silenceSeconds, "give up when no record arrives for SECONDS")
        ->check(CLI::PositiveNumber);
    app.add_flag("-q,--quiet", options.quiet, "switch the plug-in's log lines off");
    app.add_option("--debug", options.debugLevel, "debug level of the plug-in's logger (0: off)");
    app.add_flag("--timestamps", options.timestamps, "date and time on the plug-in's log lines");
    app.add_flag("--thread-ids", options.threadIds, "thread ids on the plug-in's log lines");
    addOutputOptions(app, options.outputs);
}

std::vector<OptionLine> loadOptions(const HostOptions& options) {
    std::vector<OptionLine> lines;
    if (!options.configPath.empty()) lines = readConfigFile(options.configPath);
    if (!options.portName.empty()) overridePortOption(lines, options.portName);
    return lines;
}

SessionOptions sessionOptions(const HostOptions& options, const std::vector<OptionLine>& lines, HostOutputs& data) {
    SessionOptions session;
    session.durationSeconds = options.durationSeconds;
    session.silenceSeconds = options.silenceSeconds;
    session.terminal = data.terminal();
    session.format = data.jsonLines() ? OutputFormat::jsonl : OutputFormat::table;
    session.outputs = data.hub();
    session.deviceName = options.deviceName;
    session.portName = portNameFromOptions(lines);
    return session;
}

LoggerSettings loggerSettings(const HostOptions& options) {
    LoggerSettings settings;
    settings.name = options.deviceName;
    settings.enabled = !options.quiet;
    settings.timestamps = options.timestamps;
    settings.threadIds = options.threadIds;
    settings.debugLevel = options.debugLevel;
    return settings;
}

int runDevice(const HostOptions& options, const PluginLibrary& plugin, const std::vector<OptionLine>& lines,
              HostOutputs& data) {
    const StationLayout layout = stationLayoutFromOptions(lines);
    SessionOptions session = sessionOptions(options, lines, data);
    LoggerRecord logger(loggerSettings(options));
    HostStorages storages(logger.get());
    DeviceConfigBlock config(options.deviceName, lines);
    if (session.format == OutputFormat::table && session.terminal) hostplatform::prepareTerminal();
    std::cerr << "is900-host: device '" << options.deviceName << "' on " << session.portName
              << (options.durationSeconds > 0 ? "" : "; Ctrl-C stops") << std::endl;
    Session device(plugin, config.get(), logger.get(), storages, layout, session, data.screen());
    return device.run(stopRequested);
}

int runHost(const HostOptions& options) {
    std::vector<OptionLine> lines;
    try {
        lines = loadOptions(options);
    } catch (const ConfigError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitConfig;
    }
    std::unique_ptr<HostOutputs> data;
    try {
        data.reset(new HostOutputs(options.outputs, options.format, options.quiet, options.deviceName, lines));
        data->onReaderGone([] { stopRequested = true; });
    } catch (const OutputError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitConfig;
    }
    std::unique_ptr<PluginLibrary> plugin;
    try {
        plugin.reset(new PluginLibrary(options.pluginPath));
    } catch (const PluginError& error) {
        std::cerr << "is900-host: error: " << error.what() << std::endl;
        return exitPlugin;
    }
#ifdef IS900_HOST_SIMULATOR
    std::unique_ptr<SimulatedTracker> simulator;
    if (options.simulate) {
        try {
            simulator.reset(new SimulatedTracker(stationLayoutFromOptions(lines), options.simulatorLog));
            overridePortOption(lines, simulator->portName());
        } catch (const std::exception& error) {
            std::cerr << "is900-host: error: " << error.what() << std::endl;
            return exitSimulator;
        }
    }
#endif
    const int status = runDevice(options, *plugin, lines, *data);
    data->finish();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Loads the IS-900 device plug-in, streams from the tracker and shows the published records."};
    HostOptions options;
    defineOptions(app, options);
    CLI11_PARSE(app, argc, argv);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    return runHost(options);
}
