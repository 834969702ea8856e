// A host in miniature for end-to-end tests and benchmarks: the plug-in
// loaded from its shared library (found as the host finds it, beside the
// executable; a missing one throws PluginError), the host's storages, option lines and run flag, and a
// tracker simulator on a pseudo-terminal at the other end of the line.
#pragma once

#include "common/KitRecords.h"
#include "common/OptionLinesBuilder.h"
#include "boundary/CBase.h"
#include "storage/TraData.h"
#include "is900/hostkit/HostStorage.h"
#include "is900/hostkit/PluginLibrary.h"
#include "sim/Simulator.h"
#include "support/CLogH.h"
#include "support/DeviceClock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct Station {
    int number;
    is900sim::StationKind kind;
};

// Real time plus the time a test skipped, shared by a core-linked device
// and the simulator. The device's sleeps pass twenty times faster than real
// time, and its reads wait briefly, so that a test skips a silent line's
// seconds at each empty call instead of waiting for them.
class SkippingClock {
public:
    typedef std::chrono::steady_clock::time_point TimePoint;
    static const unsigned long readTimeoutMs = 20;

    TimePoint now() const;
    void skip(unsigned long milliseconds);
    // The clock for a device the core builds, with the brief read time-out.
    DeviceClock deviceClock();
    // The shared clock, seen as milliseconds since start.
    long long millisecondsSince(TimePoint start) const;

private:
    std::atomic<long long> skipped{0};
};

// Installs a clock for the devices the core builds, and the system's again at its end.
struct InstalledDeviceClock {
    explicit InstalledDeviceClock(const DeviceClock& clock) { DeviceClock::install(clock); }
    ~InstalledDeviceClock() { DeviceClock::install(DeviceClock::system()); }
};

// A device built by a test that links the core, instead of the plug-in's
// library; with it the simulator can share a test's clock.
struct LinkedDevice {
    CBase* (*create)(DevConfig* config, CLogH* log);
    bool (*destroy)(CBase* device);
    std::function<std::chrono::steady_clock::time_point()> clock; // the simulator's; empty: the steady clock
    unsigned long bootMs = 0; // the simulator's boot time after a power cycle
};

class DeviceRig {
public:
    explicit DeviceRig(std::vector<Station> stations = {{1, is900sim::StationKind::tracker},
                                                        {2, is900sim::StationKind::tracker}},
                       int baudRate = 38400, double updateRate = 120.0, CLogH* hostLog = nullptr,
                       const std::string& linkPath = "", const LinkedDevice* linked = nullptr);
    ~DeviceRig();

    OptionLinesBuilder lines;
    is900::hostkit::HostStorage trackers{is900::hostkit::StorageKind::tracker};
    is900::hostkit::HostStorage controllers{is900::hostkit::StorageKind::controller};
    int32_t runFlag = 1;
    unsigned char masks[8] = {};

    is900sim::Simulator& simulator() { return *sim; }
    CBase* device() { return dev; }
    // The option lines start with the simulator's port (its link when one is
    // given) and the rig's baud
    // rate, so that a test's own lines come later and win.
    int init();
    // The same with storages the host shares among several devices.
    int init(is900::hostkit::HostStorage& trackerStorage, is900::hostkit::HostStorage& controllerStorage);
    // One recvData call; the records its masks name are copied out as a host would.
    int receive();
    // Calls recvData until a record was published for each given ID, or until the time is up.
    bool receiveUntil(const std::vector<uint32_t>& trackerIds, const std::vector<uint32_t>& controllerIds,
                      unsigned long timeoutMs);

    std::map<uint32_t, std::vector<TraData>> publishedTrackers;
    std::map<uint32_t, std::vector<ConData>> publishedControllers;

private:
    void collect();

    is900::hostkit::PluginLibrary plugin;
    bool (*destroy)(CBase* device) = nullptr;
    std::unique_ptr<is900sim::Simulator> sim;
    int baud;
    CBase* dev = nullptr;
};

// The fixed-point record the device must publish for a sent tracker record,
// with the device's default CAVE mapping or without it, for inch or centimetre input.
TraData expectedTraData(const is900sim::SentRecord& sent, bool cave, bool centimetres);
// Pose fields equal within one fixed-point step (float rounding may differ by build).
bool samePose(const TraData& a, const TraData& b);
// True when the published record's position is scale * p + offset for the
// position p of one of the sent records (no CAVE mapping, inches).
bool positionFromASentRecord(const TraData& published, const std::vector<is900sim::SentRecord>& sent, float scale,
                             const float offset[3]);
bool maskHas(const unsigned char* mask, uint32_t id);
// The host's log as tests compare it: no date, time or thread; named HOST.
CLogH plainHostLog();
