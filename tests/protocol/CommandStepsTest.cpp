#include "TestLine.h"

#include "common/CoutCapture.h"
#include "platform/platform.h"
#include "protocol/CRS232H.h"
#include "protocol/CommandSteps.h"
#include "support/CLogH.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned long> sleepRequests;

void recordSleep(unsigned long milliseconds) { sleepRequests.push_back(milliseconds); }

std::string alignmentText(const char* numbers) {
    std::string text;
    for (char station = '1'; station <= '8'; ++station) text += std::string("A") + station + numbers + "\r";
    return text;
}

const std::string stationResets = "R1\rR2\rR3\rR4\rR5\rR6\rR7\rR8\r";
const std::string caveAlignment = alignmentText(",0,0,0,0,0,-200,200,0,0");
const std::string defaultAlignment = alignmentText(",0,0,0,200,0,0,0,200,0");

class CommandStepsTest : public testing::Test {
protected:
    void SetUp() override {
        is900sim::SimulatorOptions options;
        options.resetSilenceMs = 10;
        simulator.reset(new is900sim::Simulator(options));
        ASSERT_TRUE(simulator->start()) << simulator->errorText();
        port.reset(new CRS232H(&log));
        ASSERT_TRUE(port->openPort(simulator->slavePath().c_str()));
        PortAttribute attribute = trackerAttribute(38400);
        ASSERT_TRUE(port->setAttribute(&attribute));
        steps.reset(new IS900CommandSteps(port.get(), &log));
        steps->sleep = recordSleep;
        sleepRequests.clear();
    }

    std::string received(std::size_t commandCount) {
        EXPECT_TRUE(simulator->waitForCommands(commandCount, 2000));
        std::vector<uint8_t> bytes = simulator->receivedBytes();
        return std::string(bytes.begin(), bytes.end());
    }

    CLogH log;
    std::unique_ptr<is900sim::Simulator> simulator;
    std::unique_ptr<CRS232H> port;
    std::unique_ptr<IS900CommandSteps> steps;
};

} // namespace

TEST_F(CommandStepsTest, EachStepWritesItsBytesAndWaits) {
    EXPECT_TRUE(steps->resetTracker());
    EXPECT_EQ(std::vector<unsigned long>{20000}, sleepRequests);
    EXPECT_EQ("\x19", received(1));
    platform::sleepMilliseconds(30);

    EXPECT_TRUE(steps->setAlignment());
    EXPECT_TRUE(steps->resetAlignment());
    EXPECT_TRUE(steps->setBinaryMode());
    EXPECT_TRUE(steps->startContinuous());
    EXPECT_TRUE(steps->stopContinuous());
    EXPECT_EQ((std::vector<unsigned long>{20000, 1000, 1000}), sleepRequests);
    EXPECT_EQ("\x19" + stationResets + caveAlignment + stationResets + defaultAlignment + "fCc", received(36));
    EXPECT_EQ(24u, stationResets.size());
    EXPECT_EQ(208u, caveAlignment.size());
    EXPECT_EQ(200u, defaultAlignment.size());

    std::vector<std::string> commands = simulator->commandLog();
    ASSERT_EQ(36u, commands.size());
    EXPECT_EQ("^Y", commands[0]);
    EXPECT_EQ("R1", commands[1]);
    EXPECT_EQ("A1,0,0,0,0,0,-200,200,0,0", commands[9]);
    EXPECT_EQ("A8,0,0,0,200,0,0,0,200,0", commands[32]);
    EXPECT_EQ("f", commands[33]);
    EXPECT_EQ("C", commands[34]);
    EXPECT_EQ("c", commands[35]);
    EXPECT_TRUE(simulator->binaryMode());
    EXPECT_FALSE(simulator->continuousMode());
}

TEST_F(CommandStepsTest, DataFormatForEveryStation) {
    std::string expected;
    for (uint32_t station = 0; station <= 9; ++station) {
        const char digit = station >= 2 && station <= 8 ? static_cast<char>('0' + station) : '1';
        EXPECT_TRUE(steps->setDataFormat(station, true, false));
        EXPECT_TRUE(steps->setDataFormat(station, false, true));
        EXPECT_TRUE(steps->setDataFormat(station, true, true));
        EXPECT_TRUE(steps->setDataFormat(station, false, false));
        expected += std::string("O") + digit + ",2,4,1\r" + "O" + digit + ",22,23,1\r" + "O" + digit +
                    ",2,4,22,23,1\r" + "O" + digit + ",2,4,1\r";
    }
    EXPECT_EQ(expected, received(40));
    EXPECT_TRUE(sleepRequests.empty());
    EXPECT_EQ((std::vector<int>{2, 4, 1}), simulator->outputList(1));

    std::vector<uint8_t> bytes = simulator->receivedBytes();
    const std::vector<uint8_t> station5(bytes.begin() + 5 * 44, bytes.begin() + 5 * 44 + 9);
    EXPECT_EQ((std::vector<uint8_t>{0x4F, 0x35, 0x2C, 0x32, 0x2C, 0x34, 0x2C, 0x31, 0x0D}), station5);
}

TEST_F(CommandStepsTest, DataFormatDebugLines) {
    {
        CoutCapture output;
        EXPECT_TRUE(steps->setDataFormat(4, false, false));
        EXPECT_EQ("", output.text());
    }
    log.showDate = log.showTime = log.showThreadId = false;
    log.debugLevel = 1;
    CoutCapture output;
    EXPECT_TRUE(steps->setDataFormat(4, false, false));
    EXPECT_TRUE(steps->setDataFormat(3, false, true));
    EXPECT_TRUE(steps->setDataFormat(8, true, true));
    EXPECT_EQ("MESSAGE: DEBUG: CISX00: Setting data format for station 4 (Tracker).\n"
              "MESSAGE: DEBUG: CISX00: Setting data format done.\n"
              "MESSAGE: DEBUG: CISX00: Setting data format for station 3 (Controller).\n"
              "MESSAGE: DEBUG: CISX00: Setting data format done.\n"
              "MESSAGE: DEBUG: CISX00: Setting data format for station 8 (Tracker and Controller).\n"
              "MESSAGE: DEBUG: CISX00: Setting data format done.\n",
              output.text());
}

TEST_F(CommandStepsTest, StepsFailWhenTheLineIsGone) {
    simulator->hangUp();
    log.showDate = log.showTime = log.showThreadId = false;
    log.debugLevel = 1;
    const std::string path = simulator->slavePath();
    auto failureOf = [&](bool (IS900CommandSteps::*step)()) {
        CoutCapture output;
        EXPECT_FALSE((steps.get()->*step)());
        return output.text();
    };
    std::string text = failureOf(&IS900CommandSteps::resetTracker);
    EXPECT_TRUE(contains(text, "ERROR: CRS232H: Writing to " + path + ": "));
    EXPECT_TRUE(contains(text, "MESSAGE: ERROR: CISX00: Resetting failed.\n"));
    EXPECT_FALSE(contains(text, "Reset done"));

    text = failureOf(&IS900CommandSteps::setAlignment);
    EXPECT_TRUE(contains(text, "MESSAGE: DEBUG: CISX00: Setting alignment.\n"));
    EXPECT_FALSE(contains(text, "Could not"));
    EXPECT_FALSE(contains(text, "alignment failed"));

    text = failureOf(&IS900CommandSteps::setBinaryMode);
    EXPECT_TRUE(contains(text, "MESSAGE: ERROR: CISX00: Could not set BINARY mode.\n"
                               "MESSAGE: DEBUG: CISX00: Setting BINARY mode failed.\n"));
    text = failureOf(&IS900CommandSteps::startContinuous);
    EXPECT_TRUE(contains(text, "CISX00: Could not start continuous mode.\nMESSAGE: DEBUG: CISX00: Starting continuous mode failed.\n"));
    text = failureOf(&IS900CommandSteps::stopContinuous);
    EXPECT_TRUE(contains(text, "CISX00: Could not stop continuous mode.\nMESSAGE: DEBUG: CISX00: Stopping continuous mode failed.\n"));
    text = failureOf(&IS900CommandSteps::resetAlignment);
    EXPECT_FALSE(contains(text, "Could not"));

    CoutCapture output;
    EXPECT_FALSE(steps->setDataFormat(2, true, true));
    EXPECT_TRUE(contains(output.text(), "CISX00: Could not set data format.\nMESSAGE: DEBUG: CISX00: Setting data format failed.\n"));
    EXPECT_TRUE(sleepRequests.empty());
}
