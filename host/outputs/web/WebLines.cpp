#include "host/outputs/web/WebLines.h"

#include "host/view/Orientation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

float unitFactor(const std::string& word) {
    if (sameKeyword(word, "inches")) return 0.083333336f;
    if (sameKeyword(word, "meters") || sameKeyword(word, "m")) return 3.28084f;
    if (sameKeyword(word, "cm")) return 0.0328084f;
    return 1.0f;
}

// The axis-angle rotation the device builds for a rotation option, row by row.
void axisAngleRows(const double axis[3], double degrees, double rows[3][3]) {
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    const double angle = length > 0 ? degrees * 3.14159265358979323846 / 180.0 : 0.0;
    const double x = length > 0 ? axis[0] / length : 0, y = length > 0 ? axis[1] / length : 0,
                 z = length > 0 ? axis[2] / length : 0;
    const double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    const double result[3][3] = {{k * x * x + c, k * x * y + z * s, k * x * z - y * s},
                                 {k * x * y - z * s, k * y * y + c, k * y * z + x * s},
                                 {k * x * z + y * s, k * y * z - x * s, k * z * z + c}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rows[i][j] = result[i][j];
}

double argument(const OptionLine& option, std::size_t index) { return std::strtod(option.args[index].c_str(), nullptr); }

} // namespace

std::string webRecordKey(const RecordView& view) {
    return view.device + (view.kind == RecordKind::tracker ? "/tracker/" : "/controller/") + std::to_string(view.id);
}

std::string webRecordLine(const RecordView& view) {
    std::string line = jsonLine(view);
    line.pop_back(); // the closing brace
    if (view.kind == RecordKind::tracker) {
        const Quaternion q = orientationQuaternion(view.pose[3], view.pose[4], view.pose[5]);
        line += ",\"quat\":[" + number(q.x) + "," + number(q.y) + "," + number(q.z) + "," + number(q.w) + "]";
    }
    return line + "}";
}

std::string webSetupLine(const std::string& device, const std::vector<OptionLine>& options) {
    bool cave = true, placed = false;
    double position[3] = {0, 0, 0};
    double rows[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const OptionLine& option : options) {
        const std::size_t n = option.args.size();
        if ((sameKeyword(option.keyword, "cavecoord") || sameKeyword(option.keyword, "cavecoordinates")) && n == 1) {
            cave = sameKeyword(option.args[0], "yes") || sameKeyword(option.args[0], "on");
        } else if (sameKeyword(option.keyword, "transmitteroffset") && (n == 3 || n == 4)) {
            const float factor = n == 4 ? unitFactor(option.args[3]) : 1.0f;
            for (int i = 0; i < 3; ++i) position[i] = argument(option, i) * factor;
            placed = true;
        } else if (sameKeyword(option.keyword, "transmitterrotation") && n == 4) {
            const double axis[3] = {argument(option, 0), argument(option, 1), argument(option, 2)};
            axisAngleRows(axis, argument(option, 3), rows);
            placed = true;
        } else if (sameKeyword(option.keyword, "transmitterrotationmatrix") && n == 9) {
            for (int i = 0; i < 9; ++i) rows[i / 3][i % 3] = argument(option, i);
            placed = true;
        }
    }
    std::ostringstream line;
    line << "{\"type\":\"setup\",\"device\":" << jsonString(device) << ",\"cave\":" << (cave ? "true" : "false")
         << ",\"transmitter\":";
    if (!placed) return line.str() + "null}";
    line << "{\"position\":[" << number(position[0]) << "," << number(position[1]) << "," << number(position[2])
         << "],\"axes\":[";
    for (int i = 0; i < 3; ++i)
        line << (i ? "," : "") << "[" << number(rows[i][0]) << "," << number(rows[i][1]) << "," << number(rows[i][2])
             << "]";
    return line.str() + "]}}";
}
