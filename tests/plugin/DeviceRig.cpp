#include "DeviceRig.h"

#include "storage/FixedPoint.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

DeviceRig::DeviceRig(std::vector<Station> stations, int baudRate, double updateRate, CLogH* hostLog,
                     const std::string& linkPath, const LinkedDevice* linked)
    : plugin(is900::hostkit::defaultPluginPath()), baud(baudRate) {
    is900sim::SimulatorOptions options;
    options.stations.clear();
    for (const Station& station : stations) options.stations.push_back({station.number, station.kind});
    options.updateRate = updateRate;
    options.resetSilenceMs = 200;
    options.linkPath = linkPath;
    // Tests compare published poses with sent ones over runs of at most minutes.
    options.keptRecords = 200000;
    options.bootMs = linked ? linked->bootMs : 0;
    if (linked) options.clock = linked->clock;
    sim.reset(new is900sim::Simulator(options));
    sim->start();
    lines.add("port", {linkPath.empty() ? sim->slavePath() : linkPath}).add("baud", {std::to_string(baud)});
    if (linked) destroy = linked->destroy;
    dev = linked ? linked->create(lines.get(), hostLog) : plugin.createDev(kitrecords::kitSide(lines.get()), kitrecords::kitSide(hostLog));
}

DeviceRig::~DeviceRig() {
    if (dev) destroy ? destroy(dev) : plugin.deleteDev(dev);
}

int DeviceRig::init() { return init(trackers, controllers); }

int DeviceRig::init(is900::hostkit::HostStorage& trackerStorage, is900::hostkit::HostStorage& controllerStorage) {
    is900::hostkit::DevInitInfo info = is900::hostkit::deviceInitInfo(trackerStorage, controllerStorage, &runFlag);
    return dev->init(kitrecords::plugin(&info));
}

int DeviceRig::receive() {
    const int result = dev->recvData(masks, nullptr);
    collect();
    return result;
}

void DeviceRig::collect() {
    for (uint32_t id = 1; id <= 32; ++id) {
        is900::hostkit::TraData tra;
        if (maskHas(masks, id) && trackers.readTraData(id, tra))
            publishedTrackers[id].push_back(kitrecords::copyRecord<TraData>(tra));
        is900::hostkit::ConData con;
        if (maskHas(masks + 4, id) && controllers.readConData(id, con))
            publishedControllers[id].push_back(kitrecords::copyRecord<ConData>(con));
    }
}

bool DeviceRig::receiveUntil(const std::vector<uint32_t>& trackerIds, const std::vector<uint32_t>& controllerIds,
                             unsigned long timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto allThere = [&] {
        for (uint32_t id : trackerIds)
            if (publishedTrackers[id].empty()) return false;
        for (uint32_t id : controllerIds)
            if (publishedControllers[id].empty()) return false;
        return true;
    };
    while (!allThere()) {
        if (std::chrono::steady_clock::now() > deadline || receive() < 0) return false;
    }
    return true;
}

TraData expectedTraData(const is900sim::SentRecord& sent, bool cave, bool centimetres) {
    const float k = centimetres ? 0.0328084f : 0.083333336f;
    const float* p = sent.position;
    const float* a = sent.angles;
    TraData record;
    record.clear();
    if (cave) {
        record.setX(k * p[1]);
        record.setY(-k * p[2]);
        record.setZ(-k * p[0]);
        record.setAzim(-a[0]);
        record.setElev(a[1]);
        record.setRoll(-a[2]);
    } else {
        record.setX(k * p[0]);
        record.setY(k * p[1]);
        record.setZ(k * p[2]);
        record.setAzim(a[0]);
        record.setElev(a[1]);
        record.setRoll(a[2]);
    }
    return record;
}

bool samePose(const TraData& a, const TraData& b) {
    const uint32_t TraData::*fields[] = {&TraData::x, &TraData::y, &TraData::z,
                                         &TraData::azim, &TraData::elev, &TraData::roll};
    for (auto field : fields) {
        const int64_t left = static_cast<int32_t>(fixedpoint::fromNetworkOrder(a.*field));
        const int64_t right = static_cast<int32_t>(fixedpoint::fromNetworkOrder(b.*field));
        if (std::llabs(left - right) > 1) return false;
    }
    return true;
}

bool positionFromASentRecord(const TraData& published, const std::vector<is900sim::SentRecord>& sent, float scale,
                             const float offset[3]) {
    const uint32_t TraData::*axes[3] = {&TraData::x, &TraData::y, &TraData::z};
    for (const auto& record : sent) {
        const TraData plain = expectedTraData(record, false, false);
        bool same = true;
        for (int i = 0; i < 3; ++i)
            same = same && std::fabs(fixedpoint::decodePose(published.*axes[i]) -
                                     (scale * fixedpoint::decodePose(plain.*axes[i]) + offset[i])) < 5e-5f;
        if (same) return true;
    }
    return false;
}

bool maskHas(const unsigned char* mask, uint32_t id) {
    const uint32_t bit = id - 1;
    return (mask[3 - bit / 8] >> (bit % 8) & 1) != 0;
}

SkippingClock::TimePoint SkippingClock::now() const {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(skipped.load());
}

void SkippingClock::skip(unsigned long milliseconds) { skipped += static_cast<long long>(milliseconds); }

DeviceClock SkippingClock::deviceClock() {
    DeviceClock clock;
    clock.now = [this] { return now(); };
    clock.sleep = [this](unsigned long milliseconds) {
        const unsigned long real = milliseconds / 20;
        skip(milliseconds - real);
        std::this_thread::sleep_for(std::chrono::milliseconds(real));
    };
    clock.readTimeoutMs = readTimeoutMs;
    return clock;
}

long long SkippingClock::millisecondsSince(TimePoint start) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now() - start).count();
}

CLogH plainHostLog() {
    CLogH log;
    log.showDate = log.showTime = log.showThreadId = false;
    log.setName("HOST");
    return log;
}
