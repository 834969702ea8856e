#include "boundary/OptionLines.h"

#include "common/CoutCapture.h"
#include "common/OptionLinesBuilder.h"
#include "support/CLogH.h"

#include <gtest/gtest.h>

namespace {

CLogH plainLogger() {
    CLogH log;
    log.showDate = log.showTime = log.showThreadId = false;
    log.setName("CISX00");
    return log;
}

} // namespace

TEST(OptionLines, KeywordsCompareWithoutCaseButWhole) {
    EXPECT_EQ(compareNoCase("SENSORS", "sensors"), 0);
    EXPECT_EQ(compareNoCase("BaudRate", "baudrate"), 0);
    EXPECT_NE(compareNoCase("sensor", "sensors"), 0);
    EXPECT_EQ(compareNoCase("a", "b"), -1);
    EXPECT_EQ(compareNoCase("b", "A"), 1);
    EXPECT_EQ(compareNoCase("\xe9", "a"), 1) << "bytes compare as unsigned characters";
    EXPECT_EQ(compareNoCase(nullptr, ""), 0);
}

TEST(OptionLines, NumbersReadLikeStrtolWithA32BitLong) {
    EXPECT_EQ(parseNumber("38400"), 38400);
    EXPECT_EQ(parseNumber("0x9600"), 38400);
    EXPECT_EQ(parseNumber("0113000"), 38400);
    EXPECT_EQ(parseNumber("38400xyz"), 38400);
    EXPECT_EQ(parseNumber("  \t38400"), 38400);
    EXPECT_EQ(parseNumber("-12"), -12);
    EXPECT_EQ(parseNumber("+0x10"), 16);
    EXPECT_EQ(parseNumber("abc"), 0);
    EXPECT_EQ(parseNumber(""), 0);
    EXPECT_EQ(parseNumber(nullptr), 0);
    EXPECT_EQ(parseNumber("4294967297"), 2147483647);
    EXPECT_EQ(parseNumber("0xFFFFFFFF"), 2147483647);
    EXPECT_EQ(parseNumber("-4294967297"), -2147483647 - 1);
    EXPECT_EQ(parseNumber("99999999999999999999999"), 2147483647);
}

TEST(OptionLines, HostLinesAreReadSafely) {
    OptionLinesBuilder lines;
    lines.add("port", {"com2"});
    ConfigLine& line = lines.line(0);
    line.argCount = 1000;
    EXPECT_EQ(optionArgCount(line), maxOptionArgs);
    EXPECT_STREQ(optionArg(line, 5), "") << "a null argument reads as empty";
    EXPECT_STREQ(optionArg(line, 0), "com2");
    EXPECT_STREQ(optionArg(line, 64), "");
    line.keyword = nullptr;
    EXPECT_STREQ(optionKeyword(line), "");
    lines.get()->lineCount = 99;
    EXPECT_EQ(optionLineCount(*lines.get()), maxOptionLines);
}

TEST(OptionLines, ProblemReportNamesOptionAndLine) {
    CLogH log = plainLogger();
    OptionLinesBuilder lines;
    lines.add("baud", {"1", "2"}, 7);
    CoutCapture capture;
    reportOptionProblem(log, "CISX00: ", tooManyArgsText, "Baud at line ", lines.line(0));
    EXPECT_EQ(capture.text(), "CISX00: ERROR: CISX00: Too many args found for Baud at line 7.\n");
}

TEST(OptionLines, UnknownOptionsAreEachReported) {
    CLogH log = plainLogger();
    OptionLinesBuilder lines;
    lines.add("port", {"com1"}, 3).add("foo", {}, 12).add("Bar", {"1"}, 4000000000u);
    lines.line(0).used = true;
    {
        CoutCapture capture;
        EXPECT_FALSE(CConfigH::checkUnusedOptions(lines.get(), &log));
        EXPECT_EQ(capture.text(), "CISX00: ERROR: CConfigH: Unknown option \"foo\" found at line 12.\n"
                                  "CISX00: ERROR: CConfigH: Unknown option \"Bar\" found at line 4000000000.\n");
    }
    lines.line(1).used = lines.line(2).used = true;
    CoutCapture capture;
    EXPECT_TRUE(CConfigH::checkUnusedOptions(lines.get(), &log));
    EXPECT_EQ(capture.text(), "");

    OptionLinesBuilder empty;
    EXPECT_TRUE(CConfigH::checkUnusedOptions(empty.get(), &log));
}
