#include "is900/table/RecordTable.h"

#include <cstdio>

namespace is900 {
namespace hostkit {
namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string buttonsText(const std::vector<bool>& buttons) {
    std::string text;
    for (std::size_t n = 0; n < buttons.size(); ++n) text += buttons[n] ? static_cast<char>('0' + (n + 1) % 10) : '-';
    return text;
}

std::string valuatorsText(const std::vector<float>& valuators) {
    std::string text;
    for (float value : valuators) text += (text.empty() ? "" : " ") + format("%+.3f", value);
    return text;
}

std::string tableRow(const LiveRecord& record) {
    const RecordView& view = record.view;
    char row[256];
    if (view.kind == RecordKind::tracker)
        std::snprintf(row, sizeof row, "%-10.10s %-10s %3u %3d %9.4f %9.4f %9.4f %8.2f %8.2f %8.2f %-10s %-16s",
                      view.device.c_str(), "tracker", view.id, view.station, view.pose[0], view.pose[1], view.pose[2], view.pose[3], view.pose[4],
                      view.pose[5], "", "");
    else
        std::snprintf(row, sizeof row, "%-10.10s %-10s %3u %3d %9s %9s %9s %8s %8s %8s %-10s %-16s",
                      view.device.c_str(), "controller", view.id,
                      view.station, "", "", "", "", "", "", buttonsText(view.buttons).c_str(),
                      valuatorsText(view.valuators).c_str());
    char stats[64];
    std::snprintf(stats, sizeof stats, " %6.1f %7.2f\n", record.rate, record.ageSeconds);
    return std::string(row) + stats;
}

} // namespace

std::string formatTable(const std::vector<LiveRecord>& records) {
    char heading[256];
    std::snprintf(heading, sizeof heading, "%-10s %-10s %3s %3s %9s %9s %9s %8s %8s %8s %-10s %-16s %6s %7s\n",
                  "DEVICE", "KIND", "ID",
                  "ST", "X ft", "Y ft", "Z ft", "AZIM", "ELEV", "ROLL", "BUTTONS", "VALUATORS", "RATE", "AGE s");
    std::string table = heading;
    for (const LiveRecord& record : records) table += tableRow(record);
    if (records.empty()) table += "(no record published yet)\n";
    return table;
}

} // namespace hostkit
} // namespace is900
