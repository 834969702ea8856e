// Poses compared as matchers: x, y, z, then three angles, each part within
// its own tolerance; a failure names the first value that differs.
#pragma once

#include <gmock/gmock.h>

#include <cmath>

namespace posematchers {

// The listener, when there is one, hears which value differs.
inline bool poseWithin(double difference, int index, double positionTolerance, double angleTolerance,
                       ::testing::MatchResultListener* listener) {
    const double tolerance = index < 3 ? positionTolerance : angleTolerance;
    if (std::fabs(difference) <= tolerance) return true;
    if (listener) *listener << "value " << index << " differs by " << difference;
    return false;
}

template <typename Actual, typename Expected>
bool poseNear(const Actual& actual, const Expected& expected, double positionTolerance, double angleTolerance,
              ::testing::MatchResultListener* listener = nullptr) {
    for (int i = 0; i < 6; ++i)
        if (!poseWithin(static_cast<double>(actual[i]) - static_cast<double>(expected[i]), i, positionTolerance,
                        angleTolerance, listener))
            return false;
    return true;
}

} // namespace posematchers

MATCHER_P3(PoseNear, expected, positionTolerance, angleTolerance, "is a pose near the expected one") {
    return posematchers::poseNear(arg, expected, positionTolerance, angleTolerance, result_listener);
}

// The same with angles that may differ by whole turns.
MATCHER_P3(PoseNearWrapped, expected, positionTolerance, angleTolerance, "is a pose near the expected one") {
    for (int i = 0; i < 6; ++i) {
        double difference = static_cast<double>(arg[i]) - static_cast<double>(expected[i]);
        if (i >= 3) difference = std::remainder(difference, 360.0);
        if (!posematchers::poseWithin(difference, i, positionTolerance, angleTolerance, result_listener)) return false;
    }
    return true;
}
