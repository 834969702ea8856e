#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Error lines as the device writes them with a plain host logger.
std::string errorLine(const std::string& text) { return "HOST: ERROR: " + text + "\n"; }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string initOutput(DeviceRig& rig, int& result) {
    CoutCapture capture;
    result = rig.init();
    return capture.text();
}

} // namespace

TEST(DeviceInit, OptionErrorsAreAllReportedBeforeInitFails) {
    CLogH hostLog = plainHostLog();
    DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
    rig.lines.add("SENSORS", {"1", "0", "0", "0", "0", "0", "0", "0", "0"}, 3)
        .add("reset", {"1"}, 4)
        .add("devdataunit", {"mm"}, 5)
        .add("port", {}, 6)
        .add("serialport", {"a", "b"}, 7)
        .add("controllers", {"on"}, 8)
        .add("reset", {"YES"}, 9);
    int result = 0;
    const std::string output = initOutput(rig, result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(output, errorLine("CISX00: Too many args found for Sensor(s) at line 3.") +
                          errorLine("CISX00: Invalid string found for Reset at line 4.") +
                          errorLine("CISX00: Invalid string found for DevDataUnit at line 5.") +
                          errorLine("CISX00: Incomplete option line found for SerialPort at line 6.") +
                          errorLine("CISX00: Too many args found for SerialPort at line 7.") +
                          errorLine("CISX00: Invalid arg found for Controller(s) at line 8."));
    for (uint32_t i = 2; i <= 7; ++i)
        EXPECT_FALSE(rig.lines.line(i).used) << "a refused line is not consumed: line " << i + 1;
    EXPECT_TRUE(rig.lines.line(8).used) << "the accepted reset line is consumed";
}

TEST(DeviceInit, UnknownOptionsFailAfterTheProcessorsWereBuilt) {
    CLogH hostLog = plainHostLog();
    DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
    rig.lines.add("foo", {}, 12).add("buttonorder", {"1", "1"}, 13);
    int result = 0;
    const std::string output = initOutput(rig, result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(output, errorLine("CConfigH: Unknown option \"foo\" found at line 12.") +
                          errorLine("CConfigH: Unknown option \"buttonorder\" found at line 13."))
        << "a controller option without controller stations is unknown";
    EXPECT_EQ(rig.trackers.recordCount(), 2u) << "the tracker's IDs were reserved before the check";
}

TEST(DeviceInit, ReportShowsTheChosenOptions) {
    CLogH hostLog = plainHostLog();
    DeviceRig rig({{5, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
    rig.lines.add("sensors", {"0", "0", "0", "0", "0x1"}).add("wand", {"0", "1"}).add("devdataunit", {"Centimeters"});
    int result = 0;
    const std::string output = initOutput(rig, result);
    ASSERT_EQ(result, 1) << output;
    EXPECT_TRUE(contains(output, "HOST: INFO: DEVICE NAME           : is900\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: DATA TYPE             : Tracker/Controller\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: BAUD RATE             : 38400\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: INCOMING DATA UNIT    : Centimeter\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: NUMBER OF TRACKERS    : 1\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: NUMBER OF CONTROLLERS : 1\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: SENSOR(S)             : 1:OFF 2:OFF 3:OFF 4:OFF 5:ON 6:OFF 7:OFF 8:OFF\n"));
    EXPECT_TRUE(contains(output, "HOST: INFO: CONTROLLER(S)         : 1:OFF 2:ON 3:OFF"));
    EXPECT_TRUE(contains(output, "HOST: INFO: -----------------------\n"));
    EXPECT_EQ(rig.trackers.recordCount(), 1u);
    EXPECT_EQ(rig.controllers.recordCount(), 1u);
    EXPECT_EQ(rig.device()->configure(), 1) << "a controllers line makes configure answer 1";
    EXPECT_TRUE(rig.device()->stop());
}

TEST(DeviceInit, MissingStoragesPortsAndRatesFailInit) {
    CLogH hostLog = plainHostLog();
    {
        DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
        CoutCapture capture;
        EXPECT_EQ(rig.device()->init(nullptr), -1);
        DevInitInfo noStorage{};
        noStorage.runFlag = &rig.runFlag;
        EXPECT_EQ(rig.device()->init(&noStorage), -1);
        EXPECT_EQ(capture.text(), errorLine("CISX00: Init info is empty.") +
                                      errorLine("CISX00: tracker data storage pointer is empty."));
    }
    {
        DeviceRig rig({{1, is900sim::StationKind::tracker}}, 12345, 120.0, &hostLog);
        int result = 0;
        const std::string output = initOutput(rig, result);
        EXPECT_EQ(result, -1) << "12345 baud passes the option but not the port";
        EXPECT_TRUE(contains(output, "BAUD RATE             : 12345\n")) << "the report comes first";
    }
    {
        DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
        rig.lines.add("port", {"/nonexistent/tty"}, 200);
        int result = 0;
        CoutCapture capture;
        result = rig.init();
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(contains(capture.text(), "SERIAL PORT           : /nonexistent/tty\n"));
    }
}

TEST(DeviceLifecycle, OperationsWithoutASuccessfulInitFailSafely) {
    CLogH hostLog = plainHostLog();
    DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
    CBase* device = rig.device();
    CoutCapture capture;
    EXPECT_EQ(device->configure(), 0);
    EXPECT_TRUE(device->start());
    EXPECT_FALSE(device->stop());
    EXPECT_EQ(device->recvData(rig.masks, nullptr), -1);
    EXPECT_EQ(device->sendData(nullptr, nullptr), -1);
    EXPECT_TRUE(contains(capture.text(), "HOST: WARNING: CISX00: Can not send any data.\n"));

    rig.lines.add("baud", {"999"}, 300);
    EXPECT_EQ(rig.init(), -1);
    EXPECT_EQ(device->configure(), 0);
    EXPECT_FALSE(device->stop());
    EXPECT_EQ(device->recvData(rig.masks, nullptr), -1);
    EXPECT_TRUE(rig.simulator().commandLog().empty()) << "nothing reached the tracker";
}

TEST(DeviceLifecycle, SecondInitStartsAfresh) {
    CLogH hostLog = plainHostLog();
    DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
    CoutCapture capture;
    ASSERT_EQ(rig.init(), 1);
    ASSERT_EQ(rig.init(), 1) << "the port of the first init was closed, so the line opens again";
    EXPECT_EQ(rig.trackers.recordCount(), 4u) << "each init reserves its IDs anew";
    EXPECT_EQ(rig.device()->configure(), 2);
    EXPECT_TRUE(rig.device()->stop());
}

TEST(DeviceLifecycle, DeleteDevTakesNullAndUninitialisedDevices) {
    is900::hostkit::PluginLibrary plugin(is900::hostkit::defaultPluginPath());
    EXPECT_FALSE(plugin.deleteDev(nullptr));
    OptionLinesBuilder lines;
    CLogH hostLog = plainHostLog();
    hostLog.debugLevel = 1;
    CBase* device = plugin.createDev(kitrecords::kitSide(lines.get()), kitrecords::kitSide(&hostLog));
    ASSERT_NE(device, nullptr);
    hostLog.setName("CHANGED");
    CoutCapture capture;
    EXPECT_TRUE(plugin.deleteDev(device));
    EXPECT_EQ(capture.text(), "HOST: DEBUG: CISX00: \"destructor\" called.\n")
        << "the device logs through its own copy of the host's logger";
}
