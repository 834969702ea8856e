#include "ControllerTestKit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const std::string errorPrefix = "T: ERROR: ";

struct ParseResult {
    bool accepted;
    std::string output;
};

ParseResult parse(CConCommonH& controller, ConfigText& lines) {
    CoutCapture console;
    const bool accepted = controller.parseOptions(lines.get());
    return {accepted, console.text()};
}

ParseResult parseLine(CConCommonH& controller, const std::string& text, uint32_t lineNumber = 1) {
    ConfigText lines;
    lines.line(text, lineNumber);
    return parse(controller, lines);
}

std::string problem(const std::string& reason, const std::string& label, int lineNumber,
                    const std::string& end = ".") {
    return errorPrefix + reason + label + std::to_string(lineNumber) + end + "\n";
}

void expectScale(const ConStation& entry, uint32_t valuator, float a, float b, float c, float d) {
    const float(&scale)[4] = entry.valuatorScale[valuator - 1];
    EXPECT_EQ(scale[0], a);
    EXPECT_EQ(scale[1], b);
    EXPECT_EQ(scale[2], c);
    EXPECT_EQ(scale[3], d);
}

} // namespace

TEST(ControllerLookup, CreatesSetsAndFreesStations) {
    const CLogH log = quietLog();
    CConCommonH controller(&log);
    EXPECT_FALSE(controller.setStation(1, 1, 2, 8));
    EXPECT_FALSE(controller.freeLookup());
    EXPECT_FALSE(controller.createLookup(0, true));
    EXPECT_EQ(controller.lookup, nullptr);

    ASSERT_TRUE(controller.createLookup(8, false));
    EXPECT_FALSE(controller.limitToCount);
    EXPECT_FALSE(controller.setStation(0, 1, 2, 8));
    EXPECT_FALSE(controller.setStation(9, 1, 2, 8));
    EXPECT_TRUE(controller.setStation(2, 1, 2, 8));
    EXPECT_TRUE(controller.setStation(5, 2, 2, 8));
    for (uint32_t s : {1u, 3u, 4u, 6u, 7u, 8u}) EXPECT_EQ(controller.lookup[s - 1].outputId, 0u) << s;
    EXPECT_EQ(controller.lookup[1].outputId, 1u);
    EXPECT_EQ(controller.lookup[4].outputId, 2u);
    const ConStation& entry = controller.lookup[1];
    EXPECT_EQ(entry.valuatorOrder[1], 2u);
    EXPECT_EQ(entry.valuatorOrder[2], 0u);
    EXPECT_EQ(entry.buttonOrder[7], 8u);
    EXPECT_EQ(entry.buttonOrder[8], 0u);
    expectScale(entry, 32, 0, 0, 1, 0);

    EXPECT_TRUE(controller.setStation(3, 3, 40, 99));
    EXPECT_EQ(controller.lookup[2].valuatorCount, 32u);
    EXPECT_EQ(controller.lookup[2].buttonCount, 32u);
    EXPECT_EQ(controller.lookup[2].buttonOrder[31], 32u);

    const float pose[6] = {1, 2, 3, 4, 5, 6};
    const uint32_t assign[6] = {1, 2, 0, 0, 0, 0};
    EXPECT_FALSE(controller.setEmulation(9, 0, pose, assign, 1));
    EXPECT_TRUE(controller.setEmulation(2, 0, pose, assign, 1));
    TrackerEmulation* first = controller.lookup[1].emulation;
    EXPECT_TRUE(controller.setEmulation(2, 4, pose, assign, 3));
    EXPECT_EQ(controller.lookup[1].emulation, first);
    EXPECT_EQ(first->tracker, 4u);
    EXPECT_EQ(first->resetButton, 3u);
    EXPECT_EQ(first->initPose[5], 6.0f);

    ASSERT_TRUE(controller.createLookup(2, true));
    EXPECT_EQ(controller.lookupSize, 2u);
    EXPECT_EQ(controller.lookup[1].emulation, nullptr);
    EXPECT_EQ(controller.lookup[1].valuatorCount, 0u);
    EXPECT_TRUE(controller.freeLookup());
    EXPECT_EQ(controller.lookupSize, 0u);
    EXPECT_FALSE(controller.setEmulation(1, 0, pose, assign, 1));
}

TEST(ControllerOptions, NeedsLookupAndConfiguration) {
    const CLogH log = quietLog();
    CConCommonH controller(&log);
    ConfigText lines;
    lines.line("buttonorder 1 1");
    ParseResult result = parse(controller, lines);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.output, "T: ERROR: CConCommonH: lookup Null\n");

    controller.createLookup(8, true);
    {
        CoutCapture console;
        EXPECT_FALSE(controller.parseOptions(nullptr));
        EXPECT_EQ(console.text(), "T: ERROR: CConCommonH: config empty\n");
    }
    ConfigText empty;
    result = parse(controller, empty);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.output, "");
}

TEST(ControllerOptions, ButtonOrderReordersDropsAndMatchesAnyCase) {
    auto controller = deviceController({1, 2});
    ConfigText lines;
    lines.line("ButtonOrder 1 8 7 6 5 4 3 2 1").line("BUTTONORDER 2 3").line("weather 1");
    ParseResult result = parse(*controller, lines);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.output, "");
    EXPECT_TRUE(lines.used(0));
    EXPECT_TRUE(lines.used(1));
    EXPECT_FALSE(lines.used(2));

    const ConStation& reversed = controller->lookup[0];
    EXPECT_EQ(reversed.buttonCount, 8u);
    for (uint32_t r = 1; r <= 8; ++r) EXPECT_EQ(reversed.buttonOrder[r - 1], 9 - r);

    const ConStation& third = controller->lookup[1];
    EXPECT_EQ(third.buttonCount, 3u);
    EXPECT_EQ(third.buttonOrder[0], 0u);
    EXPECT_EQ(third.buttonOrder[1], 0u);
    EXPECT_EQ(third.buttonOrder[2], 1u);
    EXPECT_EQ(third.buttonOrder[7], 0u);

    result = parseLine(*controller, "buttonorder 1");
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(controller->lookup[0].buttonCount, 0u);
    for (uint32_t order : controller->lookup[0].buttonOrder) EXPECT_EQ(order, 0u);
}

TEST(ControllerOptions, OrderChecksRunInOrderWithUnsignedIds) {
    auto controller = deviceController({1, 2});
    EXPECT_EQ(parseLine(*controller, "valuatororder", 4).output, problem("Incomplete option line found for ", "Order at line ", 4));
    for (const char* station : {"0", "9", "-1", "abc"})
        EXPECT_EQ(parseLine(*controller, std::string("buttonorder ") + station, 5).output,
                  problem("Invalid controller ID found for ", "Order option at line ", 5))
            << station;
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 1 1", 6).output,
              problem("Same ID found more than once in ", "Order option at line ", 6));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 3", 7).output,
              problem("Invalid ID found in ", "Order option at line ", 7));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 x", 8).output, problem("Invalid arg found for ", "Order at line ", 8));
    EXPECT_EQ(parseLine(*controller, "valuatororder 1 -1", 9).output,
              problem("Invalid ID found in ", "Order option at line ", 9));
    EXPECT_EQ(parseLine(*controller, "buttonorder 1 2 x 2", 3).output,
              problem("Same ID found more than once in ", "Order option at line ", 3));
    EXPECT_EQ(controller->lookup[0].valuatorCount, 2u);
    EXPECT_EQ(controller->lookup[0].buttonOrder[1], 2u);

    ParseResult result = parseLine(*controller, "valuatororder 1 0 0");
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(controller->lookup[0].valuatorCount, 0u);

    // A later line is bounded by the count an earlier one left.
    ConfigText lines;
    lines.line("valuatororder 2 0x1").line("valuatororder 2 2 1");
    result = parse(*controller, lines);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.output, problem("Invalid ID found in ", "Order option at line ", 2));
    EXPECT_EQ(controller->lookup[1].valuatorCount, 1u);
    EXPECT_TRUE(lines.used(0));
    EXPECT_FALSE(lines.used(1));

    const CLogH log = quietLog();
    CConCommonH unlimited(&log);
    unlimited.createLookup(1, false);
    unlimited.setStation(1, 1, 2, 8);
    EXPECT_TRUE(parseLine(unlimited, "buttonorder 1 32 010").accepted);
    EXPECT_EQ(unlimited.lookup[0].buttonCount, 32u);
    EXPECT_EQ(unlimited.lookup[0].buttonOrder[31], 1u);
    EXPECT_EQ(unlimited.lookup[0].buttonOrder[7], 2u);
    EXPECT_FALSE(parseLine(unlimited, "buttonorder 1 33").accepted);
}

TEST(ControllerOptions, ValuatorScaleReadsGainsAndPolynomials) {
    auto controller = deviceController({1, 2});
    ConfigText lines;
    lines.line("valuatorscale 1 2.5 all").line("ValuatorScale 2 [0.5,0,1,0] 2").line("valuatorscale 2 [2] 1");
    EXPECT_TRUE(parse(*controller, lines).accepted);
    expectScale(controller->lookup[0], 1, 0, 0, 2.5f, 0);
    expectScale(controller->lookup[0], 2, 0, 0, 2.5f, 0);
    expectScale(controller->lookup[0], 32, 0, 0, 2.5f, 0);
    expectScale(controller->lookup[1], 1, 2, 0, 0, 0);
    expectScale(controller->lookup[1], 2, 0.5f, 0, 1, 0);

    EXPECT_TRUE(parseLine(*controller, "valuatorscale 1 0 2").accepted);
    expectScale(controller->lookup[0], 2, 0, 0, 0, 0);
    EXPECT_TRUE(parseLine(*controller, "valuatorscale 1 2 ALL 99").accepted);

    const std::string incomplete = problem("Incomplete option line found for ", "ValuatorScale at line ", 7);
    EXPECT_EQ(parseLine(*controller, "valuatorscale", 7).output, incomplete);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 9 2.5 1", 7).output,
              problem("Invalid controller ID found for ", "ValuatorScale option at line ", 7));
    EXPECT_EQ(parseLine(*controller, "valuatorscale 9", 7).output,
              problem("Invalid controller ID found for ", "ValuatorScale option at line ", 7));
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 2.5", 7).output, incomplete);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 [0,0,0,0] 1", 7).output, incomplete);
    const std::string invalidArg = problem("Invalid arg found for ", "ValuatorScale at line ", 7);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 abc 1", 7).output, invalidArg);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 inf 1", 7).output, invalidArg);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 nan 1", 7).output, invalidArg);
    EXPECT_EQ(parseLine(*controller, "valuatorscale 1 [1,nan,0,0] 1", 7).output, invalidArg);
    const std::string invalidValuator = problem("Invalid valuator ID found for ", "ValuatorScale option at line ", 7);
    for (const char* id : {"0", "3", "-1", "x"})
        EXPECT_EQ(parseLine(*controller, std::string("valuatorscale 1 3 1 ") + id, 7).output, invalidValuator) << id;
    expectScale(controller->lookup[0], 1, 0, 0, 2, 0);
}

TEST(ControllerOptions, EmulateTrackerStoresSettingsOrRejectsLine) {
    auto controller = deviceController({1, 2});
    EXPECT_TRUE(parseLine(*controller, "emulatetracker 1 [1,2,3,4,5,6.5] 1 2 0 0 0 0").accepted);
    const TrackerEmulation* emulation = controller->lookup[0].emulation;
    ASSERT_NE(emulation, nullptr);
    EXPECT_EQ(emulation->tracker, 0u);
    EXPECT_EQ(emulation->initPose[0], 1.0f);
    EXPECT_EQ(emulation->initPose[5], 6.5f);
    EXPECT_EQ(emulation->valuatorAssign[0], 1u);
    EXPECT_EQ(emulation->valuatorAssign[1], 2u);
    EXPECT_EQ(emulation->valuatorAssign[2], 0u);
    EXPECT_EQ(emulation->resetButton, 0u);

    EXPECT_TRUE(parseLine(*controller, "EMULATETRACKER 1 none 0 0 2 0 0 1 8").accepted);
    EXPECT_EQ(controller->lookup[0].emulation, emulation);
    EXPECT_EQ(emulation->initPose[0], 0.0f);
    EXPECT_EQ(emulation->initPose[5], 0.0f);
    EXPECT_EQ(emulation->valuatorAssign[2], 2u);
    EXPECT_EQ(emulation->resetButton, 8u);

    const std::string incomplete = problem("Incomplete option line found for ", "EmulateTracker at line ", 3);
    EXPECT_EQ(parseLine(*controller, "emulatetracker", 3).output, incomplete);
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2", 3).output, incomplete);
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2 [0,0,0,0,0,0] 1 2 0 0 0", 3).output, incomplete);
    EXPECT_EQ(parseLine(*controller, "emulatetracker 0 [0,0,0,0,0,0] 1 2 0 0 0 0", 3).output,
              problem("Invalid controller ID found for ", "EmulateTracker option at line ", 3));
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2 [0,0,0,0,0,0] 1 2 0 0 0 0 1 1", 3).output,
              problem("Too many args found for ", "EmulateTracker at line ", 3));
    EXPECT_EQ(parseLine(*controller, "emulatetracker 2 [0,0,0,0,0,0] 1 3 0 0 0 0", 3).output,
              problem("Invalid valuator ID found for ", "EmulateTracker option at line ", 3));
    const std::string ignored = problem("Invalid button ID found for ", "EmulateTracker option at line ", 3, ". Ignored.");
    for (const char* button : {"0", "9", "-2"}) {
        const ParseResult result = parseLine(*controller, std::string("emulatetracker 2 [0,0,0,0,0,0] 1 2 0 0 0 0 ") + button, 3);
        EXPECT_FALSE(result.accepted);
        EXPECT_EQ(result.output, ignored) << button;
    }
    EXPECT_EQ(controller->lookup[1].emulation, nullptr);
}

TEST(ControllerOptions, ControllerOrderDependsOnInputConnector) {
    auto controller = deviceController({1, 2, 3});
    ConfigText lines;
    lines.line("controllerorder 3 1 2").line("unitorder 2").line("Order 1");
    ParseResult result = parse(*controller, lines);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.output, "");
    for (uint32_t i = 0; i < 3; ++i) EXPECT_FALSE(lines.used(i));
    EXPECT_EQ(controller->lookup[0].outputId, 1u);

    controller->inputConnector = false;
    EXPECT_TRUE(parseLine(*controller, "controllerorder 3 1 2 1").accepted);
    EXPECT_EQ(controller->lookup[2].outputId, 1u);
    EXPECT_EQ(controller->lookup[0].outputId, 2u);
    EXPECT_EQ(controller->lookup[1].outputId, 3u);
    EXPECT_TRUE(parseLine(*controller, "order 2 2").accepted);
    EXPECT_EQ(controller->lookup[1].outputId, 2u);
    EXPECT_EQ(controller->lookup[0].outputId, 0u);
    EXPECT_EQ(controller->lookup[2].outputId, 0u);
    EXPECT_EQ(parseLine(*controller, "unitorder 1 12", 2).output,
              problem("Invalid controller ID found for ", "Order option at line ", 2));
    EXPECT_EQ(controller->lookup[1].outputId, 2u);
    EXPECT_TRUE(parseLine(*controller, "controllerorder").accepted);
    EXPECT_EQ(controller->lookup[1].outputId, 0u);
}

TEST(ControllerOptions, ReportsEveryBadLineAndAppliesTheGoodOnes) {
    auto controller = deviceController({1, 2});
    ConfigText lines;
    lines.line("buttonorder 1 2 1", 10)
        .line("valuatorscale 9 2 1", 11)
        .line("emulatetracker 1", 12)
        .line("valuatorscale 2 -0.5 all", 13);
    const ParseResult result = parse(*controller, lines);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.output, problem("Invalid controller ID found for ", "ValuatorScale option at line ", 11) +
                                 problem("Incomplete option line found for ", "EmulateTracker at line ", 12));
    EXPECT_TRUE(lines.used(0));
    EXPECT_FALSE(lines.used(1));
    EXPECT_FALSE(lines.used(2));
    EXPECT_TRUE(lines.used(3));
    EXPECT_EQ(controller->lookup[0].buttonOrder[0], 2u);
    expectScale(controller->lookup[1], 2, 0, 0, -0.5f, 0);
}
