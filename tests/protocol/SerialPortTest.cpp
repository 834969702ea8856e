#include "TestLine.h"

#include "common/CoutCapture.h"
#include "protocol/CRS232H.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>


namespace {

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(SerialPort, CloseRestoresTheSettingsFoundAtOpen) {
    const std::string name = silentPortName();
    ASSERT_TRUE(setLineSpeed(name, 9600)) << name;
    {
        CRS232H port;
        ASSERT_TRUE(port.openPort(name.c_str()));
        EXPECT_EQ(9600u, port.saved().dcb.BaudRate);
        PortAttribute attribute = trackerAttribute(9600);
        ASSERT_TRUE(port.presetAttribute(&attribute));
        ASSERT_TRUE(port.setBaudRate(38400));
        ASSERT_TRUE(port.setAttribute());
        PortAttribute applied;
        ASSERT_TRUE(port.getAttribute(&applied));
        EXPECT_EQ(38400u, applied.dcb.BaudRate);
        EXPECT_EQ(8, applied.dcb.ByteSize);
        EXPECT_EQ(0, applied.dcb.Parity);
        EXPECT_EQ(0, applied.dcb.StopBits);
        EXPECT_EQ(1000u, applied.timeouts.ReadTotalTimeoutConstant);
        EXPECT_TRUE(port.closePort());
        EXPECT_FALSE(port.isOpen());

        CoutCapture output;
        EXPECT_FALSE(port.closePort());
        EXPECT_EQ("", output.text());
    }
    EXPECT_EQ(9600u, lineSpeed(name));
    ASSERT_TRUE(setLineSpeed(name, 38400));
}

TEST(SerialPort, OpenIsExclusive) {
    if (!exclusiveOpenEnforced()) GTEST_SKIP() << "this system's serial driver does not refuse a second open";
    const std::string name = silentPortName();
    CRS232H first;
    ASSERT_TRUE(first.openPort(name.c_str()));
    {
        CRS232H second;
        CoutCapture output;
        EXPECT_FALSE(second.openPort(name.c_str()));
        EXPECT_FALSE(second.isOpen());
        EXPECT_TRUE(contains(output.text(), "CRS232H: Opening port " + name + ": "));
    }
    EXPECT_TRUE(first.closePort());
    CRS232H third;
    EXPECT_TRUE(third.openPort(name.c_str()));
}

TEST(SerialPort, ReadOnASilentLineTimesOutAfterOneSecond) {
    const std::string name = silentPortName();
    CRS232H port;
    ASSERT_TRUE(port.openPort(name.c_str()));
    PortAttribute attribute = trackerAttribute(38400);
    ASSERT_TRUE(port.setAttribute(&attribute));
    EXPECT_EQ(0, std::memcmp(&attribute, &port.current(), sizeof attribute));

    char byte = 0;
    CoutCapture output;
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(0, port.readData(&byte, 1));
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    EXPECT_GE(waited.count(), 900);
    EXPECT_LE(waited.count(), 1500);
    EXPECT_EQ("", output.text());
}

TEST(SerialPort, NameLengthLimit) {
    CRS232H port;
    {
        CoutCapture output;
        EXPECT_FALSE(port.openPort(std::string(256, 'x').c_str()));
        EXPECT_TRUE(contains(output.text(), "CRS232H: Port name is too long. 255256\n"));
        EXPECT_STREQ("", port.portName());
    }
    {
        CoutCapture output;
        EXPECT_FALSE(port.openPort(std::string(300, 'x').c_str()));
        EXPECT_TRUE(endsWith(output.text(), "255300\n"));
    }
    const std::string longest = missingPortName() + std::string(255 - missingPortName().size(), 'y');
    CoutCapture output;
    EXPECT_FALSE(port.openPort(longest.c_str()));
    EXPECT_EQ(longest, port.portName());
    EXPECT_TRUE(contains(output.text(), "CRS232H: Opening port " + longest + ": "));
    EXPECT_FALSE(contains(output.text(), "too long"));
}

TEST(SerialPort, BaudRateTable) {
    CRS232H port;
    for (int32_t rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        EXPECT_TRUE(port.setBaudRate(rate)) << rate;
        EXPECT_EQ(static_cast<uint32_t>(rate), port.current().dcb.BaudRate);
    }
    for (int32_t rate : {14400, 0, -9600, 110, 300, 230400, 115201}) {
        CoutCapture output;
        EXPECT_FALSE(port.setBaudRate(rate)) << rate;
        EXPECT_TRUE(contains(output.text(), "CRS232H: Could not set the baud rate " + std::to_string(rate) + "\n"));
        EXPECT_EQ(115200u, port.current().dcb.BaudRate);
    }
}

TEST(SerialPort, FailedOpenLeavesNothingToClose) {
    const std::string name = missingPortName();
    CoutCapture output;
    std::string afterOpen;
    {
        CRS232H port;
        EXPECT_FALSE(port.openPort(name.c_str()));
        EXPECT_FALSE(port.isOpen());
        afterOpen = output.text();
        EXPECT_TRUE(contains(afterOpen, "CRS232H: Opening port " + name + ": "));
        EXPECT_FALSE(port.closePort());
    }
    EXPECT_EQ(afterOpen, output.text());
}

TEST(SerialPort, RejectedSettingsLeaveTheCurrentRecord) {
    CRS232H port;
    ASSERT_TRUE(port.openPort(silentPortName().c_str()));
    PortAttribute good = trackerAttribute(38400);
    ASSERT_TRUE(port.setAttribute(&good));
    PortAttribute bad = trackerAttribute(38400);
    bad.dcb.ByteSize = 0;
    CoutCapture output;
    EXPECT_FALSE(port.setAttribute(&bad));
    EXPECT_TRUE(contains(output.text(), "CRS232H: Setting attribute(DCB) to " + silentPortName() + ": "));
    EXPECT_EQ(8, port.current().dcb.ByteSize);
    EXPECT_FALSE(port.getAttribute(nullptr));
    EXPECT_FALSE(port.presetAttribute(nullptr));
}
