// Fixed-point values as they travel in the shared records: a signed 32-bit
// integer in network byte order. Decoding needs no operating-system call, so
// hosts and tools can read records with this header alone.
#pragma once

#include <cstdint>
#include <cstring>

namespace fixedpoint {

const double poseScale = 100000.0;
const double valuatorScale = 1000.0;
const float poseUnit = 0.00001f;
const float valuatorUnit = 0.001f;

// Scales a value and truncates it toward zero. Values beyond the 32-bit range
// (infinities included) saturate to its ends; NaN gives 0. Host byte order.
int32_t toFixed(float value, double scale);
// The same in network byte order, as the records store it.
uint32_t encode(float value, double scale);

// The host-order value of a field stored in network byte order.
inline uint32_t fromNetworkOrder(uint32_t field) {
    unsigned char bytes[4];
    std::memcpy(bytes, &field, sizeof bytes);
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

// A network-order fixed-point field as a real value, in single precision.
inline float decode(uint32_t field, float unit) {
    const float whole = static_cast<float>(static_cast<int32_t>(fromNetworkOrder(field)));
    return static_cast<float>(whole * unit);
}

inline float decodePose(uint32_t field) { return decode(field, poseUnit); }
inline float decodeValuator(uint32_t field) { return decode(field, valuatorUnit); }

} // namespace fixedpoint
