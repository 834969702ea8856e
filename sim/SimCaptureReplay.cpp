#include "sim/CaptureFile.h"
#include "sim/SimulatorState.h"

#include <algorithm>

namespace is900sim {

namespace {

// Between the end of a capture and its start over with --loop.
const auto loopPause = std::chrono::milliseconds(20);

// The set-up the plug-in wrote before it first read is what the replay
// waits for: playing starts with the first chunk after it.
std::size_t firstPlayedChunk(const Capture& capture) {
    std::size_t first = 0;
    while (first < capture.chunks.size() && capture.chunks[first].kind == 'W') ++first;
    return first;
}

Clock::duration microseconds(double value) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::micro>(value));
}

} // namespace

// Unlike records, captured bytes must all arrive: waits while the line is full.
void Simulator::State::writeAllOut(const std::vector<uint8_t>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size() && running) {
        const simplatform::LineWrite step = terminal.writeSome(bytes.data() + written, bytes.size() - written);
        if (step.outcome == simplatform::LineWrite::wrote) {
            written += step.count;
        } else if (step.outcome != simplatform::LineWrite::failed) {
            // Until the device reads, or another thread wakes the line's
            // thread: every reason to wake is looked at again once the bytes
            // are out, and a stop ends the wait.
            terminal.waitUntilWritableOrWoken();
        } else {
            return;
        }
    }
}

// A chunk read after n time-outs follows a silence of n read time-outs and
// a half, so that the reader times out exactly n times at any speed; any
// other chunk keeps its scaled distance to the one before, but never so long
// that the reader would time out where it did not.
Clock::time_point Simulator::State::sendCapture() {
    const Capture& capture = *options.capture;
    const std::size_t first = firstPlayedChunk(capture);
    const Clock::time_point at = now();
    if (!captureStarted) {
        captureStarted = true;
        captureNext = first;
        captureMarkMicros = first > 0 ? capture.chunks[first - 1].micros
                                      : first < capture.chunks.size() ? capture.chunks[first].micros : 0;
        captureMarkAt = at;
        captureTimeouts = 0;
        say("playing the capture back from chunk %zu at speed %g", first, options.captureSpeed);
    }
    const auto timeout = std::chrono::milliseconds(capture.readTimeoutMs);
    for (; captureNext < capture.chunks.size(); ++captureNext) {
        const CaptureChunk& chunk = capture.chunks[captureNext];
        if (chunk.kind == 'T') ++captureTimeouts;
        if (chunk.kind != 'R') continue;
        const double scaled = static_cast<double>(chunk.micros - captureMarkMicros) / options.captureSpeed;
        const Clock::time_point due =
            captureTimeouts ? captureMarkAt + captureTimeouts * timeout + timeout / 2
                            : captureMarkAt + std::min(microseconds(scaled), Clock::duration(timeout * 9 / 10));
        if (due > at) return due;
        writeAllOut(chunk.bytes);
        captureMarkAt = now();
        captureMarkMicros = chunk.micros;
        captureTimeouts = 0;
    }
    if (!options.loop) return Clock::time_point::max();
    captureStarted = false;
    return at + loopPause;
}

} // namespace is900sim
