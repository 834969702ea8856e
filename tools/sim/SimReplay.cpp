#include "tools/sim/Replay.h"
#include "tools/sim/SimulatorState.h"

namespace is900sim {

namespace {

const auto idleWait = std::chrono::milliseconds(20);

Sample sampleOf(const ReplayFrame& frame, bool centimetres) {
    Sample sample{};
    for (int axis = 0; axis < 3; ++axis) {
        // Samples hold centimetres; the record encoder turns them back into inches.
        sample.position[axis] = centimetres ? frame.position[axis] : static_cast<float>(frame.position[axis] * 2.54);
        sample.angles[axis] = frame.angles[axis];
    }
    sample.buttons = frame.buttons;
    sample.joystick[0] = frame.joystick[0];
    sample.joystick[1] = frame.joystick[1];
    return sample;
}

} // namespace

// The recording starts with the first request for output and keeps its
// pace from there; at its end the tracker goes silent, or starts over.
Clock::time_point Simulator::State::sendReplay() {
    const std::vector<ReplayFrame>& frames = options.replay->frames;
    const Clock::time_point now = Clock::now();
    if (!replayStarted) replayStart = now, replayStarted = true;
    const auto due = [&](const ReplayFrame& frame) {
        return replayStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frame.seconds));
    };
    while (replayNext < frames.size() && due(frames[replayNext]) <= now) {
        const ReplayFrame& frame = frames[replayNext++];
        sendSample(frame.station, sampleOf(frame, options.replay->centimetres), false);
    }
    if (replayNext < frames.size()) return due(frames[replayNext]);
    if (!options.loop || frames.empty()) return now + idleWait;
    replayNext = 0;
    replayStart = now + idleWait;
    return replayStart;
}

} // namespace is900sim
