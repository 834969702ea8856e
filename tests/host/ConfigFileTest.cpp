#include "host/config/CaptureOption.h"
#include "host/config/ConfigFile.h"
#include "is900/hostkit/DeviceSetup.h"

#include <gtest/gtest.h>

#include <fstream>

using is900::hostkit::readDeviceSetup;

namespace {

std::string portOf(const std::vector<OptionLine>& options) { return readDeviceSetup(options).port; }

std::string messageOf(const std::string& text) {
    try {
        parseConfigText(text, "test.cfg");
    } catch (const ConfigError& error) {
        return error.what();
    }
    return "";
}

std::string lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i) text += line + "\n";
    return text;
}

// Each text is refused with its message, the file named t.cfg.
void expectRefused(const std::vector<std::pair<std::string, std::string>>& refused) {
    for (const auto& bad : refused) {
        try {
            parseHostConfig(bad.first, "t.cfg");
            ADD_FAILURE() << bad.first;
        } catch (const ConfigError& error) {
            EXPECT_EQ(std::string(error.what()), bad.second);
        }
    }
}

} // namespace

TEST(ConfigFile, SplitsKeywordsQuotesAndCommentsWithTheirLineNumbers) {
    const auto options = parseConfigText("# heading\n"
                                         "\n"
                                         "port /dev/ttyS0   # the tracker\n"
                                         "  sensors\t1 0  1\r\n"
                                         "calibration \"./my calib.so\" \"\" \"x # y\" a#b \"c\"\n"
                                         "   # only a comment\n"
                                         "reset yes",
                                         "test.cfg");
    ASSERT_EQ(options.size(), 4u);
    EXPECT_EQ(options[0].lineNumber, 3u);
    EXPECT_EQ(options[0].keyword, "port");
    EXPECT_EQ(options[0].args, (std::vector<std::string>{"/dev/ttyS0"}));
    EXPECT_EQ(options[1].lineNumber, 4u);
    EXPECT_EQ(options[1].args, (std::vector<std::string>{"1", "0", "1"}));
    EXPECT_EQ(options[2].lineNumber, 5u);
    EXPECT_EQ(options[2].args, (std::vector<std::string>{"./my calib.so", "", "x # y", "a"}));
    EXPECT_EQ(options[3].lineNumber, 7u);
    EXPECT_EQ(options[3].keyword, "reset");
}

TEST(ConfigFile, RejectsWhatTheDeviceCannotTakeNamingFileAndLine) {
    EXPECT_EQ(messageOf("sensors 1\nport \"/dev/tty S0\n"), "test.cfg:2: unterminated double quote");

    std::string args64;
    for (int i = 0; i < 64; ++i) args64 += " a";
    const std::string args65 = args64 + " b";
    EXPECT_EQ(messageOf("# c\ncalibration" + args64 + "\n"), "");
    EXPECT_EQ(messageOf("# c\ncalibration" + args65 + "\n"), "test.cfg:2: more than 64 arguments to option 'calibration'");

    EXPECT_EQ(messageOf(lines(32, "reset no") + "# comments do not count\n\n"), "");
    EXPECT_EQ(messageOf(lines(32, "reset no") + "\nbaud 9600\n"), "test.cfg:34: more than 32 options (a device takes at most 32)");
}

TEST(ConfigFile, ReadsFilesAndNamesTheOneItCannotRead) {
    const std::string path = testing::TempDir() + "host-config-test.cfg";
    std::ofstream(path) << "sensors 1\nwand 0 1\n";
    EXPECT_EQ(readConfigFile(path).size(), 2u);
    try {
        readConfigFile(path + ".missing");
        FAIL() << "a missing file was read";
    } catch (const ConfigError& error) {
        EXPECT_NE(std::string(error.what()).find("cannot read configuration file '" + path + ".missing'"),
                  std::string::npos);
    }
}

TEST(ConfigFile, PortOverrideReplacesEveryPortLineOrAddsOne) {
    auto options = parseConfigText("Port com2\nsensors 1\nSERIALPORT com3\n", "t");
    overridePortOption(options, "/dev/pts/7");
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].lineNumber, 1u);
    EXPECT_EQ(options[0].args, (std::vector<std::string>{"/dev/pts/7"}));
    EXPECT_EQ(portOf(options), "/dev/pts/7");

    auto withoutPort = parseConfigText("sensors 1\n", "t");
    EXPECT_EQ(portOf(withoutPort), "com1");
    overridePortOption(withoutPort, "COM4");
    ASSERT_EQ(withoutPort.size(), 2u);
    EXPECT_EQ(withoutPort[1].keyword, "port");
    EXPECT_EQ(portOf(withoutPort), "COM4");

    auto full = parseConfigText(lines(32, "reset no"), "t");
    EXPECT_THROW(overridePortOption(full, "COM4"), ConfigError);
}

TEST(ConfigFile, ADevicesSetUpFollowsThePortASimulatorGivesIt) {
    HostConfig config = parseHostConfig("[device head]\nport /dev/ttyUSB0\nreconnect on 4\n[device desk]\nsensors 1\n", "t");
    readSetups(config);
    EXPECT_EQ(config.devices[0].setup.port, "/dev/ttyUSB0");
    EXPECT_EQ(config.devices[0].setup.ownSilenceLimit(), 4);
    overrideDevicePort(config.devices[0], "/dev/pts/7");
    overrideDevicePort(config.devices[1], "/dev/pts/8");
    EXPECT_EQ(config.devices[0].setup.port, "/dev/pts/7");
    EXPECT_EQ(config.devices[0].setup.ownSilenceLimit(), 4);
    EXPECT_EQ(config.devices[1].setup.port, "/dev/pts/8");
    EXPECT_EQ(config.devices[1].setup.taken.size(), config.devices[1].options.size()) << "the added port line too";
}

TEST(ConfigFile, CaptureOptionNamesTheFileAfterTheDeviceAndReplacesAnEarlierOne) {
    const std::string path = captureFilePath("runs/", "head/wand 2", 0);
    EXPECT_EQ(0u, path.find("runs/head_wand_2-19")) << path;
    EXPECT_EQ(".is900cap", path.substr(path.size() - 9)) << path;

    auto options = parseConfigText("capture a.cap\nsensors 1\nCAPTURE b.cap 5\n", "t");
    overrideCaptureOption(options, "c.cap");
    ASSERT_EQ(2u, options.size());
    EXPECT_EQ((std::vector<std::string>{"c.cap"}), options[0].args);
    EXPECT_EQ(1u, withoutCaptureOption(options).size());

    auto full = parseConfigText(lines(32, "reset no"), "t");
    EXPECT_THROW(overrideCaptureOption(full, "c.cap"), ConfigError);
}

TEST(ConfigFile, DeviceSectionsHoldEachDevicesLinesAndTheirPlugIn) {
    const HostConfig config = parseHostConfig("# two trackers\n"
                                              "[device head]   # the CAVE\n"
                                              "port /dev/ttyUSB0\n"
                                              "plugin ./other.so\n"
                                              "reconnect on 4\n"
                                              "[ DEVICE \"desk two\" ]\n"
                                              "sensors 1\n",
                                              "two.cfg");
    ASSERT_TRUE(config.sectioned);
    ASSERT_EQ(config.devices.size(), 2u);
    EXPECT_EQ(config.devices[0].name, "head");
    EXPECT_EQ(config.devices[0].pluginPath, "./other.so");
    ASSERT_EQ(config.devices[0].options.size(), 2u) << "the plugin line is the host's";
    EXPECT_EQ(config.devices[0].options[1].lineNumber, 5u);
    EXPECT_EQ(readDeviceSetup(config.devices[0].options).ownSilenceLimit(), 4);
    EXPECT_EQ(config.devices[1].name, "desk two");
    EXPECT_EQ(readDeviceSetup(config.devices[1].options).ownSilenceLimit(), 0);
    EXPECT_FALSE(parseHostConfig("sensors 1\nplugin x\n", "one.cfg").sectioned);

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"[device]\nsensors 1\n", "t.cfg:1: the device section has no name"},
        {"[device a]\n[device b]\n[device a]\n", "t.cfg:3: a second section for device 'a'"},
        {"# c\nsensors 1\n[device a]\n", "t.cfg:2: option lines before the first [device NAME] section"},
        {"[tracker a]\n", "t.cfg:1: expected a section line [device NAME]"},
        {"[device a\n", "t.cfg:1: expected a section line [device NAME]"},
        {"[device a]\n" + lines(33, "reset no"), "t.cfg:34: more than 32 options (a device takes at most 32)"},
    };
    expectRefused(refused);
}

TEST(ConfigFile, PredictAndFilterAreTheHostsKeysByDeviceAndStation) {
    const HostConfig config = parseHostConfig("predict 20\n"
                                              "[device head]\n"
                                              "sensors 1 1 1\n"
                                              "controllers 0 1 0\n"
                                              "filter\n"
                                              "predict 0 3\n"
                                              "[device desk]\n"
                                              "FILTER 0.5,8 2\n"
                                              "sensors 1 1\n",
                                              "keys.cfg");
    ASSERT_EQ(config.devices.size(), 2u);
    DeviceSection head = config.devices[0];
    ASSERT_EQ(head.options.size(), 2u) << "the device gets none of the host's keys";
    EXPECT_EQ(head.options[1].lineNumber, 4u) << "and its line numbers stay the file's";
    head.setup = readDeviceSetup(head.options);
    EXPECT_EQ(stationProcessing(head, 1).describe(), "filter 0.3 12; predict 20 ms") << "a head's filter, every device's prediction";
    EXPECT_EQ(stationProcessing(head, 2).describe(), "filter 0.5 16; predict 20 ms") << "a wand's filter for a station with buttons";
    EXPECT_EQ(stationProcessing(head, 3).describe(), "filter 0.3 12") << "a station's own line comes first";
    const DeviceSection& desk = config.devices[1];
    EXPECT_EQ(desk.options.front().lineNumber, 9u);
    EXPECT_EQ(stationProcessing(desk, 2).describe(), "filter 0.5 8; predict 20 ms");
    EXPECT_EQ(stationProcessing(desk, 1).describe(), "predict 20 ms");
    EXPECT_FALSE(parseHostConfig("sensors 1\n", "none.cfg").devices[0].processing.any());
    EXPECT_EQ(stationProcessing(parseHostConfig("filter off\npredict 5\n", "o.cfg").devices[0], 1).describe(),
              "predict 5 ms");

    const std::string predictTakes = "'predict' takes MILLISECONDS from 0 to 100, then any station numbers (1 to 8)";
    const std::string filterTakes = "'filter' takes head, wand, off or MINCUTOFF,BETA (cut-off in Hz above 0, speed "
                                    "coefficient not negative), then any station numbers (1 to 8)";
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"predict\n", "t.cfg:1: " + predictTakes},
        {"sensors 1\npredict 101\n", "t.cfg:2: " + predictTakes},
        {"predict -1\n", "t.cfg:1: " + predictTakes},
        {"predict 20 9\n", "t.cfg:1: " + predictTakes},
        {"predict 20ms\n", "t.cfg:1: " + predictTakes},
        {"filter 0,1\n", "t.cfg:1: " + filterTakes},
        {"filter soft\n", "t.cfg:1: " + filterTakes},
        {"filter 1,-1 2\n", "t.cfg:1: " + filterTakes},
        {"filter head 1.5\n", "t.cfg:1: " + filterTakes},
    };
    expectRefused(refused);
}
