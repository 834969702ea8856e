#include "support/CLogH.h"

#include "common/CoutCapture.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

CLogH plainLogger() {
    CLogH log;
    log.showDate = false;
    log.showTime = false;
    log.showThreadId = false;
    return log;
}

std::string infoLine(const CLogH& log, const char* text) {
    CoutCapture capture;
    log.info(text, true);
    return capture.text();
}

// Pattern letters: 'A' an upper-case letter, 'a' a lower-case one, '9' a digit;
// every other character stands for itself.
bool matchesShape(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char p = pattern[i];
        const bool ok = p == 'A' ? (c >= 'A' && c <= 'Z')
                      : p == 'a' ? (c >= 'a' && c <= 'z')
                      : p == '9' ? (c >= '0' && c <= '9')
                                 : c == p;
        if (!ok) return false;
    }
    return true;
}

// The three numbers the debug test reads.
void setDebugNumbers(CLogH& log, int32_t level, int32_t threshold, int32_t group) {
    log.debugLevel = level;
    log.debugThreshold = threshold;
    log.debugGroup = group;
}

// Three lines, one at each level but info's.
void writeErrorWarningDebug(const CLogH& log) {
    log.error("e", true);
    log.warning("w", true);
    log.debug("d", true);
}

} // namespace

TEST(Logger, DefaultsMatchTheHostRecord) {
    CLogH log;
    EXPECT_TRUE(log.showDate && log.showTime && log.showThreadId && log.enabled);
    EXPECT_STREQ(log.name, "MESSAGE");
    EXPECT_STREQ(log.infoLabel, "INFO");
    EXPECT_STREQ(log.errorLabel, "ERROR");
    EXPECT_STREQ(log.warningLabel, "WARNING");
    EXPECT_STREQ(log.debugLabel, "DEBUG");
    EXPECT_EQ(log.debugThreshold, 1);
    EXPECT_EQ(log.debugLevel, 0);
    EXPECT_EQ(log.debugGroup, 0);
    // Text slots are NUL-padded to their end, as a host comparing bytes expects.
    for (int i = 8; i < CLogH::textSize; ++i) ASSERT_EQ(log.name[i], 0);
}

TEST(Logger, LineLayoutFollowsTheStampFlags) {
    CLogH log = plainLogger();
    EXPECT_EQ(infoLine(log, "hello"), "MESSAGE: INFO: hello\n");

    log.showThreadId = true;
    const std::string withThread = "MESSAGE[" + std::to_string(platform::currentThreadId()) + "]: INFO: hello\n";
    EXPECT_EQ(infoLine(log, "hello"), withThread);

    log.showThreadId = false;
    log.showTime = true;
    EXPECT_TRUE(matchesShape(infoLine(log, "t"), "99:99:99 MESSAGE: INFO: t\n"));

    log.showDate = true;
    EXPECT_TRUE(matchesShape(infoLine(log, "d"), "Aaa 99 99:99:99 MESSAGE: INFO: d\n"));
}

TEST(Logger, LevelsUseTheirLabelsAndOpenLinesStayOpen) {
    CLogH log = plainLogger();
    log.debugLevel = 1;
    CoutCapture capture;
    writeErrorWarningDebug(log);
    log.info("open ", false);
    std::cout << 42;
    EXPECT_EQ(capture.text(), "MESSAGE: ERROR: e\nMESSAGE: WARNING: w\nMESSAGE: DEBUG: d\nMESSAGE: INFO: open 42");
}

TEST(Logger, DebugTestComparesSignedLevels) {
    CLogH log = plainLogger();
    setDebugNumbers(log, 0, 0, 0);
    EXPECT_FALSE(log.debugOn()) << "level 0 switches debug output off whatever else holds";

    setDebugNumbers(log, 3, 4, 3);
    EXPECT_TRUE(log.debugOn()) << "a level equal to the group passes below the threshold";
    log.debugGroup = 1;
    EXPECT_FALSE(log.debugOn());
    log.debugLevel = 4;
    EXPECT_TRUE(log.debugOn());

    setDebugNumbers(log, -1, 1, 3);
    EXPECT_FALSE(log.debugOn()) << "-1 is below the threshold, not a large unsigned value";

    setDebugNumbers(log, 3, 4, 1);
    CoutCapture capture;
    log.debug("hidden", true);
    log.debugf("hidden %d\n", 1);
    EXPECT_EQ(capture.text(), "");
}

TEST(Logger, DisabledLoggerWritesNothingButStillAnswersTheDebugTest) {
    CLogH log = plainLogger();
    log.enabled = false;
    log.debugLevel = 5;
    CoutCapture capture;
    log.info("i", true);
    writeErrorWarningDebug(log);
    log.debugf("f\n");
    EXPECT_EQ(capture.text(), "");
    EXPECT_TRUE(log.debugOn());
}

TEST(Logger, DebugfFormatsIntoABoundedLine) {
    CLogH log = plainLogger();
    log.debugLevel = 1;
    {
        CoutCapture capture;
        log.debugf("CRS232H: Opening %s.\n", "com1");
        EXPECT_EQ(capture.text(), "MESSAGE: DEBUG: CRS232H: Opening com1.\n");
    }
    const std::string longText(400, 'x');
    CoutCapture capture;
    log.debugf("%s", longText.c_str());
    EXPECT_EQ(capture.text(), "MESSAGE: DEBUG: " + std::string(255, 'x'));
}

TEST(Logger, LongNamesAreCutInsideTheirSlot) {
    CLogH log = plainLogger();
    const std::string longName(150, 'n');
    log.setName(longName.c_str());
    EXPECT_EQ(std::string(log.name), std::string(99, 'n'));
    EXPECT_EQ(std::memcmp(log.infoLabel, "INFO", 5), 0) << "the next slot is untouched";

    // A host record whose slot has no terminating NUL is still written within the slot.
    std::memset(log.name, 'h', sizeof log.name);
    EXPECT_EQ(infoLine(log, "x"), std::string(100, 'h') + ": INFO: x\n");
}

TEST(Logger, CopyIsByteForByteAndIndependent) {
    CLogH host;
    host.showDate = false;
    host.debugLevel = 7;
    host.debugGroup = 5;
    host.setName("HOST");
    std::strcpy(host.errorLabel, "ERR");

    CLogH copy(host);
    EXPECT_EQ(std::memcmp(&copy, &host, sizeof(CLogH)), 0);
    host.setName("CHANGED");
    host.debugLevel = 1;
    EXPECT_STREQ(copy.name, "HOST");
    EXPECT_EQ(copy.debugLevel, 7);
}
