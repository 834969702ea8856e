#include "TrackerTestSupport.h"

#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const CLogH testLog = plainLogger();

// A processor as the device sets it up: 8 stations, 1 and 2 on.
struct Tracker {
    Tracker() : tracker(&testLog) {
        tracker.outputStationCount = 2;
        tracker.caveCoordinates = true;
        tracker.createLookup(8);
        tracker.setStation(1, 1);
        tracker.setStation(2, 2);
    }

    // Parses the lines and returns what was written to the console.
    std::string parse(OptionLinesBuilder& lines) {
        ConsoleCapture console;
        result = tracker.parseOptions(lines.get());
        return console.text();
    }

    CTraCommonH tracker;
    bool result = false;
};

std::string errorLine(const std::string& text) { return "T: ERROR: " + text + "\n"; }

std::string parseOne(const char* keyword, std::initializer_list<std::string> args) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add(keyword, args);
    return t.parse(lines);
}

} // namespace

struct UnitCase {
    const char* unit;
    float factor;
};

class TraOptionsUnits : public ::testing::TestWithParam<UnitCase> {};

TEST_P(TraOptionsUnits, UnitWordsScaleToFeet) {
    const UnitCase& c = GetParam();
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("transmitteroffset", {"10", "20", "30", c.unit}).add("SensorOffset", {"2", "1", "2", "3", c.unit});
    EXPECT_EQ("", t.parse(lines));
    EXPECT_TRUE(t.result && lines.line(0).used && lines.line(1).used);
    EXPECT_FLOAT_EQ(10 * c.factor, t.tracker.transmitterOffset[3]);
    EXPECT_FLOAT_EQ(30 * c.factor, t.tracker.transmitterOffset[11]);
    EXPECT_FLOAT_EQ(2 * c.factor, t.tracker.lookup[1].sensorOffset[7]);
    EXPECT_FLOAT_EQ(3 * c.factor, t.tracker.lookup[1].sensorTransform[14]);
}

INSTANTIATE_TEST_SUITE_P(EveryUnitWord, TraOptionsUnits,
                         ::testing::Values(UnitCase{"feet", 1.0f}, UnitCase{"INCHES", 0.083333336f},
                                           UnitCase{"meters", 3.28084f}, UnitCase{"m", 3.28084f},
                                           UnitCase{"cm", 0.0328084f}),
                         [](const ::testing::TestParamInfo<UnitCase>& info) { return std::string(info.param.unit); });

// The worked example: 30 cm is 0.984252 ft.
TEST(TraOptions, ThirtyCentimetresAreTheWorkedExamplesFeet) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("transmitteroffset", {"10", "20", "30", "cm"});
    ASSERT_EQ("", t.parse(lines));
    EXPECT_NEAR(0.984252f, t.tracker.transmitterOffset[11], 1e-6);
}

TEST(TraOptions, UnknownUnitWordsAreRefused) {
    EXPECT_EQ(errorLine("Invalid string found for TransmitterOffset at line 1."),
              parseOne("transmitteroffset", {"1", "2", "3", "in"}));
    EXPECT_EQ(errorLine("Invalid unit found for SensorOffset at line 1."),
              parseOne("sensoroffset", {"1", "1", "2", "3", "inch"}));
    EXPECT_EQ(errorLine("Invalid unit found for SensorTranslation at line 1."),
              parseOne("sensortranslation", {"1", "1", "2", "3", "centimeters"}));
}

TEST(TraOptions, TransmitterOffsetValues) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("transmitteroffset", {"1", "-1", "0"});
    t.parse(lines);
    EXPECT_TRUE(t.tracker.transmitterOffsetSet);
    EXPECT_EQ(1.0f, t.tracker.transmitterTransform[12]);
    EXPECT_EQ(-1.0f, t.tracker.transmitterTransform[13]);
    EXPECT_EQ(1.0f, t.tracker.transmitterTransform[15]);

    Tracker zero;
    OptionLinesBuilder zeroLines;
    zeroLines.add("transmitteroffset", {"0", "0", "0", "cm"});
    EXPECT_EQ("", zero.parse(zeroLines));
    EXPECT_TRUE(zero.result && zeroLines.line(0).used);
    EXPECT_FALSE(zero.tracker.transmitterOffsetSet);

    // strtod's reading: a sign before a word gives 0, a trailing word is ignored.
    Tracker lenient;
    OptionLinesBuilder lenientLines;
    lenientLines.add("transmitteroffset", {"-abc", "7cm", ""});
    EXPECT_EQ("", lenient.parse(lenientLines));
    EXPECT_EQ(7.0f, lenient.tracker.transmitterOffset[7]);

    for (const char* bad : {"abc", "inf", "nan", "1e39"})
        EXPECT_EQ(errorLine("Invalid arg found for TransmitterOffset at line 1."),
                  parseOne("transmitteroffset", {"1", bad, "3"}))
            << bad;
}

TEST(TraOptions, StationNumbersInEveryBase) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("sensoroffset", {"0x2", "1", "0", "0"})
        .add("sensortranslation", {"010", "0.5", "0", "0"})
        .add("SENSORROTATION", {" 3", "0", "0", "0", "90"});
    EXPECT_EQ("", t.parse(lines));
    EXPECT_TRUE(t.result);
    EXPECT_TRUE(t.tracker.lookup[1].sensorOffsetSet);
    EXPECT_TRUE(t.tracker.lookup[7].sensorTranslationSet);
    EXPECT_EQ(0.5f, t.tracker.lookup[7].sensorTranslation[0]);
    EXPECT_TRUE(t.tracker.lookup[2].sensorRotationSet);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(identityMatrix()[i] * (i == 15 ? 0 : 1), t.tracker.lookup[2].sensorRotation[i]) << i;

    for (const char* bad : {"9", "0", "-1", "abc", "0x10", "4294967297"})
        EXPECT_EQ(errorLine("Invalid tracker ID found for SensorOffset at line 1."),
                  parseOne("sensoroffset", {bad, "1", "2", "3"}))
            << bad;
    EXPECT_EQ(errorLine("Invalid tracker ID found for SensorRotation at line 1."),
              parseOne("sensorrotation", {"abc", "0", "0", "1", "90"}));
    EXPECT_EQ(errorLine("Invalid arg found for SensorRotation at line 1."),
              parseOne("sensorrotation", {"1", "abc", "0", "1", "90"}));
}

TEST(TraOptions, ArgumentCounts) {
    const std::string incomplete = "Incomplete option line found for ";
    const std::string tooMany = "Too many args found for ";
    EXPECT_EQ(errorLine(incomplete + "TransmitterOffset at line 1."), parseOne("transmitteroffset", {"1", "2"}));
    EXPECT_EQ(errorLine(tooMany + "TransmitterOffset at line 1."),
              parseOne("transmitteroffset", {"1", "2", "3", "cm", "x"}));
    EXPECT_EQ(errorLine(incomplete + "TransmitterRotation at line 1."),
              parseOne("transmitterrotation", {"0", "0", "1"}));
    EXPECT_EQ(errorLine(tooMany + "TransmitterRotation at line 1."),
              parseOne("transmitterrotation", {"0", "0", "1", "90", "1"}));
    EXPECT_EQ(errorLine(incomplete + "TransmitterRotationMatrix at line 1."),
              parseOne("transmitterrotationmatrix", {"1", "0", "0", "0", "1", "0", "0", "0"}));
    EXPECT_EQ(errorLine(tooMany + "TransmitterRotationMatrix at line 1."),
              parseOne("transmitterrotationmatrix", {"1", "0", "0", "0", "1", "0", "0", "0", "1", "0"}));
    EXPECT_EQ(errorLine(incomplete + "SensorOffset at line 1."), parseOne("sensoroffset", {}));
    EXPECT_EQ(errorLine(incomplete + "SensorOffset at line 1."), parseOne("sensoroffset", {"1", "2", "3"}));
    EXPECT_EQ(errorLine(tooMany + "SensorTranslation at line 1."),
              parseOne("sensortranslation", {"1", "2", "3", "4", "feet", "x"}));
    EXPECT_EQ(errorLine(incomplete + "SensorRotation at line 1."), parseOne("sensorrotation", {"1", "0", "0", "1"}));
    EXPECT_EQ(errorLine(incomplete + "SensorRotationMatrix at line 1."),
              parseOne("sensorrotationmatrix", {"1", "1", "0", "0", "0", "1", "0", "0", "0"}));
    EXPECT_EQ(errorLine(incomplete + "Calibration at line 1."), parseOne("calib", {}));
    EXPECT_EQ(errorLine(incomplete + "CAVECoord at line 1."), parseOne("cavecoord", {}));
    EXPECT_EQ(errorLine(tooMany + "CAVECoord at line 1."), parseOne("cavecoordinates", {"on", "off"}));
}

TEST(TraOptions, FirstFailingCheckDecides) {
    // The station comes before the count, the count before the values, the
    // values before the unit.
    EXPECT_EQ(errorLine("Invalid tracker ID found for SensorOffset at line 1."), parseOne("sensoroffset", {"9", "1"}));
    EXPECT_EQ(errorLine("Too many args found for TransmitterOffset at line 1."),
              parseOne("transmitteroffset", {"abc", "1", "2", "3", "4"}));
    EXPECT_EQ(errorLine("Invalid arg found for SensorOffset at line 1."),
              parseOne("sensoroffset", {"1", "abc", "2", "3", "in"}));
    EXPECT_EQ(errorLine("Invalid arg found for TransmitterRotation at line 1."),
              parseOne("transmitterrotation", {"0", "0", "1", "abc"}));

    Tracker t;
    OptionLinesBuilder lines;
    lines.add("sensoroffset", {"1", "1", "2", "3", "yards"}, 12);
    EXPECT_EQ(errorLine("Invalid unit found for SensorOffset at line 12."), t.parse(lines));
    EXPECT_FALSE(t.result);
    EXPECT_FALSE(lines.line(0).used);
    EXPECT_FALSE(t.tracker.lookup[0].sensorOffsetSet);
}

TEST(TraOptions, AfterAFailureCorrectionsAreCheckedButNotApplied) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("transmitterrotation", {"0", "0", "1"})                // 1: fails
        .add("sensoroffset", {"1", "0", "0", "1"})                   // 2: passes, not applied
        .add("sensorrotation", {"2", "0", "0", "1", "abc"})          // 3: angle not examined
        .add("transmitteroffset", {"1", "2", "3", "in"})             // 4: unit not examined
        .add("sensortranslation", {"9", "0", "0", "0"})              // 5: still reported
        .add("calib", {"no-such-library", "a"})                      // 6: applied
        .add("cavecoord", {"off"})                                   // 7: applied
        .add("foo", {});                                             // 8: not ours
    EXPECT_EQ(errorLine("Incomplete option line found for TransmitterRotation at line 1.") +
                  errorLine("Invalid tracker ID found for SensorTranslation at line 5.") +
                  errorLine("CDynamicLibH: Can not load the library no-such-library"),
              t.parse(lines));
    EXPECT_FALSE(t.result);
    const bool expectedUsed[] = {false, false, false, false, false, true, true, false};
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(expectedUsed[i], lines.line(i).used) << "line " << i + 1;
    EXPECT_FALSE(t.tracker.lookup[0].sensorOffsetSet || t.tracker.lookup[1].sensorRotationSet);
    EXPECT_FALSE(t.tracker.transmitterOffsetSet || t.tracker.transmitterRotationSet);
    EXPECT_NE(nullptr, t.tracker.calibration);
    EXPECT_EQ(1u, t.tracker.calibrationArgCount);
    EXPECT_FALSE(t.tracker.caveCoordinates);
}

TEST(TraOptions, LastLineOfAKindWinsAndRotationAndOffsetCombine) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("sensoroffset", {"1", "1", "1", "1"})
        .add("sensorrotation", {"1", "0", "0", "1", "90"})
        .add("sensoroffset", {"1", "0", "0", "2"})
        .add("transmitterrotationmatrix", {"0", "1", "0", "-1", "0", "0", "0", "0", "1"})
        .add("transmitteroffset", {"4", "5", "6"})
        .add("transmitterrotation", {"1", "0", "0", "0"})
        .add("cavecoord", {"NO"})
        .add("CaveCoordinates", {"on"});
    EXPECT_EQ("", t.parse(lines));
    EXPECT_TRUE(t.result);
    const TraStation& s1 = t.tracker.lookup[0];
    EXPECT_EQ(2.0f, s1.sensorOffset[11]);
    EXPECT_EQ(0.0f, s1.sensorOffset[3]);
    EXPECT_EQ(2.0f, s1.sensorTransform[14]);
    EXPECT_NEAR(1.0f, s1.sensorTransform[1], 1e-6);  // rotation kept after the later offset
    EXPECT_NEAR(-1.0f, s1.sensorTransform[4], 1e-6);
    const Matrix4& transmitter = t.tracker.transmitterTransform;
    EXPECT_EQ(1.0f, transmitter[0]);  // the axis-angle line replaced the matrix
    EXPECT_EQ(0.0f, transmitter[1]);
    EXPECT_EQ(4.0f, transmitter[12]);
    EXPECT_EQ(6.0f, transmitter[14]);
    EXPECT_TRUE(t.tracker.caveCoordinates);

    EXPECT_EQ(errorLine("Invalid string found for CAVECoord at line 1."), parseOne("cavecoord", {"maybe"}));
}

class TraOrderKeywords : public ::testing::TestWithParam<const char*> {};

TEST_P(TraOrderKeywords, AreRefusedOnAnInputConnector) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add(GetParam(), {"2", "1"}, 7);
    EXPECT_EQ(errorLine("Can not change the order on input connector at line 7."), t.parse(lines));
    EXPECT_FALSE(t.result || lines.line(0).used);
}

INSTANTIATE_TEST_SUITE_P(EveryAlias, TraOrderKeywords, ::testing::Values("trackerorder", "UnitOrder", "order"));

TEST(TraOptions, OrderOptions) {
    Tracker t;
    t.tracker.inputConnector = false;
    t.tracker.outputStationCount = 3;
    OptionLinesBuilder lines;
    lines.add("order", {"5", "2", "5", "1"}).add("cavecoord", {"on"});
    EXPECT_EQ("", t.parse(lines));
    EXPECT_TRUE(t.result && lines.line(0).used);
    EXPECT_FALSE(lines.line(1).used); // CAVE coordinates only exist on input connectors
    EXPECT_EQ(3u, t.tracker.lookup[4].outputId); // named twice: the later position
    EXPECT_EQ(2u, t.tracker.lookup[1].outputId);
    EXPECT_EQ(0u, t.tracker.lookup[0].outputId); // beyond outputStationCount: ignored

    OptionLinesBuilder bad;
    bad.add("order", {"3", "9"});
    EXPECT_EQ(errorLine("Invalid tracker ID found for Order at line 1."), t.parse(bad));
    EXPECT_EQ(3u, t.tracker.lookup[4].outputId);
    EXPECT_EQ(0u, t.tracker.lookup[2].outputId);

    OptionLinesBuilder none;
    none.add("order", {});
    t.parse(none);
    for (uint32_t s = 0; s < 8; ++s) EXPECT_EQ(0u, t.tracker.lookup[s].outputId);
}

TEST(TraOptions, LookupAndConfigurationChecks) {
    CTraCommonH tracker(&testLog);
    OptionLinesBuilder lines;
    {
        ConsoleCapture console;
        EXPECT_FALSE(tracker.parseOptions(lines.get()));
        EXPECT_EQ(errorLine("CTraCommonH: lookup is Null."), console.text());
    }
    EXPECT_FALSE(tracker.createLookup(0));
    EXPECT_FALSE(tracker.setStation(1, 1));
    EXPECT_TRUE(tracker.createLookup(8));
    {
        ConsoleCapture console;
        EXPECT_FALSE(tracker.parseOptions(nullptr));
        EXPECT_EQ(errorLine("CTraCommonH: config is empty."), console.text());
    }
    EXPECT_TRUE(tracker.parseOptions(lines.get()));

    EXPECT_FALSE(tracker.setStation(0, 1));
    EXPECT_FALSE(tracker.setStation(9, 1));
    const Matrix4 offset = offsetMatrix(1, 2, 3);
    const float translation[3] = {4, 5, 6};
    EXPECT_TRUE(tracker.setStation(8, 2, &offset, nullptr, translation));
    EXPECT_TRUE(tracker.lookup[7].sensorOffsetSet && tracker.lookup[7].sensorTranslationSet);
    EXPECT_FALSE(tracker.lookup[7].sensorRotationSet);
    EXPECT_EQ(3.0f, tracker.lookup[7].sensorTransform[14]);
    tracker.outputIdBase = 3;
    EXPECT_EQ(5u, tracker.recordId(8));
    EXPECT_EQ(0u, tracker.recordId(1));
    EXPECT_EQ(0u, tracker.recordId(9));
    EXPECT_EQ(0u, tracker.recordId(-1));
}

TEST(TraOptions, CalibrationLines) {
    Tracker t;
    OptionLinesBuilder lines;
    lines.add("calibration", {CALIB_OFFSET_FILE, "a", "b"}).add("CALIB", {CALIB_NO_EVALUATE_FILE, "c"});
    EXPECT_EQ("", t.parse(lines));
    EXPECT_TRUE(t.result && lines.line(0).used && lines.line(1).used);
    EXPECT_STREQ(CALIB_NO_EVALUATE_FILE, t.tracker.calibrationLibrary);
    ASSERT_EQ(1u, t.tracker.calibrationArgCount);
    EXPECT_STREQ("c", t.tracker.calibrationArgs[0]);
    ASSERT_NE(nullptr, t.tracker.calibration);
    EXPECT_NE(nullptr, t.tracker.calibration->module);

    const char* ten[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    OptionLinesBuilder tooMany;
    tooMany.add("calib", {"x", ten[0], ten[1], ten[2], ten[3], ten[4], ten[5], ten[6], ten[7], ten[8], ten[9], "11"});
    EXPECT_EQ(errorLine("Too many args found for Calibration at line 1."), t.parse(tooMany));
    EXPECT_EQ(1u, t.tracker.calibrationArgCount); // the earlier client stays
    EXPECT_STREQ(CALIB_NO_EVALUATE_FILE, t.tracker.calibrationLibrary);

    OptionLinesBuilder tenArgs;
    tenArgs.add("calib", {CALIB_OFFSET_FILE, ten[0], ten[1], ten[2], ten[3], ten[4], ten[5], ten[6], ten[7], ten[8],
                          ten[9]});
    EXPECT_EQ("", t.parse(tenArgs));
    EXPECT_EQ(10u, t.tracker.calibrationArgCount);
    EXPECT_STREQ("10", t.tracker.calibrationArgs[9]);

    const std::string longest(255, 'n'), tooLong(256, 'n');
    OptionLinesBuilder names;
    names.add("calib", {tooLong.c_str()});
    EXPECT_EQ(errorLine("Invalid string found for Calibration at line 1."), t.parse(names));
    EXPECT_STREQ(CALIB_OFFSET_FILE, t.tracker.calibrationLibrary);
    OptionLinesBuilder longName;
    longName.add("calib", {longest.c_str()});
    EXPECT_NE("", t.parse(longName)); // accepted; the missing file is reported by the loader
    EXPECT_TRUE(t.result);
    EXPECT_EQ(longest, t.tracker.calibrationLibrary);
    EXPECT_EQ(0u, t.tracker.calibrationArgCount);
}
