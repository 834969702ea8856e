#include "TrackerTestSupport.h"

#include "tracker/CTraCommonH.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const CLogH reportLog = plainLogger();
const std::string info = "T: INFO: ";
const std::string blank = "                      :";

struct Report {
    Report() : tracker(&reportLog) {
        tracker.caveCoordinates = true;
        tracker.createLookup(8);
        tracker.setStation(1, 1);
        tracker.setStation(2, 2);
    }

    std::string print(bool withCaveLine = true) {
        ConsoleCapture console;
        EXPECT_TRUE(withCaveLine ? tracker.printReport() : tracker.printReport(withCaveLine));
        return console.text();
    }

    void rotateTransmitter() {
        tracker.transmitterRotation = axisAngleMatrix(0, 0, 1, 90);
        tracker.transmitterTransform = composeTransform(tracker.transmitterRotation, tracker.transmitterOffset);
        tracker.transmitterRotationSet = true;
    }

    CTraCommonH tracker;
};

const std::string orderLines = info + "TRACKER ORDER         : <Real tra> -> <Output tra>\n";

std::string quarterTurnBlock(const std::string& label, const std::string& station = "") {
    return info + label + station + " [0][0]: 0.000 [0][1]: 1.000 [0][2]: 0.000\n" + info + blank + station +
           " [1][0]:-1.000 [1][1]: 0.000 [1][2]: 0.000\n" + info + blank + station +
           " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000\n\n";
}

} // namespace

TEST(TraReport, StationOrder) {
    Report r;
    EXPECT_EQ(info + "CAVE COORDINATES      : Used\n" + orderLines + info + blank + " 1->1 2->2\n", r.print());
    r.tracker.outputIdBase = 3;
    r.tracker.caveCoordinates = false;
    EXPECT_EQ(info + "CAVE COORDINATES      : Unused\n" + orderLines + info + blank + " 1->4 2->5\n", r.print());
    EXPECT_EQ(orderLines + info + blank + " 1->4 2->5\n", r.print(false));
    r.tracker.setStation(1, 0);
    r.tracker.setStation(2, 0);
    EXPECT_EQ(orderLines + info + blank + "\n", r.print(false));
}

TEST(TraReport, TransmitterAndSensorBlocks) {
    Report offsetOnly;
    offsetOnly.tracker.transmitterOffset = offsetMatrix(1, 2, 3);
    offsetOnly.tracker.transmitterTransform = composeTransform(identityMatrix(), offsetOnly.tracker.transmitterOffset);
    offsetOnly.tracker.transmitterOffsetSet = true;
    const std::string identityBlock = info + "TRANSMITTER TRANSFORM : [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000\n" +
                                      info + blank + " [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000\n" + info + blank +
                                      " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000\n\n";
    EXPECT_EQ(info + "TRANSMITTER OFFSET    : X:1 Y:2 Z:3\n" + identityBlock + orderLines + info + blank +
                  " 1->1 2->2\n",
              offsetOnly.print(false));

    // The matrices leave the stream in fixed notation for the values after them.
    Report r;
    r.rotateTransmitter();
    const Matrix4 offset = offsetMatrix(0, 0, 1);
    r.tracker.setStation(2, 2, &offset);
    r.tracker.setStation(3, 0, &offset); // no output: not reported
    const std::string sensorTransform = info + "SENSOR TRANSFORM      : 2 [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000\n" +
                                        info + blank + " 2 [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000\n" + info +
                                        blank + " 2 [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000\n\n";
    EXPECT_EQ(quarterTurnBlock("TRANSMITTER ROTATION  :") + quarterTurnBlock("TRANSMITTER TRANSFORM :") + orderLines +
                  info + blank + " 1->1 2->2\n" + info + "SENSOR OFFSET         : 2 X:0.000 Y:0.000 Z:1.000\n" +
                  sensorTransform,
              r.print(false));

    const Matrix4 turn = axisAngleMatrix(0, 0, 1, 90);
    r.tracker.setStation(1, 1, nullptr, &turn);
    const std::string report = r.print(false);
    const std::string station1 =
        quarterTurnBlock("SENSOR ROTATION       :", " 1") + quarterTurnBlock("SENSOR TRANSFORM      :", " 1");
    EXPECT_NE(std::string::npos, report.find(" 1->1 2->2\n" + station1 + info + "SENSOR OFFSET"));
}

TEST(TraReport, CalibrationLibrary) {
    Report r;
    OptionLinesBuilder lines;
    lines.add("calibration", {CALIB_OFFSET_FILE, "1.5", "-2"});
    ASSERT_TRUE(r.tracker.parseOptions(lines.get()));
    EXPECT_EQ(orderLines + info + blank + " 1->1 2->2\n" + info + "CALIBRATION LIBRARY   : name:" + CALIB_OFFSET_FILE +
                  "\n" + info + blank + " arg[0]:1.5\n" + info + blank + " arg[1]:-2\n",
              r.print(false));
}
