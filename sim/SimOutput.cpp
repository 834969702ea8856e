#include "sim/SimulatorState.h"

#include "sim/Records.h"

#include <algorithm>
#include <cstdint>

namespace is900sim {

std::size_t Simulator::State::sendCycle() {
    double seconds = options.updateRate > 0 ? static_cast<double>(cycle) / options.updateRate : 0.0;
    ++cycle;
    std::size_t bytes = 0;
    for (std::size_t index = 0; index < options.stations.size(); ++index) bytes += sendRecord(index, seconds);
    std::lock_guard<std::mutex> lock(mutex);
    tracker.pollAnswered();
    return bytes;
}

// Applies the faults due before this record; false when a silence starts.
bool Simulator::State::takeFaults(bool hasPosition, std::size_t& written, std::size_t& keepBytes, bool& forceCrLf) {
    while (!faults.empty()) {
        Fault& fault = faults.front();
        if (fault.kind == Fault::crLf && !hasPosition) return true;
        if (fault.kind == Fault::garbage) {
            written += writeOut(fault.bytes);
            say("sent %zu bytes of garbage", fault.bytes.size());
        } else if (fault.kind == Fault::silence) {
            silentUntil = now() + std::chrono::milliseconds(fault.milliseconds);
            say("silent for %lu ms", fault.milliseconds);
            faults.pop_front();
            return false;
        } else if (fault.kind == Fault::truncate) {
            keepBytes = fault.keepBytes;
        } else {
            forceCrLf = true;
        }
        const bool wasGarbage = fault.kind == Fault::garbage;
        faults.pop_front(); // fault is gone from here on
        if (!wasGarbage) return true;
    }
    return true;
}

// A gap holds the station's records back; its samples go on being drawn, so
// that the noise after the gap is the same as without it.
// Compared in the clock's own ticks: a sample due exactly at a gap's edge
// falls on the same side in every build, whatever its floating point.
bool Simulator::State::inGap(int station, Clock::time_point at) const {
    const auto ticks = [](double seconds) {
        return std::chrono::round<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    const Clock::duration elapsed = at - startedAt;
    for (const RecordGap& gap : options.gaps)
        if ((gap.station == 0 || gap.station == station) && elapsed >= ticks(gap.at) &&
            elapsed < ticks(gap.at + gap.length))
            return true;
    return false;
}

std::size_t Simulator::State::sendRecord(std::size_t index, double seconds) {
    return sendSample(options.stations[index].number, motions[index].next(seconds), true);
}

// inAlignmentFrame: the sample is in the tracker's default frame and is sent
// as the station's alignment frame sees it; otherwise it is sent as it is.
std::size_t Simulator::State::sendSample(int station, const Sample& sample, bool inAlignmentFrame) {
    std::unique_lock<std::mutex> lock(mutex);
    if (now() < silentUntil || inGap(station, now())) return 0;
    const std::vector<int>& items = settings.outputLists[station];
    bool hasPosition = std::find(items.begin(), items.end(), 2) != items.end();
    std::size_t written = 0, keepBytes = SIZE_MAX;
    bool forceCrLf = false;
    if (!takeFaults(hasPosition, written, keepBytes, forceCrLf)) return written;
    SentRecord record = encodeRecord(station, items, settings.binary, options.centimetres,
                                     inAlignmentFrame ? seenInFrame(settings.frames[station], sample) : sample,
                                     forceCrLf);
    if (keepBytes < record.bytes.size()) record.bytes.resize(keepBytes), record.truncated = true;
    record.writeStartedAt = now();
    record.sampledAt = sample.seconds;
    std::size_t recordBytes = writeOut(record.bytes);
    written += recordBytes;
    if (recordBytes == 0) return written;
    if (recordBytes < record.bytes.size()) record.bytes.resize(recordBytes), record.truncated = true;
    record.sequence = sentCount++;
    record.frame = settings.frames[station];
    sent.push_back(record);
    while (sent.size() > options.keptRecords) sent.pop_front();
    changed.notify_all();
    std::function<void(const SentRecord&)> notify = callback;
    lock.unlock();
    if (notify) notify(record);
    return written;
}

} // namespace is900sim
