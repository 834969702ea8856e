// A run read from a capture of the tracker's line or from a host's record
// file: the device's options, its set-ups, the records with their times and
// the silences of the tracker. Times are seconds from the run's start.
#pragma once

#include "is900/hostkit/OptionLine.h"
#include "is900/hostkit/RecordSchema.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace is900report {

struct TimedRecord {
    double time = 0;
    is900::hostkit::RecordView record;
};

struct Silence {
    double start = 0;  // the last byte or record before it
    double length = 0;
};

struct Run {
    std::string file;
    bool capture = false;
    double startEpoch = 0; // seconds since 1970 at time 0; 0 when unknown
    double end = 0;
    std::vector<is900::hostkit::OptionLine> options;
    std::vector<std::string> setUpCommands; // the first set-up's writes, as text
    std::vector<double> setUps;             // when each set-up's first command went out
    std::vector<double> trackerBytes;       // when each chunk from the tracker came (capture)
    std::vector<TimedRecord> records;
    std::vector<Silence> silences;
    std::vector<std::pair<double, std::string>> states; // a record file's status lines
};

class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws RunError naming the file when it is neither a capture nor a record file.
Run readRun(const std::string& path, double silenceSeconds);

// The tracker's binary records in the bytes it sent, given the set-up the
// device wrote: its output lists and units.
struct RecordDecoder {
    bool centimetres = false;
    std::vector<std::vector<int>> outputLists = std::vector<std::vector<int>>(13, std::vector<int>{2, 4, 1});
    std::string pending;

    void commands(const std::string& written);
    // Appends the records whose bytes are complete, stamped with time.
    void bytes(const std::string& read, double time, std::vector<TimedRecord>& records);
};

} // namespace is900report
