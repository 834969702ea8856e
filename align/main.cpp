// is900-align: the option lines that put a tracker's poses in a room's frame,
// a wand's tip, or the eyes' offsets from a head sensor, from what a host
// published: a record file, its JSON lines on standard input, or the events
// of its web view. Exit 0 with the lines on standard output; 2 when the
// input cannot give them, saying why.
#include "align/Takes.h"

#include "host/config/ConfigFile.h"
#include "is900/hostkit/Alignment.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

using namespace is900::hostkit;
using is900align::Takes;

const int exitRefused = 2;
const double worstFitMm = 10; // a room whose points fit worse was most likely typed or taken wrong

struct AlignOptions {
    std::string source;
    int station = 0;
    int tipStation = 0;
    std::string points; // "X,Y,Z;X,Y,Z;..." in metres
    std::string config, device;
    double seconds = 5;
};

class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::vector<Position> roomPoints(const std::string& text) {
    std::vector<Position> points;
    std::istringstream list(text);
    for (std::string point; std::getline(list, point, ';');) {
        Position p{};
        char comma1 = 0, comma2 = 0, rest = 0;
        std::istringstream in(point);
        if (!(in >> p[0] >> comma1 >> p[1] >> comma2 >> p[2]) || comma1 != ',' || comma2 != ',' || (in >> rest))
            throw Refusal("bad room point '" + point + "' (want X,Y,Z in metres, points separated by ';')");
        for (double& value : p) value /= 0.3048; // metres to the feet poses are published in
        points.push_back(p);
    }
    return points;
}

bool live(const std::string& source) { return source == "-" || source.compare(0, 7, "http://") == 0; }

// The device's corrections the poses were published with: a record file's
// own, or those of the configuration given; none without either.
DeviceSetup currentSetup(const AlignOptions& options, const Takes& takes) {
    if (!options.config.empty()) {
        for (const DeviceSection& section : readHostConfig(options.config).devices)
            if (options.device.empty() || section.name == options.device) return readDeviceSetup(section.options);
        throw Refusal("no device '" + options.device + "' in " + options.config);
    }
    if (takes.hasHeader) return takes.setup;
    std::cerr << "is900-align: no configuration given (-c): taking the device to have no corrections yet\n";
    DeviceSetup setup;
    setup.trackerOn.fill(true);
    return setup;
}

Takes read(const AlignOptions& options, const std::function<bool(const Takes&)>& enough) {
    Takes takes;
    is900align::readSource(options.source, takes, [&](const Takes& t) { return live(options.source) && enough(t); });
    return takes;
}

std::string millimetres(const Position& feet) {
    char text[64];
    std::snprintf(text, sizeof text, "(%.1f, %.1f, %.1f) mm", feet[0] * 304.8, feet[1] * 304.8, feet[2] * 304.8);
    return text;
}

std::vector<Position> heldPoints(const Takes& takes, int station, std::size_t wanted) {
    const std::vector<std::vector<Pose>> taken = takes.points(station);
    if (taken.size() < wanted)
        throw Refusal("station " + std::to_string(station) + " took " + std::to_string(taken.size()) +
                      " points, but " + std::to_string(wanted) + " are needed");
    std::vector<Position> held;
    for (std::size_t i = 0; i < wanted; ++i) {
        try {
            held.push_back(heldPosition(taken[i]));
        } catch (const AlignmentError& error) {
            throw Refusal("point " + std::to_string(i + 1) + ": " + error.what());
        }
    }
    return held;
}

int alignRoom(const AlignOptions& options) {
    const std::vector<Position> room = roomPoints(options.points);
    const Takes takes = read(options, [&](const Takes& t) { return t.pressCount(options.station) >= room.size(); });
    const DeviceSetup setup = currentSetup(options, takes);
    if (!unalignableStation(setup, options.station).empty()) throw Refusal(unalignableStation(setup, options.station));
    const RigidFit fit = fitRigid(heldPoints(takes, options.station, room.size()), room);
    if (fit.rmsMm > worstFitMm)
        throw Refusal("the points fit only to " + std::to_string(fit.rmsMm) +
                      " mm RMS: check their room coordinates and that they were taken in the order given");
    std::cout << "# station " << options.station << ", " << room.size() << " points; residuals (mm):";
    char text[32];
    for (double residual : fit.residualsMm) {
        std::snprintf(text, sizeof text, " %.2f", residual);
        std::cout << text;
    }
    std::snprintf(text, sizeof text, "%.2f", fit.rmsMm);
    std::cout << "; RMS " << text << " mm\n";
    for (const std::string& line : transmitterLines(composeTransmitter(setup.transmitter, fit))) std::cout << line << "\n";
    return 0;
}

int findTip(const AlignOptions& options) {
    const Takes takes = read(options, [&](const Takes& t) {
        const auto found = t.stations.find(options.station);
        return found != t.stations.end() && !found->second.poses.empty() &&
               found->second.poses.back().time - found->second.poses.front().time >= options.seconds;
    });
    const DeviceSetup setup = currentSetup(options, takes);
    const PivotFit fit = fitPivot(takes.swivel(options.station));
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", fit.rmsMm);
    std::cout << "# station " << options.station << ": tip " << millimetres(fit.tip) << " from the sensor, RMS "
              << text << " mm about the pivot\n"
              << sensorOffsetLine(options.station, composeSensorOffset(setup.sensors[options.station - 1], fit)) << "\n";
    return 0;
}

// Each eye, touched with the calibrated tip of another station, in the head
// sensor's frame; the offset offered is their midpoint's.
int findEyes(const AlignOptions& options) {
    const Takes takes = read(options, [&](const Takes& t) { return t.pressCount(options.tipStation) >= 2; });
    const DeviceSetup setup = currentSetup(options, takes);
    const SensorSetup& head = setup.sensors[options.station - 1];
    const std::vector<Position> touched = heldPoints(takes, options.tipStation, 2);
    const std::vector<double>& presses = takes.stations.at(options.tipStation).presses;
    Position eyes[2], middle{};
    for (int eye = 0; eye < 2; ++eye) {
        const std::vector<Pose> headPoses = takes.between(options.station, presses[eye] - 1, presses[eye]);
        if (headPoses.empty()) throw Refusal("no poses of head station " + std::to_string(options.station));
        Pose mean = headPoses[headPoses.size() / 2];
        const Position headAt = heldPosition(headPoses);
        for (int a = 0; a < 3; ++a) mean[a] = static_cast<float>(headAt[a]);
        eyes[eye] = offsetInSensorFrame(mean, touched[eye]);
        for (int a = 0; a < 3; ++a) {
            if (head.offsetSet) eyes[eye][a] += head.offset[a];
            middle[a] += eyes[eye][a] / 2;
        }
    }
    const double apart = std::hypot(eyes[0][0] - eyes[1][0], eyes[0][1] - eyes[1][1], eyes[0][2] - eyes[1][2]);
    std::cout << "# head station " << options.station << ": eyes at " << millimetres(eyes[0]) << " and "
              << millimetres(eyes[1]) << " from the sensor, " << std::lround(apart * 304.8) << " mm apart\n"
              << sensorOffsetLine(options.station, middle) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Aligns an IS-900 tracker to a room, or finds a wand's tip or the eyes from a head sensor, from a "
                 "host's records; prints the option lines."};
    app.require_subcommand(1);
    AlignOptions options;
    const auto source = [&](CLI::App* command) {
        command->add_option("source", options.source,
                            "a host's record file, - for its JSON lines on standard input, or http://HOST:PORT of "
                            "its web view")->required();
        command->add_option("-c,--config", options.config, "the configuration the host runs with, for the device's "
                                                              "corrections (a record file has its own)");
        command->add_option("--device", options.device, "the device's section in --config");
        command->add_option("--station", options.station, "the station that takes the points")
            ->required()->check(CLI::Range(1, deviceStationCount));
    };
    CLI::App* room = app.add_subcommand("room", "transmitter lines from points held still, each taken by a press of "
                                                "the station's first button (or each still second, without presses)");
    source(room);
    room->add_option("--points", options.points, "the points' room coordinates in metres, as X,Y,Z;X,Y,Z;...")
        ->required();
    CLI::App* pivot = app.add_subcommand("pivot", "the sensoroffset of a wand's tip, from the wand swivelled about "
                                                  "it (between two presses, or the whole source)");
    source(pivot);
    pivot->add_option("--seconds", options.seconds, "from a live source: swivel for this long (default 5)");
    CLI::App* eyes = app.add_subcommand("eyes", "the head sensor's offset to the eyes, each touched with a "
                                                "calibrated tip and taken by a press");
    source(eyes);
    eyes->add_option("--tip-station", options.tipStation, "the station with the calibrated tip")
        ->required()->check(CLI::Range(1, deviceStationCount));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : exitRefused;
    }
    try {
        if (room->parsed()) return alignRoom(options);
        if (pivot->parsed()) return findTip(options);
        return findEyes(options);
    } catch (const std::exception& error) { // refusals, unreadable sources and configurations
        std::cerr << "is900-align: " << error.what() << std::endl;
        return exitRefused;
    }
}
