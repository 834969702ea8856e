#include "host/config/ConfigRewrite.h"

#include <gtest/gtest.h>

namespace {

std::string rewrite(const std::string& text, const std::string& section, const std::vector<std::string>& lines) {
    return rewriteCorrections(text, section, correctionLines(lines));
}

std::string refusal(const std::vector<std::string>& lines) {
    try {
        correctionLines(lines);
    } catch (const ConfigError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(ConfigRewrite, ReplacesOneSectionsCorrectionsInPlaceAndKeepsEveryOtherByte) {
    const std::string before = "# two rooms\n"
                               "[device a]\n"
                               "sensors 1 1\n"
                               "transmitteroffset 1 2 3\n"
                               "[device b]   # the lab\n"
                               "sensors 1 1\n"
                               "TransmitterRotationMatrix 1 0 0 0 1 0 0 0 1  # old\n"
                               "sensoroffset 2 0 0 1 inches\n"
                               "transmitteroffset 0 0 0.5\n"
                               "sensorrotation 2 0 0 1 90\n"
                               "\n"
                               "# the end\n";
    const std::string after = "# two rooms\n"
                              "[device a]\n"
                              "sensors 1 1\n"
                              "transmitteroffset 1 2 3\n"
                              "[device b]   # the lab\n"
                              "sensors 1 1\n"
                              "transmitteroffset 1.5 0 -0.25 m\n"
                              "transmitterrotation 0 1 0 90\n"
                              "sensorrotation 2 1 0 0 45\n"
                              "sensoroffset 2 0 0 0.1 m\n"
                              "sensoroffset 1 0.01 0 0\n"
                              "\n"
                              "# the end\n";
    EXPECT_EQ(rewrite(before, "b",
                      {"sensoroffset 2 0 0 0.1 m", "transmitteroffset 1.5 0 -0.25 M", "transmitterrotation 0 1 0 90",
                       "sensorrotation 2 1 0 0 45", "SENSOROFFSET 1 1e-2 -0 0"}),
              after);

    // Without sections the whole file is the device's; CR LF and a last
    // line without its end are kept, the new line ends like the first.
    EXPECT_EQ(rewrite("sensors 1\r\nsensorrotation 1 0 0 1 30\r\n# end", "", {"sensoroffset 1 0 0 2 cm"}),
              "sensors 1\r\nsensorrotation 1 0 0 1 30\r\nsensoroffset 1 0 0 2 cm\r\n# end");
    EXPECT_EQ(rewrite("sensors 1\nsensoroffset 1 0 0 1", "", {"sensoroffset 1 0 0 3"}), "sensors 1\nsensoroffset 1 0 0 3\n");
    EXPECT_THROW(rewrite(before, "c", {"sensoroffset 1 0 0 3"}), ConfigError);
}

TEST(ConfigRewrite, WritesOnlyBoundedCorrectionsEachOnce) {
    EXPECT_EQ(refusal({"cavecoord on"}),
              "'cavecoord on': only transmitteroffset, transmitterrotation, sensoroffset and sensorrotation lines may "
              "be written");
    EXPECT_NE(refusal({"transmitterrotationmatrix 1 0 0 0 1 0 0 0 1"}).find("only transmitteroffset"), std::string::npos);
    EXPECT_EQ(refusal({"sensoroffset 2 0 0 101 m"}), "'sensoroffset 2 0 0 101 m': 101 is outside -100 to 100");
    EXPECT_EQ(refusal({"transmitterrotation 0 1 0 361"}), "'transmitterrotation 0 1 0 361': 361 is outside -360 to 360");
    EXPECT_EQ(refusal({"transmitteroffset 0 nan 0"}), "'transmitteroffset 0 nan 0': 'nan' is not a number");
    EXPECT_EQ(refusal({"transmitteroffset 0 1e999 0"}), "'transmitteroffset 0 1e999 0': '1e999' is not a number");
    EXPECT_EQ(refusal({"transmitteroffset 0 2m 0"}), "'transmitteroffset 0 2m 0': '2m' is not a number");
    EXPECT_EQ(refusal({"transmitteroffset 0 0 0 yards"}),
              "'transmitteroffset 0 0 0 yards': the unit 'yards' is not one of feet, inches, meters, m, cm");
    EXPECT_EQ(refusal({"sensorrotation 1 0 0 0 90"}), "'sensorrotation 1 0 0 0 90': the axis is zero");
    EXPECT_EQ(refusal({"sensoroffset 9 0 0 0"}), "'sensoroffset 9 0 0 0': station '9' is not 1 to 8");
    EXPECT_EQ(refusal({"transmitteroffset 0 0"}), "'transmitteroffset 0 0': takes X Y Z and optionally a unit");
    EXPECT_EQ(refusal({"sensoroffset 1 0 0 1", "sensoroffset 2 0 0 1", "sensoroffset 1 0 0 2"}),
              "'sensoroffset 1 0 0 2': sets what an earlier line of the write sets");
    EXPECT_EQ(refusal({}), "no lines to write");
}

TEST(ConfigRewrite, TheDeviceKeepsThePortAndCaptureTheHostGaveIt) {
    const std::vector<OptionLine> running = parseConfigText("port /dev/pts/7\nsensors 1\ncapture /tmp/a.cap 5\n", "r");
    const std::vector<OptionLine> kept =
        withHostLines(parseConfigText("sensors 1\nport /dev/ttyUSB0\nsensoroffset 1 0 0 1\n", "f"), running);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[1].lineNumber, 2u);
    EXPECT_EQ(kept[1].args, std::vector<std::string>{"/dev/pts/7"});
    EXPECT_EQ(kept[2].keyword, "sensoroffset");
    EXPECT_EQ(kept[3].args, (std::vector<std::string>{"/tmp/a.cap", "5"}));
}
