// The host's bring-ups on the in-memory line, on one virtual clock that the
// host's control thread, the device's waits and the tracker share: the
// tracker comes on after every byte of a bring-up, and no pose the host
// publishes is in the tracker's raw frame. With reconnect off the host
// brings the device up after a silence (the stop's alignment restore, init,
// configure) and confirms that bring-up; with reconnect on the device
// confirms its own start-up.
#include "common/CoutCapture.h"
#include "common/MemoryTracker.h"
#include "host/supervision/HostStorages.h"
#include "host/supervision/Session.h"
#include "is900/hostkit/CBase.h"
#include "is900/hostkit/RecordSchema.h"
#include "support/DeviceClock.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

extern "C" CBase* createDev(is900::hostkit::DevConfig* config, is900::hostkit::CLogH* log);
extern "C" bool deleteDev(CBase* device);

namespace {

using memorytracker::TimePoint;
using std::chrono::milliseconds;
using is900::hostkit::JsonLine;
using is900::hostkit::LineType;

const char portName[] = "memory-tracker";
const double hostSilenceSeconds = 1;
const double deviceSilenceSeconds = 1; // reconnect on 1

// The bytes of a bring-up after a silence: the stop ('c', R1..R8, the
// alignment restored), then the set-up (R1..R8, the alignment, O1..O8, 'f', 'C').
const size_t stopBytes = 1 + 24 + 200;
const size_t setUpBytes = 24 + 208 + 8 * 9 + 1 + 1;

// One time for the control thread, the device and the tracker. It moves on
// only when a thread passes it: the device's sleeps, the tracker's records,
// a read's wait for them. While the control thread is at work, reads on
// other threads return at once and the tracker sends them nothing, so the
// control thread sees the time it woke at; while it waits, a pass that
// reaches its due time wakes it, and with no reception running it moves the
// time on by itself. News sent to the control thread (a record after a
// pause) stops the time until the control thread has woken for it, however
// late the system lets it run.
class SharedTime : public SupervisorClock, public memorytracker::LineTime {
public:
    TimePoint now() override {
        std::lock_guard<std::mutex> guard(mutex);
        return current;
    }
    double secondsSince1970() override { return std::chrono::duration<double>(now().time_since_epoch()).count(); }

    void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, TimePoint until) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (current >= until) return;
            if (!receiving) {
                current = until;
                return;
            }
            idle = true, due = until, wake = &condition, wakeLock = lock.mutex();
        }
        condition.wait(lock);
        std::lock_guard<std::mutex> guard(mutex);
        idle = false;
    }

    void watch(SessionEvents* sessionEvents) { events = sessionEvents; }

    void pass(milliseconds span) override { moveOn(span, false); }
    // A read's wait ends early at the control thread's due time.
    void waitForInput(milliseconds span) override { moveOn(span, true); }
    bool maySend() override {
        if (std::this_thread::get_id() == control) return true;
        const bool news = newsUntaken(); // taken before the time's lock, as the control thread holds them the other way
        std::lock_guard<std::mutex> guard(mutex);
        return idle && !news;
    }
    void receptionRuns(bool runs) {
        std::lock_guard<std::mutex> guard(mutex);
        receiving = runs;
    }

private:
    bool newsUntaken() { return events && events->newsPending(); }

    void moveOn(milliseconds span, bool endsAtDue) {
        if (std::this_thread::get_id() != control && newsUntaken()) return;
        std::condition_variable* toWake = nullptr;
        std::mutex* toLock = nullptr;
        {
            std::lock_guard<std::mutex> guard(mutex);
            current += span;
            if (idle && current >= due) {
                if (endsAtDue) current = due;
                idle = false, toWake = wake, toLock = wakeLock;
            }
        }
        if (!toWake) return;
        std::lock_guard<std::mutex> guard(*toLock); // held by the control thread until it waits
        toWake->notify_all();
    }

    std::mutex mutex;
    TimePoint current = TimePoint() + std::chrono::hours(1000);
    const std::thread::id control = std::this_thread::get_id();
    bool receiving = false;
    bool idle = false;
    TimePoint due;
    std::condition_variable* wake = nullptr;
    std::mutex* wakeLock = nullptr;
    SessionEvents* events = nullptr;
};

// What one run of the host showed.
struct Outcome {
    int status = -1;
    bool cameOn = false;         // the tracker came on after it was switched off
    double resumedSeconds = -1;  // from that power-on to the first pose published
    int backOff = 0;             // the back-off announced last before that pose
    size_t unaligned = 0;        // poses of no record sent in the configured frame
    std::string firstUnaligned;
    size_t startUpBytes = 0;     // written until the device's first start
    std::vector<size_t> bytesAtReconnecting; // written when each back-off was announced
    std::string errors;
};

// The host's JSON lines as it writes them: each pose checked against the
// records the tracker sent in the configured frame, the first after the
// tracker came on again timed, and the run ended some records later.
class PublishedLines : public std::streambuf {
public:
    PublishedLines(memorytracker::TrackerPeer& peer, SharedTime& time, SessionEvents& events, Outcome& outcome)
        : peer(peer), time(time), events(events), outcome(outcome) {}

protected:
    int overflow(int c) override {
        std::lock_guard<std::mutex> guard(mutex);
        if (c == '\n') take(), text.clear();
        else if (c != traits_type::eof()) text += static_cast<char>(c);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) overflow(bytes[i]);
        return count;
    }

private:
    void take() {
        const JsonLine line = is900::hostkit::readJsonLine(text);
        if (line.type == LineType::status && line.status.state == "reconnecting") {
            outcome.bytesAtReconnecting.push_back(peer.bytesWritten());
            backOff = line.status.retryInSeconds;
        }
        if (line.type != LineType::record || line.record.kind != is900::hostkit::RecordKind::tracker) return;
        if (!peer.sentAligned(line.record.pose) && outcome.unaligned++ == 0) outcome.firstUnaligned = text;
        const TimePoint onAt = peer.cameOnAt();
        if (!peer.on() || onAt == TimePoint()) return;
        if (recordsSinceOn++ == 0) {
            outcome.resumedSeconds = std::chrono::duration<double>(time.now() - onAt).count();
            outcome.backOff = backOff;
        }
        if (recordsSinceOn == 30) events.requestStop();
    }

    memorytracker::TrackerPeer& peer;
    SharedTime& time;
    SessionEvents& events;
    Outcome& outcome;
    std::mutex mutex;
    std::string text;
    int backOff = 0;
    int recordsSinceOn = 0;
};

// The run under way, for the device the plug-in's entry points make.
struct HostRun {
    SharedTime time;
    memorytracker::TrackerPeer peer{time};
    Outcome outcome;
    size_t offAtInit = 0; // the tracker is switched off at init, on after this byte; 0: stays on
    bool started = false;
};
HostRun* current = nullptr;

// The plug-in's device, telling the time when reception runs; at init it
// may switch the tracker off.
class WatchedDevice final : public CBase {
public:
    explicit WatchedDevice(CBase* device) : device(device) {}
    int init(is900::hostkit::DevInitInfo* info) override {
        if (current->offAtInit > 0 && !current->started) current->peer.switchOff(current->offAtInit);
        return device->init(info);
    }
    bool start() override {
        if (!current->started) current->outcome.startUpBytes = current->peer.bytesWritten();
        current->started = true;
        current->time.receptionRuns(true);
        return device->start();
    }
    int configure() override { return device->configure(); }
    bool stop() override {
        current->time.receptionRuns(false);
        return device->stop();
    }
    bool printInfo() override { return device->printInfo(); }
    int recvData(unsigned char* masks, void* unused) override { return device->recvData(masks, unused); }
    int sendData(void* first, void* second) override { return device->sendData(first, second); }

    CBase* const device;
};

CBase* createWatched(is900::hostkit::DevConfig* config, is900::hostkit::CLogH* log) {
    CBase* device = createDev(config, log);
    return device ? new WatchedDevice(device) : nullptr;
}
bool deleteWatched(CBase* device) {
    WatchedDevice* watched = static_cast<WatchedDevice*>(device);
    const bool deleted = deleteDev(watched->device);
    delete watched;
    return deleted;
}
const is900::hostkit::PluginLibrary linkedPlugin(createWatched, deleteWatched);

// The host with one device on the in-memory line, run for at most the
// seconds given, or until 30 poses came after the tracker came on again.
Outcome runHost(bool reconnect, double seconds, const std::function<void(HostRun&)>& arrange) {
    HostRun run;
    current = &run;
    DeviceClock clock;
    clock.now = [&run] { return run.time.now(); };
    clock.sleep = [&run](unsigned long ms) { run.time.pass(milliseconds(ms)); };
    DeviceClock::install(clock);
    platform::memory::replaceLine(portName);
    platform::memory::setLinePeer(&run.peer);
    arrange(run);

    SessionOptions options;
    options.clock = &run.time;
    options.durationSeconds = seconds;
    options.silenceSeconds = hostSilenceSeconds;
    options.format = OutputFormat::jsonl;
    DeviceDefinition device;
    device.name = "head";
    device.plugin = &linkedPlugin;
    device.options = {OptionLine{1, "port", {portName}}, OptionLine{2, "sensors", {"1"}}};
    if (reconnect) device.options.push_back(OptionLine{3, "reconnect", {"on", "1"}});
    device.setup = is900::hostkit::readDeviceSetup(device.options);

    std::ostringstream errors;
    std::streambuf* const standardError = std::cerr.rdbuf(errors.rdbuf());
    {
        CoutCapture quiet;
        HostStorages storages(nullptr);
        SessionEvents events;
        run.time.watch(&events);
        PublishedLines published(run.peer, run.time, events, run.outcome);
        std::ostream out(&published);
        Session session(storages, options, out, events);
        session.addDevice(device);
        run.outcome.status = session.run();
        run.time.watch(nullptr);
    }
    std::cerr.rdbuf(standardError);
    run.outcome.errors = errors.str();
    run.outcome.cameOn = run.peer.on() && run.peer.cameOnAt() != TimePoint();
    platform::memory::setLinePeer(nullptr);
    DeviceClock::install(DeviceClock::system());
    current = nullptr;
    return run.outcome;
}

// The tracker is switched off two seconds into the run, on again after
// that byte written from then (never with 0).
std::function<void(HostRun&)> offAfterTwoSeconds(size_t onAfterByte) {
    return [onAfterByte](HostRun& run) { run.peer.switchOffAt(run.time.now() + std::chrono::seconds(2), onAfterByte); };
}

} // namespace

TEST(MemoryLineBringUpSweep, AHostBringUpAfterASilenceIsConfirmedWithReconnectOff) {
    const Outcome never = runHost(false, 10, offAfterTwoSeconds(0));
    ASSERT_GE(never.bytesAtReconnecting.size(), 2u) << never.errors;
    const size_t bringUpBytes = never.bytesAtReconnecting[1] - never.bytesAtReconnecting[0];
    ASSERT_EQ(bringUpBytes, stopBytes + setUpBytes) << "a set-up and a stop";

    double slowest = 0;
    for (size_t byte = 1; byte <= bringUpBytes && !testing::Test::HasFailure(); ++byte) {
        const Outcome run = runHost(false, 30, offAfterTwoSeconds(byte));
        ASSERT_TRUE(run.cameOn) << "power-on at byte " << byte << "\n" << run.errors;
        EXPECT_EQ(run.unaligned, 0u) << "power-on at byte " << byte << ": " << run.firstUnaligned << "\n" << run.errors;
        ASSERT_GE(run.resumedSeconds, 0) << "no pose after a power-on at byte " << byte << "\n" << run.errors;
        EXPECT_LE(run.resumedSeconds, hostSilenceSeconds + run.backOff + 4) << "power-on at byte " << byte;
        EXPECT_EQ(run.status, 0) << run.errors;
        slowest = std::max(slowest, run.resumedSeconds);
        if (byte == bringUpBytes) {
            EXPECT_NE(run.errors.find("answers; bringing it up once more before its records are used"),
                      std::string::npos)
                << run.errors;
        }
    }
    std::cout << "slowest return of " << bringUpBytes << " power-on positions: " << slowest << " s" << std::endl;
}

TEST(MemoryLineBringUpSweep, AStartUpSetUpIsConfirmedWithReconnectOn) {
    const Outcome steady = runHost(true, 3, [](HostRun&) {});
    EXPECT_EQ(steady.startUpBytes, setUpBytes);
    EXPECT_EQ(steady.unaligned, 0u) << steady.firstUnaligned;

    double slowest = 0;
    for (size_t byte = 1; byte <= steady.startUpBytes && !testing::Test::HasFailure(); ++byte) {
        const Outcome run = runHost(true, 20, [byte](HostRun& host) { host.offAtInit = byte; });
        ASSERT_TRUE(run.cameOn) << "power-on at byte " << byte << "\n" << run.errors;
        EXPECT_EQ(run.unaligned, 0u) << "power-on at byte " << byte << ": " << run.firstUnaligned;
        ASSERT_GE(run.resumedSeconds, 0) << "no pose after a power-on at byte " << byte << "\n" << run.errors;
        EXPECT_LE(run.resumedSeconds, 2 * deviceSilenceSeconds + 3) << "power-on at byte " << byte;
        EXPECT_EQ(run.status, 0) << run.errors;
        slowest = std::max(slowest, run.resumedSeconds);
    }
    std::cout << "slowest return of " << steady.startUpBytes << " power-on positions: " << slowest << " s" << std::endl;
}
