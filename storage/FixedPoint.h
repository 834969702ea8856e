// Fixed-point values as they travel in the shared records: a signed 32-bit
// integer in network byte order.
#pragma once

#include "hostkit/include/is900/hostkit/Records.h"

#include <cstdint>

namespace fixedpoint {

const double poseScale = 100000.0;
const double valuatorScale = 1000.0;

// Scales a value and truncates it toward zero. Values beyond the 32-bit range
// (infinities included) saturate to its ends; NaN gives 0. Host byte order.
int32_t toFixed(float value, double scale);
// The same in network byte order, as the records store it.
uint32_t encode(float value, double scale);

// Decoding is the hosts' own: the readers beside the record layouts.
using is900::hostkit::decodePose;
using is900::hostkit::decodeValuator;
using is900::hostkit::fromNetworkOrder;

} // namespace fixedpoint
