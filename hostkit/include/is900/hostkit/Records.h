// The records a host shares with the IS-900 plug-in, as plain layouts: the
// option lines it hands to createDev, the logger record, the two storages
// with their mutex records and record lists, what init is given, and the
// device's virtual slots. Every field sits where the plug-in reads or writes
// it in 32-bit builds; values travel in network byte order and fixed point,
// and the inline readers below decode them. Nothing here needs the
// plug-in's code; the plug-in's own records are these layouts with its
// operations added, so a layout is written here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace is900 {
namespace hostkit {

const uint32_t maxOptionLines = 32;
const uint32_t maxOptionArgs = 64;

struct ConfigLine {
    uint32_t lineNumber;
    char* keyword;
    char* args[maxOptionArgs];
    uint32_t argCount;
    bool used; // set by the device when one of its parsers took the line
    char padding[3];
};

struct DevConfig {
    uint32_t hostField;
    char* name;
    char hostFields[268];
    ConfigLine lines[maxOptionLines];
    uint32_t lineCount;
};

// The logger record: every object of the plug-in starts from a byte copy.
struct CLogH {
    static const int textSize = 100;
    bool showDate;
    bool showTime;
    bool showThreadId;
    bool enabled;
    char name[textSize];
    char infoLabel[textSize];
    char errorLabel[textSize];
    char warningLabel[textSize];
    char debugLabel[textSize];
    int32_t debugThreshold;
    int32_t debugLevel;
    int32_t debugGroup;
};

// Local time as the C runtime's millisecond clock reports it.
struct LocalTimeStamp {
    int32_t seconds;
    uint16_t milliseconds;
    int16_t minutesWest;
    int16_t daylightSaving;
    uint16_t padding;
};

// A tracker station's sample: the pose in feet and degrees, x 100000.
struct TraData {
    uint32_t id;
    uint32_t reserved0;
    uint32_t timeSec;
    uint32_t timeUsec;
    uint32_t reserved1;
    uint32_t x;
    uint32_t y;
    uint32_t z;
    uint32_t azim;
    uint32_t elev;
    uint32_t roll;
    LocalTimeStamp localTime;
};

const uint32_t maxValuators = 32;
const uint32_t maxButtons = 32;

// A controller's sample: valuators x 1000 in network order, the button bit
// field in host order (button n is bit (n-1) % 8 of byte (n-1) / 8).
struct ConData {
    uint32_t id;
    uint32_t reserved0;
    uint32_t timeSec;
    uint32_t timeUsec;
    uint32_t reserved1;
    uint32_t valNumber;
    uint32_t butNumber;
    uint32_t valOffset;
    uint32_t butOffset;
    uint32_t val[maxValuators];
    uint8_t but[4];
    uint32_t butBytes;
    LocalTimeStamp localTime;
};

// The mutex record around the host's operating-system mutex.
struct CMutexH {
    void* hostSlots[17];
    void* mutexHandle;
    void* hostSlots2[2];
    CLogH* log;
};

// Records carry IDs 1 to 32; every list in a storage has room for 32.
const uint32_t maxRecordId = 32;

// One shared storage: a list of 32 records of one kind and their number.
struct CDataStorage {
    void* hostSlot0;
    TraData* traDataList;
    ConData* conDataList;
    CLogH* log;
    void* hostSlot16;
    CMutexH* mutex;
    void* hostSlots24[2];
    uint32_t* dataNumber;
};

struct DevInitInfo {
    CDataStorage* trackerStorage;
    CDataStorage* controllerStorage;
    char hostFields[36];
    int32_t* runFlag;
};

// The host-order value of a field stored in network byte order.
inline uint32_t fromNetworkOrder(uint32_t field) {
    unsigned char bytes[4];
    std::memcpy(bytes, &field, sizeof bytes);
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

// The value of one unit of a pose field (feet or degrees) and of a valuator.
const float poseUnit = 0.00001f;
const float valuatorUnit = 0.001f;

// A network-order fixed-point field as a real value, in single precision.
inline float decodeFixed(uint32_t field, float unit) {
    return static_cast<float>(static_cast<float>(static_cast<int32_t>(fromNetworkOrder(field))) * unit);
}
inline float decodePose(uint32_t field) { return decodeFixed(field, poseUnit); }
inline float decodeValuator(uint32_t field) { return decodeFixed(field, valuatorUnit); }

// Seconds since 1970 of a record's time stamp.
template <typename Record>
double recordTime(const Record& record) {
    return fromNetworkOrder(record.timeSec) + fromNetworkOrder(record.timeUsec) / 1e6;
}
inline uint32_t valuatorCount(const ConData& record) { return fromNetworkOrder(record.valNumber); }
inline uint32_t buttonCount(const ConData& record) { return fromNetworkOrder(record.butNumber); }
inline bool buttonPressed(const ConData& record, uint32_t number) {
    return number >= 1 && number <= maxButtons && (record.but[(number - 1) / 8] >> ((number - 1) % 8) & 1u) != 0;
}

// Bit n-1 of a big-endian update mask marks record ID n.
inline bool marked(const unsigned char* mask, uint32_t id) {
    return id >= 1 && id <= maxRecordId && (mask[3 - (id - 1) / 8] >> ((id - 1) % 8) & 1u) != 0;
}

// Every field sits at a fixed offset: the records of values in every build,
// the records that carry pointers in 32-bit builds.
static_assert(sizeof(CLogH) == 516 && offsetof(CLogH, showTime) == 1 && offsetof(CLogH, showThreadId) == 2 &&
                  offsetof(CLogH, enabled) == 3 && offsetof(CLogH, name) == 4 && offsetof(CLogH, infoLabel) == 104,
              "CLogH layout");
static_assert(offsetof(CLogH, errorLabel) == 204 && offsetof(CLogH, warningLabel) == 304 &&
                  offsetof(CLogH, debugLabel) == 404 && offsetof(CLogH, debugThreshold) == 504 &&
                  offsetof(CLogH, debugLevel) == 508 && offsetof(CLogH, debugGroup) == 512,
              "CLogH layout");
static_assert(sizeof(LocalTimeStamp) == 12 && offsetof(LocalTimeStamp, milliseconds) == 4 &&
                  offsetof(LocalTimeStamp, minutesWest) == 6 && offsetof(LocalTimeStamp, daylightSaving) == 8 &&
                  offsetof(LocalTimeStamp, padding) == 10,
              "LocalTimeStamp layout");
// The time and reserved words open both sample records alike.
template <typename Sample>
constexpr bool opensLikeASample() {
    return offsetof(Sample, id) == 0 && offsetof(Sample, reserved0) == 4 && offsetof(Sample, timeSec) == 8 &&
           offsetof(Sample, timeUsec) == 12 && offsetof(Sample, reserved1) == 16;
}
static_assert(opensLikeASample<TraData>() && sizeof(TraData) == 56 && offsetof(TraData, x) == 20 &&
                  offsetof(TraData, y) == 24 && offsetof(TraData, z) == 28 && offsetof(TraData, azim) == 32 &&
                  offsetof(TraData, elev) == 36 && offsetof(TraData, roll) == 40 && offsetof(TraData, localTime) == 44,
              "TraData layout");
static_assert(opensLikeASample<ConData>() && sizeof(ConData) == 184 && offsetof(ConData, valNumber) == 20 &&
                  offsetof(ConData, butNumber) == 24 && offsetof(ConData, valOffset) == 28 &&
                  offsetof(ConData, butOffset) == 32 && offsetof(ConData, val) == 36 && offsetof(ConData, but) == 164 &&
                  offsetof(ConData, butBytes) == 168 && offsetof(ConData, localTime) == 172,
              "ConData layout");

#define IS900_HOSTKIT_32_BIT (sizeof(void*) == 4)
static_assert(!IS900_HOSTKIT_32_BIT || (sizeof(ConfigLine) == 272 && offsetof(ConfigLine, keyword) == 4 &&
                                        offsetof(ConfigLine, args) == 8 && offsetof(ConfigLine, argCount) == 264 &&
                                        offsetof(ConfigLine, used) == 268),
              "ConfigLine layout");
static_assert(!IS900_HOSTKIT_32_BIT || (sizeof(DevConfig) == 8984 && offsetof(DevConfig, name) == 4 &&
                                        offsetof(DevConfig, hostFields) == 8 && offsetof(DevConfig, lines) == 276 &&
                                        offsetof(DevConfig, lineCount) == 8980),
              "DevConfig layout");
static_assert(!IS900_HOSTKIT_32_BIT ||
                  (sizeof(DevInitInfo) == 48 && offsetof(DevInitInfo, controllerStorage) == 4 &&
                   offsetof(DevInitInfo, hostFields) == 8 && offsetof(DevInitInfo, runFlag) == 44),
              "DevInitInfo layout");
static_assert(!IS900_HOSTKIT_32_BIT || (sizeof(CMutexH) == 84 && offsetof(CMutexH, mutexHandle) == 68 &&
                                        offsetof(CMutexH, hostSlots2) == 72 && offsetof(CMutexH, log) == 80),
              "CMutexH layout");
static_assert(!IS900_HOSTKIT_32_BIT || (sizeof(CDataStorage) == 36 && offsetof(CDataStorage, traDataList) == 4 &&
                                        offsetof(CDataStorage, conDataList) == 8 && offsetof(CDataStorage, log) == 12 &&
                                        offsetof(CDataStorage, hostSlot16) == 16 && offsetof(CDataStorage, mutex) == 20 &&
                                        offsetof(CDataStorage, hostSlots24) == 24 &&
                                        offsetof(CDataStorage, dataNumber) == 32),
              "CDataStorage layout");
#undef IS900_HOSTKIT_32_BIT

} // namespace hostkit
} // namespace is900
