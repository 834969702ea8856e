#include "is900/hostkit/DeviceSetup.h"

#include "rules/OptionWords.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace is900 {
namespace hostkit {

namespace {

using Args = std::vector<std::string>;

enum class Reading { notMine, taken, refused };

Reading outcome(bool valid) { return valid ? Reading::taken : Reading::refused; }

namespace words = optionwords;


bool startsWithLetter(const std::string& text) {
    return !text.empty() && std::isalpha(static_cast<unsigned char>(text[0]));
}

// Integers as the device reads them: base 0, out-of-range values saturated to 32 bits.
int32_t number(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 0);
    return static_cast<int32_t>(std::max<long long>(INT32_MIN, std::min<long long>(INT32_MAX, value)));
}

// A real number, refused when it reads as 0 from a word.
bool readReal(const std::string& text, float& value) {
    value = static_cast<float>(std::strtod(text.c_str(), nullptr));
    return !(value == 0 && startsWithLetter(text));
}

bool readReals(const Args& args, std::size_t first, std::size_t count, float* values) {
    for (std::size_t i = 0; i < count; ++i)
        if (!readReal(args[first + i], values[i])) return false;
    return true;
}

bool readSwitch(const std::string& word, bool& on) {
    if (!isAnyWord(word, {words::switchedOn, words::switchedOff})) return false;
    on = isWord(word, words::switchedOn);
    return true;
}

bool readStation(const std::string& text, int& station) {
    const uint32_t value = static_cast<uint32_t>(number(text));
    station = static_cast<int>(value);
    return value >= 1 && value <= static_cast<uint32_t>(deviceStationCount);
}

// A station flag list: 1 on; 0 off unless written as a word; the rest is refused.
bool readStationFlags(const Args& args, std::array<bool, deviceStationCount>& on) {
    if (args.size() > on.size()) return false;
    std::array<bool, deviceStationCount> flags{};
    for (std::size_t k = 0; k < args.size(); ++k) {
        const int32_t value = number(args[k]);
        if (value != 1 && (value != 0 || startsWithLetter(args[k]))) return false;
        flags[k] = value == 1;
    }
    on = flags;
    return true;
}

bool readReconnect(const Args& args, DeviceSetup& setup) {
    bool on = false;
    if (args.empty() || args.size() > 2 || !readSwitch(args[0], on)) return false;
    if (args.size() == 2 && number(args[1]) < 1) return false;
    setup.reconnect = on;
    if (args.size() == 2) setup.silenceLimitSeconds = number(args[1]);
    return true;
}

// "capture PATH [MiB]", the size at least 1 MiB.
bool readCapture(const Args& args, CaptureSetup& capture) {
    if (args.empty() || args.size() > 2) return false;
    if (args.size() == 2 && number(args[1]) < 1) return false;
    capture.path = args[0];
    capture.limitMiB = args.size() == 2 ? number(args[1]) : CaptureSetup().limitMiB;
    return true;
}

Reading readDeviceLine(const OptionLine& line, DeviceSetup& setup) {
    const std::string& keyword = line.keyword;
    const Args& args = line.args;
    if (isWord(keyword, words::trackers))
        return outcome(readStationFlags(args, setup.trackerOn));
    if (isWord(keyword, words::controllers))
        return outcome(readStationFlags(args, setup.controllerOn));
    if (isWord(keyword, words::reconnect)) return outcome(readReconnect(args, setup));
    if (isWord(keyword, words::capture)) return outcome(readCapture(args, setup.capture));
    if (!isAnyWord(keyword, {words::port, words::baud, words::reset, words::dataUnit})) return Reading::notMine;
    if (args.size() != 1) return Reading::refused;
    const std::string& word = args[0];
    if (isWord(keyword, words::port)) {
        setup.port = word;
    } else if (isWord(keyword, words::baud)) {
        setup.baud = number(word);
    } else if (isWord(keyword, words::reset)) {
        return outcome(readSwitch(word, setup.reset));
    } else {
        const bool inches = isWord(word, words::inchUnit);
        if (!inches && !isWord(word, words::centimetreUnit)) return Reading::refused;
        setup.centimetres = !inches;
    }
    return Reading::taken;
}

bool unitFactor(const std::string& word, float& factor) {
    for (const words::LengthUnit& unit : words::lengthUnits)
        if (sameKeyword(word, unit.word)) {
            factor = unit.feet;
            return true;
        }
    return false;
}

// x y z [unit] from args[first], in feet.
bool readOffset(const Args& args, std::size_t first, Vector3& offset) {
    float factor = 1.0f;
    if (!readReals(args, first, 3, offset.data())) return false;
    if (args.size() == first + 4 && !unitFactor(args[first + 3], factor)) return false;
    for (float& value : offset) value *= factor;
    return true;
}

// The rotation about an axis by an angle in degrees, as the device builds it.
Rows3 axisAngleRows(const float axis[3], float degrees) {
    const float length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (length == 0) return identityRows;
    const float reciprocal = 1.0f / length;
    const float x = axis[0] * reciprocal, y = axis[1] * reciprocal, z = axis[2] * reciprocal;
    const float angle = degrees * 0.01745329f;
    const float c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    return {k * x * x + c,     k * x * y + z * s, k * x * z - y * s, k * x * y - z * s, k * y * y + c,
            k * y * z + x * s, k * x * z + y * s, k * y * z - x * s, k * z * z + c};
}

// ax ay az angle, or nine values row by row, from args[first].
bool readRotation(const Args& args, std::size_t first, bool asMatrix, Rows3& rows) {
    if (asMatrix) return readReals(args, first, 9, rows.data());
    float values[4];
    if (!readReals(args, first, 4, values)) return false;
    rows = axisAngleRows(values, values[3]);
    return true;
}

bool readTransmitterLine(const std::string& keyword, const Args& args, Placement& transmitter) {
    const std::size_t n = args.size();
    if (isWord(keyword, words::transmitterOffset)) {
        Vector3 offset;
        if (n < 3 || n > 4 || !readOffset(args, 0, offset)) return false;
        if (offset == Vector3{}) return true;
        transmitter.offset = offset;
        transmitter.offsetSet = true;
        return true;
    }
    const bool asMatrix = isWord(keyword, words::transmitterRotationMatrix);
    if (n != (asMatrix ? 9u : 4u) || !readRotation(args, 0, asMatrix, transmitter.rotation)) return false;
    transmitter.rotationSet = true;
    return true;
}

bool readSensorLine(const std::string& keyword, const Args& args, DeviceSetup& setup) {
    const std::size_t n = args.size();
    int station = 0;
    if (n == 0 || !readStation(args[0], station)) return false;
    SensorSetup& sensor = setup.sensors[station - 1];
    const bool offset = isWord(keyword, words::sensorOffset);
    if (offset || isWord(keyword, words::sensorTranslation)) {
        Vector3 values;
        if (n < 4 || n > 5 || !readOffset(args, 1, values)) return false;
        (offset ? sensor.offset : sensor.translation) = values;
        (offset ? sensor.offsetSet : sensor.translationSet) = true;
        return true;
    }
    const bool asMatrix = isWord(keyword, words::sensorRotationMatrix);
    if (n != (asMatrix ? 10u : 5u) || !readRotation(args, 1, asMatrix, sensor.rotation)) return false;
    sensor.rotationSet = true;
    return true;
}

bool readCalibration(const Args& args, DeviceSetup& setup) {
    const std::size_t maxLibraryName = 255, maxArgs = 10;
    if (args.empty() || args.size() - 1 > maxArgs) return false;
    setup.calibrated = true;
    setup.calibrationLibrary = args[0].substr(0, maxLibraryName);
    setup.calibrationArgs.assign(args.begin() + 1, args.end());
    return true;
}

Reading readTrackerLine(const OptionLine& line, DeviceSetup& setup) {
    const std::string& keyword = line.keyword;
    const Args& args = line.args;
    if (isAnyWord(keyword, {words::transmitterOffset, words::transmitterRotation, words::transmitterRotationMatrix}))
        return outcome(readTransmitterLine(keyword, args, setup.transmitter));
    if (isAnyWord(keyword, {words::sensorOffset, words::sensorTranslation, words::sensorRotation, words::sensorRotationMatrix}))
        return outcome(readSensorLine(keyword, args, setup));
    if (isWord(keyword, words::calibration)) return outcome(readCalibration(args, setup));
    // The station order is bound to the tracker's input connectors.
    if (isWord(keyword, words::trackerOrder)) return Reading::refused;
    if (!isWord(keyword, words::caveCoordinates)) return Reading::notMine;
    return outcome(args.size() == 1 && readSwitch(args[0], setup.cave));
}

// station id... : a new valuator or button order, limited to the current count.
bool readControlOrder(const Args& args, uint32_t& count, std::array<uint32_t, controllerSlots>& order) {
    uint32_t highest = 0;
    std::vector<uint32_t> values;
    for (std::size_t k = 1; k < args.size(); ++k) {
        const uint32_t value = static_cast<uint32_t>(number(args[k]));
        if (value == 0 && startsWithLetter(args[k])) return false;
        values.push_back(value);
        if (value > highest) highest = value;
    }
    for (std::size_t k = 0; k < values.size(); ++k)
        for (std::size_t later = k + 1; later < values.size(); ++later)
            if (values[k] != 0 && values[k] == values[later]) return false;
    if (highest > count) return false;
    count = highest;
    order.fill(0);
    for (std::size_t k = 0; k < values.size(); ++k)
        if (values[k] != 0) order[values[k] - 1] = static_cast<uint32_t>(k + 1);
    return true;
}

bool readScale(const Args& args, ControllerSetup& controller) {
    Polynomial scale{};
    if (args.size() < 3) return false;
    if (args[1][0] == '[') {
        std::sscanf(args[1].c_str(), "[%f,%f,%f,%f]", &scale[0], &scale[1], &scale[2], &scale[3]);
        if (scale == Polynomial{}) return false;
    } else if (!readReal(args[1], scale[2])) {
        return false;
    }
    std::array<bool, controllerSlots> selected{};
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (isWord(args[i], words::everyItem)) {
            selected.fill(true);
            break;
        }
        const uint32_t valuator = static_cast<uint32_t>(number(args[i]));
        if (valuator == 0 || valuator > controller.valuatorCount || valuator > controllerSlots) return false;
        selected[valuator - 1] = true;
    }
    for (uint32_t r = 0; r < controllerSlots; ++r)
        if (selected[r]) controller.valuatorScale[r] = scale;
    return true;
}

bool readEmulation(const Args& args, ControllerSetup& controller) {
    const std::size_t n = args.size();
    TrackerEmulation emulation;
    if (n < 2) return false;
    float* pose = emulation.initialPose.data();
    if (args[1][0] == '[')
        std::sscanf(args[1].c_str(), "[%f,%f,%f,%f,%f,%f]", &pose[0], &pose[1], &pose[2], &pose[3], &pose[4], &pose[5]);
    if (n < 8 || n > 9) return false;
    for (std::size_t i = 0; i < 6; ++i) {
        emulation.valuators[i] = static_cast<uint32_t>(number(args[2 + i]));
        if (emulation.valuators[i] > controller.valuatorCount || emulation.valuators[i] > controllerSlots) return false;
    }
    if (n == 9) {
        emulation.resetButton = static_cast<uint32_t>(number(args[8]));
        const uint32_t button = emulation.resetButton;
        if (button == 0 || button > controller.buttonCount || button > controllerSlots) return false;
    }
    controller.emulates = true;
    controller.emulation = emulation;
    return true;
}

// The controller order is bound to the input connectors: its keywords are
// left to the other parsers.
Reading readControllerLine(const OptionLine& line, DeviceSetup& setup) {
    const std::string& keyword = line.keyword;
    const Args& args = line.args;
    const bool valuatorOrder = isWord(keyword, words::valuatorOrder);
    if (!valuatorOrder && !isAnyWord(keyword, {words::buttonOrder, words::valuatorScale, words::emulateTracker})) return Reading::notMine;
    int station = 0;
    if (args.empty() || !readStation(args[0], station)) return Reading::refused;
    ControllerSetup& controller = setup.controllers[station - 1];
    if (isWord(keyword, words::valuatorScale)) return outcome(readScale(args, controller));
    if (isWord(keyword, words::emulateTracker)) return outcome(readEmulation(args, controller));
    return outcome(valuatorOrder ? readControlOrder(args, controller.valuatorCount, controller.valuatorOrder)
                                 : readControlOrder(args, controller.buttonCount, controller.buttonOrder));
}

bool anyOn(const std::array<bool, deviceStationCount>& flags) {
    for (bool on : flags)
        if (on) return true;
    return false;
}

std::vector<int> stationsOn(const std::array<bool, deviceStationCount>& flags) {
    std::vector<int> stations;
    for (int station = 1; station <= deviceStationCount; ++station)
        if (flags[station - 1]) stations.push_back(station);
    return stations;
}

// The station that the id-th station switched on is; 0 when there is none.
// Runs for every record, so it builds no list.
int stationOf(const std::array<bool, deviceStationCount>& flags, uint32_t id) {
    uint32_t seen = 0;
    for (int station = 1; station <= deviceStationCount; ++station)
        if (flags[station - 1] && ++seen == id) return station;
    return 0;
}

} // namespace

ControllerSetup::ControllerSetup() { valuatorScale.fill(Polynomial{0, 0, 1, 0}); }

ControllerSetup ControllerSetup::none() {
    ControllerSetup station;
    station.valuatorCount = station.buttonCount = 0;
    station.valuatorOrder.fill(0);
    station.buttonOrder.fill(0);
    return station;
}

std::vector<int> DeviceSetup::trackerStations() const { return stationsOn(trackerOn); }
std::vector<int> DeviceSetup::controllerStations() const { return stationsOn(controllerOn); }
int DeviceSetup::trackerStation(uint32_t id) const { return stationOf(trackerOn, id); }
int DeviceSetup::controllerStation(uint32_t id) const { return stationOf(controllerOn, id); }

// The device reads its own lines first; the tracker's and the controller's
// options exist only when stations of their kind are switched on.
DeviceSetup readDeviceSetup(const std::vector<OptionLine>& options) {
    DeviceSetup setup;
    setup.taken.assign(options.size(), false);
    for (std::size_t i = 0; i < options.size(); ++i)
        setup.taken[i] = readDeviceLine(options[i], setup) == Reading::taken;
    for (int s = 0; s < deviceStationCount; ++s)
        if (!setup.controllerOn[s]) setup.controllers[s] = ControllerSetup::none();
    const bool trackers = anyOn(setup.trackerOn), controllers = anyOn(setup.controllerOn);
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (trackers && readTrackerLine(options[i], setup) == Reading::taken) setup.taken[i] = true;
        if (controllers && readControllerLine(options[i], setup) == Reading::taken) setup.taken[i] = true;
    }
    return setup;
}

} // namespace hostkit
} // namespace is900
