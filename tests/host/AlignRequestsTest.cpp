// The web view's fits on synthetic poses: a room turned and moved by a known
// transform, a wand pivoted about its tip, eyes touched with a tip.
#include "host/outputs/web/WebRequests.h"
#include "rules/Rotation.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using json = nlohmann::json;

namespace {

const double metresPerFoot = 0.3048;

// A device with a transmitter offset of 1 foot along x and a sensor offset on station 2.
bool lab(const std::string& name, DeviceSection& device) {
    device.name = name;
    device.options = parseConfigText("sensors 1 1\ntransmitteroffset 1 0 0\nsensoroffset 2 0.1 0 0\n", "lab.cfg");
    device.setup = is900::hostkit::readDeviceSetup(device.options);
    return name == "lab";
}

// still poses at a point (feet), the angles given.
json held(const std::array<double, 3>& at, const std::array<double, 3>& angles = {}) {
    return json(std::vector<std::array<double, 6>>(10, {at[0], at[1], at[2], angles[0], angles[1], angles[2]}));
}

// Where a point fixed to a sensor (offset in its frame) is, for the sensor's pose: p . M + position.
std::array<double, 3> carried(const std::array<double, 3>& offset, const std::array<double, 3>& position,
                              const std::array<double, 3>& angles) {
    double m[3][3];
    rotation::orientationMatrix(angles[0], angles[1], angles[2], m);
    std::array<double, 3> point = position;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) point[j] += offset[i] * m[i][j];
    return point;
}

// The line's keyword and numbers; a unit word is left out.
void expectLine(const std::string& line, const std::string& keyword, const std::vector<double>& numbers) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    EXPECT_EQ(word, keyword) << line;
    std::vector<double> read;
    while (words >> word)
        if (word != "m") read.push_back(std::stod(word));
    ASSERT_EQ(read.size(), numbers.size()) << line;
    for (std::size_t i = 0; i < read.size(); ++i) EXPECT_NEAR(read[i], numbers[i], 1e-4) << line;
}

json roomRequest(const std::vector<std::array<double, 3>>& measured, int station = 1) {
    json points = json::array();
    for (const auto& p : measured) {
        // The room: turned 90 degrees about y (x' = z, z' = -x), then moved by (1.5, 0, -0.25) m.
        const std::array<double, 3> room{{p[2] * metresPerFoot + 1.5, p[1] * metresPerFoot, -p[0] * metresPerFoot - 0.25}};
        points.push_back({{"room", room}, {"poses", held(p)}});
    }
    return {{"device", "lab"}, {"station", station}, {"points", points}};
}

} // namespace

TEST(AlignRequests, RoomTipAndEyesGiveTheLinesOfKnownTransformsAndRefuseWhatTheyCannotFit) {
    const std::vector<std::array<double, 3>> corners = {{{1, 0, 0}}, {{0, 2, 0}}, {{0, 0, 3}}, {{1, 1, 1}}};
    const WebReply room = alignRoom(roomRequest(corners).dump(), lab);
    ASSERT_EQ(room.status, 200) << room.body;
    const json fit = json::parse(room.body);
    // The device's offset of 1 foot along x is turned with the room: -1 foot along z.
    expectLine(fit["lines"][0], "transmitteroffset", {1.5, 0, -0.25 - metresPerFoot});
    expectLine(fit["lines"][1], "transmitterrotation", {0, 1, 0, 90});
    EXPECT_NEAR(fit["translation"][0].get<double>(), 1.5 / metresPerFoot, 1e-4);
    EXPECT_NEAR(fit["rotation"][2][0].get<double>(), 1, 1e-6) << "row convention: z maps to x";
    EXPECT_LT(fit["rmsMm"].get<double>(), 0.01);
    EXPECT_EQ(fit["residualsMm"].size(), 4u);

    json moved = roomRequest(corners);
    moved["points"][1]["poses"][9][0] = 0.1; // 30 mm off at the end
    const std::vector<std::pair<json, std::string>> refused = {
        {roomRequest({{{0, 0, 0}}, {{1, 0, 0}}, {{2, 0, 0}}}), "collinear"},
        {moved, "point 2: the sensor moved"},
        {roomRequest(corners, 3), "station 3 is not a tracker station"},
        {json{{"device", "attic"}, {"station", 1}, {"points", json::array()}}, "no device named 'attic'"},
    };
    for (const auto& bad : refused) {
        const WebReply reply = alignRoom(bad.first.dump(), lab);
        EXPECT_EQ(reply.status, 422);
        EXPECT_NE(json::parse(reply.body)["error"].get<std::string>().find(bad.second), std::string::npos) << reply.body;
    }
    EXPECT_EQ(alignRoom("{\"device\":\"lab\"", lab).status, 400);
    EXPECT_EQ(alignRoom("{\"device\":\"lab\",\"station\":1,\"points\":{}}", lab).status, 400);

    // A tip half a foot below the wand's sensor, resting at (1, 2, 3):
    // station 2's offset of 0.1 foot along x is kept and the tip added.
    json swivel = json::array();
    for (const std::array<double, 3>& angles : std::vector<std::array<double, 3>>{
             {{0, 0, 0}}, {{30, 0, 0}}, {{0, 30, 0}}, {{0, 0, 30}}, {{-30, 20, 10}}, {{20, -25, 0}}}) {
        const std::array<double, 3> at = carried({{0, 0, 0.5}}, {{1, 2, 3}}, angles);
        swivel.push_back({at[0], at[1], at[2], angles[0], angles[1], angles[2]});
    }
    const WebReply tip = alignPivot(json{{"device", "lab"}, {"station", 2}, {"poses", swivel}}.dump(), lab);
    ASSERT_EQ(tip.status, 200) << tip.body;
    expectLine(json::parse(tip.body)["line"], "sensoroffset", {2, 0.1 * metresPerFoot, 0, -0.5 * metresPerFoot});

    // Eyes 0.1 foot either side of a turned head's sensor and 0.2 foot in front of it.
    const std::array<double, 3> head{{1, 5, 2}}, turned{{90, 10, 0}};
    json eyes = json::array();
    for (double side : {-0.1, 0.1})
        eyes.push_back({{"head", held(head, turned)}, {"tip", held(carried({{side, 0, -0.2}}, head, turned))}});
    const WebReply eyeReply = alignEyes(json{{"device", "lab"}, {"station", 1}, {"eyes", eyes}}.dump(), lab);
    ASSERT_EQ(eyeReply.status, 200) << eyeReply.body;
    const json both = json::parse(eyeReply.body);
    EXPECT_NEAR(both["eyesMm"][0][0].get<double>(), -0.1 * 304.8, 0.01);
    expectLine(both["line"], "sensoroffset", {1, 0, 0, -0.2 * metresPerFoot});
}
