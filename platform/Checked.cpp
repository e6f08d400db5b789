#include "Checked.h"

#include <cmath>

namespace glimmer::checked {

std::int32_t roundToInt32(double v)
{
    if (std::isnan(v))
        throw OverflowError();
    // nearbyint follows the current rounding mode, which is round-half-even by default.
    const double r = std::nearbyint(v);
    if (r < static_cast<double>(std::numeric_limits<std::int32_t>::min())
        || r > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        throw OverflowError();
    return static_cast<std::int32_t>(r);
}

} // namespace glimmer::checked
