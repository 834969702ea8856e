// The host kit's reading of a device's set-up against the plug-in itself:
// on every sample configuration and the configuration reference's worked
// example, the plug-in is loaded as the host loads it and initialised; its
// configuration report must show what the description holds, and the lines
// it marks used must be the lines the description says it takes.
#include "host/config/ConfigFile.h"
#include "host/config/DeviceConfigBlock.h"
#include "is900/hostkit/CBase.h"
#include "is900/hostkit/DeviceSetup.h"
#include "is900/hostkit/HostLog.h"
#include "is900/hostkit/HostStorage.h"
#include "is900/hostkit/PluginLibrary.h"
#include "rules/OptionWords.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

using namespace is900::hostkit;

namespace {

// What the process writes to its standard output while the object lives.
class StdoutCapture {
public:
    StdoutCapture() : file(std::tmpfile()), saved(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        dup2(fileno(file), STDOUT_FILENO);
    }
    ~StdoutCapture() { std::fclose(file); }

    std::string finish() {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
        return text;
    }

private:
    std::FILE* file;
    int saved;
};

struct DeviceOutcome {
    std::string report;
    std::vector<bool> used;
};

DeviceOutcome initialise(const std::string& name, const std::vector<OptionLine>& options) {
    static const PluginLibrary plugin(IS900_PLUGIN_FILE);
    DeviceConfigBlock config(name, options);
    HostLog log("SETUP");
    HostStorage trackers(StorageKind::tracker, log.record()), controllers(StorageKind::controller, log.record());
    int32_t runFlag = 1;
    DevInitInfo info = deviceInitInfo(trackers, controllers, &runFlag);
    CBase* device = plugin.createDev(config.get(), log.record());
    DeviceOutcome outcome;
    StdoutCapture capture;
    device->init(&info); // fails at the port, after the report
    outcome.report = capture.finish();
    plugin.deleteDev(device);
    for (uint32_t i = 0; i < config.get()->lineCount; ++i) outcome.used.push_back(config.get()->lines[i].used);
    return outcome;
}

// Each number as %.3f, so that the stream's float format does not matter.
std::string numbersAligned(const std::string& line) {
    std::string text;
    for (std::size_t at = 0; at < line.size();) {
        const bool negative = line[at] == '-' && at + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[at + 1]));
        if (!negative && !std::isdigit(static_cast<unsigned char>(line[at]))) {
            text += line[at++];
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(line.c_str() + at, &end);
        char written[48];
        std::snprintf(written, sizeof written, "%.3f", value);
        text += std::string(written) == "-0.000" ? "0.000" : written;
        at = static_cast<std::size_t>(end - line.c_str());
    }
    return text;
}

// The report from its first row on, without the logger's prefix and
// without blanks: the padding is the plug-in's own affair.
std::string normalised(const std::string& report) {
    std::string text;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t prefix = line.find("INFO: ");
        for (char c : numbersAligned(prefix == std::string::npos ? line : line.substr(prefix + 6)))
            if (c != ' ' && c != '\t') text += c;
        text += '\n';
    }
    const std::size_t first = text.find("DEVICENAME");
    return first == std::string::npos ? text : text.substr(first);
}

void writeRows(std::ostream& out, const char* label, const Rows3& rows, const std::string& tag) {
    for (int r = 0; r < 3; ++r) {
        out << (r ? ":" : label) << " " << tag << " ";
        for (int c = 0; c < 3; ++c) out << " [" << r << "][" << c << "]: " << rows[3 * r + c];
        out << "\n";
    }
    out << "\n";
}

void writePlacement(std::ostream& out, const Placement& placement, const std::string& kind, const std::string& tag) {
    const Vector3& offset = placement.offset;
    if (placement.offsetSet)
        out << kind << "OFFSET: " << tag << " X:" << offset[0] << "Y:" << offset[1] << "Z:" << offset[2] << "\n";
    if (placement.rotationSet) writeRows(out, (kind + "ROTATION:").c_str(), placement.rotation, tag);
    if (placement.offsetSet || placement.rotationSet)
        writeRows(out, (kind + "TRANSFORM:").c_str(), placement.rotation, tag);
}

void writeTrackerReport(std::ostream& out, const DeviceSetup& setup) {
    out << "CAVECOORDINATES:" << (setup.cave ? "Used" : "Unused") << "\n";
    writePlacement(out, setup.transmitter, "TRANSMITTER", "");
    out << "TRACKERORDER:<Realtra>-><Outputtra>\n:";
    const std::vector<int> stations = setup.trackerStations();
    for (std::size_t n = 0; n < stations.size(); ++n) out << " " << stations[n] << "->" << n + 1;
    out << "\n";
    for (int station : stations) writePlacement(out, setup.sensors[station - 1], "SENSOR", std::to_string(station));
    if (!setup.calibrated) return;
    out << "CALIBRATIONLIBRARY:name:" << setup.calibrationLibrary << "\n";
    for (std::size_t k = 0; k < setup.calibrationArgs.size(); ++k)
        out << ":arg[" << k << "]:" << setup.calibrationArgs[k] << "\n";
}

void writePolynomial(std::ostream& out, const Polynomial& p) {
    const char* powers[4] = {"X^3", "X^2", "X", ""};
    bool written = false;
    out << "(";
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) continue;
        out << (written && p[i] > 0 ? "+" : "") << p[i] << powers[i];
        written = true;
    }
    out << ")";
}

void writeOrder(std::ostream& out, const std::string& tag, const std::array<uint32_t, controllerSlots>& order,
                const std::array<Polynomial, controllerSlots>* scales) {
    out << ":" << tag;
    for (uint32_t r = 1; r <= controllerSlots; ++r) {
        if (order[r - 1] == 0) continue;
        out << " " << r << "->" << order[r - 1];
        if (scales) writePolynomial(out, (*scales)[r - 1]);
    }
    out << "\n";
}

void writeControllerReport(std::ostream& out, const DeviceSetup& setup) {
    out << "CONTROLLERORDER:<Realcon>-><Outputcon>\n:";
    const std::vector<int> stations = setup.controllerStations();
    for (std::size_t n = 0; n < stations.size(); ++n) out << " " << stations[n] << "->" << n + 1;
    out << "\n";
    for (int station : stations) {
        const ControllerSetup& c = setup.controllers[station - 1];
        const std::string tag = std::to_string(station) + ":";
        if (c.valuatorCount) out << "VALUATORORDER(SCALE):<Realval>-><Outputval>\n";
        if (c.valuatorCount) writeOrder(out, tag, c.valuatorOrder, &c.valuatorScale);
        if (c.buttonCount) out << "BUTTONORDER:<Realbut>-><Outputbut>\n";
        if (c.buttonCount) writeOrder(out, tag, c.buttonOrder, nullptr);
        if (!c.emulates) continue;
        const TrackerEmulation& e = c.emulation;
        const char* axes[6] = {"X", "Y", "Z", "Azim", "Elev", "Roll"};
        out << "TRACKEREMULATION:" << station << "->tracker[0]\n:" << tag << "InitValues:";
        for (int i = 0; i < 6; ++i) out << (i == 3 ? "\n:" + tag + "InitValues:" : "") << axes[i] << "=" << e.initialPose[i];
        out << "\n:" << tag << "ValAssign:";
        for (int i = 0; i < 6; ++i)
            if (e.valuators[i]) out << " " << e.valuators[i] << "->" << axes[i];
        out << "\n";
        if (e.resetButton) out << ":" << tag << "ResetBut:" << e.resetButton << "\n";
    }
}

// The configuration report a device with this set-up prints.
std::string expectedReport(const std::string& name, const DeviceSetup& setup) {
    const bool trackers = !setup.trackerStations().empty(), controllers = !setup.controllerStations().empty();
    std::ostringstream out;
    out << "DEVICE NAME: " << name << "\nDEVICE TYPE: IS900(tm)\nVERSION: 5.5\nDATA TYPE: "
        << (trackers ? "Tracker" : "") << (trackers && controllers ? "/" : "") << (controllers ? "Controller" : "")
        << "\nSERIAL PORT: " << setup.port << "\nBAUD RATE: " << setup.baud << "\nRESET: " << (setup.reset ? "Yes" : "No")
        << "\n";
    if (setup.reconnect) out << "RECONNECT: Yes, set-up repeated after " << setup.silenceLimitSeconds << " s of silence\n";
    out << "INCOMING DATA UNIT: " << (setup.centimetres ? "Centimeter" : "Inch") << "\nNUMBER OF DEVICES: 1\n";
    if (trackers) out << "NUMBER OF TRACKERS: " << setup.trackerStations().size() << "\n";
    if (controllers) out << "NUMBER OF CONTROLLERS: " << setup.controllerStations().size() << "\n";
    for (const char* kind : {"SENSOR(S):", "CONTROLLER(S):"}) {
        out << kind;
        for (int s = 1; s <= deviceStationCount; ++s)
            out << " " << s << ":" << ((kind[0] == 'S' ? setup.trackerOn : setup.controllerOn)[s - 1] ? "ON" : "OFF");
        out << "\n";
    }
    if (trackers) writeTrackerReport(out, setup);
    if (controllers) writeControllerReport(out, setup);
    out << "-----------------------\n";
    return normalised(out.str());
}

void expectDescribed(const std::string& where, const std::string& name, const std::vector<OptionLine>& options) {
    SCOPED_TRACE(where);
    const DeviceSetup setup = readDeviceSetup(options);
    const DeviceOutcome outcome = initialise(name, options);
    EXPECT_EQ(setup.taken, outcome.used);
    const std::string report = normalised(outcome.report);
    EXPECT_EQ(expectedReport(name, setup), report.substr(0, report.find("-----------------------\n") + 24));
}

// The worked example's option lines, row by row: every `...` span is one line.
std::vector<std::vector<OptionLine>> workedExample() {
    std::ifstream file(CONFIGURATION_REFERENCE);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::size_t begin = text.find("worked-example: begin"), end = text.find("worked-example: end");
    std::vector<std::vector<OptionLine>> rows;
    std::istringstream table(text.substr(begin, end - begin));
    for (std::string row; std::getline(table, row);) {
        std::vector<std::string> spans;
        for (std::size_t open = row.find('`'); open != std::string::npos; open = row.find('`', open + 1)) {
            const std::size_t close = row.find('`', open + 1);
            spans.push_back(row.substr(open + 1, close - open - 1));
            open = close;
        }
        std::string lines;
        for (const std::string& span : spans) lines += span + "\n";
        if (!spans.empty()) rows.push_back(parseConfigText(lines, "worked example"));
    }
    return rows;
}

} // namespace

TEST(DeviceSetupReader, DescribesWhatThePluginReportsAndTakesForEverySample) {
    const char* samples[] = {"head-and-wand.cfg", "centimetres.cfg", "cave-off.cfg", "calibration.cfg", "two-rooms.cfg"};
    for (const char* sample : samples) {
        const HostConfig config = readHostConfig(std::string(HOST_CONFIG_DIR) + "/" + sample);
        for (const DeviceSection& device : config.devices)
            expectDescribed(std::string(sample) + " " + device.name, device.name.empty() ? "is900" : device.name,
                            device.options);
    }
    // The capture line changes nothing in the report; the device takes it with the others.
    const std::string headAndWand = std::string(HOST_CONFIG_DIR) + "/head-and-wand.cfg";
    std::vector<OptionLine> captured = readHostConfig(headAndWand).devices[0].options;
    captured.push_back(OptionLine{uint32_t(captured.size() + 1), "capture", {"/no-such-folder/a.is900cap", "64"}});
    expectDescribed("head-and-wand.cfg with a capture line", "is900", captured);
    const std::vector<std::vector<OptionLine>> rows = workedExample();
    ASSERT_GE(rows.size(), 5u) << "no worked example in " << CONFIGURATION_REFERENCE;
    for (std::size_t r = 0; r < rows.size(); ++r) expectDescribed("worked example row " + std::to_string(r), "is900", rows[r]);
}

// The description of these option lines; the lines it says the device takes
// must be the lines the plug-in marks used.
DeviceSetup readAsThePluginDoes(const std::string& text) {
    const std::vector<OptionLine> options = parseConfigText(text, "lines.cfg");
    const DeviceSetup setup = readDeviceSetup(options);
    EXPECT_EQ(setup.taken, initialise("is900", options).used) << text;
    return setup;
}

// Lines the device refuses are not taken, and leave the description as it was.
TEST(DeviceSetupReader, TakesOnlyWhatThePluginTakes) {
    const DeviceSetup setup = readAsThePluginDoes("sensors 1 0 1\ntransmitteroffset 1 2 3 furlongs\n"
                                                  "valuatorscale 1 2 all\ncavecoord off\nbaud 0x9600\n"
                                                  "controllerorder 1\nsensoroffset 9 0 0 1\nfoo\n");
    EXPECT_FALSE(setup.transmitter.offsetSet) << "an unknown unit is no foot";
    EXPECT_EQ(setup.baud, 38400);
    EXPECT_FALSE(setup.cave);
    EXPECT_EQ(setup.trackerStations(), (std::vector<int>{1, 3}));
}

// The last capture line the device takes names the file; numbers beyond 32
// bits saturate as the device reads them.
TEST(DeviceSetupReader, ReadsTheCaptureLineAsThePluginDoes) {
    const DeviceSetup setup = readAsThePluginDoes("capture /no-such-folder/a.is900cap 64\ncapture\n"
                                                  "capture b.is900cap 0\ncapture c.is900cap 1 2\n"
                                                  "reconnect on 4294967296\n");
    EXPECT_EQ(setup.capture.path, "/no-such-folder/a.is900cap");
    EXPECT_EQ(setup.capture.limitMiB, 64);
    EXPECT_EQ(setup.silenceLimitSeconds, INT32_MAX);
    EXPECT_TRUE(readDeviceSetup({}).capture.path.empty());
}

namespace {

// Option lines read as the option-line fuzz target reads its input: lines
// at line feeds, the keyword and its arguments at blanks.
std::vector<OptionLine> fuzzInputLines(const std::string& text) {
    std::vector<OptionLine> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        OptionLine option{static_cast<uint32_t>(lines.size() + 1), "", {}};
        std::istringstream words(line);
        words >> option.keyword;
        for (std::string word; words >> word;) option.args.push_back(word);
        lines.push_back(option);
    }
    return lines;
}

// Each seed ends on a port that does not exist, so that init fails at the
// port as everywhere else in these tests, whatever serial ports the machine
// has (the default com1 is a real port on many).
std::vector<std::vector<OptionLine>> fuzzSeeds() {
    std::vector<std::vector<OptionLine>> seeds;
    for (const char* folder : {FUZZ_DIR "/corpus/option_lines", FUZZ_DIR "/crashes/option_lines"})
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::ifstream file(entry.path(), std::ios::binary);
            seeds.push_back(fuzzInputLines(std::string(std::istreambuf_iterator<char>(file), {})));
            seeds.back().push_back(OptionLine{uint32_t(seeds.back().size() + 1), "port", {"/no/such/is900-port"}});
        }
    return seeds;
}

std::string capitalised(std::string word) {
    word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

} // namespace

// The kit's reader and the plug-in take the same lines of every seed of the
// option-line fuzz target, and of each seed with a keyword written as each
// of its other spellings.
TEST(DeviceSetupReader, TakesExactlyTheLinesThePluginTakesOverTheFuzzSeeds) {
    const std::vector<std::vector<OptionLine>> seeds = fuzzSeeds();
    ASSERT_GE(seeds.size(), 5u);
    std::size_t spellingsTried = 0;
    for (const std::vector<OptionLine>& seed : seeds) {
        EXPECT_EQ(readDeviceSetup(seed).taken, initialise("is900", seed).used);
        for (std::size_t i = 0; i < seed.size(); ++i)
            for (const optionwords::Words* keyword : optionwords::everyKeyword) {
                if (!optionwords::isOneOf(seed[i].keyword, *keyword, sameKeyword)) continue;
                for (const char* spelling : keyword->list) {
                    if (!spelling) continue;
                    std::vector<OptionLine> variant = seed;
                    variant[i].keyword = capitalised(spelling);
                    EXPECT_EQ(readDeviceSetup(variant).taken, initialise("is900", variant).used)
                        << variant[i].keyword << " on line " << i + 1;
                    ++spellingsTried;
                }
            }
    }
    EXPECT_GE(spellingsTried, 20u);
}
