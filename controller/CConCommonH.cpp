#include "controller/CConCommonH.h"

#include "support/CLogH.h"

namespace {

void setIdentityScale(float (&scale)[4]) {
    scale[0] = scale[1] = scale[3] = 0.0f;
    scale[2] = 1.0f;
}

void resetEntry(ConStation& entry) {
    entry = ConStation();
    for (float(&scale)[4] : entry.valuatorScale) setIdentityScale(scale);
}

uint32_t capToItems(uint32_t count) { return count > maxControllerItems ? maxControllerItems : count; }

} // namespace

CConCommonH::CConCommonH(const CLogH* deviceLog)
    : ownsLog(true), lookupSize(0), limitToCount(true), lookup(nullptr), inputConnector(true), outputStationCount(0),
      outputIdBase(0), log(deviceLog ? new CLogH(*deviceLog) : new CLogH()) {
    if (!deviceLog) log->setName("CConCommonH");
    log->setDebugGroup(3);
    log->debug("CConCommonH: \"constructor\" called.", true);
}

CConCommonH::~CConCommonH() {
    log->debug("CConCommonH: \"destructor\" called.", true);
    if (lookup) freeLookup();
    if (ownsLog) delete log;
}

ConStation* CConCommonH::station(uint32_t number) const {
    if (!lookup || number == 0 || number > lookupSize) return nullptr;
    return &lookup[number - 1];
}

bool CConCommonH::createLookup(uint32_t count, bool limit) {
    log->debug("CConCommonH: \"createLookup\" called.", true);
    if (count == 0) return false;
    if (lookup) freeLookup();
    lookupSize = count;
    lookup = new ConStation[count];
    limitToCount = limit;
    for (uint32_t i = 0; i < count; ++i) resetEntry(lookup[i]);
    return true;
}

bool CConCommonH::setStation(uint32_t number, uint32_t stationOutputId, uint32_t valuators, uint32_t buttons) {
    log->debug("CConCommonH: \"setStation\" called.", true);
    ConStation* entry = station(number);
    if (!entry) return false;
    entry->outputId = stationOutputId;
    entry->valuatorCount = capToItems(valuators);
    entry->buttonCount = capToItems(buttons);
    for (uint32_t r = 1; r <= entry->valuatorCount; ++r) {
        entry->valuatorOrder[r - 1] = r;
        setIdentityScale(entry->valuatorScale[r - 1]);
    }
    for (uint32_t r = 1; r <= entry->buttonCount; ++r) entry->buttonOrder[r - 1] = r;
    return true;
}

bool CConCommonH::setEmulation(uint32_t number, uint32_t tracker, const float pose[emulationAxes],
                               const uint32_t assign[emulationAxes], uint32_t reset) {
    log->debug("CConCommonH: \"setEmulation\" called.", true);
    ConStation* entry = station(number);
    if (!entry) return false;
    if (!entry->emulation) entry->emulation = new TrackerEmulation();
    TrackerEmulation& emulation = *entry->emulation;
    emulation.tracker = tracker;
    for (uint32_t axis = 0; axis < emulationAxes; ++axis) {
        emulation.initPose[axis] = pose[axis];
        emulation.valuatorAssign[axis] = assign[axis];
    }
    emulation.resetButton = reset;
    return true;
}

bool CConCommonH::freeLookup() {
    log->debug("CConCommonH: \"freeLookup\" called.", true);
    if (!lookup) return false;
    for (uint32_t i = 0; i < lookupSize; ++i) delete lookup[i].emulation;
    delete[] lookup;
    lookup = nullptr;
    lookupSize = 0;
    return true;
}
