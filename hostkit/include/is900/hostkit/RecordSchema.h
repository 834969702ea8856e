// The host's JSON lines and record files, written and read in one place.
// A JSON line is one object on one line: a tracker or controller record, a
// device's status, a device's tracking quality, or, first in a record file,
// the recording's header with its format version. Writers keep the field
// order readers rely on: "type" first, "device" last of a record's own
// fields; fields a writer adds to a record come after them.
#pragma once

#include "is900/hostkit/DeviceSetup.h"
#include "is900/hostkit/QualityFigures.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace is900 {
namespace hostkit {

const int recordFormatVersion = 2;

enum class RecordKind { tracker, controller };

// A published record, decoded.
struct RecordView {
    RecordKind kind = RecordKind::tracker;
    std::string device; // the host's name for the device that published it; may be empty
    uint32_t id = 0;
    int station = 0;
    double stamp = 0; // the record's time stamp, seconds since 1970
    float pose[6] = {0, 0, 0, 0, 0, 0}; // x, y, z in feet; azimuth, elevation, roll
    std::vector<bool> buttons;
    std::vector<float> valuators;
};

// A device's state as a host publishes it.
struct StatusLine {
    std::string device;
    std::string state;
    int attempt = 1;
    int retryInSeconds = 0;
    double time = 0;       // seconds since 1970
    double lastRecord = 0; // seconds since 1970; 0: no record yet (written as null)
};

struct RecordingStation {
    int station = 0;
    bool tracker = false;
    bool controller = false;
};

// What a record file's first line says of the device that was recorded:
// a summary for readers, and the option lines it was given, from which a
// replay reads everything the device did to its samples.
struct RecordingHeader {
    int version = recordFormatVersion;
    bool centimetres = false;
    bool cave = true;
    std::vector<RecordingStation> stations;
    std::vector<OptionLine> options; // numbered from 1 in file order
};

enum class LineType { record, status, recording, quality };

struct JsonLine {
    LineType type = LineType::record;
    RecordView record;
    StatusLine status;
    RecordingHeader recording;
    DeviceQuality quality; // as its line carries it: the recent gaps only, no states or set-ups
};

struct RecordFile {
    RecordingHeader header;
    std::vector<JsonLine> lines; // records and status lines, in file order
};

// A field a writer adds to a record's line: its key and its value as JSON text.
struct JsonField {
    std::string key;
    std::string value; // written as it is: a number, a list, a quoted string, ...
};

class SchemaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Each without the line end.
std::string jsonLine(const RecordView& record);
// The record's line with extraFields after its own fields, in their order.
std::string jsonLine(const RecordView& record, const std::vector<JsonField>& extraFields);
std::string statusJsonLine(const StatusLine& status);
std::string recordingHeaderLine(const RecordingHeader& header);
// {"type":"quality","device":D,"time":T,"stations":[{"station":N,"records":R,
// "rate":per second,"period":s,"gaps":G,"longestGap":s,"ongoingGap":s,
// "moving":B,"positionNoiseMm":mm,"orientationNoiseDeg":degrees,
// "recentGaps":[{"start":s,"length":s,"ongoing":B},...]},...]}
// The fields of StationQuality of the same names ("gaps" is gapCount,
// "recentGaps" the last recentGapsInLine of its gaps); an empty figure is
// null. The time is the snapshot's, on its caller's clock.
const std::size_t recentGapsInLine = 10;
std::string qualityJsonLine(const DeviceQuality& quality);
// A JSON string literal with its quotes.
std::string jsonString(const std::string& text);

// The header of a recording of a device given these option lines.
RecordingHeader recordingHeaderOf(const std::vector<OptionLine>& options);

// Throws SchemaError saying what is wrong with the line. A recording header
// of another format version is refused, naming both versions.
JsonLine readJsonLine(const std::string& line);
// Throws SchemaError naming the file, and the line number of a bad line.
RecordFile readRecordFile(const std::string& path);

} // namespace hostkit
} // namespace is900
