#include "sim/Records.h"
#include "sim/Replay.h"
#include "sim/SampleInverse.h"
#include "sim/SimulatorState.h"

#include "rules/OptionWords.h"

namespace is900sim {

namespace {

// Between the end of a recording and its start over with --loop.
const auto loopPause = std::chrono::milliseconds(20);

// Where inside the fixed-point step the replayed values sit: the middle
// first, then other places for a record the middle does not suit.
const double stepFractions[] = {0.5, 0.3, 0.7, 0.15, 0.85};

Sample sampleOf(const Recording& recording, const ReplayFrame& frame, double stepFraction) {
    Sample sample{};
    sentPose(recording.setup, frame.station, frame.published, stepFraction, sample.position, sample.angles);
    // Samples hold centimetres; the record encoder turns them back into inches.
    if (!recording.setup.centimetres)
        for (float& value : sample.position) value = static_cast<float>(value * optionwords::centimetresPerInch);
    sample.buttons = frame.buttons;
    sample.joystick[0] = frame.joystick[0];
    sample.joystick[1] = frame.joystick[1];
    return sample;
}

} // namespace

// A record whose floats hold the bytes CR LF would end early on the line and
// be lost (a recorded pose never was); another place inside the step gives
// other bytes and the same published values.
Sample Simulator::State::replaySample(const ReplayFrame& frame) {
    std::lock_guard<std::mutex> lock(mutex);
    Sample sample{};
    for (double fraction : stepFractions) {
        sample = sampleOf(*options.replay, frame, fraction);
        if (!encodeRecord(frame.station, settings.outputLists[frame.station], settings.binary, options.centimetres,
                          sample, false)
                 .crLfInside)
            break;
    }
    return sample;
}

// The recording starts with the first request for output and keeps its
// pace from there; at its end the tracker goes silent until it is stopped,
// or starts over.
Clock::time_point Simulator::State::sendReplay() {
    const std::vector<ReplayFrame>& frames = options.replay->frames;
    const Clock::time_point now = this->now();
    if (!replayStarted) replayStart = now, replayStarted = true;
    const auto due = [&](const ReplayFrame& frame) {
        return replayStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frame.seconds));
    };
    while (replayNext < frames.size() && due(frames[replayNext]) <= now) {
        const ReplayFrame& frame = frames[replayNext++];
        sendSample(frame.station, replaySample(frame), false);
    }
    if (replayNext < frames.size()) return due(frames[replayNext]);
    if (!options.loop || frames.empty()) return Clock::time_point::max();
    replayNext = 0;
    replayStart = now + loopPause;
    return replayStart;
}

} // namespace is900sim
