#include "host/outputs/web/WebRequests.h"

#include "is900/hostkit/Alignment.h"
#include "rules/OptionWords.h"

#include <nlohmann/json.hpp>

#include <array>
#include <vector>

namespace {

using json = nlohmann::json;
using namespace is900::hostkit;

const int ok = 200, badRequest = 400, unprocessable = 422;
const double millimetresPerFoot = optionwords::metresPerFoot * 1000;

// A body whose shape is not the request's.
class MalformedRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Text that is not UTF-8 (a file name) is written with replacement characters.
std::string text(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// Runs a request's handler on its parsed body; the refusals become replies.
WebReply answer(const std::string& body, const std::function<json(const json&)>& handle) {
    try {
        return {ok, text(handle(json::parse(body)))};
    } catch (const json::exception& error) {
        return errorReply(badRequest, std::string("the request is not the JSON this takes: ") + error.what());
    } catch (const MalformedRequest& error) {
        return errorReply(badRequest, error.what());
    } catch (const AlignmentError& error) {
        return errorReply(unprocessable, error.what());
    } catch (const ConfigWriteRefused& error) {
        return errorReply(error.httpStatus, error.what());
    }
}

const json& list(const json& request, const char* key) {
    const json& value = request.at(key);
    if (!value.is_array()) throw MalformedRequest(std::string("\"") + key + "\" is not a list");
    return value;
}

// The request's device; refused as error says when the host runs none of that name.
template <typename Refusal>
DeviceSection namedDevice(const json& request, const DeviceLookup& devices, const Refusal& error) {
    const std::string name = request.at("device").get<std::string>();
    DeviceSection device;
    if (!devices(name, device)) throw error("the host runs no device named '" + name + "'");
    return device;
}

// The request's device, whose station (the request's) it aligns with.
DeviceSetup alignableSetup(const json& request, const DeviceLookup& devices, int& station) {
    const DeviceSetup setup =
        namedDevice(request, devices, [](const std::string& why) { return AlignmentError(why); }).setup;
    station = request.at("station").get<int>();
    const std::string why = unalignableStation(setup, station);
    if (!why.empty()) throw AlignmentError(why);
    return setup;
}

std::vector<Pose> poses(const json& request, const char* key) {
    std::vector<Pose> all;
    for (const json& pose : list(request, key)) {
        if (!pose.is_array() || pose.size() != 6)
            throw MalformedRequest(std::string("a pose of \"") + key + "\" is not x, y, z, azimuth, elevation, roll");
        all.push_back(pose.get<Pose>());
    }
    return all;
}

// The position a sensor was held still at; a refusal names what was held.
Position held(const std::string& what, const std::vector<Pose>& poses) {
    try {
        return heldPosition(poses);
    } catch (const AlignmentError& error) {
        throw AlignmentError(what + ": " + error.what());
    }
}

std::array<double, 3> millimetres(const Position& feet) {
    return {{feet[0] * millimetresPerFoot, feet[1] * millimetresPerFoot, feet[2] * millimetresPerFoot}};
}

json fitRoom(const json& request, const DeviceLookup& devices) {
    int station = 0;
    const DeviceSetup setup = alignableSetup(request, devices, station);
    std::vector<Position> measured, room;
    for (const json& point : list(request, "points")) {
        Position metres = point.at("room").get<Position>();
        for (double& value : metres) value /= optionwords::metresPerFoot;
        room.push_back(metres);
        measured.push_back(held("point " + std::to_string(room.size()), poses(point, "poses")));
    }
    const RigidFit fit = fitRigid(measured, room);
    return {{"lines", transmitterLines(composeTransmitter(setup.transmitter, fit))},
            {"residualsMm", fit.residualsMm},
            {"rmsMm", fit.rmsMm},
            {"rotation", fit.rotation},
            {"translation", fit.translation}};
}

json fitTip(const json& request, const DeviceLookup& devices) {
    int station = 0;
    const DeviceSetup setup = alignableSetup(request, devices, station);
    const PivotFit fit = fitPivot(poses(request, "poses"));
    return {{"line", sensorOffsetLine(station, composeSensorOffset(setup.sensors[station - 1], fit))},
            {"tipMm", millimetres(fit.tip)},
            {"rmsMm", fit.rmsMm}};
}

// The head sensor's offset to an eye that a calibrated tip touched: where
// the tip was in the frame of the head held still (its mean position, the
// middle pose's angles), plus the offset the head's poses already carry.
Position eyeOffset(const SensorSetup& head, const json& eye, const std::string& which) {
    const std::vector<Pose> headPoses = poses(eye, "head");
    const Position at = held(which + ", head", headPoses);
    Pose headPose = headPoses[headPoses.size() / 2];
    for (int a = 0; a < 3; ++a) headPose[a] = static_cast<float>(at[a]);
    Position offset = offsetInSensorFrame(headPose, held(which + ", tip", poses(eye, "tip")));
    if (head.offsetSet)
        for (int a = 0; a < 3; ++a) offset[a] += head.offset[a];
    return offset;
}

json fitEyes(const json& request, const DeviceLookup& devices) {
    int station = 0;
    const DeviceSetup setup = alignableSetup(request, devices, station);
    const json& eyes = list(request, "eyes");
    if (eyes.size() != 2) throw MalformedRequest("\"eyes\" takes two: the left eye, then the right");
    const Position left = eyeOffset(setup.sensors[station - 1], eyes[0], "left eye");
    const Position right = eyeOffset(setup.sensors[station - 1], eyes[1], "right eye");
    const Position middle{{(left[0] + right[0]) / 2, (left[1] + right[1]) / 2, (left[2] + right[2]) / 2}};
    return {{"eyesMm", {millimetres(left), millimetres(right)}}, {"line", sensorOffsetLine(station, middle)}};
}

} // namespace

WebReply errorReply(int status, const std::string& why) { return {status, text(json{{"error", why}})}; }

WebReply alignRoom(const std::string& body, const DeviceLookup& devices) {
    return answer(body, [&](const json& request) { return fitRoom(request, devices); });
}

WebReply alignPivot(const std::string& body, const DeviceLookup& devices) {
    return answer(body, [&](const json& request) { return fitTip(request, devices); });
}

WebReply alignEyes(const std::string& body, const DeviceLookup& devices) {
    return answer(body, [&](const json& request) { return fitEyes(request, devices); });
}

WebReply writeConfig(const std::string& body, const DeviceLookup& devices, ConfigWriter& writer,
                     const std::function<void(const ConfigWritten&)>& written) {
    return answer(body, [&](const json& request) {
        const DeviceSection device = namedDevice(
            request, devices, [](const std::string& why) { return ConfigWriteRefused(badRequest, why); });
        const ConfigWritten done = writer.write(device, request.at("lines").get<std::vector<std::string>>());
        written(done);
        return json{{"written", writer.path()}, {"backup", done.backup}};
    });
}
