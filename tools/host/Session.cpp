#include "tools/host/Session.h"

#include "boundary/CBase.h"
#include "tools/host/HostPlatform.h"
#include "tools/host/HostStorages.h"
#include "tools/host/outputs/OutputHub.h"
#include "tools/hostkit/PluginLibrary.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

namespace {

using Clock = LiveBoard::Clock;

const auto fastCall = std::chrono::milliseconds(500);
const auto receiverGrace = std::chrono::seconds(5);
const auto pollInterval = std::chrono::milliseconds(20);

void reportError(const std::string& text) { std::cerr << "is900-host: error: " << text << std::endl; }

// Copies each record marked in one update mask out of its storage and shows it.
template <typename Record, typename Read, typename Describe, typename Show>
void publishMarked(const unsigned char* mask, Read read, Describe describe, Show show) {
    for (uint32_t id : markedIds(mask)) {
        Record record{};
        if (read(id, record)) show(describe(record, id));
    }
}

int64_t ticksNow() { return Clock::now().time_since_epoch().count(); }

} // namespace

Session::Session(const PluginLibrary& plugin, DevConfig* config, CLogH* log, HostStorages& storages,
                 StationLayout layout, SessionOptions options, std::ostream& out)
    : plugin(plugin), config(config), log(log), storages(storages), layout(std::move(layout)),
      options(std::move(options)), out(out) {}

int Session::run(const std::atomic<bool>& stopRequested) {
    CBase* device = plugin.createDev(config, log);
    if (!device) {
        reportError("createDev returned no device");
        return exitPlugin;
    }
    int status = bringUp(*device);
    if (status == exitOk) status = stream(*device, stopRequested);
    plugin.deleteDev(device);
    return status;
}

int Session::bringUp(CBase& device) {
    DevInitInfo info{};
    info.trackerStorage = storages.tracker();
    info.controllerStorage = storages.controller();
    info.runFlag = &runFlag;
    runFlag = 1;
    if (device.init(&info) != 1) {
        reportError("device '" + options.deviceName + "' could not be initialised (port " + options.portName +
                    "); the device's messages above say why");
        return exitInit;
    }
    if (device.configure() == 0) {
        reportError("the tracker on " + options.portName + " could not be set up for streaming");
        device.stop();
        return exitConfigure;
    }
    device.start();
    return exitOk;
}

int Session::stream(CBase& device, const std::atomic<bool>& stopRequested) {
    noteActivity();
    std::thread receiver([this, &device] { receive(device); });
    int status = watch(stopRequested);
    clearRunFlag();
    if (!waitForReceiver()) {
        reportError("recvData did not return within 5 seconds after the run flag was cleared; "
                    "leaving without stopping the device");
        std::_Exit(exitHung);
    }
    receiver.join();
    if (options.format == OutputFormat::table) showTable(false);
    device.stop();
    return status;
}

int Session::watch(const std::atomic<bool>& stopRequested) {
    const Clock::time_point begin = Clock::now();
    Clock::time_point nextRefresh = begin;
    const auto refresh = std::chrono::duration<double>(options.terminal ? options.refreshSeconds : 1.0);
    while (true) {
        std::this_thread::sleep_for(pollInterval);
        const Clock::time_point now = Clock::now();
        if (stopRequested) return exitOk;
        if (options.durationSeconds > 0 && now - begin >= std::chrono::duration<double>(options.durationSeconds))
            return exitOk;
        if (receiverDone) {
            reportError("the device ended reception (recvData returned -1)");
            return exitReception;
        }
        if (secondsSinceActivity() > options.silenceSeconds) {
            reportError("no record from the tracker on " + options.portName + " for " +
                        std::to_string(static_cast<int>(options.silenceSeconds)) + " seconds");
            return exitReception;
        }
        if (options.format == OutputFormat::table && now >= nextRefresh) {
            showTable(options.terminal);
            nextRefresh = now + std::chrono::duration_cast<Clock::duration>(refresh);
        }
    }
}

bool Session::waitForReceiver() {
    const Clock::time_point limit = Clock::now() + receiverGrace;
    while (!receiverDone && Clock::now() < limit) std::this_thread::sleep_for(pollInterval);
    return receiverDone;
}

void Session::receive(CBase& device) {
    hostplatform::nameThisThread("is900-receive");
    unsigned char masks[8];
    while (running()) {
        std::memset(masks, 0, sizeof masks);
        const Clock::time_point begin = Clock::now();
        const int result = device.recvData(masks, nullptr);
        // A call that returns at once may also be a read failing at once, so
        // speed counts as a sign of life only where nothing else can be one:
        // tracker records always change, controller records only when used.
        if (layout.trackerStations.empty() && Clock::now() - begin < fastCall) noteActivity();
        publish(masks);
        if (result != 1) {
            endedByDevice = running();
            break;
        }
    }
    receiverDone = true;
}

void Session::publish(const unsigned char* masks) {
    const Clock::time_point now = Clock::now();
    const auto show = [this, now](const RecordView& view) {
        board.update(view, now);
        if (options.outputs) options.outputs->publish(options.deviceName, view);
        else if (options.format == OutputFormat::jsonl) out << jsonLine(view) << std::endl;
        noteActivity();
    };
    publishMarked<TraData>(
        masks, [this](uint32_t id, TraData& record) { return storages.readTracker(id, record); },
        [this](const TraData& record, uint32_t id) { return viewTracker(record, layout.trackerStation(id)); }, show);
    publishMarked<ConData>(
        masks + 4, [this](uint32_t id, ConData& record) { return storages.readController(id, record); },
        [this](const ConData& record, uint32_t id) { return viewController(record, layout.controllerStation(id)); },
        show);
}

void Session::showTable(bool redraw) {
    if (redraw) out << "\033[H\033[J";
    out << formatTable(board.snapshot(Clock::now()));
    if (!redraw) out << '\n';
    out.flush();
}

void Session::noteActivity() { lastActivity = ticksNow(); }

double Session::secondsSinceActivity() const {
    return std::chrono::duration<double>(Clock::duration(ticksNow() - lastActivity.load())).count();
}

bool Session::running() const { return __atomic_load_n(&runFlag, __ATOMIC_SEQ_CST) != 0; }

void Session::clearRunFlag() { __atomic_store_n(&runFlag, 0, __ATOMIC_SEQ_CST); }
