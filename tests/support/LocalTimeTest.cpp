// Record time stamps carry the zone of their own second, also when the zone
// changes while the process runs.
#if !defined(_WIN32)

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

namespace {

void useZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
    // Into a new second, so that no stamp of the old zone is current.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
}

} // namespace

TEST(LocalTime, StampsFollowTheZoneFromTheNextSecond) {
    const char* previous = std::getenv("TZ");
    const std::string restore = previous ? previous : "";
    useZone("CET-1");
    platform::LocalTimeStamp stamp = platform::currentTime();
    EXPECT_EQ(-60, stamp.minutesWest);
    EXPECT_EQ(0, stamp.daylightSaving);
    useZone("EST5");
    stamp = platform::currentTime();
    EXPECT_EQ(300, stamp.minutesWest);
    useZone("XST3XDT,J1/0,J365/25");
    stamp = platform::currentTime();
    EXPECT_EQ(180, stamp.minutesWest) << "the standard offset, as the C runtime's millisecond clock gives it";
    EXPECT_EQ(1, stamp.daylightSaving);
    if (previous) setenv("TZ", restore.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

#endif
