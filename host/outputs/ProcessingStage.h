// The host's processing of published poses (the predict and filter keys),
// station by station, run on the hub's dispatcher as each record passes:
// nothing of it runs on a receiving thread. Stations without processing
// pass untouched.
#pragma once

#include "host/config/ConfigFile.h"
#include "host/outputs/Output.h"
#include "is900/hostkit/PoseProcessing.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// A processed record's own fields in its JSON line, after the record's (which
// carry the processed pose): "processing" (what was done), "standsFor" (the
// moment the pose is predicted for, seconds since 1970) and "raw" (the
// device's pose, as x, y, z, azim, elev, roll). None for other records.
std::vector<is900::hostkit::JsonField> processedFields(const PublishedRecord& record);
// The record's JSON line, with extraFields after the processed fields.
std::string recordJsonLine(const PublishedRecord& record, const std::vector<is900::hostkit::JsonField>& extraFields = {});

class ProcessingStage {
public:
    explicit ProcessingStage(const std::vector<DeviceSection>& devices);
    bool empty() const { return settings.empty(); }
    bool processes(const PublishedRecord& record) const;
    // Sets record.processed for a tracker record of a processed station.
    void apply(PublishedRecord& record);

private:
    using Station = std::pair<std::string, int>;
    struct Settings {
        is900::hostkit::PoseProcessing processing;
        std::string description; // written once, not for every record
    };
    std::map<Station, Settings> settings;
    std::map<Station, is900::hostkit::PoseProcessor> processors;
};
