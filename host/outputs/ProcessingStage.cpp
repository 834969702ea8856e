#include "host/outputs/ProcessingStage.h"

#include <cstdio>

RecordView PublishedRecord::sent() const {
    RecordView view = this->view;
    if (processed) std::copy(processed->pose, processed->pose + 6, view.pose);
    return view;
}

std::vector<is900::hostkit::JsonField> processedFields(const PublishedRecord& record) {
    if (!record.processed) return {};
    static const char* const names[6] = {"x", "y", "z", "azim", "elev", "roll"};
    std::string raw = "{";
    char text[48];
    for (int i = 0; i < 6; ++i) {
        std::snprintf(text, sizeof text, "%s\"%s\":%.5f", i ? "," : "", names[i], record.view.pose[i]);
        raw += text;
    }
    std::snprintf(text, sizeof text, "%.3f", record.processed->standsFor);
    return {{"processing", jsonString(record.processed->processing)}, {"standsFor", text}, {"raw", raw + "}"}};
}

std::string recordJsonLine(const PublishedRecord& record, const std::vector<is900::hostkit::JsonField>& extraFields) {
    if (!record.processed) return jsonLine(record.view, extraFields);
    std::vector<is900::hostkit::JsonField> fields = processedFields(record);
    fields.insert(fields.end(), extraFields.begin(), extraFields.end());
    return jsonLine(record.sent(), fields);
}

ProcessingStage::ProcessingStage(const std::vector<DeviceSection>& devices) {
    for (const DeviceSection& device : devices) {
        if (!device.processing.any()) continue;
        for (int station : device.setup.trackerStations()) {
            const is900::hostkit::PoseProcessing processing = stationProcessing(device, station);
            if (processing.any()) settings.emplace(Station{device.name, station}, Settings{processing, processing.describe()});
        }
    }
}

bool ProcessingStage::processes(const PublishedRecord& record) const {
    return record.view.kind == RecordKind::tracker && settings.count(Station{record.device, record.view.station});
}

void ProcessingStage::apply(PublishedRecord& record) {
    if (!processes(record)) return;
    const Station station{record.device, record.view.station};
    const Settings& chosen = settings.at(station);
    auto processor = processors.find(station);
    if (processor == processors.end()) processor = processors.emplace(station, chosen.processing).first;
    const double seconds = std::chrono::duration<double>(record.handedOver.time_since_epoch()).count();
    const std::array<float, 6> pose = processor->second.process(seconds, record.view.pose);
    ProcessedPose processed;
    std::copy(pose.begin(), pose.end(), processed.pose);
    processed.standsFor = record.view.stamp + chosen.processing.predictMilliseconds / 1000;
    processed.processing = chosen.description;
    record.processed = std::move(processed);
}
