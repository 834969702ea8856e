// The record stream: the input's first bytes choose the device's stations and
// settings, the rest is what the line delivers. Every recvData call is
// checked against an independent reading of the bytes it consumed: which
// record they frame, which station and ID it belongs to, and the fixed-point
// values the host must find in its storage.
#include "FuzzHost.h"

#include "boundary/CBase.h"
#include "common/KitRecords.h"
#include "common/OptionLinesBuilder.h"
#include "platform/memory/MemoryLine.h"
#include "is900/hostkit/HostStorage.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

const int stations = 8;
const size_t settingsSize = 6;
const size_t bufferCapacity = 512;

struct Settings {
    bool sensorOn[stations];
    bool controllerOn[stations];
    bool cave;
    bool centimetres;
    bool failAtEnd;
    bool transmitterOffset;
    int translatedStation; // 0: no sensor translation
    uint32_t trackerBase;
    uint32_t controllerBase;
};

const float transmitterShift[3] = {0.5f, -2.0f, 3.25f};
const float sensorShift[3] = {0.25f, -1.5f, 4.0f};

Settings settingsOf(const uint8_t* bytes) {
    Settings s{};
    for (int i = 0; i < stations; ++i) {
        s.sensorOn[i] = (bytes[0] >> i) & 1;
        s.controllerOn[i] = (bytes[1] >> i) & 1;
    }
    s.cave = bytes[2] & 1;
    s.centimetres = bytes[2] & 2;
    s.failAtEnd = bytes[2] & 4;
    s.transmitterOffset = bytes[2] & 8;
    s.translatedStation = (bytes[2] & 16) ? (bytes[5] & 7) + 1 : 0;
    s.trackerBase = bytes[3] % 32;
    s.controllerBase = bytes[4] % 32;
    return s;
}

bool anyOn(const bool* flags) {
    for (int i = 0; i < stations; ++i)
        if (flags[i]) return true;
    return false;
}

std::string number(float value) { return std::to_string(value); }

void addOptionLines(const Settings& s, OptionLinesBuilder& lines) {
    lines.add("port", {"memory"}).add("baud", {"115200"});
    lines.add("devdataunit", {s.centimetres ? "cm" : "in"});
    std::vector<std::string> sensors, controllers;
    OptionLinesBuilder& l = lines;
    l.add("sensors", {std::to_string(s.sensorOn[0]), std::to_string(s.sensorOn[1]), std::to_string(s.sensorOn[2]),
                      std::to_string(s.sensorOn[3]), std::to_string(s.sensorOn[4]), std::to_string(s.sensorOn[5]),
                      std::to_string(s.sensorOn[6]), std::to_string(s.sensorOn[7])});
    l.add("controllers",
          {std::to_string(s.controllerOn[0]), std::to_string(s.controllerOn[1]), std::to_string(s.controllerOn[2]),
           std::to_string(s.controllerOn[3]), std::to_string(s.controllerOn[4]), std::to_string(s.controllerOn[5]),
           std::to_string(s.controllerOn[6]), std::to_string(s.controllerOn[7])});
    if (!anyOn(s.sensorOn)) return; // the tracker's options need a tracker station
    l.add("cavecoord", {s.cave ? "on" : "off"});
    if (s.transmitterOffset)
        l.add("transmitteroffset",
              {number(transmitterShift[0]), number(transmitterShift[1]), number(transmitterShift[2]), "feet"});
    if (s.translatedStation)
        l.add("sensortranslation", {std::to_string(s.translatedStation), number(sensorShift[0]),
                                    number(sensorShift[1]), number(sensorShift[2]), "feet"});
}

// Record ID of a station: its rank among the ON stations of its kind plus the
// records reserved before the device; 0 when the station is off.
uint32_t idOf(const bool* flags, uint32_t base, int station) {
    if (station < 1 || station > stations || !flags[station - 1]) return 0;
    uint32_t rank = 0;
    for (int i = 0; i < station; ++i) rank += flags[i] ? 1 : 0;
    return base + rank;
}

// value x scale, truncated toward zero, saturated, NaN as 0.
int32_t fixedOf(float value, double scale) {
    const double scaled = static_cast<double>(value) * scale;
    if (std::isnan(scaled)) return 0;
    const double whole = std::trunc(scaled);
    if (whole > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (whole < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(whole);
}

int32_t fieldOf(uint32_t networkOrder) {
    unsigned char b[4];
    std::memcpy(b, &networkOrder, 4);
    return static_cast<int32_t>(uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3]);
}

float floatAt(const uint8_t* bytes) {
    const uint32_t bits = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                          uint32_t(bytes[3]) << 24;
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

struct Orientation {
    double m[3][3];
};

Orientation orientation(float azimuth, float elevation, float roll) {
    const double toRadians = 0.01745329f;
    const double a = azimuth * toRadians, e = elevation * toRadians, r = roll * toRadians;
    const double ca = std::cos(a), sa = std::sin(a), ce = std::cos(e), se = std::sin(e), cr = std::cos(r),
                 sr = std::sin(r);
    return {{{ca * cr + sa * se * sr, ce * sr, -sa * cr + ca * se * sr},
             {-ca * sr + sa * se * cr, ce * cr, sa * sr + ca * se * cr},
             {sa * ce, -se, ca * ce}}};
}

const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

Orientation identityTimes(const Orientation& m) {
    Orientation product{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) product.m[i][j] += identity[i][k] * m.m[k][j];
    return product;
}

Orientation timesIdentity(const Orientation& m) {
    Orientation product{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) product.m[i][j] += m.m[i][k] * identity[k][j];
    return product;
}

struct Expected {
    int32_t fields[6];
    bool corrected;   // went through the transmitter and sensor correction
    bool gimbalLocked; // azimuth and roll are not well defined
};

// The pose pipeline, written from its definition: feet and CAVE axes, then
// (both correction matrices being pure translations here) the translated
// position with the angles taken again from their own orientation matrix.
Expected expectedPose(const Settings& s, int station, const uint8_t* record) {
    float raw[6];
    for (int i = 0; i < 6; ++i) raw[i] = floatAt(record + 3 + 4 * i);
    const float k = s.centimetres ? 0.0328084f : 0.083333336f;
    float pose[6];
    if (s.cave) {
        pose[0] = k * raw[1], pose[1] = -k * raw[2], pose[2] = -k * raw[0];
        pose[3] = -raw[3], pose[4] = raw[4], pose[5] = -raw[5];
    } else {
        pose[0] = k * raw[0], pose[1] = k * raw[1], pose[2] = k * raw[2];
        pose[3] = raw[3], pose[4] = raw[4], pose[5] = raw[5];
    }
    Expected out{};
    out.corrected = s.transmitterOffset || s.translatedStation == station;
    if (out.corrected) {
        const double t[3] = {s.transmitterOffset ? transmitterShift[0] : 0.0f,
                             s.transmitterOffset ? transmitterShift[1] : 0.0f,
                             s.transmitterOffset ? transmitterShift[2] : 0.0f};
        const double x = pose[0], y = pose[1], z = pose[2];
        const float q[3] = {static_cast<float>(x * 1 + y * 0 + z * 0 + t[0]),
                            static_cast<float>(x * 0 + y * 1 + z * 0 + t[1]),
                            static_cast<float>(x * 0 + y * 0 + z * 1 + t[2])};
        // N = S3 . R . T3 with both rotation blocks the identity; the sums keep
        // every product, so a NaN anywhere in a row or column spreads as it must.
        const Orientation n = timesIdentity(identityTimes(orientation(pose[3], pose[4], pose[5])));
        const double toDegrees = 57.295776f;
        pose[3] = static_cast<float>(-toDegrees * std::atan2(-n.m[2][0], n.m[2][2]));
        pose[4] = static_cast<float>(toDegrees * std::atan2(-n.m[2][1], std::hypot(n.m[2][2], n.m[2][0])));
        pose[5] = static_cast<float>(toDegrees * std::atan2(n.m[0][1], n.m[1][1]));
        out.gimbalLocked = !(std::fabs(n.m[2][1]) < 0.999);
        const Orientation turned = orientation(pose[3], pose[4], pose[5]);
        for (int j = 0; j < 3; ++j) {
            // The sensor offset is zero; it still carries a NaN orientation into the position.
            const double offset = 0.0 * turned.m[0][j] + 0.0 * turned.m[1][j] + 0.0 * turned.m[2][j];
            pose[j] = static_cast<float>(q[j] + offset);
            if (s.translatedStation == station) pose[j] += sensorShift[j];
        }
    }
    for (int i = 0; i < 6; ++i) out.fields[i] = fixedOf(pose[i], 100000.0);
    return out;
}

bool near(int32_t a, int32_t b) {
    const double difference = std::fabs(double(a) - double(b));
    return difference <= 2.0 + std::fabs(double(a)) * 2e-6;
}

bool nearAngle(int32_t published, int32_t expected) {
    const int32_t halfTurn = 17999000; // 179.99 degrees: either side of the seam is right
    if (std::abs(double(published)) > halfTurn && std::abs(double(expected)) > halfTurn) return true;
    return near(published, expected);
}

bool pointsEqual(const int32_t* a, const int32_t* b, int count) {
    for (int i = 0; i < count; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The device compares stored values decoded in single precision, so values
// a few units apart may count as equal; values further apart never do.
bool clearlyDifferent(const int32_t* a, const int32_t* b, int count) {
    for (int i = 0; i < count; ++i)
        if (std::fabs(double(a[i]) - double(b[i])) > std::fabs(double(a[i])) * 1e-6 + 1.0) return true;
    return false;
}

bool maskHas(const unsigned char* mask, uint32_t id) {
    return id >= 1 && id <= 32 && (mask[3 - (id - 1) / 8] >> ((id - 1) % 8) & 1);
}

const unsigned char untouched = 0xA5;

// Everything the checks keep between calls: the storages' slots before the
// call and the last values published for each station.
struct Model {
    is900::hostkit::TraData trackers[32];
    is900::hostkit::ConData controllers[32];
    int32_t lastPose[stations][6] = {};
    int32_t lastControls[stations][3] = {};
    bool controlsPublished[stations] = {};
};

struct Sample {
    uint32_t id = 0;
    int station = 0;
};

// Which record the consumed bytes frame: bytes up to the first '0' dropped,
// then everything up to CR LF, the buffer's end or the line's end.
bool frameRecord(const uint8_t* bytes, size_t size, bool lineEnded, size_t& start, size_t& length) {
    start = 0;
    while (start < size && bytes[start] != '0') ++start;
    length = size - start;
    const uint8_t* record = bytes + start;
    for (size_t i = 1; i + 2 < length; ++i)
        FUZZ_CHECK(!(record[i] == 0x0D && record[i + 1] == 0x0A), "the call read past a record's CR LF");
    const bool ended = length >= 2 && record[length - 2] == 0x0D && record[length - 1] == 0x0A;
    FUZZ_CHECK(ended || length == bufferCapacity || lineEnded, "the call stopped inside a record");
    FUZZ_CHECK(length <= bufferCapacity, "a record longer than the receive buffer");
    return start < size && (ended || length == bufferCapacity);
}

void checkTrackers(const Settings& s, Model& model, is900::hostkit::HostStorage& storage, const unsigned char* mask,
                   const Sample& sample, const uint8_t* record) {
    const bool hasTracker = anyOn(s.sensorOn);
    Expected expected{};
    bool mustPublish = false, mayPublish = false;
    if (sample.id) {
        expected = expectedPose(s, sample.station, record);
        int32_t* last = model.lastPose[sample.station - 1];
        mayPublish = !pointsEqual(expected.fields, last, 6);
        mustPublish = clearlyDifferent(expected.fields, last, 6) && !expected.corrected;
        if (expected.corrected) mayPublish = true;
    }
    is900::hostkit::HostLock hold(storage);
    for (uint32_t id = 1; id <= 32; ++id) {
        const is900::hostkit::TraData& now = storage.traSlots()[id - 1];
        const bool changed = std::memcmp(&now, &model.trackers[id - 1], sizeof now) != 0;
        const bool marked = hasTracker ? maskHas(mask, id) : false;
        const bool hasSlot = id <= storage.recordCount();
        FUZZ_CHECK(changed == (marked && hasSlot), "tracker ID %u: slot written %d, mask bit %d", id, changed, marked);
        if (marked && !hasSlot) {
            // Marked without a slot: the sample counts as published all the same.
            FUZZ_CHECK(id == sample.id && mayPublish, "tracker ID %u marked without a slot", id);
            std::memcpy(model.lastPose[sample.station - 1], expected.fields, sizeof expected.fields);
        }
        if (!changed) continue;
        FUZZ_CHECK(id == sample.id, "tracker ID %u written for a record of ID %u", id, sample.id);
        FUZZ_CHECK(mayPublish, "tracker ID %u: an unchanged sample published again", id);
        FUZZ_CHECK(fieldOf(now.id) == int32_t(id), "tracker ID %u: record carries ID %d", id, fieldOf(now.id));
        const uint32_t fields[6] = {now.x, now.y, now.z, now.azim, now.elev, now.roll};
        int32_t published[6];
        for (int i = 0; i < 6; ++i) published[i] = fieldOf(fields[i]);
        for (int i = 0; i < 6; ++i) {
            const bool angleUnstable = expected.corrected && expected.gimbalLocked && (i == 3 || i == 5);
            const bool good = !expected.corrected   ? published[i] == expected.fields[i]
                              : angleUnstable       ? true
                              : i >= 3              ? nearAngle(published[i], expected.fields[i])
                                                    : near(published[i], expected.fields[i]);
            FUZZ_CHECK(good, "tracker ID %u field %d: published %d, expected %d", id, i, published[i],
                       expected.fields[i]);
        }
        std::memcpy(model.lastPose[sample.station - 1], published, sizeof published);
        model.trackers[id - 1] = now;
    }
    FUZZ_CHECK(!mustPublish || maskHas(mask, sample.id), "tracker ID %u: a changed sample was not published",
               sample.id);
    if (hasTracker) {
        for (uint32_t id = 1; id <= 32; ++id)
            FUZZ_CHECK(maskHas(mask, id) == (id == sample.id && maskHas(mask, id)), "stray tracker mask bit");
    } else {
        for (int i = 0; i < 4; ++i) FUZZ_CHECK(mask[i] == untouched, "tracker mask touched without a tracker");
    }
}

void checkControllers(const Settings& s, Model& model, is900::hostkit::HostStorage& storage, const unsigned char* mask,
                      const Sample& sample, const uint8_t* controls) {
    const bool hasController = anyOn(s.controllerOn);
    int32_t expected[3] = {};
    bool mustPublish = false;
    if (sample.id) {
        expected[0] = controls[0];
        for (int v = 0; v < 2; ++v) {
            const int offset = int(controls[1 + v]) - 127;
            const float normalized = static_cast<float>(controls[1 + v] > 127 ? offset / 128.0 : offset / 127.0);
            expected[1 + v] = fixedOf(normalized, 1000.0);
        }
        const int index = sample.station - 1;
        mustPublish = !model.controlsPublished[index] || !pointsEqual(expected, model.lastControls[index], 3);
    }
    is900::hostkit::HostLock hold(storage);
    for (uint32_t id = 1; id <= 32; ++id) {
        const is900::hostkit::ConData& now = storage.conSlots()[id - 1];
        const bool changed = std::memcmp(&now, &model.controllers[id - 1], sizeof now) != 0;
        const bool marked = hasController ? maskHas(mask + 4, id) : false;
        const bool hasSlot = id <= storage.recordCount();
        FUZZ_CHECK(changed == (marked && hasSlot), "controller ID %u: slot written %d, mask bit %d", id, changed,
                   marked);
        if (marked && !hasSlot) {
            FUZZ_CHECK(id == sample.id && mustPublish, "controller ID %u marked without a slot", id);
            std::memcpy(model.lastControls[sample.station - 1], expected, sizeof expected);
            model.controlsPublished[sample.station - 1] = true;
        }
        if (!changed) continue;
        FUZZ_CHECK(id == sample.id, "controller ID %u written for a record of ID %u", id, sample.id);
        FUZZ_CHECK(mustPublish, "controller ID %u: an unchanged sample published again", id);
        FUZZ_CHECK(fieldOf(now.id) == int32_t(id), "controller ID %u: record carries ID %d", id, fieldOf(now.id));
        FUZZ_CHECK(fieldOf(now.valNumber) == 2 && fieldOf(now.butNumber) == 8, "controller ID %u: counts", id);
        const int32_t published[3] = {now.but[0], fieldOf(now.val[0]), fieldOf(now.val[1])};
        FUZZ_CHECK(pointsEqual(published, expected, 3) && now.but[1] == 0 && now.but[2] == 0 && now.but[3] == 0,
                   "controller ID %u: buttons %d valuators %d %d, expected %d %d %d", id, published[0],
                   published[1], published[2], expected[0], expected[1], expected[2]);
        std::memcpy(model.lastControls[sample.station - 1], expected, sizeof expected);
        model.controlsPublished[sample.station - 1] = true;
        model.controllers[id - 1] = now;
    }
    FUZZ_CHECK(!mustPublish || maskHas(mask + 4, sample.id), "controller ID %u: a changed sample was not published",
               sample.id);
    if (!hasController)
        for (int i = 4; i < 8; ++i) FUZZ_CHECK(mask[i] == untouched, "controller mask touched without a controller");
}

// One recvData call and its checks; false when reception is over.
bool receiveAndCheck(CBase* device, const Settings& s, Model& model, is900::hostkit::HostStorage& trackers,
                     is900::hostkit::HostStorage& controllers, const uint8_t* line, size_t lineSize) {
    unsigned char masks[8];
    std::memset(masks, untouched, sizeof masks);
    const size_t before = platform::memory::lineReadPosition();
    const int result = device->recvData(masks, nullptr);
    const size_t after = platform::memory::lineReadPosition();
    const bool lineEnded = after == lineSize;
    FUZZ_CHECK(result == 1 || (result == -1 && platform::memory::lineFailed()),
               "recvData returned %d on a working line", result);

    Sample tracker, controller;
    const uint8_t* record = nullptr;
    const uint8_t* controls = nullptr;
    size_t start = 0, length = 0;
    if (result == 1 && frameRecord(line + before, after - before, lineEnded, start, length)) {
        record = line + before + start;
        const int station = int(record[1]) - '0';
        if (length == 29 || length == 32) {
            tracker.id = idOf(s.sensorOn, s.trackerBase, station);
            if (tracker.id > 32) tracker.id = 0;
            tracker.station = station;
        }
        if (length == 8 || length == 32) {
            controller.id = idOf(s.controllerOn, s.controllerBase, station);
            if (controller.id > 32) controller.id = 0;
            controller.station = station;
            controls = record + (length == 32 ? 27 : 3);
        }
    }
    checkTrackers(s, model, trackers, masks, tracker, record);
    checkControllers(s, model, controllers, masks, controller, controls);
    return result == 1 && !(lineEnded && after == before);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhost::silenceConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < settingsSize) return 0;
    const Settings settings = settingsOf(data);
    const uint8_t* line = data + settingsSize;
    const size_t lineSize = size - settingsSize;
    platform::memory::setLineInput(line, lineSize, settings.failAtEnd);

    is900::hostkit::HostStorage trackers(is900::hostkit::StorageKind::tracker);
    is900::hostkit::HostStorage controllers(is900::hostkit::StorageKind::controller);
    trackers.setRecordCount(settings.trackerBase);
    controllers.setRecordCount(settings.controllerBase);
    OptionLinesBuilder lines;
    addOptionLines(settings, lines);
    int32_t runFlag = 1;
    is900::hostkit::DevInitInfo info = is900::hostkit::deviceInitInfo(trackers, controllers, &runFlag);

    CBase* device = createDev(lines.get(), nullptr);
    FUZZ_CHECK(device->init(kitrecords::plugin(&info)) == 1, "init refused the stream's option lines");
    auto model = std::make_unique<Model>();
    std::memcpy(model->trackers, trackers.traSlots(), sizeof model->trackers);
    std::memcpy(model->controllers, controllers.conSlots(), sizeof model->controllers);
    // Each call consumes at least one byte unless the line is silent or gone.
    for (size_t calls = 0; calls <= lineSize + 1; ++calls)
        if (!receiveAndCheck(device, settings, *model, trackers, controllers, line, lineSize)) break;
    FUZZ_CHECK(device->stop(), "stop failed");
    deleteDev(device);
    FUZZ_CHECK(platform::memory::openLineCount() == 0, "the device left its line open");
    return 0;
}
