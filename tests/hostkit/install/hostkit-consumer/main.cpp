// Calls every function the installed host kit declares, so that a header
// declaring something its library lacks fails to link here. Run with no
// argument: it builds storages, loads the installed plug-in, creates and
// deletes a device, and exits 0 when every call did what it says.
#include "is900/hostkit/HostLog.h"
#include "is900/hostkit/HostMutex.h"
#include "is900/hostkit/CBase.h"
#include "is900/hostkit/DeviceSetup.h"
#include "is900/hostkit/HostStorage.h"
#include "is900/hostkit/LibraryLoader.h"
#include "is900/hostkit/OptionLine.h"
#include "is900/hostkit/PluginLibrary.h"
#include "is900/hostkit/PoseProcessing.h"
#include "is900/hostkit/Quality.h"
#include "is900/hostkit/RecordSchema.h"
#include "is900/hostkit/Records.h"
#include "is900/hostkit/SystemErrorText.h"
#ifdef IS900_CLIENT
#include "is900/hostkit/Client.h"
#endif

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

using namespace is900::hostkit;

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "hostkit-consumer: FAIL: %s\n", what);
        ++failures;
    }
}

void useMutex() {
    void* mutex = createHostMutex();
    expect(mutex != nullptr, "createHostMutex");
    expect(lockHostMutex(mutex) && lockHostMutex(mutex), "lockHostMutex, twice (recursive)");
    expect(unlockHostMutex(mutex) && unlockHostMutex(mutex), "unlockHostMutex");
    destroyHostMutex(mutex);
}

void useStorages() {
    HostLog log("CONSUMER");
    expect(log.record()->enabled && std::string(log.record()->name) == "CONSUMER", "HostLog fills the record");
    HostStorage trackers(StorageKind::tracker, log.record());
    HostStorage controllers(StorageKind::controller);
    expect(trackers.kind() == StorageKind::tracker && controllers.kind() == StorageKind::controller, "kind");
    expect(trackers.storage()->traDataList == trackers.traSlots() && controllers.conSlots() != nullptr,
           "storage records point at the lists");
    expect(trackers.mutexRecord() == trackers.storage()->mutex && trackers.log() == log.record(), "mutex and log");
    {
        HostLock hold(trackers);
        trackers.setRecordCount(1);
        trackers.traSlots()[0].x = 1; // any field other than 0 decodes to a pose other than 0
    }
    TraData record{};
    expect(trackers.recordCount() == 1 && trackers.readTraData(1, record) && !trackers.readTraData(2, record),
           "recordCount and readTraData");
    ConData controller{};
    expect(!controllers.readConData(1, controller) && valuatorCount(controller) == 0 &&
               buttonCount(controller) == 0 && !buttonPressed(controller, 1),
           "readConData and the controller readers");
    expect(trackers.lock() && trackers.unlock(), "lock and unlock");
    int32_t runFlag = 1;
    const DevInitInfo info = deviceInitInfo(trackers, controllers, &runFlag);
    expect(info.trackerStorage == trackers.storage() && info.runFlag == &runFlag, "deviceInitInfo");
    const unsigned char mask[4] = {0, 0, 0, 1};
    expect(marked(mask, 1) && !marked(mask, 2) && recordTime(record) >= 0 && decodeValuator(0) == 0.0f &&
               decodePose(record.x) != 0.0f,
           "mask and record readers");
}

void usePlugin() {
    std::string error;
    expect(openLibrary("/nonexistent/library", error) == nullptr && !error.empty(), "openLibrary names a failure");
    expect(!executableFolder().empty() && std::string(pluginFileName()).find("is900") != std::string::npos,
           "executableFolder and pluginFileName");
    expect(!systemErrorText(2).empty() && !defaultPluginPath().empty(), "systemErrorText and defaultPluginPath");
    void* library = openLibrary(IS900_PLUGIN, error);
    expect(library && findSymbol(library, "createDev"), "the installed plug-in loads and exports createDev");
    if (library) closeLibrary(library);
    try {
        PluginLibrary plugin(IS900_PLUGIN);
        DevConfig config{};
        char name[] = "consumer";
        config.name = name;
        HostLog log("CONSUMER");
        CBase* device = plugin.createDev(&config, log.record());
        expect(device != nullptr && plugin.deleteDev(device), "createDev and deleteDev");
    } catch (const PluginError& failure) {
        expect(false, failure.what());
    }
}

void useSetupAndSchema() {
    const std::vector<OptionLine> options = {OptionLine{1, "SENSORS", {"0", "1"}}, OptionLine{2, "wand", {"1"}},
                                             OptionLine{3, "reconnect", {"on", "5"}}, OptionLine{4, "foo", {}}};
    const DeviceSetup setup = readDeviceSetup(options);
    expect(sameKeyword("Port", "port") && setup.trackerStations() == std::vector<int>{2} &&
               setup.controllerStations() == std::vector<int>{1} && setup.trackerStation(1) == 2 &&
               setup.controllerStation(2) == 0 && setup.ownSilenceLimit() == 5 &&
               setup.taken == std::vector<bool>{true, true, true, false} && ControllerSetup::none().buttonCount == 0,
           "readDeviceSetup and the description's readers");
    RecordView record;
    record.device = "consumer";
    const StatusLine status{"consumer", "streaming", 1, 0, 1.5, 0};
    const std::string path = "hostkit-consumer.jsonl";
    std::ofstream(path) << recordingHeaderLine(recordingHeaderOf(options)) << "\n" << jsonLine(record) << "\n"
                        << statusJsonLine(status) << "\n";
    const RecordFile file = readRecordFile(path);
    std::remove(path.c_str());
    const std::vector<JsonField> extra{JsonField{"extra", "1"}};
    expect(file.header.stations.size() == 2 && file.header.options.size() == 4 && file.lines.size() == 2 &&
               file.lines[0].record.device == "consumer" &&
               readJsonLine(statusJsonLine(status)).status.state == "streaming" && jsonString("a\"") == "\"a\\\"\"" &&
               readJsonLine(jsonLine(record, extra)).record.device == "consumer",
           "the record schema writes and reads back");
}

// A still station that stopped: its figures, and its quality line read back.
void useQuality() {
    QualityMonitor monitor;
    RecordView record;
    record.device = "consumer";
    for (int i = 0; i < 20; ++i) monitor.addRecord(record, i / 120.0);
    monitor.noteState("consumer", "streaming", 0);
    monitor.noteSetUp("consumer", 0);
    const std::vector<DeviceQuality> devices = monitor.snapshot(1);
    expect(devices.size() == 1 && devices[0].stations.size() == 1 && devices[0].stations[0].ongoingGap &&
               devices[0].stations[0].moving == false && devices[0].states.size() == 1 &&
               devices[0].setUps.size() == 1,
           "QualityMonitor's figures");
    expect(readJsonLine(qualityJsonLine(devices[0])).quality.device == "consumer", "the quality line reads back");
}

void usePoseProcessing() {
    PoseProcessing settings;
    settings.predictMilliseconds = 20;
    settings.filter = OneEuroSettings::head();
    PoseProcessor processor(settings);
    std::array<float, 6> out{};
    for (int i = 0; i < 20; ++i) {
        const float pose[6] = {static_cast<float>(i) / 120, 0, 0, 0, 0, 0};
        out = processor.process(i / 120.0, pose);
    }
    expect(out[0] > 0.1f && out[0] < 0.2f && settings.describe() == "filter 0.3 12; predict 20 ms",
           "PoseProcessor follows a moving sensor");
}

#ifdef IS900_CLIENT
// A domain no host uses: no device is found, and a subscription to one that
// is not there still opens and ends cleanly.
void useClient() {
    expect(splitAddress("head@lab") == std::make_pair(std::string("head"), std::string("lab")) &&
               splitAddress("head").second.empty(),
           "splitAddress");
    ClientOptions options;
    options.domain = 229;
    Client client(options);
    expect(client.devices(std::chrono::milliseconds(0)).empty(), "devices of an empty domain");
    try {
        client.find("head", std::chrono::milliseconds(0));
        expect(false, "find refuses a device no host has");
    } catch (const ClientError& error) {
        expect(std::string(error.what()).find("no host answered") != std::string::npos, "find says no host answered");
    }
    DeviceInfo device;
    device.name = "head";
    device.host = "lab";
    device.trackers.push_back({1, 1, "m", "is900"});
    ClientHandlers handlers;
    handlers.pose = [](const TrackerPose&) {};
    handlers.button = [](const ButtonEdge&) {};
    client.subscribe(device, handlers);
    client.stop();
    expect(client.skippedEntries() == 0 && device.address() == "head@lab", "subscribe, stop and skippedEntries");
}
#endif

} // namespace

int main() {
    useMutex();
    useStorages();
    usePlugin();
    useSetupAndSchema();
    useQuality();
    usePoseProcessing();
#ifdef IS900_CLIENT
    useClient();
#endif
    std::printf("hostkit-consumer: %s\n", failures ? "failed" : "every call of the installed kit links and works");
    return failures ? 1 : 0;
}
