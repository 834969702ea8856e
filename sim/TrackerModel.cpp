#include "sim/TrackerModel.h"

#include <algorithm>

namespace is900sim {

TrackerModel::TrackerModel(std::vector<StationSetup> stations, bool startStreaming, unsigned long resetSilenceMs,
                           unsigned long bootMs)
    : stations(std::move(stations)), startStreaming(startStreaming), resetSilenceMs(resetSilenceMs), bootMs(bootMs) {
    settings.powerUp(this->stations, startStreaming);
}

bool TrackerModel::hear(uint8_t byte, TimePoint now, std::string& command) {
    switchOnWhenDue(now);
    if (off) {
        if (bytesUntilOn > 0 && --bytesUntilOn == 0) switchOn(now);
        return false;
    }
    return splitter.feed(byte, command);
}

std::string TrackerModel::carryOut(const std::string& command, TimePoint now, bool& applied) {
    applied = true;
    if (restarting(now)) return "ignored " + command;
    if (command == resetCommandText) {
        settings.powerUp(stations, startStreaming);
        quietUntil = now + std::chrono::milliseconds(resetSilenceMs);
    } else if (command == pollCommandText) {
        pollRequested = true;
    } else {
        applied = applyCommand(command, settings);
    }
    return command;
}

void TrackerModel::powerCycle(unsigned long offMs, TimePoint now) {
    off = true;
    bytesUntilOn = 0;
    pollRequested = false;
    onAt = now + std::chrono::milliseconds(offMs + bootMs);
    quietUntil = onAt;
}

void TrackerModel::powerOnAfterBytes(std::size_t count) {
    if (off) bytesUntilOn = count;
}

bool TrackerModel::switchOnWhenDue(TimePoint now) {
    if (!off || now < onAt) return false;
    switchOn(now);
    return true;
}

TrackerModel::TimePoint TrackerModel::nextChange(TimePoint now) const {
    TimePoint due = off ? onAt : TimePoint::max();
    if (quietUntil > now) due = std::min(due, quietUntil);
    return due;
}

void TrackerModel::switchOn(TimePoint now) {
    off = false;
    onAt = now;
    bytesUntilOn = 0;
    settings.powerUp(stations, startStreaming);
    splitter = CommandSplitter();
    pollRequested = false;
    quietUntil = now;
}

} // namespace is900sim
