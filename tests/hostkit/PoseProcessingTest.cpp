// The host's pose processing against the simulator's truth: scripted motions
// read a line's delay after they are sampled, each output compared with the
// true pose at the moment it stands for.
#include "sim/MotionTrial.h"

#include <gtest/gtest.h>

namespace {

using is900::hostkit::OneEuroSettings;
using is900::hostkit::PoseProcessing;
using is900sim::MotionScript;
using is900sim::runTrial;
using is900sim::TrialSettings;

PoseProcessing predict(double milliseconds) {
    PoseProcessing processing;
    processing.predictMilliseconds = milliseconds;
    return processing;
}

PoseProcessing filter(OneEuroSettings settings) {
    PoseProcessing processing;
    processing.filter = settings;
    return processing;
}

TrialSettings still(uint32_t seed) {
    TrialSettings settings;
    settings.noise = {1.5, 0.1};
    settings.seed = seed;
    return settings;
}

TEST(Prediction, TwentyMillisecondsAheadCutsTheErrorOfTurnsAndWalkingToAThirdAndNeverWorsensASwing) {
    for (MotionScript script : {MotionScript::headTurn, MotionScript::walk, MotionScript::wandSwing}) {
        TrialSettings settings;
        settings.script = script;
        for (uint32_t seed = 1; seed <= 3; ++seed) { // the read times' jitter
            settings.seed = seed;
            const auto result = runTrial(settings, predict(20));
            const auto& with = result.processed;
            const auto& without = result.unprocessed;
            const int motion = static_cast<int>(script);
            if (script == MotionScript::wandSwing) {
                EXPECT_LE(with.rmsMm, without.rmsMm) << motion;
                EXPECT_LE(with.p95Mm, without.p95Mm) << motion;
                EXPECT_LE(with.rmsDeg, without.rmsDeg) << motion;
                EXPECT_LE(with.p95Deg, without.p95Deg) << motion;
                continue;
            }
            EXPECT_GT(without.rmsMm, 5) << motion << ": the motion moves the sensor";
            EXPECT_LE(with.rmsMm, without.rmsMm / 3) << motion;
            EXPECT_LE(with.rmsDeg, without.rmsDeg / 3) << motion;
        }
    }
}

TEST(Prediction, AtRestItAddsAtMostHalfTheNoise) {
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        const auto result = runTrial(still(seed), predict(20));
        EXPECT_LE(result.processedNoise.positionMm, 1.5 * result.unprocessedNoise.positionMm) << seed;
        EXPECT_LE(result.processedNoise.angleDeg, 1.5 * result.unprocessedNoise.angleDeg) << seed;
    }
}

TEST(Filter, AHeadsSettingsCalmARestingSensorFiveTimesAndLagASwingByAtMostOneRecord) {
    const PoseProcessing head = filter(OneEuroSettings::head());
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        const auto result = runTrial(still(seed), head);
        EXPECT_GE(result.unprocessedNoise.positionMm, 5 * result.processedNoise.positionMm) << seed;
        EXPECT_GE(result.unprocessedNoise.angleDeg, 5 * result.processedNoise.angleDeg) << seed;
    }
    const double lag = is900sim::trialLagMs(MotionScript::wandSwing, head);
    EXPECT_GT(lag, 0.5) << "a filter that does nothing would not lag at all";
    EXPECT_LE(lag, 1000.0 / 120);
}

TEST(Filter, AWandsSettingsFollowFasterAndStillCalm) {
    const PoseProcessing wand = filter(OneEuroSettings::wand());
    const auto result = runTrial(still(1), wand);
    EXPECT_GE(result.unprocessedNoise.positionMm, 5 * result.processedNoise.positionMm);
    EXPECT_LT(is900sim::trialLagMs(MotionScript::wandSwing, wand),
              is900sim::trialLagMs(MotionScript::wandSwing, filter(OneEuroSettings::head())));
}

TEST(PoseProcessing, AGapStartsAfreshAndRecordsReadAtOnceDoNotUpsetIt) {
    PoseProcessing both = predict(20);
    both.filter = OneEuroSettings::head();
    is900::hostkit::PoseProcessor processor(both);
    const float here[6] = {1, 2, 3, 10, 20, 30};
    for (int k = 0; k < 20; ++k) processor.process(k / 120.0, here);
    // A burst: three records handed over at one moment.
    for (int k = 0; k < 3; ++k) {
        const auto out = processor.process(0.5, here);
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], here[i], 1e-3) << i;
    }
    // After a second's silence the sensor is elsewhere: no lag, no leap.
    const float there[6] = {4, 5, 6, -40, 10, 0};
    const auto out = processor.process(1.5, there);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], there[i], 1e-3) << i;
}

} // namespace
