// The simulator's inner state, shared by its parts: the line and its pacing
// (SimLine.cpp), command handling (SimCommandHandling.cpp), record output
// (SimOutput.cpp) and the public face (Simulator.cpp).
#pragma once

#include "sim/Commands.h"
#include "sim/Motion.h"
#include "sim/Simulator.h"
#include "sim/TrackerModel.h"
#include "sim/platform/Terminal.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace is900sim {

struct ReplayFrame;

typedef std::chrono::steady_clock Clock;

struct Fault {
    enum Kind { garbage, truncate, crLf, silence } kind;
    std::vector<uint8_t> bytes;
    std::size_t keepBytes = 0;
    unsigned long milliseconds = 0;
};

struct Simulator::State {
    explicit State(SimulatorOptions options);
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void say(const char* format, ...) const;
    bool openTerminal();
    bool makeLink();
    void run();
    void receive(const uint8_t* bytes, std::size_t count);
    void handleCommand(const std::string& command);
    bool streaming() const;
    std::size_t sendCycle();
    Clock::time_point sendMotionCycle(); // sends a cycle; returns when the next is due
    std::size_t sendRecord(std::size_t index, double seconds);
    std::size_t sendSample(int station, const Sample& sample, bool inAlignmentFrame);
    Clock::time_point sendReplay();
    Clock::time_point sendCapture(); // sends the captured bytes that are due; returns when the next are
    void writeAllOut(const std::vector<uint8_t>& bytes);
    Sample replaySample(const ReplayFrame& frame); // sends the recorded records that are due; returns when the next is
    bool takeFaults(bool hasPosition, std::size_t& written, std::size_t& keepBytes, bool& forceCrLf);
    bool inGap(int station, Clock::time_point at) const;
    std::size_t writeOut(const std::vector<uint8_t>& bytes);
    Clock::time_point now() const { return options.clock ? options.clock() : Clock::now(); }
    void powerOnWhenDue();
    void toldPowerOn(); // under the mutex, after the model came on
    double cyclePeriod(std::size_t bytes);
    void closeTerminal();
    void unplugFor(unsigned long milliseconds);
    // Wakes the line's thread for a request of another thread.
    void wake();
    // Sleeps until input on the line, a wake or the due time (for ever for
    // Clock::time_point::max()).
    void sleepUntil(Clock::time_point due, bool watchLine);
    Clock::time_point idleDue() const;
    bool linkLine();

    SimulatorOptions options;
    simplatform::Terminal terminal;
    std::string slave; // the terminal's slave path, for other threads under the mutex
    std::string error;
    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> hangUpRequested{false};
    std::atomic<unsigned long> unplugRequestMs{0};

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    TrackerModel tracker;
    TrackerSettings& settings; // the model's
    std::vector<std::string> commands;
    std::vector<uint8_t> received;
    std::deque<SentRecord> sent;
    uint64_t sentCount = 0;
    std::deque<Fault> faults;
    std::function<void(const SentRecord&)> callback;
    std::vector<StationMotion> motions;
    std::ofstream commandFile;
    Clock::time_point startedAt;
    Clock::time_point silentUntil;
    Clock::time_point nextCycle;
    uint64_t cycle = 0;
    int baudInUse = 0;
    bool lineDown = false;
    bool unplugged = false;
    std::size_t replayNext = 0;
    bool replayStarted = false;
    Clock::time_point replayStart;
    std::size_t captureNext = 0;
    bool captureStarted = false;
    uint64_t captureMarkMicros = 0;    // capture time of the last chunk played
    Clock::time_point captureMarkAt;   // when it was played
    unsigned captureTimeouts = 0;      // read time-outs since then
};

} // namespace is900sim
