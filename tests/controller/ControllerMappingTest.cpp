#include "ControllerTestKit.h"

#include "storage/ConData.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

float valuator(const ConData& record, uint32_t index) { return fixedpoint::decodeValuator(record.val[index - 1]); }

ConData freshRecord() {
    ConData record;
    std::memset(&record, 0, sizeof record);
    record.clear();
    return record;
}

} // namespace

TEST(ControllerMapping, NormalizesAndScalesValuators) {
    EXPECT_EQ(CConCommonH::normalizeValuator(0), -1.0f);
    EXPECT_EQ(CConCommonH::normalizeValuator(127), 0.0f);
    EXPECT_EQ(CConCommonH::normalizeValuator(128), 1.0f / 128);
    EXPECT_EQ(CConCommonH::normalizeValuator(255), 1.0f);
    EXPECT_EQ(CConCommonH::normalizeValuator(64), static_cast<float>(-63 / 127.0));

    auto controller = deviceController({1, 2});
    applyOptions(*controller, {"valuatorscale 1 2.5 1", "valuatorscale 1 [1,0,0,0] 2", "valuatorscale 2 [0,2,0,1] 1"});
    EXPECT_EQ(controller->scaleValuator(2, 2, 0.3f), 0.3f);
    EXPECT_EQ(controller->scaleValuator(1, 1, CConCommonH::normalizeValuator(255)), 2.5f);
    EXPECT_EQ(controller->scaleValuator(1, 2, CConCommonH::normalizeValuator(0)), -1.0f);
    EXPECT_EQ(controller->scaleValuator(1, 2, CConCommonH::normalizeValuator(191)), 0.125f);
    EXPECT_EQ(controller->scaleValuator(2, 1, -0.5f), 1.5f);
    EXPECT_EQ(controller->scaleValuator(9, 1, 1.0f), 0.0f);
    EXPECT_EQ(controller->scaleValuator(1, 33, 1.0f), 0.0f);
    EXPECT_EQ(controller->scaleValuator(0, 1, 1.0f), 0.0f);

    // Large cancelling terms: single-precision intermediates would be off by one.
    applyOptions(*controller, {"valuatorscale 2 [1e8,-1e8,0,0] 2"});
    const float x = CConCommonH::normalizeValuator(200);
    EXPECT_EQ(controller->scaleValuator(2, 2, x), static_cast<float>(-1e8 * 293095.0 / 2097152.0));
}

TEST(ControllerMapping, FillsRecordFromRawSample) {
    auto controller = deviceController({1, 3});
    controller->outputIdBase = 3;
    ConData record = freshRecord();
    ASSERT_TRUE(controller->mapSample(3, 0x01, 255, 127, record));
    EXPECT_EQ(fixedpoint::fromNetworkOrder(record.id), 5u);
    EXPECT_EQ(record.valuatorCount(), 2u);
    EXPECT_EQ(record.buttonCount(), 8u);
    EXPECT_EQ(fixedpoint::fromNetworkOrder(record.val[0]), 1000u);
    EXPECT_EQ(record.val[1], 0u);
    EXPECT_TRUE(record.buttonPressed(1));
    for (uint32_t b = 2; b <= 32; ++b) EXPECT_FALSE(record.buttonPressed(b)) << b;
    EXPECT_NE(record.timeSec, 0u);

    applyOptions(*controller, {"buttonorder 1 8 7 6 5 4 3 2 1", "valuatororder 1 2 1", "valuatorscale 1 2.5 2"});
    ASSERT_TRUE(controller->mapSample(1, 0x01, 0, 255, record));
    EXPECT_EQ(fixedpoint::fromNetworkOrder(record.id), 4u);
    EXPECT_TRUE(record.buttonPressed(8));
    for (uint32_t b = 1; b <= 7; ++b) EXPECT_FALSE(record.buttonPressed(b)) << b;
    EXPECT_EQ(valuator(record, 1), 2.5f);
    EXPECT_EQ(valuator(record, 2), -1.0f);

    // The working record serves all stations: nothing of station 1 may show.
    applyOptions(*controller, {"buttonorder 3 1 2 3", "valuatororder 3 0 1"});
    ASSERT_TRUE(controller->mapSample(3, 0xFF, 255, 255, record));
    EXPECT_EQ(record.buttonCount(), 3u);
    EXPECT_EQ(record.but[0], 0x07);
    EXPECT_EQ(record.valuatorCount(), 1u);
    EXPECT_EQ(record.val[0], 0u);
    EXPECT_EQ(record.val[1], 0u);
}

TEST(ControllerMapping, ProducesNoRecordWithoutValidId) {
    auto controller = deviceController({2});
    applyOptions(*controller, {"emulatetracker 2 [1,1,1,0,0,0] 1 2 0 0 0 0 1"});
    controller->outputIdBase = 5;
    EXPECT_EQ(controller->recordId(2), 6u);
    for (int32_t station : {1, 0, -1, 9, 12}) EXPECT_EQ(controller->recordId(station), 0u) << station;

    ConData record = freshRecord();
    const ConData before = record;
    EXPECT_FALSE(controller->mapSample(1, 0xFF, 0, 0, record));
    EXPECT_FALSE(controller->mapSample(-1, 0xFF, 0, 0, record));
    EXPECT_FALSE(controller->mapSample(9, 0xFF, 0, 0, record));
    controller->outputIdBase = 32;
    EXPECT_FALSE(controller->mapSample(2, 0xFF, 0, 0, record));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);

    controller->outputIdBase = 31;
    ASSERT_TRUE(controller->mapSample(2, 0x01, 255, 0, record));
    EXPECT_EQ(fixedpoint::fromNetworkOrder(record.id), 32u);
    EXPECT_EQ(valuator(record, 1), 1.0f);
    EXPECT_EQ(valuator(record, 2), -1.0f);
    EXPECT_TRUE(record.buttonPressed(1));
}

TEST(ControllerMapping, UpdateMaskKeepsBigEndianBitOrder) {
    unsigned char masks[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_TRUE(CConCommonH::clearUpdateMask(masks + 4));
    const unsigned char cleared[8] = {9, 9, 9, 9, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(masks, cleared, 8), 0);
    EXPECT_FALSE(CConCommonH::clearUpdateMask(nullptr));

    unsigned char* mask = masks + 4;
    EXPECT_TRUE(CConCommonH::markUpdated(mask, 1));
    EXPECT_EQ(mask[3], 1);
    EXPECT_TRUE(CConCommonH::markUpdated(mask, 9));
    EXPECT_EQ(mask[2], 1);
    EXPECT_TRUE(CConCommonH::markUpdated(mask, 32));
    EXPECT_EQ(mask[0], 128);
    EXPECT_TRUE(CConCommonH::markUpdated(mask, 3));
    EXPECT_EQ(mask[3], 5);
    EXPECT_FALSE(CConCommonH::markUpdated(mask, 0));
    EXPECT_FALSE(CConCommonH::markUpdated(mask, 33));
    const unsigned char marked[8] = {9, 9, 9, 9, 128, 0, 1, 5};
    EXPECT_EQ(std::memcmp(masks, marked, 8), 0);

    uint32_t word;
    std::memcpy(&word, mask, 4);
    EXPECT_EQ(fixedpoint::fromNetworkOrder(word), 0x80000105u);
}
