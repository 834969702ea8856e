// The tracking quality the host tells and is900-report finds in the host's
// captures, against simulators whose still sensor has a known noise and a gap
// at a known time.
#include "common/ChildProcess.h"

#include "is900/hostkit/RecordSchema.h"
#include "sim/CaptureFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using namespace is900::hostkit;

const double noiseMm = 1.5, noiseDeg = 0.05, period = 1.0 / 120;

struct HostRun {
    std::vector<double> stamps; // station 1's tracker records, in order
    std::optional<DeviceQuality> last; // the last quality line with no gap going on
};

HostRun readRun(const std::vector<std::string>& lines) {
    HostRun run;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] != '{') continue;
        const JsonLine read = readJsonLine(line);
        if (read.type == LineType::record && read.record.station == 1) run.stamps.push_back(read.record.stamp);
        if (read.type == LineType::quality && read.quality.stations.size() == 1 &&
            !read.quality.stations[0].ongoingGap)
            run.last = read.quality;
    }
    return run;
}

// The longest pause between two records: its start and length.
std::pair<double, double> longestPause(const std::vector<double>& stamps) {
    std::pair<double, double> longest{0, 0};
    for (std::size_t i = 1; i < stamps.size(); ++i)
        if (stamps[i] - stamps[i - 1] > longest.second) longest = {stamps[i - 1], stamps[i] - stamps[i - 1]};
    return longest;
}

// The tracker records in a capture: when each record's bytes came, in seconds
// from the capture's start (one station, so every record is station 1's).
std::vector<double> capturedRecords(const std::string& path) {
    std::vector<double> times;
    for (const is900sim::CaptureChunk& chunk : is900sim::readCapture(path).chunks)
        if (chunk.kind == 'R' && chunk.bytes.size() == 29 && chunk.bytes[27] == '\r') times.push_back(chunk.micros / 1e6);
    return times;
}

// The report's figures of station 1 and its one gap, as its page writes them.
struct Reported {
    unsigned gaps = 0;
    double rate = 0, positionMm = 0, orientationDeg = 0, gapStart = 0, gapLength = 0;
};

Reported reportOf(const std::string& capture) {
    const std::string page = capture + ".html";
    ChildProcess report({"./is900-report", capture, "-o", page});
    EXPECT_EQ(report.waitForExit(60000), 0) << report.errors();
    std::ifstream file(page);
    std::stringstream text;
    text << file.rdbuf();
    const std::string html = text.str();
    Reported figures;
    unsigned records = 0;
    double longest = 0;
    const std::size_t row = html.find("<tr><td>1</td>", html.find("<h3>Stations</h3>"));
    const std::size_t gap = html.find("<tr><td>gap of station 1</td><td>");
    EXPECT_TRUE(row != std::string::npos && gap != std::string::npos) << html.substr(0, 4000);
    if (row == std::string::npos || gap == std::string::npos) return figures;
    EXPECT_EQ(std::sscanf(html.c_str() + row, "<tr><td>1</td><td>%u</td><td>%lf</td><td>%u</td><td>%lf</td><td>%lf</td><td>%lf",
                          &records, &figures.rate, &figures.gaps, &longest, &figures.positionMm, &figures.orientationDeg),
              6);
    const std::size_t seconds = html.find("</td><td>", html.find("</td><td>", gap + 20) + 9);
    EXPECT_EQ(std::sscanf(html.c_str() + seconds, "</td><td>%lf</td><td>%lf", &figures.gapStart, &figures.gapLength), 2);
    return figures;
}

} // namespace

// Five seeds at once, each a simulator and a host that captures the line:
// in the host's quality lines and in the report of its capture, the noise
// figures within 10% of what the simulator's noise implies (its standard
// deviation per axis times the square root of 3), the 2-s gap once with its
// start and length, and the rate of the records published, or captured, at
// the end.
TEST(QualityLines, TellTheNoiseTheGapAndTheRateOfAStillSensor) {
    std::vector<std::unique_ptr<ChildProcess>> trackers, hosts;
    std::vector<std::string> outputs, captures;
    for (int seed = 1; seed <= 5; ++seed) {
        trackers.emplace_back(new ChildProcess({"./is900-sim", "--station", "1:tracker", "--still",
                                                "1:10,20,30,40,-20,10", "--noise", "1.5,0.05", "--gap", "9:2:1",
                                                "--seed", std::to_string(seed), "--quiet"}));
        ASSERT_TRUE(trackers.back()->waitForLine([](const std::string& line) { return line[0] == '/'; }, 5000));
        const std::string port = trackers.back()->outputLines()[0];
        // Into a file: the five write at once, and none may wait for the test to read it.
        outputs.push_back(::testing::TempDir() + "quality-" + std::to_string(getpid()) + "-" + std::to_string(seed));
        captures.push_back(outputs.back() + "-capture");
        std::filesystem::remove_all(captures.back());
        std::filesystem::create_directories(captures.back());
        hosts.emplace_back(new ChildProcess({"/bin/sh", "-c", "exec ./is900-host --port '" + port +
                                                                  "' --format jsonl --duration 18 -q --capture '" +
                                                                  captures.back() + "' > '" + outputs.back() + "'"}));
    }
    for (std::size_t n = 0; n < hosts.size(); ++n) {
        SCOPED_TRACE("seed " + std::to_string(n + 1));
        ASSERT_EQ(hosts[n]->waitForExit(60000), 0) << hosts[n]->errors();
        const HostRun run = readRun(fileLines(outputs[n]));
        ASSERT_TRUE(run.last);
        const StationQuality& told = run.last->stations[0];
        EXPECT_EQ(told.moving, std::optional<bool>(false));
        EXPECT_NEAR(told.positionNoiseMm.value_or(0), noiseMm * std::sqrt(3.0), 0.1 * noiseMm * std::sqrt(3.0));
        EXPECT_NEAR(told.orientationNoiseDeg.value_or(0), noiseDeg * std::sqrt(3.0), 0.1 * noiseDeg * std::sqrt(3.0));

        // The records' stamps are their reception: on a busy test machine the
        // first after the gap may be read some milliseconds late.
        const std::pair<double, double> pause = longestPause(run.stamps);
        EXPECT_NEAR(pause.second, 2.0, 0.1);
        ASSERT_EQ(told.gapCount, 1u) << qualityJsonLine(*run.last);
        ASSERT_EQ(told.gaps.size(), 1u);
        EXPECT_NEAR(told.gaps[0].start, pause.first, 2 * period);
        EXPECT_NEAR(told.gaps[0].length, pause.second, 2 * period);

        // The last 10 s, or since the first record when that is shorter.
        const double window = std::min(10.0, run.last->time - run.stamps.front());
        std::size_t inWindow = 0;
        for (double stamp : run.stamps) inWindow += stamp >= run.last->time - window && stamp <= run.last->time;
        EXPECT_NEAR(told.rate.value_or(0), inWindow / window, 0.02 * inWindow / window);

        const std::filesystem::directory_iterator files(captures[n]);
        ASSERT_NE(files, std::filesystem::directory_iterator()) << "no capture";
        const std::string capture = files->path().string();
        const std::vector<double> captured = capturedRecords(capture);
        ASSERT_GT(captured.size(), 1000u);
        const Reported reported = reportOf(capture);
        EXPECT_NEAR(reported.positionMm, noiseMm * std::sqrt(3.0), 0.1 * noiseMm * std::sqrt(3.0));
        EXPECT_NEAR(reported.orientationDeg, noiseDeg * std::sqrt(3.0), 0.1 * noiseDeg * std::sqrt(3.0));
        const std::pair<double, double> capturedPause = longestPause(captured);
        EXPECT_EQ(reported.gaps, 1u);
        EXPECT_NEAR(reported.gapStart, capturedPause.first, 2 * period);
        EXPECT_NEAR(reported.gapLength, capturedPause.second, 2 * period);
        EXPECT_NEAR(reported.gapLength, 2.0, 0.1);
        // The report's rate at the end is over the run's last 2 s.
        const double end = captured.back();
        const double inLast2 = std::count_if(captured.begin(), captured.end(), [&](double t) { return t > end - 2; });
        EXPECT_NEAR(reported.rate, inLast2 / 2, 0.02 * inLast2 / 2);
        std::filesystem::remove_all(captures[n]);
    }
}
