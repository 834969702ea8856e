#include "ControllerTestKit.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ParseResult {
    bool accepted;
    std::string output;
};

ParseResult parse(CConCommonH& controller, ConfigText& lines) {
    CoutCapture console;
    const bool accepted = controller.parseOptions(lines.get());
    return {accepted, console.text()};
}

std::string parseLine(CConCommonH& controller, const std::string& text, uint32_t lineNumber = 1) {
    ConfigText lines;
    lines.line(text, lineNumber);
    return parse(controller, lines).output;
}

std::string problem(const std::string& reason, const std::string& label, int lineNumber,
                    const std::string& end = ".") {
    return "T: ERROR: " + reason + label + std::to_string(lineNumber) + end + "\n";
}

std::vector<float> scale(const CConCommonH& controller, uint32_t station, uint32_t valuator) {
    const float(&coefficients)[4] = controller.lookup[station - 1].valuatorScale[valuator - 1];
    return std::vector<float>(coefficients, coefficients + 4);
}

} // namespace

TEST(ControllerLookup, CreatesAndSetsStations) {
    const CLogH log = quietLog();
    CConCommonH controller(&log);
    EXPECT_FALSE(controller.setStation(1, 1, 2, 8));
    EXPECT_FALSE(controller.createLookup(0, true));
    ASSERT_TRUE(controller.createLookup(8, true));
    EXPECT_FALSE(controller.setStation(0, 1, 2, 8));
    EXPECT_FALSE(controller.setStation(9, 1, 2, 8));
    EXPECT_TRUE(controller.setStation(2, 1, 2, 8));
    EXPECT_TRUE(controller.setStation(5, 2, 40, 99));
    for (uint32_t s : {1u, 3u, 4u, 6u, 7u, 8u}) EXPECT_EQ(controller.lookup[s - 1].outputId, 0u) << s;
    EXPECT_EQ(controller.lookup[1].outputId, 1u);
    EXPECT_EQ(controller.lookup[1].buttonOrder[7], 8u);
    EXPECT_EQ(controller.lookup[1].buttonOrder[8], 0u);
    EXPECT_EQ(controller.lookup[4].outputId, 2u);
    EXPECT_EQ(controller.lookup[4].buttonCount, 32u);
    EXPECT_EQ(scale(controller, 5, 32), std::vector<float>({0, 0, 1, 0}));
    EXPECT_TRUE(controller.freeLookup());
    EXPECT_FALSE(controller.freeLookup());
}

TEST(ControllerOptions, NeedsLookupAndConfiguration) {
    const CLogH log = quietLog();
    CConCommonH controller(&log);
    ConfigText lines;
    lines.line("buttonorder 1 1");
    EXPECT_EQ(parse(controller, lines).output, "T: ERROR: CConCommonH: lookup Null\n");
    controller.createLookup(8, true);
    CoutCapture console;
    EXPECT_FALSE(controller.parseOptions(nullptr));
    EXPECT_EQ(console.text(), "T: ERROR: CConCommonH: config empty\n");
}

TEST(ControllerOptions, OrdersReorderDropAndShrink) {
    auto controller = deviceController({1, 2});
    ConfigText lines;
    lines.line("ButtonOrder 1 8 7 6 5 4 3 2 1").line("BUTTONORDER 2 3").line("weather 1").line("valuatororder 2 0 0");
    EXPECT_TRUE(parse(*controller, lines).accepted);
    EXPECT_TRUE(lines.used(0) && lines.used(1) && lines.used(3));
    EXPECT_FALSE(lines.used(2));
    const ConStation& first = controller->lookup[0];
    const ConStation& second = controller->lookup[1];
    EXPECT_EQ(first.buttonCount, 8u);
    for (uint32_t r = 1; r <= 8; ++r) EXPECT_EQ(first.buttonOrder[r - 1], 9 - r);
    EXPECT_EQ(second.buttonCount, 3u);
    EXPECT_EQ(std::vector<uint32_t>(second.buttonOrder, second.buttonOrder + 4), std::vector<uint32_t>({0, 0, 1, 0}));
    EXPECT_EQ(second.valuatorCount, 0u);

    EXPECT_EQ(parseLine(*controller, "buttonorder 1"), "");
    EXPECT_EQ(first.buttonCount, 0u);
    EXPECT_EQ(first.buttonOrder[7], 0u);

    // A later line is bounded by the count an earlier one left.
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 0x1"), "");
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 2 1", 4), problem("Invalid ID found in ", "Order option at line ", 4));
    EXPECT_EQ(first.valuatorCount, 1u);

    const CLogH log = quietLog();
    CConCommonH unlimited(&log);
    unlimited.createLookup(1, false);
    unlimited.setStation(1, 1, 2, 8);
    EXPECT_EQ(parseLine(unlimited, "buttonorder 1 32 010"), "");
    EXPECT_EQ(unlimited.lookup[0].buttonCount, 32u);
    EXPECT_EQ(unlimited.lookup[0].buttonOrder[31], 1u);
    EXPECT_EQ(unlimited.lookup[0].buttonOrder[7], 2u);
}

TEST(ControllerOptions, OrderChecksRunInOrderWithUnsignedIds) {
    auto controller = deviceController({1, 2});
    EXPECT_EQ(parseLine(*controller, "valuatororder", 4), problem("Incomplete option line found for ", "Order at line ", 4));
    for (const char* station : {"0", "9", "-1", "abc"})
        EXPECT_EQ(parseLine(*controller, std::string("buttonorder ") + station, 5),
                  problem("Invalid controller ID found for ", "Order option at line ", 5));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 1 1", 6),
              problem("Same ID found more than once in ", "Order option at line ", 6));
    EXPECT_EQ(parseLine(*controller, "buttonorder 1 2 x 2", 6),
              problem("Same ID found more than once in ", "Order option at line ", 6));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 3", 7), problem("Invalid ID found in ", "Order option at line ", 7));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 -1", 7), problem("Invalid ID found in ", "Order option at line ", 7));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 x", 8), problem("Invalid arg found for ", "Order at line ", 8));
    EXPECT_EQ(controller->lookup[0].valuatorCount, 2u);
}

TEST(ControllerOptions, ValuatorScaleReadsGainsAndPolynomials) {
    auto controller = deviceController({1, 2});
    ConfigText lines;
    lines.line("valuatorscale 1 2.5 all").line("ValuatorScale 2 [0.5,0,1,0] 2").line("valuatorscale 2 [2] 1 all 99");
    EXPECT_TRUE(parse(*controller, lines).accepted);
    EXPECT_EQ(scale(*controller, 1, 2), std::vector<float>({0, 0, 2.5f, 0}));
    EXPECT_EQ(scale(*controller, 1, 32), std::vector<float>({0, 0, 2.5f, 0}));
    EXPECT_EQ(scale(*controller, 2, 1), std::vector<float>({2, 0, 0, 0}));
    EXPECT_EQ(scale(*controller, 2, 2), std::vector<float>({2, 0, 0, 0}));

    const std::string incomplete = problem("Incomplete option line found for ", "ValuatorScale at line ", 7);
    const std::string invalidArg = problem("Invalid arg found for ", "ValuatorScale at line ", 7);
    const std::string invalidValuator = problem("Invalid valuator ID found for ", "ValuatorScale option at line ", 7);
    EXPECT_EQ(parseLine(*controller, "valuatorscale", 7), incomplete);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 9", 7),
              problem("Invalid controller ID found for ", "ValuatorScale option at line ", 7));
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 2.5", 7), incomplete);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 [0,0,0,0] 1", 7), incomplete);
    for (const char* gain : {"abc", "inf", "nan", "[1,nan,0,0]"})
        EXPECT_EQ(parseLine(*controller, std::string("valuatorscale 1 ") + gain + " 1", 7), invalidArg) << gain;
    for (const char* id : {"0", "3", "-1", "x"})
        EXPECT_EQ(parseLine(*controller, std::string("valuatorscale 1 3 1 ") + id, 7), invalidValuator) << id;
    EXPECT_EQ(scale(*controller, 1, 1), std::vector<float>({0, 0, 2.5f, 0}));
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 0 2"), "");
    EXPECT_EQ(scale(*controller, 1, 2), std::vector<float>({0, 0, 0, 0}));
}

TEST(ControllerOptions, EmulateTrackerStoresSettingsOrRejectsLine) {
    auto controller = deviceController({1, 2});
    EXPECT_EQ(parseLine(*controller, "emulatetracker 1 [1,2,3,4,5,6.5] 1 2 0 0 0 0"), "");
    const TrackerEmulation* emulation = controller->lookup[0].emulation;
    ASSERT_NE(emulation, nullptr);
    EXPECT_EQ(emulation->initPose[5], 6.5f);
    EXPECT_EQ(std::vector<uint32_t>(emulation->valuatorAssign, emulation->valuatorAssign + 6),
              std::vector<uint32_t>({1, 2, 0, 0, 0, 0}));
    EXPECT_EQ(emulation->resetButton, 0u);
    EXPECT_EQ(parseLine(*controller, "EMULATETRACKER 1 none 0 0 2 0 0 1 8"), "");
    EXPECT_EQ(controller->lookup[0].emulation, emulation);
    EXPECT_EQ(emulation->initPose[5], 0.0f);
    EXPECT_EQ(emulation->resetButton, 8u);

    const std::string incomplete = problem("Incomplete option line found for ", "EmulateTracker at line ", 3);
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2", 3), incomplete);
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2 [0] 1 2 0 0 0", 3), incomplete);
    EXPECT_EQ(parseLine(*controller, "emulatetracker 0 [0] 1 2 0 0 0 0", 3),
              problem("Invalid controller ID found for ", "EmulateTracker option at line ", 3));
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2 [0] 1 2 0 0 0 0 1 1", 3),
              problem("Too many args found for ", "EmulateTracker at line ", 3));
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2 [0] 1 3 0 0 0 0", 3),
              problem("Invalid valuator ID found for ", "EmulateTracker option at line ", 3));
    for (const char* button : {"0", "9", "-2"})
        EXPECT_EQ(parseLine(*controller, std::string("emulatetracker 2 [0] 1 2 0 0 0 0 ") + button, 3),
                  problem("Invalid button ID found for ", "EmulateTracker option at line ", 3, ". Ignored."));
    EXPECT_EQ(controller->lookup[1].emulation, nullptr);
}

TEST(ControllerOptions, ControllerOrderDependsOnInputConnector) {
    auto controller = deviceController({1, 2, 3});
    ConfigText lines;
    lines.line("controllerorder 3 1 2").line("unitorder 2").line("Order 1");
    const ParseResult result = parse(*controller, lines);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.output, "");
    EXPECT_FALSE(lines.used(0) || lines.used(1) || lines.used(2));
    EXPECT_EQ(controller->lookup[0].outputId, 1u);

    controller->inputConnector = false;
    EXPECT_EQ(parseLine(*controller, "controllerorder 3 1 2 1"), "");
    EXPECT_EQ(controller->lookup[2].outputId, 1u);
    EXPECT_EQ(controller->lookup[0].outputId, 2u);
    EXPECT_EQ(controller->lookup[1].outputId, 3u);
    EXPECT_EQ(parseLine(*controller, "unitorder 1 12", 2),
              problem("Invalid controller ID found for ", "Order option at line ", 2));
    EXPECT_EQ(controller->lookup[2].outputId, 1u);
    EXPECT_EQ(parseLine(*controller, "order 2 2"), "");
    EXPECT_EQ(controller->lookup[1].outputId, 2u);
    EXPECT_EQ(controller->lookup[0].outputId + controller->lookup[2].outputId, 0u);
}

TEST(ControllerOptions, ReportsEveryBadLineAndAppliesTheGoodOnes) {
    auto controller = deviceController({1, 2});
    ConfigText lines;
    lines.line("buttonorder 1 2 1", 10).line("valuatorscale 9 2 1", 11).line("emulatetracker 1", 12).line("valuatorscale 2 -0.5 all", 13);
    const ParseResult result = parse(*controller, lines);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.output, problem("Invalid controller ID found for ", "ValuatorScale option at line ", 11) +
                                 problem("Incomplete option line found for ", "EmulateTracker at line ", 12));
    EXPECT_TRUE(lines.used(0) && lines.used(3));
    EXPECT_FALSE(lines.used(1) || lines.used(2));
    EXPECT_EQ(controller->lookup[0].buttonOrder[0], 2u);
    EXPECT_EQ(scale(*controller, 2, 2), std::vector<float>({0, 0, -0.5f, 0}));
}
