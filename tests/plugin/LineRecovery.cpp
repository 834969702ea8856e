// The reconnect option: a line that is unplugged and comes back under the
// same path, and a tracker that is switched off and on, while streaming.
// The device links the core and shares a skipping clock with the
// simulator, so that the times it takes are exact and cost no real seconds.
#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <unistd.h>

extern "C" CBase* createDev(DevConfig* config, CLogH* log);
extern "C" bool deleteDev(CBase* device);

namespace {

// An empty call while the line is silent stands for this much of its time.
const unsigned long silentStepMs = 250;

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

std::vector<std::string> commandsFrom(const std::vector<std::string>& log, std::size_t first) {
    return std::vector<std::string>(log.begin() + static_cast<long>(std::min(first, log.size())), log.end());
}

bool has(const std::vector<std::string>& commands, const std::string& command) {
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

// Head sensors on stations 1 and 2 behind a link path, CAVE coordinates on
// (so the set-up includes the alignment and its wait), reconnect on.
class ReconnectingDevice : public ::testing::Test {
protected:
    ReconnectingDevice() : installed(clock.deviceClock()), hostLog(plainHostLog()) {
        link = testing::TempDir() + "is900-reconnect-" + std::to_string(getpid());
        rig.reset(new DeviceRig({{1, is900sim::StationKind::tracker}, {2, is900sim::StationKind::tracker}}, 115200,
                                120.0, &hostLog, link, &linked));
        rig->lines.add("reconnect", {"on", "3"});
        CoutCapture capture;
        EXPECT_EQ(rig->init(), 1);
        EXPECT_EQ(rig->device()->configure(), 2);
        EXPECT_TRUE(rig->receiveUntil({1, 2}, {}, 5000));
        report = capture.text();
    }
    ~ReconnectingDevice() override {
        CoutCapture quiet;
        rig->device()->stop();
    }

    // Brings the fault about, then receives until both IDs were published
    // again: milliseconds from the end of the fault, the calls it took, and
    // the commands the tracker got since the fault.
    long long recoveryAfter(const std::function<void()>& fault, int& calls, std::vector<std::string>& commands) {
        const std::size_t commandsBefore = rig->simulator().commandLog().size();
        fault();
        const long long resumed = resumeAfter(clock.now() + std::chrono::milliseconds(faultMs), calls);
        // The tracker may stream again before it has taken the last commands.
        std::size_t seen = commandsBefore;
        while (!has(commands = commandsFrom(rig->simulator().commandLog(), commandsBefore), "C") &&
               rig->simulator().waitForCommands(++seen, 2000)) {
        }
        return resumed;
    }

    // Calls that publish nothing stand for a step of the line's silence.
    long long resumeAfter(SkippingClock::TimePoint from, int& calls) {
        // Records the tracker sent before the fault may still be on the line:
        // they are read first, so that only records sent after its return count.
        for (std::size_t before = published() + 1; published() != before;) {
            before = published();
            rig->receive();
        }
        rig->publishedTrackers.clear();
        calls = 0;
        while (!rig->receiveUntil({1, 2}, {}, 0) && clock.millisecondsSince(from) < 15000) {
            EXPECT_EQ(rig->receive(), 1);
            if (rig->publishedTrackers.empty())
                clock.skip(silentStepMs - SkippingClock::readTimeoutMs);
            ++calls;
        }
        return clock.millisecondsSince(from);
    }

    std::size_t published() const {
        std::size_t records = 0;
        for (const auto& id : rig->publishedTrackers) records += id.second.size();
        return records;
    }

    SkippingClock clock;
    InstalledDeviceClock installed;
    const LinkedDevice linked{createDev, deleteDev, [this] { return clock.now(); }, 0};
    CLogH hostLog;
    std::string link;
    std::unique_ptr<DeviceRig> rig;
    std::string report;
    const unsigned long faultMs = 3000;
};

} // namespace

TEST_F(ReconnectingDevice, AnUnpluggedLineIsOpenedAgainAndStreamsWithTheSameIds) {
    EXPECT_NE(report.find("HOST: INFO: RECONNECT             : Yes, set-up repeated after 3 s of silence\n"),
              std::string::npos);
    CoutCapture capture;
    int calls = 0;
    std::vector<std::string> again;
    const long long resumedAfter = recoveryAfter([&] { rig->simulator().unplug(faultMs); }, calls, again);
    EXPECT_LT(resumedAfter, 5000) << "reception resumes within 5 s of the line's return";
    EXPECT_LT(calls, 40) << "calls while the line is down wait for the next attempt";
    EXPECT_EQ(rig->trackers.recordCount(), 2u) << "no second reservation";

    const std::string output = capture.text();
    EXPECT_EQ(count(output, "HOST: WARNING: CISX00: Lost the line on " + link + "; opening it again once a second.\n"),
              1u)
        << output;
    EXPECT_EQ(count(output, "HOST: ERROR: CRS232H: Opening port " + link + ": "), 1u)
        << "later failed attempts are debug lines only\n"
        << output;
    EXPECT_EQ(count(output, "HOST: INFO: CISX00: The line on " + link + " is back; streaming again.\n"), 1u);

    for (const char* command : {"R1", "A1,0,0,0,0,0,-200,200,0,0", "O1,2,4,1", "O2,2,4,1", "O8,2,4,1", "f", "C"})
        EXPECT_TRUE(has(again, command)) << command << " is sent again";
    EXPECT_FALSE(has(again, "^Y")) << "never the reset";
}

TEST_F(ReconnectingDevice, ATrackerSwitchedOffAndOnGetsTheSetUpAgain) {
    CoutCapture capture;
    int calls = 0;
    std::vector<std::string> again;
    const long long resumedAfter = recoveryAfter([&] { rig->simulator().powerCycle(faultMs); }, calls, again);
    EXPECT_LT(resumedAfter, 6000) << "within the silence limit plus 3 s of the tracker's return";
    EXPECT_TRUE(rig->simulator().binaryMode() && rig->simulator().continuousMode());
    EXPECT_EQ(count(capture.text(), "HOST: WARNING: CISX00: No record from the tracker on " + link +
                                        " for 3 s; repeating the streaming set-up.\n"),
              1u)
        << capture.text();
    EXPECT_TRUE(has(again, "C")) << "a set-up reached the tracker after its return";
    EXPECT_FALSE(has(again, "^Y"));
}

