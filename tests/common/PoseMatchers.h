// Poses compared as matchers: x, y, z, then three angles, each part within
// its own tolerance; a failure names the first value that differs.
#pragma once

#include <gmock/gmock.h>

#include <cmath>

namespace posematchers {

inline bool poseWithin(double difference, int index, double positionTolerance, double angleTolerance,
                       ::testing::MatchResultListener* listener) {
    const double tolerance = index < 3 ? positionTolerance : angleTolerance;
    if (std::fabs(difference) <= tolerance) return true;
    *listener << "value " << index << " differs by " << difference;
    return false;
}

} // namespace posematchers

MATCHER_P3(PoseNear, expected, positionTolerance, angleTolerance, "is a pose near the expected one") {
    for (int i = 0; i < 6; ++i)
        if (!posematchers::poseWithin(static_cast<double>(arg[i]) - static_cast<double>(expected[i]), i,
                                      positionTolerance, angleTolerance, result_listener))
            return false;
    return true;
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
