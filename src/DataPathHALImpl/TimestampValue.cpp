#include "DataPathHALImpl/TimestampValue.h"

#include <cmath>

namespace datapathhal {

double TimestampValue::toTime() const {
    return static_cast<double>(ticks) * period + period * fraction;
}

void TimestampValue::fromTime(double seconds) {
    constexpr double kTwoTo64 = 18446744073709551616.0;
    period = std::fabs(period);
    if (seconds < 0) period = -period;
    const double q = seconds / period;
    if (q >= 0.0 && q < kTwoTo64) {
        ticks = static_cast<uint64_t>(q);
        fraction = q - static_cast<double>(ticks);
    } else {
        ticks = 0;
        fraction = q;
    }
}

TimestampValue& TimestampValue::operator-=(const TimestampValue& other) {
    if (period != other.period) {
        fromTime(toTime() - other.toTime());
        return *this;
    }
    const bool notLess =
        ticks > other.ticks || (ticks == other.ticks && fraction >= other.fraction);
    const uint64_t high = notLess ? ticks : other.ticks;
    const uint64_t low = notLess ? other.ticks : ticks;
    const double highFraction = notLess ? fraction : other.fraction;
    const double lowFraction = notLess ? other.fraction : fraction;
    ticks = high - low;
    fraction = highFraction - lowFraction;
    if (fraction < 0.0) {
        fraction += 1.0;
        --ticks;
    }
    // A smaller minuend flips the sign of the time; negating the period (not
    // forcing it negative) keeps the sign right for negative times too.
    if (!notLess) period = -period;
    return *this;
}

}  // namespace datapathhal
