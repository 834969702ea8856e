// The supervisor's back-off, run through a clock that jumps to each due time:
// a device whose port never appears is tried at 0, 1, 3, 7, 15, 31, 61 ... s.
#include "host/supervision/Session.h"
#include "host/supervision/HostStorages.h"
#include "is900/hostkit/RecordSchema.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using Clock = SupervisorClock::Clock;

// Never sleeps: a wait moves the time on to its end.
class SteppingClock : public SupervisorClock {
public:
    Clock::time_point now() override { return current; }
    void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&, Clock::time_point until) override {
        if (until > current) current = until;
    }
    double seconds() const { return std::chrono::duration<double>(current - Clock::time_point()).count(); }
    double secondsSince1970() override { return seconds(); }

private:
    Clock::time_point current;
};

// The state lines of the host's JSON lines.
std::vector<is900::hostkit::StatusLine> statusLines(const std::string& text) {
    std::vector<is900::hostkit::StatusLine> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const is900::hostkit::JsonLine read = is900::hostkit::readJsonLine(line);
        if (read.type == is900::hostkit::LineType::status) lines.push_back(read.status);
    }
    return lines;
}

} // namespace

TEST(HostBackOff, BringUpsOfAMissingPortFollowEachOtherAfterOneTwoFourUpToThirtySeconds) {
    SteppingClock clock;
    SessionOptions options;
    options.clock = &clock;
    options.durationSeconds = 200;
    options.format = OutputFormat::jsonl;
    std::ostringstream out;
    std::ostringstream errors;
    std::streambuf* const standardError = std::cerr.rdbuf(errors.rdbuf());
    int status = 0;
    {
        HostStorages storages(nullptr);
        SessionEvents events;
        Session session(storages, options, out, events);
        DeviceDefinition device;
        device.name = "lost";
        device.options = {OptionLine{1, "port", {"/no/such/tty"}}, OptionLine{2, "sensors", {"1"}}};
        device.setup = is900::hostkit::readDeviceSetup(device.options);
        session.addDevice(device);
        status = session.run();
    }
    std::cerr.rdbuf(standardError);

    EXPECT_EQ(status, 4) << "a device that never came up fails the run";
    std::vector<double> startedAt;
    std::vector<int> waits;
    const std::vector<is900::hostkit::StatusLine> seen = statusLines(out.str());
    for (const is900::hostkit::StatusLine& line : seen) {
        if (line.state == "starting") startedAt.push_back(line.time);
        if (line.state == "reconnecting") {
            EXPECT_EQ(line.attempt, static_cast<int>(waits.size()) + 2) << "the next bring-up's number";
            EXPECT_NE(errors.str().find("attempt " + std::to_string(line.attempt) + " in " +
                                        std::to_string(line.retryInSeconds) + " s"),
                      std::string::npos)
                << "standard error names the same attempt\n"
                << errors.str();
            waits.push_back(line.retryInSeconds);
        }
    }
    const std::vector<int> expected{1, 2, 4, 8, 16, 30, 30, 30, 30, 30, 30};
    EXPECT_EQ(waits, expected);
    const std::vector<double> expectedStarts{0, 1, 3, 7, 15, 31, 61, 91, 121, 151, 181};
    EXPECT_EQ(startedAt, expectedStarts);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().state, "stopped");
    EXPECT_DOUBLE_EQ(clock.seconds(), 200) << "the run ends at its duration";
}
