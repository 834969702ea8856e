// Run by wine-sim-test.sh with COM1 mapped to a native simulator; each
// suite expects the simulator options its CTest entry gives.
#include "TestLine.h"

#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace {

std::vector<unsigned long> sleepRequests;

void recordSleep(unsigned long milliseconds) { sleepRequests.push_back(milliseconds); }

class WineLine : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.openPort(silentPortName().c_str()));
        PortAttribute attribute = trackerAttribute(115200);
        ASSERT_TRUE(port.setAttribute(&attribute));
        steps.sleep = recordSleep;
        sleepRequests.clear();
    }

    CLogH log;
    CRS232H port{&log};
    IS900CommandSteps steps{&port, &log};
};

} // namespace

// Simulator: default options, --reset-silence 0; the harness compares its
// command log with wine-steps.expected.
TEST_F(WineLine, SendsEverySetUpCommand) {
    EXPECT_TRUE(steps.resetTracker());
    EXPECT_TRUE(steps.setAlignment());
    EXPECT_TRUE(steps.resetAlignment());
    EXPECT_TRUE(steps.setDataFormat(1, true, false));
    EXPECT_TRUE(steps.setDataFormat(2, false, true));
    EXPECT_TRUE(steps.setDataFormat(3, true, true));
    EXPECT_TRUE(steps.setBinaryMode());
    EXPECT_TRUE(steps.startContinuous());
    EXPECT_TRUE(steps.stopContinuous());
    EXPECT_EQ((std::vector<unsigned long>{20000, 1000, 1000}), sleepRequests);
}

// Simulator: --station 1:tracker --station 2:wand --station 3:both.
TEST_F(WineLine, ReadsRecordsOfEveryLayout) {
    ASSERT_TRUE(steps.setDataFormat(1, true, false) && steps.setDataFormat(2, false, true) &&
                steps.setDataFormat(3, true, true) && steps.setBinaryMode() && steps.startContinuous());
    std::vector<Bytes> records = readRecords(port, 30);
    EXPECT_TRUE(steps.stopContinuous());
    ASSERT_EQ(30u, records.size());
    const std::size_t lengths[] = {29, 8, 32};
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lengths[i % 3], records[i].size());
        EXPECT_EQ('1' + static_cast<int>(i % 3), records[i][1]);
        if (records[i].size() == 8) continue;
        for (std::size_t offset = 3; offset < 27; offset += 4) EXPECT_TRUE(std::isfinite(floatAt(records[i], offset)));
    }
}

// Simulator: --stream --hangup-after 2. Once the line has hung up, a read
// either fails (-1) or waits out its full time-out: the reader is never put
// into a busy loop. (Wine reports a hung-up pseudo-terminal as time-outs.)
TEST_F(WineLine, HangUpNeverMakesReadsSpin) {
    auto begin = std::chrono::steady_clock::now();
    uint8_t byte;
    int32_t result;
    do {
        result = port.readData(&byte, 1);
    } while (result == 1 && std::chrono::steady_clock::now() - begin < std::chrono::seconds(8));
    EXPECT_NE(1, result);
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto readStart = std::chrono::steady_clock::now();
        result = port.readData(&byte, 1);
        auto waited = std::chrono::steady_clock::now() - readStart;
        EXPECT_TRUE(result == -1 || (result == 0 && waited >= std::chrono::milliseconds(900))) << result;
    }
    EXPECT_EQ(0u, port.writeData("c", 1));
}
