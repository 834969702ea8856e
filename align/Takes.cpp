#include "align/Takes.h"

#include "is900/hostkit/RecordSchema.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <unistd.h>

#ifdef IS900_ALIGN_EVENTS
#include <httplib.h>
#endif

namespace is900align {

namespace {

using Json = nlohmann::json;
using is900::hostkit::AlignmentError;

const double takenSeconds = 1.0; // the still second a press takes

// A processed station's line carries the device's own pose as "raw": the
// alignment is of the device's poses, never of predicted or filtered ones.
Pose poseOf(const Json& line) {
    const Json& pose = line.contains("raw") ? line["raw"] : line;
    Pose values{};
    const char* const names[6] = {"x", "y", "z", "azim", "elev", "roll"};
    for (int i = 0; i < 6; ++i) values[i] = pose.at(names[i]).get<float>();
    return values;
}

} // namespace

void Takes::add(const std::string& line) {
    const Json object = Json::parse(line, nullptr, false);
    if (!object.is_object() || !object.contains("type")) return;
    const std::string type = object["type"].is_string() ? object["type"].get<std::string>() : "";
    if (type == "recording") {
        setup = is900::hostkit::readDeviceSetup(is900::hostkit::readJsonLine(line).recording.options);
        hasHeader = true;
        return;
    }
    if (type != "tracker" && type != "controller") return;
    const std::string from = object.value("device", std::string());
    if (stations.empty() && device.empty()) device = from;
    if (from != device) return;
    StationTakes& station = stations[object.at("station").get<int>()];
    const double time = object.at("time").get<double>();
    if (type == "tracker") {
        station.poses.push_back({time, poseOf(object)});
        return;
    }
    const Json& buttons = object.at("buttons");
    const bool down = !buttons.empty() && buttons[0].get<int>() != 0;
    if (down && !station.buttonDown) station.presses.push_back(time);
    station.buttonDown = down;
}

std::size_t Takes::pressCount(int station) const {
    const auto found = stations.find(station);
    return found == stations.end() ? 0 : found->second.presses.size();
}

std::vector<Pose> Takes::between(int station, double start, double end) const {
    std::vector<Pose> poses;
    const auto found = stations.find(station);
    if (found == stations.end()) return poses;
    for (const TimedPose& timed : found->second.poses)
        if (timed.time >= start && timed.time < end) poses.push_back(timed.pose);
    return poses;
}

std::vector<std::vector<Pose>> Takes::points(int station) const {
    std::vector<std::vector<Pose>> taken;
    const auto found = stations.find(station);
    if (found == stations.end()) return taken;
    for (double press : found->second.presses) taken.push_back(between(station, press - takenSeconds, press));
    if (!taken.empty()) return taken;
    // No presses: each stretch in which every second's poses pass as held.
    const std::vector<TimedPose>& poses = found->second.poses;
    bool holding = false;
    std::size_t first = 0;
    for (std::size_t last = 0; last < poses.size(); ++last) {
        while (poses[last].time - poses[first].time > takenSeconds) ++first;
        if (poses[last].time - poses[first].time < takenSeconds * 0.9) continue;
        std::vector<Pose> window;
        for (std::size_t i = first; i <= last; ++i) window.push_back(poses[i].pose);
        bool still = true;
        try {
            is900::hostkit::heldPosition(window);
        } catch (const AlignmentError&) {
            still = false;
        }
        if (still && holding) taken.back() = window;
        if (still && !holding) taken.push_back(window);
        holding = still;
    }
    return taken;
}

std::vector<Pose> Takes::swivel(int station) const {
    const auto found = stations.find(station);
    if (found == stations.end()) return {};
    const std::vector<double>& presses = found->second.presses;
    if (presses.size() >= 2) return between(station, presses[0], presses[1]);
    return between(station, -1e300, 1e300);
}

namespace {

void readLines(std::istream& in, Takes& takes, const std::function<bool(const Takes&)>& enough,
               const std::string& name) {
    std::string line;
    for (int number = 1; !enough(takes) && std::getline(in, line); ++number) {
        try {
            takes.add(line);
        } catch (const std::exception& error) {
            throw SourceError(name + ":" + std::to_string(number) + ": " + error.what());
        }
    }
}

#ifdef IS900_ALIGN_EVENTS
// The web view's Server-Sent Events: "data: <JSON line>" and a blank line each.
void readEvents(const std::string& url, Takes& takes, const std::function<bool(const Takes&)>& enough) {
    httplib::Client client(url);
    std::string pending;
    const httplib::Result result = client.Get("/events", [&](const char* data, std::size_t length) {
        pending.append(data, length);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            if (pending.compare(0, 6, "data: ") == 0) takes.add(pending.substr(6, end - 6));
        return !enough(takes);
    });
    if (!result && result.error() != httplib::Error::Canceled)
        throw SourceError("cannot read the events of " + url + ": " + httplib::to_string(result.error()));
}
#endif

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A capture holds the tracker's bytes, not poses: is900-host (beside this
// program) plays it back through the device into a record file, which is
// then read as any other. It plays at the capture's pace, as the records' stamps
// time the holds, and ends a second after the capture does.
std::string playedBack(const std::string& capture) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) throw SourceError("cannot find is900-host to play " + capture + " back");
    std::string host(self, static_cast<std::size_t>(length));
    host = host.substr(0, host.rfind('/') + 1) + "is900-host";
    char name[] = "/tmp/is900-align-XXXXXX";
    const int file = mkstemp(name);
    if (file < 0) throw SourceError("cannot make a temporary file to play " + capture + " back");
    close(file);
    const std::string command = shellQuoted(host) + " --replay-capture " + shellQuoted(capture) + " --record " + shellQuoted(name) +
                                " --format jsonl -q --once --silence 1 > /dev/null 2>&1";
    if (std::system(command.c_str()) == -1) throw SourceError("cannot run " + host);
    return name;
}

bool isCapture(const std::string& path) {
    std::ifstream file(path);
    std::string start(13, '\0');
    return file.read(&start[0], 13) && start == "is900-capture";
}

} // namespace

void readSource(const std::string& source, Takes& takes, const std::function<bool(const Takes&)>& enough) {
    if (source == "-") return readLines(std::cin, takes, enough, "standard input");
    if (source.compare(0, 7, "http://") == 0) {
#ifdef IS900_ALIGN_EVENTS
        return readEvents(source, takes, enough);
#else
        throw SourceError("this build reads no web view's events; pipe the host's JSON lines in with -");
#endif
    }
    if (isCapture(source)) {
        const std::string record = playedBack(source);
        std::ifstream file(record);
        readLines(file, takes, enough, source + " (played back)");
        std::remove(record.c_str());
        if (!takes.hasHeader) throw SourceError("is900-host could not play " + source + " back");
        return;
    }
    std::ifstream file(source);
    if (!file) throw SourceError("cannot read " + source);
    readLines(file, takes, enough, source);
}

} // namespace is900align
