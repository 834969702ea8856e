#include "ControllerTestKit.h"

#include <gtest/gtest.h>

#include <iomanip>

namespace {

const std::string info = "T: INFO: ";
const std::string content = info + "                      :";
const std::string controllerHeading = info + "CONTROLLER ORDER      : <Real con> -> <Output con>\n";
const std::string valuatorHeading = info + "VALUATOR ORDER(SCALE) : <Real val> -> <Output val>\n";
const std::string buttonHeading = info + "BUTTON ORDER          : <Real but> -> <Output but>\n";
const std::string naturalButtons = " 1->1 2->2 3->3 4->4 5->5 6->6 7->7 8->8\n";

std::string report(const CConCommonH& controller) {
    CoutCapture console;
    EXPECT_TRUE(controller.printReport());
    return console.text();
}

} // namespace

TEST(ControllerReport, ListsDefaultStationsWithTags) {
    auto controller = deviceController({1, 2});
    const std::string stationBlock = valuatorHeading + content + " %: 1->1(1X) 2->2(1X)\n" + buttonHeading +
                                     content + " %:" + naturalButtons;
    std::string first = stationBlock, second = stationBlock;
    first.replace(first.find('%'), 1, "1");
    first.replace(first.find('%'), 1, "1");
    second.replace(second.find('%'), 1, "2");
    second.replace(second.find('%'), 1, "2");
    EXPECT_EQ(report(*controller), controllerHeading + content + " 1->1 2->2\n" + first + second);

    controller->outputIdBase = 3;
    applyOptions(*controller, {"buttonorder 1", "valuatororder 2 0 0"});
    EXPECT_EQ(report(*controller), controllerHeading + content + " 1->4 2->5\n" + valuatorHeading + content +
                                       " 1: 1->1(1X) 2->2(1X)\n" + buttonHeading + content + " 2:" + naturalButtons);

    auto silent = deviceController({});
    EXPECT_EQ(report(*silent), controllerHeading + content + "\n");
}

TEST(ControllerReport, WritesPolynomialsTermByTerm) {
    auto controller = deviceController({4});
    applyOptions(*controller, {"buttonorder 4", "valuatorscale 4 [0.5,0,-1,0] 1", "valuatorscale 4 [0,2,0,1] 2"});
    EXPECT_EQ(report(*controller), controllerHeading + content + " 4->1\n" + valuatorHeading + content +
                                       " 4: 1->1(0.5X^3-1X) 2->2(2X^2+1)\n");

    applyOptions(*controller, {"valuatorscale 4 [1,-1,2,0] 1", "valuatorscale 4 0 2", "valuatororder 4 2 1"});
    EXPECT_EQ(report(*controller), controllerHeading + content + " 4->1\n" + valuatorHeading + content +
                                       " 4: 1->2(1X^3-1X^2+2X) 2->1()\n");

    applyOptions(*controller, {"valuatorscale 4 [0,0,-0.25,-3] all"});
    const std::ios_base::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    std::cout << std::fixed << std::setprecision(3);
    const std::string fixed = report(*controller);
    std::cout.flags(flags);
    std::cout.precision(precision);
    EXPECT_EQ(fixed, controllerHeading + content + " 4->1\n" + valuatorHeading + content +
                         " 4: 1->2(-0.250X-3.000) 2->1(-0.250X-3.000)\n");
}

TEST(ControllerReport, ShowsTrackerEmulation) {
    auto controller = deviceController({1, 2});
    applyOptions(*controller, {"emulatetracker 2 [1,2,3,4.5,5,6] 1 0 0 2 0 0 8", "buttonorder 2", "valuatororder 2"});
    EXPECT_EQ(report(*controller), controllerHeading + content + " 1->1 2->2\n" + valuatorHeading + content +
                                       " 1: 1->1(1X) 2->2(1X)\n" + buttonHeading + content + " 1:" + naturalButtons +
                                       info + "TRACKER EMULATION     : 2->tracker[0]\n" + content +
                                       " 2: Init Values: X=1 Y=2 Z=3\n" + content +
                                       " 2: Init Values: Azim=4.5 Elev=5 Roll=6\n" + content +
                                       " 2: Val Assign : 1->X 2->Azim\n" + content + " 2: Reset But  : 8\n");

    const CLogH log = quietLog();
    CConCommonH single(&log);
    single.createLookup(1, true);
    single.setStation(1, 1, 2, 8);
    applyOptions(single, {"buttonorder 1 2 1", "emulatetracker 1 [0,-1.5] 0 0 0 0 0 0"});
    EXPECT_EQ(report(single), controllerHeading + content + " 1->1\n" + valuatorHeading + content +
                                  " 1->1(1X) 2->2(1X)\n" + buttonHeading + content + " 1->2 2->1\n" + info +
                                  "TRACKER EMULATION     : As tracker[0]\n" + content + " Init Values: X=0 Y=-1.5 Z=0\n" +
                                  content + " Init Values: Azim=0 Elev=0 Roll=0\n" + content + " Val Assign :\n");
}
