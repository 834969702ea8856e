#include "host/supervision/DeviceRun.h"

#include "is900/hostkit/CBase.h"
#include "host/config/DeviceConfigBlock.h"
#include "host/platform/HostPlatform.h"
#include "host/supervision/ExitStatus.h"
#include "is900/hostkit/PluginLibrary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

using Clock = DeviceRun::Clock;

const auto fastCall = std::chrono::milliseconds(500);
const auto receiverGrace = std::chrono::seconds(5);
const auto pollInterval = std::chrono::milliseconds(20);
const int longestBackOffSeconds = 30;

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

// 1 s after the first failure, doubling, at most 30 s.
int backOffSeconds(int failures) {
    int seconds = 1;
    for (int n = 1; n < failures && seconds < longestBackOffSeconds; ++n) seconds *= 2;
    return std::min(seconds, longestBackOffSeconds);
}

} // namespace

DeviceRun::DeviceRun(const DeviceDefinition& definition, HostStorages& storages, HostStorages::Numbers bases,
                     const SessionOptions& options, Display& display)
    : definition(definition), storages(storages), bases(bases), options(options), display(display),
      logger(definition.logger),
      config(new DeviceConfigBlock(definition.name, definition.options)), nextAttempt(Clock::now()) {
    current.device = definition.name;
    display.status(current);
}

DeviceRun::~DeviceRun() { shutDown(); }

int DeviceRun::supervise(Clock::time_point now) {
    switch (current.state) {
    case DeviceState::failed:
        return exitOk;
    case DeviceState::starting:
    case DeviceState::reconnecting:
        return now >= nextAttempt ? attempt(now) : exitOk;
    case DeviceState::streaming:
        break;
    }
    if (publishedSinceUp && failures > 0) {
        failures = 0;
        current.attempt = 1;
    }
    if (receiverDone) return lose("the device ended reception (recvData returned -1)", now);
    if (secondsSinceActivity() > options.silenceSeconds)
        return lose("no record from the tracker on " + definition.portName + " for " +
                        std::to_string(static_cast<int>(options.silenceSeconds)) + " seconds",
                    now);
    return exitOk;
}

// Without --once the port is tried by the host first: a missing or busy port
// is waited for, and only an init that fails on an open port is final.
int DeviceRun::attempt(Clock::time_point now) {
    setState(DeviceState::starting);
    std::string portProblem;
    if (!options.once && !hostplatform::portCanBeOpened(definition.portName, portProblem)) {
        std::cerr << "is900-host: device '" << definition.name << "': cannot open port " << definition.portName << " ("
                  << portProblem << "), attempt " << current.attempt << "; retrying in "
                  << backOffSeconds(failures + 1) << " s" << std::endl;
        retryLater(now);
        return exitOk;
    }
    device = definition.plugin->createDev(config->get(), logger.get());
    if (!device) {
        reportError("createDev returned no device");
        setState(DeviceState::failed);
        return options.once ? exitPlugin : exitOk;
    }
    is900::hostkit::DevInitInfo info{};
    info.trackerStorage = storages.tracker();
    info.controllerStorage = storages.controller();
    info.runFlag = &runFlag;
    runFlag = 1;
    if (initKeepingIds(info) != 1) {
        reportError("device '" + definition.name + "' could not be initialised (port " + definition.portName +
                    "); the device's messages above say why");
        release();
        setState(DeviceState::failed);
        return options.once ? exitInit : exitOk;
    }
    if (device->configure() == 0) {
        reportError("the tracker on " + definition.portName + " could not be set up for streaming");
        device->stop();
        release();
        if (options.once) return exitConfigure;
        retryLater(Clock::now());
        return exitOk;
    }
    device->start();
    noteActivity();
    receiverDone = false;
    publishedSinceUp = false;
    receiver = std::thread([this] { receive(); });
    streamedOnce = true;
    setState(DeviceState::streaming);
    return exitOk;
}

// init reserves record IDs before it opens the port, so every attempt
// reserves again. With both storages held (their mutexes are recursive, and
// init takes them again), the numbers go back to what they were before this
// device's first init, and after init forward to the highest they had:
// the device gets its own IDs again and no other device loses any.
int DeviceRun::initKeepingIds(is900::hostkit::DevInitInfo& info) {
    HostStorages::BothLocked hold(storages);
    const HostStorages::Numbers highest = storages.numbers();
    storages.setNumbers(bases);
    const int result = device->init(&info);
    const HostStorages::Numbers reserved = storages.numbers();
    storages.setNumbers({std::max(highest.tracker, reserved.tracker), std::max(highest.controller, reserved.controller)});
    return result;
}

int DeviceRun::lose(const std::string& why, Clock::time_point now) {
    reportError("device '" + definition.name + "': " + why);
    shutDown();
    if (options.once) return exitReception;
    retryLater(now);
    return exitOk;
}

void DeviceRun::retryLater(Clock::time_point now) {
    const int seconds = backOffSeconds(++failures);
    nextAttempt = now + std::chrono::seconds(seconds);
    ++current.attempt;
    attemptChanged = true;
    setState(DeviceState::reconnecting, seconds);
}

void DeviceRun::shutDown() {
    if (!device) return;
    if (receiver.joinable()) {
        __atomic_store_n(&runFlag, 0, __ATOMIC_SEQ_CST);
        const Clock::time_point limit = Clock::now() + receiverGrace;
        while (!receiverDone && Clock::now() < limit) std::this_thread::sleep_for(pollInterval);
        if (!receiverDone) {
            reportError("recvData did not return within 5 seconds after the run flag was cleared; "
                        "leaving without stopping the device");
            std::_Exit(exitHung);
        }
        receiver.join();
    }
    device->stop();
    release();
}

void DeviceRun::release() {
    definition.plugin->deleteDev(device);
    device = nullptr;
}

void DeviceRun::setState(DeviceState state, int retryInSeconds) {
    if (current.state == state && current.retryInSeconds == retryInSeconds && !attemptChanged) return;
    current.state = state;
    current.retryInSeconds = retryInSeconds;
    attemptChanged = false;
    display.status(current);
}

void DeviceRun::receive() {
    hostplatform::nameThisThread("is900-receive");
    unsigned char masks[8];
    while (running()) {
        std::memset(masks, 0, sizeof masks);
        const Clock::time_point begin = Clock::now();
        const int result = device->recvData(masks, nullptr);
        // A call that returns at once may also be a read failing at once, so
        // speed counts as a sign of life only where nothing else can be one:
        // tracker records always change, controller records only when used.
        if (definition.layout.trackerStations.empty() && Clock::now() - begin < fastCall) noteActivity();
        publish(masks);
        if (result != 1) break;
    }
    receiverDone = true;
}

void DeviceRun::publish(const unsigned char* masks) {
    const auto show = [this](RecordView view) {
        view.device = definition.name;
        display.record(view);
        noteActivity();
        publishedSinceUp = true;
    };
    publishMarked<is900::hostkit::TraData>(
        masks, [this](uint32_t id, is900::hostkit::TraData& record) { return storages.readTracker(id, record); },
        [this](const is900::hostkit::TraData& record, uint32_t id) {
            return viewTracker(record, definition.layout.trackerStation(id - bases.tracker));
        },
        show);
    publishMarked<is900::hostkit::ConData>(
        masks + 4, [this](uint32_t id, is900::hostkit::ConData& record) { return storages.readController(id, record); },
        [this](const is900::hostkit::ConData& record, uint32_t id) {
            return viewController(record, definition.layout.controllerStation(id - bases.controller));
        },
        show);
}

void DeviceRun::noteActivity() { lastActivity = ticksNow(); }

double DeviceRun::secondsSinceActivity() const {
    return std::chrono::duration<double>(Clock::duration(ticksNow() - lastActivity.load())).count();
}

bool DeviceRun::running() const { return __atomic_load_n(&runFlag, __ATOMIC_SEQ_CST) != 0; }
