#include "host/view/RecordView.h"

#include "is900/hostkit/Records.h"

namespace {

template <typename Record>
RecordView commonView(const Record& record, RecordKind kind, int station) {
    RecordView view;
    view.kind = kind;
    view.id = is900::hostkit::fromNetworkOrder(record.id);
    view.station = station;
    view.stamp = is900::hostkit::recordTime(record);
    return view;
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

std::vector<uint32_t> markedIds(const unsigned char* mask) {
    std::vector<uint32_t> ids;
    for (uint32_t id = 1; id <= is900::hostkit::maxRecordId; ++id)
        if (is900::hostkit::marked(mask, id)) ids.push_back(id);
    return ids;
}
