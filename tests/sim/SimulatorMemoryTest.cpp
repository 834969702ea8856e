// The simulator keeps only its last records, so that a demo that streams for
// days holds its memory flat.
#include "protocol/TestLine.h"
#include "protocol/CRS232H.h"
#include "sim/Simulator.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

TEST(SimulatorMemory, KeepsOnlyItsLastRecords) {
    is900sim::SimulatorOptions options;
    options.stations = {{1, is900sim::StationKind::tracker}};
    options.startStreaming = true;
    options.updateRate = 1000;
    options.keptRecords = 8;
    is900sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.start()) << simulator.errorText();
    CLogH log;
    CRS232H port(&log);
    ASSERT_TRUE(port.openPort(simulator.slavePath().c_str()));
    PortAttribute attribute = trackerAttribute(115200);
    ASSERT_TRUE(port.setAttribute(&attribute));
    ASSERT_EQ(readRecords(port, 40).size(), 40u);
    EXPECT_GE(simulator.recordsSent(), 40u);
    const std::vector<is900sim::SentRecord> kept = simulator.sentRecords();
    ASSERT_EQ(kept.size(), 8u);
    EXPECT_EQ(kept.back().sequence - kept.front().sequence, 7u) << "the last ones, in order";
}
