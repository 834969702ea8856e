// The driver's low-latency mode: asked for when the port opens, the driver's
// own setting put back when it closes; a line without the mode works as before.
#include "TestLine.h"

#include "common/CoutCapture.h"
#include "platform/posix/serialdriver.h"
#include "protocol/CRS232H.h"
#include "support/CLogH.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A serial driver that has the mode, in place of the ioctls.
struct DriverWithLowLatency {
    static serial_struct settings;
    static int writes;
    static int get(int, serial_struct& copy) {
        copy = settings;
        return 0;
    }
    static int set(int, const serial_struct& wanted) {
        settings = wanted;
        ++writes;
        return 0;
    }
};
serial_struct DriverWithLowLatency::settings;
int DriverWithLowLatency::writes;

class DriverStandIn {
public:
    explicit DriverStandIn(int flags) : real(platform::serialDriver()) {
        DriverWithLowLatency::settings = serial_struct{};
        DriverWithLowLatency::settings.flags = flags;
        DriverWithLowLatency::writes = 0;
        platform::serialDriver() = {DriverWithLowLatency::get, DriverWithLowLatency::set};
    }
    ~DriverStandIn() { platform::serialDriver() = real; }

private:
    platform::SerialDriverAccess real;
};

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

} // namespace

TEST(LowLatency, SetAtOpenAndTheDriversSettingPutBackAtClose) {
    const std::string name = silentPortName();
    CRS232H port;
    {
        DriverStandIn driver(ASYNC_SPD_HI);
        ASSERT_TRUE(port.openPort(name.c_str()));
        EXPECT_EQ(ASYNC_SPD_HI | ASYNC_LOW_LATENCY, DriverWithLowLatency::settings.flags);
        EXPECT_TRUE(port.closePort());
        EXPECT_EQ(ASYNC_SPD_HI, DriverWithLowLatency::settings.flags) << "the other flags are kept";
    }
    {
        DriverStandIn driver(ASYNC_LOW_LATENCY);
        ASSERT_TRUE(port.openPort(name.c_str()));
        EXPECT_TRUE(port.closePort());
        EXPECT_EQ(0, DriverWithLowLatency::writes) << "a driver already in the mode is left alone";
        EXPECT_EQ(ASYNC_LOW_LATENCY, DriverWithLowLatency::settings.flags);
    }
}

TEST(LowLatency, APseudoTerminalRefusesWithOneDebugLineAndStreamsAsBefore) {
    is900sim::SimulatorOptions options;
    options.startStreaming = true;
    is900sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.start()) << simulator.errorText();
    CLogH hostLog;
    hostLog.debugLevel = 1;
    CoutCapture output;
    CRS232H port(&hostLog);
    ASSERT_TRUE(port.openPort(simulator.slavePath().c_str()));
    EXPECT_EQ(1u, countOf(output.text(), "low-latency"));
    EXPECT_TRUE(contains(output.text(), "CRS232H: No low-latency mode on " + simulator.slavePath() + ": "));
    PortAttribute attribute = trackerAttribute(38400);
    ASSERT_TRUE(port.presetAttribute(&attribute));
    ASSERT_TRUE(port.setAttribute());
    const std::vector<Bytes> records = readRecords(port, 3);
    ASSERT_EQ(3u, records.size());
    for (const Bytes& record : records) EXPECT_EQ(29u, record.size());
    EXPECT_TRUE(port.closePort());
}
