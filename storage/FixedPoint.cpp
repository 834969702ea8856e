#include "storage/FixedPoint.h"

#include "platform/platform.h"

#include <cmath>
#include <limits>

namespace fixedpoint {

int32_t toFixed(float value, double scale) {
    const double scaled = static_cast<double>(value) * scale;
    if (std::isnan(scaled)) return 0;
    // Both limits are exact doubles; inside them truncation always fits.
    if (scaled >= 2147483648.0) return std::numeric_limits<int32_t>::max();
    if (scaled <= -2147483649.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(scaled);
}

uint32_t encode(float value, double scale) {
    return platform::hostToNetwork32(static_cast<uint32_t>(toFixed(value, scale)));
}

} // namespace fixedpoint
