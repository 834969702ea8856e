// The reconnect option's lines, and reception as before when it is off.
#include "DeviceRig.h"

#include "common/CoutCapture.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <string>

TEST(DeviceReconnectOption, BadLinesAreReportedAndOffKeepsTodaysEndOfReception) {
    CLogH hostLog = plainHostLog();
    {
        DeviceRig rig({{1, is900sim::StationKind::tracker}}, 38400, 120.0, &hostLog);
        rig.lines.add("reconnect", {"maybe"}, 3).add("reconnect", {"on", "0"}, 4).add("reconnect", {}, 5)
            .add("Reconnect", {"yes", "3", "4"}, 6);
        CoutCapture capture;
        EXPECT_EQ(rig.init(), -1);
        EXPECT_EQ(capture.text(), "HOST: ERROR: CISX00: Invalid string found for Reconnect at line 3.\n"
                                  "HOST: ERROR: CISX00: Invalid arg found for Reconnect at line 4.\n"
                                  "HOST: ERROR: CISX00: Incomplete option line found for Reconnect at line 5.\n"
                                  "HOST: ERROR: CISX00: Too many args found for Reconnect at line 6.\n");
    }
    // Off, or absent: the same report, and a hang-up ends reception with -1 as before.
    std::string outputs[2];
    for (int withLine = 0; withLine < 2; ++withLine) {
        DeviceRig rig({{1, is900sim::StationKind::tracker}}, 115200, 120.0, &hostLog);
        rig.lines.add("sensors", {"1"}).add("cavecoord", {"off"});
        if (withLine) rig.lines.add("reconnect", {"OFF", "7"});
        CoutCapture capture;
        ASSERT_EQ(rig.init(), 1);
        ASSERT_EQ(rig.device()->configure(), 2);
        ASSERT_TRUE(rig.receiveUntil({1}, {}, 3000));
        rig.simulator().hangUp();
        int result = 1;
        for (int calls = 0; result == 1 && calls < 100; ++calls) result = rig.receive();
        EXPECT_EQ(result, -1);
        rig.device()->stop();
        outputs[withLine] = capture.text();
        const std::string slave = rig.simulator().slavePath();
        for (std::size_t at = outputs[withLine].find(slave); at != std::string::npos;
             at = outputs[withLine].find(slave))
            outputs[withLine].replace(at, slave.size(), "PORT");
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_EQ(outputs[0].find("RECONNECT"), std::string::npos);
    EXPECT_NE(outputs[0].find("HOST: ERROR: CISX00: Reading error occured.\n"), std::string::npos);
}
