// The simulator's tracker model behind the in-memory line, for tests that
// run the device, or the host with its device, on a clock of their own: one
// head sensor on station 1, its commands, its power (deaf while off, on in
// its power-up state with an empty command buffer) and its records.
#pragma once

#include "common/PoseMatchers.h"
#include "platform/memory/MemoryLine.h"
#include "sim/Motion.h"
#include "sim/Records.h"
#include "sim/TrackerModel.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace memorytracker {

using TimePoint = std::chrono::steady_clock::time_point;
using std::chrono::milliseconds;

// The time the tracker and its line live by.
class LineTime {
public:
    virtual ~LineTime() = default;
    virtual TimePoint now() = 0;
    virtual void pass(milliseconds span) = 0;
    // A read that finds nothing to give waits up to span.
    virtual void waitForInput(milliseconds span) { pass(span); }
    // False while the calling thread must leave the time to another: the
    // tracker then sends nothing to it and its read returns at once.
    virtual bool maySend() { return true; }
};

inline is900sim::AlignmentFrame configuredFrame() {
    is900sim::AlignmentFrame frame;
    const double cave[9] = {0, 0, 0, 0, 0, -200, 200, 0, 0};
    is900sim::alignOnTop(frame, cave);
    return frame;
}

// x, y, z in feet and azimuth, elevation, roll in degrees, as published.
// Compared without a matcher object: it runs for every pose sent, on every byte.
inline bool samePose(const float* a, const float* b) { return posematchers::poseNear(a, b, 2e-4f, 1e-3f); }

class TrackerPeer : public platform::memory::LinePeer {
public:
    explicit TrackerPeer(LineTime& time)
        : time(time), tracker({is900sim::StationSetup{}}, false, 20000, 0), motion(is900sim::StationSetup{}, 7) {}

    // A 'c' finds records on their way that the line still delivers.
    void written(const uint8_t* bytes, size_t size) override {
        std::lock_guard<std::mutex> guard(mutex);
        for (size_t i = 0; i < size; ++i) {
            ++writtenCount;
            const bool wasOn = tracker.poweredOn();
            std::string command;
            bool applied = true;
            if (tracker.hear(bytes[i], time.now(), command)) {
                if (command == "c" && tracker.sends(time.now())) queueRecords(recordsInFlightAtStop);
                tracker.carryOut(command, time.now(), applied);
            }
            if (!wasOn && tracker.poweredOn()) onAt = time.now();
        }
    }

    size_t read(uint8_t* buffer, size_t size, unsigned long timeoutMs) override {
        std::lock_guard<std::mutex> guard(mutex);
        if (offDue && time.now() >= offAt) offDue = false, switchOffLocked(onAfterBytes);
        if (tracker.switchOnWhenDue(time.now())) onAt = time.now();
        if (pending.empty() && !time.maySend()) return 0;
        if (pending.empty() && tracker.poweredOn() && tracker.sends(time.now())) sendRecord();
        if (pending.empty()) {
            if (onSilentRead) onSilentRead();
            if (timeoutMs == 0) blockedForever = true;
            time.waitForInput(timeoutMs == 0 ? milliseconds(3600000) : milliseconds(timeoutMs));
            return 0;
        }
        size_t count = 0;
        for (; count < size && !pending.empty(); ++count) buffer[count] = pending.front(), pending.pop_front();
        return count;
    }

    void discard() override {
        std::lock_guard<std::mutex> guard(mutex);
        pending.clear();
    }

    // Switched off until the byte of that number written from now (for ever
    // with 0); what the line held stays in it.
    void switchOff(size_t onAfterByte) {
        std::lock_guard<std::mutex> guard(mutex);
        switchOffLocked(onAfterByte);
    }
    // The same at a moment to come, seen at the first read from then.
    void switchOffAt(TimePoint at, size_t onAfterByte) {
        std::lock_guard<std::mutex> guard(mutex);
        offDue = true, offAt = at, onAfterBytes = onAfterByte;
    }
    void switchOn() {
        std::lock_guard<std::mutex> guard(mutex);
        tracker.powerCycle(0, time.now());
        tracker.switchOnWhenDue(time.now());
        onAt = time.now();
    }
    bool on() {
        std::lock_guard<std::mutex> guard(mutex);
        return tracker.poweredOn();
    }
    // When it last came on; the epoch while it never went off.
    TimePoint cameOnAt() {
        std::lock_guard<std::mutex> guard(mutex);
        return onAt;
    }
    size_t bytesWritten() {
        std::lock_guard<std::mutex> guard(mutex);
        return writtenCount;
    }
    // Whether a published pose is that of one of the last records sent in
    // the configured frame.
    bool sentAligned(const float pose[6]) {
        std::lock_guard<std::mutex> guard(mutex);
        for (const Pose& sent : aligned)
            if (samePose(pose, sent.values)) return true;
        return false;
    }

    bool blockedForever = false;
    int recordsInFlightAtStop = 3;
    std::function<void()> onSilentRead; // called when a read finds nothing

private:
    struct Pose {
        float values[6];
    };

    void switchOffLocked(size_t onAfterByte) {
        tracker.powerCycle(1000u * 3600 * 24, time.now());
        tracker.powerOnAfterBytes(onAfterByte);
    }
    void queueRecords(int count) {
        for (int i = 0; i < count; ++i) sendRecord();
    }
    void sendRecord() {
        time.pass(milliseconds(8));
        const is900sim::Sample sample = motion.next(seconds += 1.0 / 120);
        const is900sim::SentRecord record =
            encodeRecord(1, tracker.settings.outputLists[1], tracker.settings.binary, false,
                         seenInFrame(tracker.settings.frames[1], sample), false);
        pending.insert(pending.end(), record.bytes.begin(), record.bytes.end());
        if (!sameFrame(tracker.settings.frames[1], frame)) return;
        const float k = 1.0f / 12;
        const float* p = record.position;
        const float* a = record.angles;
        aligned.push_back(Pose{{k * p[1], -k * p[2], -k * p[0], -a[0], a[1], -a[2]}});
        if (aligned.size() > 64) aligned.pop_front();
    }

    LineTime& time;
    const is900sim::AlignmentFrame frame = configuredFrame();
    std::mutex mutex;
    is900sim::TrackerModel tracker;
    is900sim::StationMotion motion;
    std::deque<uint8_t> pending;
    std::deque<Pose> aligned;
    double seconds = 0;
    size_t writtenCount = 0;
    TimePoint onAt;
    bool offDue = false;
    TimePoint offAt;
    size_t onAfterBytes = 0;
};

} // namespace memorytracker
