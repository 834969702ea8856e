#include "storage/ConData.h"
#include "storage/FixedPoint.h"
#include "storage/TraData.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <chrono>
#include <ctime>
#include <limits>

namespace {

using Bytes = std::array<uint8_t, 4>;

template <typename Record>
Bytes bytesAt(const Record& record, size_t offset) {
    Bytes bytes;
    std::memcpy(bytes.data(), reinterpret_cast<const unsigned char*>(&record) + offset, bytes.size());
    return bytes;
}

template <typename Record>
Record filledWith(uint8_t pattern) {
    Record record;
    std::memset(&record, pattern, sizeof record);
    return record;
}

uint32_t hostOrder(uint32_t field) { return fixedpoint::fromNetworkOrder(field); }

uint32_t networkField(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    uint32_t field;
    std::memcpy(&field, bytes, sizeof field);
    return field;
}

const int32_t int32Max = std::numeric_limits<int32_t>::max();
const int32_t int32Min = std::numeric_limits<int32_t>::min();

TEST(FixedPoint, TruncatesTowardZeroAndSaturatesOutOfRange) {
    EXPECT_EQ(fixedpoint::toFixed(1.5f, fixedpoint::poseScale), 150000);
    EXPECT_EQ(fixedpoint::toFixed(-0.000019f, fixedpoint::poseScale), -1);
    EXPECT_EQ(fixedpoint::toFixed(0.000019f, fixedpoint::poseScale), 1);
    EXPECT_EQ(fixedpoint::toFixed(-0.0009f, fixedpoint::valuatorScale), 0);
    EXPECT_EQ(fixedpoint::toFixed(-2147483.5f, fixedpoint::valuatorScale), -2147483500);

    EXPECT_EQ(fixedpoint::toFixed(21474.84f, fixedpoint::poseScale), int32Max);
    EXPECT_EQ(fixedpoint::toFixed(-21474.84f, fixedpoint::poseScale), int32Min);
    EXPECT_EQ(fixedpoint::toFixed(2147483.75f, fixedpoint::valuatorScale), int32Max);
    EXPECT_EQ(fixedpoint::toFixed(-2147483.75f, fixedpoint::valuatorScale), int32Min);
    EXPECT_EQ(fixedpoint::toFixed(1e30f, fixedpoint::poseScale), int32Max);
    EXPECT_EQ(fixedpoint::toFixed(std::numeric_limits<float>::infinity(), fixedpoint::poseScale), int32Max);
    EXPECT_EQ(fixedpoint::toFixed(-std::numeric_limits<float>::infinity(), fixedpoint::poseScale), int32Min);
    EXPECT_EQ(fixedpoint::toFixed(std::numeric_limits<float>::quiet_NaN(), fixedpoint::poseScale), 0);
    EXPECT_EQ(fixedpoint::toFixed(-std::numeric_limits<float>::quiet_NaN(), fixedpoint::valuatorScale), 0);

    EXPECT_FLOAT_EQ(fixedpoint::decodePose(fixedpoint::encode(-12.375f, fixedpoint::poseScale)), -12.375f);
    EXPECT_FLOAT_EQ(fixedpoint::decodeValuator(fixedpoint::encode(-0.75f, fixedpoint::valuatorScale)), -0.75f);
    EXPECT_EQ(bytesAt(fixedpoint::encode(-1.0f, fixedpoint::valuatorScale), 0), (Bytes{0xFF, 0xFF, 0xFC, 0x18}));
}

TEST(TraData, StoresPoseAndIdInNetworkOrderAtTheirOffsets) {
    TraData record = filledWith<TraData>(0xAB);
    record.clear();
    for (size_t offset = 0; offset < 44; offset += 4) EXPECT_EQ(bytesAt(record, offset), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(bytesAt(record, 44), (Bytes{0xAB, 0xAB, 0xAB, 0xAB})) << "clear keeps the local time";

    EXPECT_TRUE(record.setX(1.5f));
    EXPECT_EQ(bytesAt(record, 20), (Bytes{0x00, 0x02, 0x49, 0xF0}));
    EXPECT_TRUE(record.setY(-0.000019f));
    EXPECT_EQ(bytesAt(record, 24), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    record.setZ(3.0f);
    record.setAzim(-90.0f);
    record.setElev(45.5f);
    record.setRoll(179.99999f);
    EXPECT_FLOAT_EQ(fixedpoint::decodePose(record.z), 3.0f);
    EXPECT_FLOAT_EQ(fixedpoint::decodePose(record.azim), -90.0f);
    EXPECT_FLOAT_EQ(fixedpoint::decodePose(record.elev), 45.5f);
    EXPECT_NEAR(fixedpoint::decodePose(record.roll), 179.99999f, 0.00002f);

    EXPECT_TRUE(record.setId(32));
    EXPECT_EQ(bytesAt(record, 0), (Bytes{0, 0, 0, 32}));
    EXPECT_FALSE(record.setId(0));
    EXPECT_FALSE(record.setId(33));
    EXPECT_EQ(hostOrder(record.id), 32u);
    EXPECT_TRUE(record.setId(1));
    EXPECT_EQ(hostOrder(record.id), 1u);
}

TEST(TraData, TimeStampHoldsTheClockReadingInBothForms) {
    TraData tracker{};
    ConData controller{};
    // std::time may read a coarser clock that lags the stamp's by a tick.
    const auto now = [] { return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()); };
    const std::time_t before = now();
    EXPECT_TRUE(tracker.stampTime());
    EXPECT_TRUE(controller.stampTime());
    const std::time_t after = now();
    for (const auto* stamp : {&tracker.localTime, &controller.localTime}) {
        EXPECT_GE(stamp->seconds, before);
        EXPECT_LE(stamp->seconds, after);
        EXPECT_LT(stamp->milliseconds, 1000);
    }
    EXPECT_EQ(hostOrder(tracker.timeSec), static_cast<uint32_t>(tracker.localTime.seconds));
    EXPECT_EQ(hostOrder(tracker.timeUsec), tracker.localTime.milliseconds * 1000u);
    EXPECT_EQ(hostOrder(controller.timeSec), static_cast<uint32_t>(controller.localTime.seconds));
    EXPECT_EQ(hostOrder(controller.timeUsec), controller.localTime.milliseconds * 1000u);
}

TEST(TraData, EqualityLooksAtThePoseOnly) {
    TraData a{};
    a.setX(1.0f);
    a.setY(-2.0f);
    a.setZ(3.25f);
    a.setAzim(10.0f);
    a.setElev(-20.0f);
    a.setRoll(30.0f);
    TraData b = a;
    b.setId(7);
    b.stampTime();
    b.localTime.minutesWest = 123;
    EXPECT_TRUE(a.equals(b));
    EXPECT_TRUE(b.equals(a));

    bool (TraData::*const setters[])(float) = {&TraData::setX,    &TraData::setY,    &TraData::setZ,
                                               &TraData::setAzim, &TraData::setElev, &TraData::setRoll};
    for (auto setter : setters) {
        TraData changed = a;
        (changed.*setter)(0.00001f + 55.0f);
        EXPECT_FALSE(a.equals(changed));
    }
    TraData lastUnit = a;
    lastUnit.roll = networkField(hostOrder(a.roll) + 1);
    EXPECT_FALSE(a.equals(lastUnit)) << "one fixed-point unit is a change";
}

TEST(ConData, ClearAndCountsFollowTheirOffsetRules) {
    ConData record = filledWith<ConData>(0xCD);
    record.clear();
    for (size_t offset = 0; offset < 28; offset += 4) EXPECT_EQ(bytesAt(record, offset), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(bytesAt(record, 28), (Bytes{0xCD, 0xCD, 0xCD, 0xCD})) << "valOffset stays";
    EXPECT_EQ(bytesAt(record, 32), (Bytes{0xCD, 0xCD, 0xCD, 0xCD})) << "butOffset stays";
    for (uint32_t value : record.val) EXPECT_EQ(value, 0u);
    EXPECT_EQ(bytesAt(record, 164), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(record.butBytes, 4u) << "host byte order";
    EXPECT_EQ(bytesAt(record, 172), (Bytes{0xCD, 0xCD, 0xCD, 0xCD}));

    record.valNumber = 0xFFFFFFFF;
    EXPECT_FALSE(record.setValNumber(33));
    EXPECT_EQ(bytesAt(record, 28), (Bytes{0, 0, 0, 36})) << "written before the check";
    EXPECT_EQ(record.valNumber, 0xFFFFFFFFu);

    EXPECT_TRUE(record.setValNumber(5));
    EXPECT_TRUE(record.setValNumber(2));
    EXPECT_TRUE(record.setButNumber(6));
    EXPECT_EQ(hostOrder(record.butOffset), 44u);
    EXPECT_EQ(hostOrder(record.butNumber), 6u);

    ConData early{};
    early.setValNumber(5);
    EXPECT_TRUE(early.setButNumber(32));
    EXPECT_EQ(hostOrder(early.butOffset), 56u);
    EXPECT_TRUE(early.setValNumber(1));
    EXPECT_EQ(hostOrder(early.butOffset), 56u) << "butOffset keeps the older valuator number";
    early.clear();
    EXPECT_FALSE(early.setButNumber(33));
    EXPECT_EQ(hostOrder(early.butOffset), 36u) << "clear zeroed valNumber";
}

TEST(ConData, ValuatorsAndButtonsRespectTheirCounts) {
    ConData record{};
    record.clear();
    record.setValNumber(2);
    record.setButNumber(16);

    EXPECT_TRUE(record.setVal(1, 0.5f));
    EXPECT_EQ(bytesAt(record, 36), (Bytes{0x00, 0x00, 0x01, 0xF4}));
    EXPECT_TRUE(record.setVal(2, -1.0f));
    EXPECT_EQ(bytesAt(record, 40), (Bytes{0xFF, 0xFF, 0xFC, 0x18}));
    EXPECT_FALSE(record.setVal(0, 1.0f));
    EXPECT_FALSE(record.setVal(3, 1.0f));
    EXPECT_EQ(bytesAt(record, 44), (Bytes{0, 0, 0, 0}));

    EXPECT_TRUE(record.setBut(10, 1));
    EXPECT_EQ(bytesAt(record, 164), (Bytes{0x00, 0x02, 0x00, 0x00}));
    EXPECT_TRUE(record.buttonPressed(10));
    EXPECT_TRUE(record.setBut(1, 5));
    EXPECT_TRUE(record.setBut(16, 1));
    EXPECT_EQ(bytesAt(record, 164), (Bytes{0x01, 0x82, 0x00, 0x00}));
    EXPECT_TRUE(record.setBut(10, 0));
    EXPECT_TRUE(record.setBut(1, -1));
    EXPECT_EQ(bytesAt(record, 164), (Bytes{0x00, 0x80, 0x00, 0x00}));

    const ConData before = record;
    EXPECT_FALSE(record.setBut(0, 1));
    EXPECT_FALSE(record.setBut(17, 1)) << "beyond butNumber";
    record.setButNumber(32);
    EXPECT_FALSE(record.setBut(33, 1));
    record.butBytes = 1;
    EXPECT_FALSE(record.setBut(9, 1)) << "beyond butBytes";
    EXPECT_TRUE(record.setBut(8, 1));
    EXPECT_EQ(std::memcmp(record.but + 1, before.but + 1, 3), 0);

    ConData corrupt{};
    corrupt.valNumber = networkField(1000);
    EXPECT_FALSE(corrupt.setVal(33, 1.0f)) << "the array holds 32 valuators whatever valNumber says";
}

TEST(ConData, EqualityComparesCountsValuatorsAndButtonBytes) {
    ConData a{};
    a.clear();
    a.setValNumber(2);
    a.setButNumber(8);
    a.setVal(1, 0.25f);
    a.setBut(3, 1);
    ConData b = a;
    b.setId(4);
    b.stampTime();
    EXPECT_TRUE(a.equals(b));

    b.val[5] = 0x12345678;
    EXPECT_TRUE(a.equals(b)) << "valuators beyond valNumber do not count";
    b.setVal(2, 0.001f);
    EXPECT_FALSE(a.equals(b));

    ConData c = a;
    c.setBut(4, 1);
    EXPECT_FALSE(a.equals(c));
    c = a;
    c.setButNumber(9);
    EXPECT_FALSE(a.equals(c));
    c = a;
    c.setValNumber(3);
    EXPECT_FALSE(a.equals(c));

    ConData shortButtons = a;
    shortButtons.butBytes = 2;
    shortButtons.but[3] = 0xFF;
    EXPECT_TRUE(a.equals(shortButtons)) << "bytes beyond the other's butBytes count as 0";
    a.but[3] = 0x01;
    EXPECT_FALSE(a.equals(shortButtons));
    EXPECT_TRUE(shortButtons.equals(a)) << "only the first butBytes of the left record are compared";

    ConData corruptA{}, corruptB{};
    corruptA.valNumber = corruptB.valNumber = networkField(1000);
    corruptA.butBytes = corruptB.butBytes = 1000;
    EXPECT_TRUE(corruptA.equals(corruptB));
}

} // namespace
