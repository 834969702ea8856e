// is900-report on a capture the host made of a simulator that was switched
// off and on, on a record file with a gap, and on files it must refuse.
#include "common/ChildProcess.h"

#include "is900/hostkit/RecordSchema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace is900::hostkit;
namespace fs = std::filesystem;

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int secondOfDay(std::time_t time) {
    const std::tm* local = std::localtime(&time);
    return local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
}

// Runs the report on one file: its exit status, standard error and page.
struct Report {
    int status = -1;
    std::string errors, page;
};

Report report(const std::string& file) {
    const std::string page = testing::TempDir() + "report-" + std::to_string(getpid()) + ".html";
    fs::remove(page);
    ChildProcess child({"./is900-report", file, "-o", page});
    Report result;
    result.status = child.waitForExit(60000);
    result.errors = child.errors();
    result.page = fileText(page);
    return result;
}

} // namespace

// The tracker is switched off 5 s after the simulator starts and boots again
// 3 s later; the device, with reconnect on, sets it up again after 2 s of silence. The page tells the
// silence at its clock time, the set-ups after it and the records coming back.
TEST(Report, TellsASilenceOfAPowerCycleAndTheSetUpsAfterIt) {
    const fs::path folder = fs::path(testing::TempDir()) / ("report-capture-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::time_t simStart = std::time(nullptr);
    ChildProcess tracker({"./is900-sim", "--station", "1:tracker", "--still", "1:10,20,30,40,-20,10", "--noise",
                          "1.5,0.05", "--power-cycle-at", "5", "--power-cycle-for", "2", "--boot-time", "1000",
                          "--quiet"});
    ASSERT_TRUE(tracker.waitForLine([](const std::string& line) { return line[0] == '/'; }, 5000));
    const std::string config = writeTempFile("report.cfg", "reconnect on 2\n");
    ChildProcess host({"./is900-host", "-c", config, "--port", tracker.outputLines()[0], "--capture", folder.string(),
                       "--duration", "22", "-q"});
    ASSERT_EQ(host.waitForExit(60000), 0) << host.errors();
    std::vector<fs::path> captures;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) captures.push_back(entry.path());
    ASSERT_EQ(captures.size(), 1u);

    const Report made = report(captures[0].string());
    ASSERT_EQ(made.status, 0) << made.errors;
    const std::size_t at = made.page.find("was silent ");
    ASSERT_NE(at, std::string::npos) << made.page.substr(0, 3000);
    const std::string sentence = made.page.substr(at, made.page.find('.', made.page.find(" s from ", at)) - at);
    double length = 0;
    int hour = 0, minute = 0, second = 0;
    ASSERT_EQ(std::sscanf(sentence.c_str(), "was silent %lf s from %d:%d:%d;", &length, &hour, &minute, &second), 4)
        << sentence;
    EXPECT_GE(length, 2.5) << sentence; // off for 2 s, then 1 s of boot
    EXPECT_LT(length, 15.0) << sentence;
    EXPECT_NEAR(hour * 3600 + minute * 60 + second, secondOfDay(simStart + 5), 2) << sentence;
    // The answer and the last set-up before the records, in the order they happened.
    const std::size_t answered = sentence.find("answered again at "), setUp = sentence.find("set up again at ");
    ASSERT_NE(answered, std::string::npos) << sentence;
    ASSERT_NE(setUp, std::string::npos) << sentence;
    const auto secondsAt = [&](std::size_t at) {
        int h = 0, m = 0, s = 0;
        EXPECT_EQ(std::sscanf(sentence.c_str() + sentence.find(" at ", at) + 4, "%d:%d:%d", &h, &m, &s), 3) << sentence;
        return h * 3600 + m * 60 + s;
    };
    EXPECT_LE(answered < setUp ? secondsAt(answered) : secondsAt(setUp),
              answered < setUp ? secondsAt(setUp) : secondsAt(answered))
        << sentence;
    EXPECT_TRUE(contains(sentence, "; its records came again at ")) << sentence;
    // Station 1's row: the poses decoded in feet give the simulator's noise
    // (1.5 mm per axis, so 1.5 * sqrt(3) RMS), and the rate at the end is full.
    const std::size_t row = made.page.find("<tr><td>1</td>", made.page.find("<h3>Stations</h3>"));
    ASSERT_NE(row, std::string::npos);
    unsigned records = 0, gaps = 0;
    double rate = 0, longest = 0, positionMm = 0;
    const char* const cells = "<tr><td>1</td><td>%u</td><td>%lf</td><td>%u</td><td>%lf</td><td>%lf";
    ASSERT_EQ(std::sscanf(made.page.c_str() + row, cells, &records, &rate, &gaps, &longest, &positionMm), 5);
    EXPECT_NEAR(positionMm, 1.5 * std::sqrt(3.0), 0.4);
    EXPECT_NEAR(rate, 120, 15);
    EXPECT_NEAR(longest, length, 0.1);
    EXPECT_TRUE(contains(made.page, "(repeated)"));
    EXPECT_TRUE(contains(made.page, "<code>capture " + folder.string()));
    EXPECT_TRUE(contains(made.page, "O1,2,4,1"));
    EXPECT_EQ(made.page.find("http"), std::string::npos) << "the page fetches nothing";
    fs::remove_all(folder);
}

// A record file whose station 1 stops for 3 s: the page tells it; files that
// are no capture or record file end the report with status 2, naming them.
TEST(Report, ReadsARecordFileAndRefusesOtherFiles) {
    std::string lines = recordingHeaderLine(recordingHeaderOf({{1, "port", {"/dev/ttyUSB0"}}})) + "\n";
    RecordView record;
    record.device = "lab";
    record.station = 1;
    record.pose[0] = 1;
    for (int n = 0; n < 600; ++n) {
        record.stamp = 1.7e9 + n / 60.0 + (n >= 300 ? 3 : 0);
        lines += jsonLine(record) + "\n";
    }
    const Report recorded = report(writeTempFile("records.jsonl", lines));
    ASSERT_EQ(recorded.status, 0) << recorded.errors;
    const std::size_t at = recorded.page.find("was silent 3.0 s from ");
    ASSERT_NE(at, std::string::npos) << recorded.page.substr(0, 3000);
    EXPECT_TRUE(contains(recorded.page.substr(at, 60), "; records came again at ")) << recorded.page.substr(at, 60);
    EXPECT_TRUE(contains(recorded.page, "<code>port /dev/ttyUSB0</code>"));

    const std::string header = "is900-capture\t1\tport=%2Fdev%2FttyS0\tbaud=38400\n";
    const std::string chunkHead("R\0\0\0\0\0\0\0\0\x1d\0\0\0", 13);
    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } refused[] = {
        {"text.txt", "just some text\n", "no recording header"},
        {"damaged.is900cap", "is900-capture\tx\tport=a\n", "damaged header"},
        {"unknown.is900cap", header + "Q" + chunkHead.substr(1) + std::string(29, '0'), "unknown kind"},
        {"cut.is900cap", header + chunkHead + "01 ", "truncated chunk"},
    };
    for (const auto& file : refused) {
        SCOPED_TRACE(file.name);
        const std::string path = writeTempFile(file.name, file.bytes);
        const Report bad = report(path);
        EXPECT_EQ(bad.status, 2);
        EXPECT_TRUE(contains(bad.errors, "is900-report: not a capture or record file: " + path)) << bad.errors;
        EXPECT_TRUE(contains(bad.errors, file.says)) << bad.errors;
        EXPECT_EQ(std::count(bad.errors.begin(), bad.errors.end(), '\n'), 1) << bad.errors;
    }
}
