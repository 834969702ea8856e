#include "TrackerTestSupport.h"

#include "tracker/CCalibH.h"
#include "tracker/CTraCommonH.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const CLogH quietLog = plainLogger();
const CLogH debugLog = plainLogger(3);

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

void expectPosition(float x, float y, float z, const float* pose) {
    EXPECT_FLOAT_EQ(x, pose[0]);
    EXPECT_FLOAT_EQ(y, pose[1]);
    EXPECT_FLOAT_EQ(z, pose[2]);
    EXPECT_FLOAT_EQ(10, pose[3]);
}

} // namespace

TEST(DynamicLib, LoadingAndItsFailures) {
    ConsoleCapture console;
    {
        CDynamicLibH missing("./no-such-library.so", &quietLog);
        EXPECT_EQ(nullptr, missing.module);
        EXPECT_FALSE(missing.load(""));
        EXPECT_FALSE(missing.load(nullptr));
        EXPECT_EQ(nullptr, missing.getProcAddr("calib_init"));
        EXPECT_EQ(nullptr, missing.getProcAddrCached("calib_init", 0));
        EXPECT_EQ(nullptr, missing.getProcAddrCached("calib_init", 0));
        EXPECT_TRUE(missing.procCache.empty());
    }
    EXPECT_EQ("T: ERROR: CDynamicLibH: Can not load the library ./no-such-library.so\n"
              "T: ERROR: CDynamicLibH: Library name is empty.\n"
              "T: ERROR: CDynamicLibH: Library name is empty.\n"
              "T: ERROR: CDynamicLibH: Library has not been loaded.\n"
              "T: ERROR: CDynamicLibH: Library has not been loaded.\n"
              "T: ERROR: CDynamicLibH: Library has not been loaded.\n",
              console.text());

    CDynamicLibH library(CALIB_OFFSET_FILE, &quietLog);
    ASSERT_NE(nullptr, library.module);
    const platform::LibraryHandle first = library.module;
    EXPECT_FALSE(library.load(CALIB_NO_EVALUATE_FILE));
    EXPECT_EQ(first, library.module);
    EXPECT_TRUE(library.unload());
    EXPECT_EQ(nullptr, library.module);
    EXPECT_TRUE(library.unload());
}

TEST(DynamicLib, EntryPointCacheBySlot) {
    CDynamicLibH library(CALIB_OFFSET_FILE, &quietLog);
    const platform::ProcAddress exitEntry = library.getProcAddrCached("calib_exit", 3);
    EXPECT_NE(nullptr, exitEntry);
    EXPECT_EQ(library.getProcAddr("calib_exit"), exitEntry);
    ASSERT_EQ(4u, library.procCache.size());
    for (uint32_t slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(nullptr, library.procCache[slot].proc);
        EXPECT_EQ(0, library.procCache[slot].lookedUp);
    }
    // The slot is the key: its first name decides, a miss stays cached.
    EXPECT_EQ(exitEntry, library.getProcAddrCached("calib_init", 3));
    EXPECT_EQ(nullptr, library.getProcAddrCached("no_such_entry", 1));
    EXPECT_EQ(1, library.procCache[1].lookedUp);
    EXPECT_EQ(nullptr, library.getProcAddrCached("calib_evaluate", 1));
    EXPECT_TRUE(library.unload());
    EXPECT_TRUE(library.procCache.empty());
}

TEST(Calibration, ArgumentsHandleAndPoseInPlace) {
    char scale[] = "2", dx[] = "0.5", dy[] = "0", dz[] = "-1";
    char* args[] = {scale, dx, dy, dz};
    CCalibH first(CALIB_OFFSET_FILE, &quietLog);
    ASSERT_TRUE(first.init(args, 4));
    ASSERT_EQ(4, first.initArgCount);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(args[i], first.initArgs[i]); // the client's own copies
        EXPECT_STREQ(args[i], first.initArgs[i]);
    }
    scale[0] = '9'; // the library saw the copies at init; nothing refers back

    // A second client of the same library with other arguments: each gets its
    // own handle back.
    CCalibH second(CALIB_OFFSET_FILE, &quietLog);
    ASSERT_TRUE(second.init(args + 1, 3)); // scale 0.5, dx 0, dy -1
    float a[6] = {1, 2, 3, 10, 20, 30}, b[6] = {1, 2, 3, 10, 20, 30};
    EXPECT_TRUE(first.evaluate(a));
    EXPECT_TRUE(second.evaluate(b));
    expectPosition(2.5f, 4, 5, a);
    expectPosition(0.5f, 0, 1.5f, b);
    EXPECT_FLOAT_EQ(30, a[5]);

    CCalibH none(CALIB_OFFSET_FILE, &quietLog);
    ASSERT_TRUE(none.init(nullptr, 0));
    float c[6] = {1, 2, 3, 10, 20, 30};
    EXPECT_TRUE(none.evaluate(c));
    expectPosition(1, 2, 3, c);

    EXPECT_TRUE(first.exit());
    EXPECT_EQ(0, first.initArgCount);
    EXPECT_TRUE(first.exit()); // a second exit releases nothing twice
    EXPECT_TRUE(second.exit());
    EXPECT_TRUE(none.exit());
}

TEST(Calibration, MissingLibraryOrEntryPoint) {
    {
        ConsoleCapture console;
        CCalibH missing("./no-such-calibration.so", &debugLog);
        const std::string construction = console.text();
        EXPECT_NE(std::string::npos, construction.find("T: DEBUG: CDynamicLibH: \"constructor\" called.\n"
                                                       "T: DEBUG: CDynamicLibH: \"init\" called.\n"
                                                       "T: DEBUG: CDynamicLibH: \"load\" called.\n"
                                                       "T: ERROR: CDynamicLibH: Can not load the library "
                                                       "./no-such-calibration.so\n"
                                                       "T: DEBUG: CCalibH: \"init\" called.\n"));
        char arg[] = "1";
        char* args[] = {arg};
        EXPECT_FALSE(missing.init(args, 1));
        EXPECT_EQ(1, missing.initArgCount); // kept until exit
        const std::string init = console.text().substr(construction.size());
        EXPECT_NE(std::string::npos, init.find("T: ERROR: CDynamicLibH: Library has not been loaded.\n"));
        EXPECT_NE(std::string::npos, init.find("T: DEBUG: CCalibH: could not call \"calib_init\".\n"));
        EXPECT_FALSE(missing.exit());
        EXPECT_EQ(0, missing.initArgCount);
    }

    ConsoleCapture console;
    CCalibH noEvaluate(CALIB_NO_EVALUATE_FILE, &debugLog);
    EXPECT_TRUE(noEvaluate.init(nullptr, 0));
    const size_t before = console.text().size();
    float pose[6] = {1, 2, 3, 10, 20, 30};
    EXPECT_FALSE(noEvaluate.evaluate(pose));
    EXPECT_FALSE(noEvaluate.evaluate(pose));
    const std::string evaluations = console.text().substr(before);
    EXPECT_EQ(2u, occurrences(evaluations, "CDynamicLibH: \"getProcAddrCached\" called."));
    EXPECT_EQ(1u, occurrences(evaluations, "CDynamicLibH: \"getProcAddr\" called."));
    EXPECT_EQ(0u, occurrences(evaluations, "ERROR"));
    EXPECT_TRUE(noEvaluate.exit());
    EXPECT_NE(std::string::npos, console.text().find("T: DEBUG: CCalibH: \"calib_exit\" called.\n"));
}

TEST(Calibration, ThroughTheTrackerPipeline) {
    CTraCommonH tracker(&quietLog);
    tracker.createLookup(8);
    tracker.setStation(1, 1);
    OptionLinesBuilder lines;
    lines.add("calib", {CALIB_OFFSET_FILE, "1", "0.5"}).add("transmitteroffset", {"1", "2", "3"});
    ASSERT_TRUE(tracker.parseOptions(lines.get()));
    ASSERT_TRUE(tracker.calibration->init(tracker.calibrationArgs, static_cast<int32_t>(tracker.calibrationArgCount)));
    float pose[6] = {12, 24, 36, 10, 20, 30}; // inches
    EXPECT_TRUE(tracker.processPose(1, 'U', pose));
    EXPECT_NEAR(2.5f, pose[0], 2e-6f); // 1 foot + 0.5 from the library + 1 from the transmitter
    EXPECT_NEAR(4.0f, pose[1], 4e-6f);
    EXPECT_NEAR(6.0f, pose[2], 6e-6f);
    EXPECT_TRUE(tracker.calibration->exit());

    OptionLinesBuilder other;
    other.add("calibration", {CALIB_NO_EVALUATE_FILE});
    ASSERT_TRUE(tracker.parseOptions(other.get()));
    ASSERT_TRUE(tracker.calibration->init(tracker.calibrationArgs, 0));
    float dropped[6] = {12, 24, 36, 10, 20, 30};
    EXPECT_FALSE(tracker.processPose(1, 'U', dropped));
    EXPECT_TRUE(tracker.calibration->exit());
}
