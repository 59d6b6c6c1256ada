/*
 * rounding.cpp --
 *
 *	roundToInt: the package's one rule for taking a value to the nearest
 *	integer (halves away from zero), defined for every double.
 */
#include "tesk.h"

#include <cmath>
#include <cstdint>

extern "C" int32_t roundToInt(double x)
{
    if (std::isnan(x)) {
        return 0;
    }
    double r = x > 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    if (r >= 2147483647.0) {
        return INT32_MAX;
    }
    if (r <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(r);
}
