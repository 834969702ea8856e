#include "host/view/RecordView.h"

#include "is900/hostkit/Records.h"

#include <cstdio>
#include <sstream>

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

template <typename Record>
RecordView commonView(const Record& record, RecordKind kind, int station) {
    RecordView view;
    view.kind = kind;
    view.id = is900::hostkit::fromNetworkOrder(record.id);
    view.station = station;
    view.stamp = is900::hostkit::recordTime(record);
    return view;
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

RecordView viewTracker(const is900::hostkit::TraData& record, int station) {
    RecordView view = commonView(record, RecordKind::tracker, station);
    const uint32_t fields[6] = {record.x, record.y, record.z, record.azim, record.elev, record.roll};
    for (int i = 0; i < 6; ++i) view.pose[i] = is900::hostkit::decodePose(fields[i]);
    return view;
}

RecordView viewController(const is900::hostkit::ConData& record, int station) {
    RecordView view = commonView(record, RecordKind::controller, station);
    const uint32_t valuatorCount = is900::hostkit::valuatorCount(record) < is900::hostkit::maxValuators ? is900::hostkit::valuatorCount(record) : is900::hostkit::maxValuators;
    const uint32_t buttonCount = is900::hostkit::buttonCount(record) < is900::hostkit::maxButtons ? is900::hostkit::buttonCount(record) : is900::hostkit::maxButtons;
    view.valuators.reserve(valuatorCount);
    view.buttons.reserve(buttonCount);
    for (uint32_t i = 0; i < valuatorCount; ++i) view.valuators.push_back(is900::hostkit::decodeValuator(record.val[i]));
    for (uint32_t n = 1; n <= buttonCount; ++n) view.buttons.push_back(is900::hostkit::buttonPressed(record, n));
    return view;
}

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
