// The plug-in's records are the host kit's layouts with the plug-in's
// operations added: each field must sit at the same offset in both, in
// every build, whatever the plug-in adds.
#include "boundary/CBase.h"
#include "boundary/HostRecords.h"
#include "storage/CDataStorage.h"
#include "support/CLogH.h"
#include "is900/hostkit/HostStorage.h"
#include "is900/hostkit/Records.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace kit = is900::hostkit;

#define SAME_FIELD(type, field)                                                                             \
    static_assert(offsetof(::type, field) == offsetof(kit::type, field) &&                                  \
                      sizeof(::type::field) == sizeof(kit::type::field),                                    \
                  #type "::" #field " differs between the plug-in and the host kit")
#define SAME_SIZE(type) static_assert(sizeof(::type) == sizeof(kit::type), #type " differs in size")

SAME_SIZE(ConfigLine);
SAME_FIELD(ConfigLine, lineNumber); SAME_FIELD(ConfigLine, keyword); SAME_FIELD(ConfigLine, args);
SAME_FIELD(ConfigLine, argCount); SAME_FIELD(ConfigLine, used);
SAME_SIZE(DevConfig);
SAME_FIELD(DevConfig, name); SAME_FIELD(DevConfig, lines); SAME_FIELD(DevConfig, lineCount);
SAME_SIZE(DevInitInfo);
SAME_FIELD(DevInitInfo, trackerStorage); SAME_FIELD(DevInitInfo, controllerStorage); SAME_FIELD(DevInitInfo, runFlag);
SAME_SIZE(CLogH);
SAME_FIELD(CLogH, showDate); SAME_FIELD(CLogH, showTime); SAME_FIELD(CLogH, showThreadId); SAME_FIELD(CLogH, enabled);
SAME_FIELD(CLogH, name); SAME_FIELD(CLogH, infoLabel); SAME_FIELD(CLogH, errorLabel); SAME_FIELD(CLogH, warningLabel);
SAME_FIELD(CLogH, debugLabel); SAME_FIELD(CLogH, debugThreshold); SAME_FIELD(CLogH, debugLevel);
SAME_FIELD(CLogH, debugGroup);
SAME_SIZE(TraData);
SAME_FIELD(TraData, id); SAME_FIELD(TraData, timeSec); SAME_FIELD(TraData, timeUsec); SAME_FIELD(TraData, x);
SAME_FIELD(TraData, y); SAME_FIELD(TraData, z); SAME_FIELD(TraData, azim); SAME_FIELD(TraData, elev);
SAME_FIELD(TraData, roll); SAME_FIELD(TraData, localTime);
SAME_SIZE(ConData);
SAME_FIELD(ConData, id); SAME_FIELD(ConData, timeSec); SAME_FIELD(ConData, timeUsec); SAME_FIELD(ConData, valNumber);
SAME_FIELD(ConData, butNumber); SAME_FIELD(ConData, valOffset); SAME_FIELD(ConData, butOffset);
SAME_FIELD(ConData, val); SAME_FIELD(ConData, but); SAME_FIELD(ConData, butBytes); SAME_FIELD(ConData, localTime);
SAME_SIZE(CMutexH);
SAME_FIELD(CMutexH, mutexHandle); SAME_FIELD(CMutexH, log);
SAME_SIZE(CDataStorage);
SAME_FIELD(CDataStorage, traDataList); SAME_FIELD(CDataStorage, conDataList); SAME_FIELD(CDataStorage, log);
SAME_FIELD(CDataStorage, mutex); SAME_FIELD(CDataStorage, dataNumber);

// The kit's readers decode what the plug-in's records encode.
TEST(HostKitRecords, DecodeWhatThePlugInEncodes) {
    ::TraData tracker{};
    ASSERT_TRUE(tracker.setX(-1.25f));
    ASSERT_TRUE(tracker.setId(7));
    EXPECT_FLOAT_EQ(kit::decodePose(tracker.x), -1.25f);
    EXPECT_EQ(kit::fromNetworkOrder(tracker.id), 7u);

    ::ConData controller{};
    controller.clear();
    ASSERT_TRUE(controller.setValNumber(2));
    ASSERT_TRUE(controller.setButNumber(9));
    ASSERT_TRUE(controller.setVal(2, 0.5f));
    ASSERT_TRUE(controller.setBut(9, 1));
    kit::ConData seen;
    std::memcpy(static_cast<void*>(&seen), &controller, sizeof seen);
    EXPECT_EQ(kit::valuatorCount(seen), 2u);
    EXPECT_EQ(kit::buttonCount(seen), 9u);
    EXPECT_FLOAT_EQ(kit::decodeValuator(seen.val[1]), 0.5f);
    EXPECT_TRUE(kit::buttonPressed(seen, 9));
    EXPECT_FALSE(kit::buttonPressed(seen, 8));

    const unsigned char masks[4] = {0x80, 0, 0x01, 0x01};
    EXPECT_TRUE(kit::marked(masks, 1));
    EXPECT_TRUE(kit::marked(masks, 9));
    EXPECT_TRUE(kit::marked(masks, 32));
    EXPECT_FALSE(kit::marked(masks, 2));
}
