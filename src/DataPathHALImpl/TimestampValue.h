// Exact trigger-timestamp arithmetic: a time held as whole ticks, a part of
// a tick and the tick period, so that the difference of two large tick
// counts stays exact and becomes a double only at the end. A negative
// period marks a negative time.
#pragma once

#include <cstdint>

namespace datapathhal {

struct TimestampValue {
    uint64_t ticks = 0;
    double fraction = 0.0;
    double period = 1.0;

    double toTime() const;
    // Keeps the magnitude of the period; a time that is not finite or whose
    // tick count does not fit 64 bits is held in the fraction alone, so it
    // comes back out of toTime() as it went in (NaN, infinite or huge).
    void fromTime(double seconds);
    // *this = *this - other.
    TimestampValue& operator-=(const TimestampValue& other);
};

inline TimestampValue operator-(TimestampValue a, const TimestampValue& b) {
    return a -= b;
}

struct RecordTimestamps {
    bool hasFirst = false;
    TimestampValue first;
    TimestampValue second;
    TimestampValue third;
};

}  // namespace datapathhal
