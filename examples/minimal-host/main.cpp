// The smallest tracking host: loads the IS-900 plug-in, gives one device a
// tracker and a controller storage, streams for a few seconds and prints each
// tracker record the device marks as updated.
//
//   minimal-host PORT [SECONDS] [PLUGIN]
#include "is900/hostkit/CBase.h"
#include "is900/hostkit/HostLog.h"
#include "is900/hostkit/HostStorage.h"
#include "is900/hostkit/PluginLibrary.h"
#include "is900/hostkit/Records.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace is900::hostkit;

namespace {

// The option lines the host hands the device, as a configuration file would
// hold them. The block points into texts this object keeps alive.
class OptionBlock {
public:
    OptionBlock(const char* deviceName, std::vector<std::vector<std::string>> lines)
        : name(deviceName), texts(std::move(lines)), config(new DevConfig()) {
        config->name = &name[0];
        for (std::size_t i = 0; i < texts.size() && i < maxOptionLines; ++i) {
            ConfigLine& line = config->lines[i];
            line.lineNumber = static_cast<uint32_t>(i + 1);
            line.keyword = &texts[i][0][0];
            for (std::size_t arg = 1; arg < texts[i].size() && arg <= maxOptionArgs; ++arg)
                line.args[line.argCount++] = &texts[i][arg][0];
            ++config->lineCount;
        }
    }
    DevConfig* get() { return config.get(); }

private:
    std::string name;
    std::vector<std::vector<std::string>> texts;
    std::unique_ptr<DevConfig> config;
};

void printTracker(const TraData& record) {
    std::printf("tracker %u x=%.5f y=%.5f z=%.5f azim=%.5f elev=%.5f roll=%.5f\n",
                fromNetworkOrder(record.id), decodePose(record.x),
                decodePose(record.y), decodePose(record.z),
                decodePose(record.azim), decodePose(record.elev),
                decodePose(record.roll));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: minimal-host PORT [SECONDS] [PLUGIN]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    try {
        PluginLibrary plugin(argc > 3 ? argv[3] : IS900_PLUGIN);
        OptionBlock options("minimal", {{"port", argv[1]}, {"sensors", "1", "1"}, {"controllers", "0", "1"}});
        HostLog log("minimal");
        HostStorage trackers(StorageKind::tracker);
        HostStorage controllers(StorageKind::controller);
        int32_t runFlag = 1;
        DevInitInfo info = deviceInitInfo(trackers, controllers, &runFlag);

        CBase* device = plugin.createDev(options.get(), log.record());
        if (!device) return 1;
        int status = 0;
        if (device->init(&info) != 1 || device->configure() == 0) {
            std::fprintf(stderr, "minimal-host: the device could not be set up; its messages above say why\n");
            status = 1;
        } else {
            device->start();
            // A real host runs this loop on a receiving thread of its own and
            // clears the run flag from its control thread to end it.
            const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
            while (std::chrono::steady_clock::now() < end) {
                unsigned char masks[8] = {};
                if (device->recvData(masks, nullptr) != 1) {
                    status = 1;
                    break;
                }
                TraData record{};
                for (uint32_t id = 1; id <= maxRecordId; ++id)
                    if (marked(masks, id) && trackers.readTraData(id, record)) printTracker(record);
            }
            device->stop();
        }
        plugin.deleteDev(device);
        return status;
    } catch (const PluginError& error) {
        std::fprintf(stderr, "minimal-host: %s\n", error.what());
        return 1;
    }
}
