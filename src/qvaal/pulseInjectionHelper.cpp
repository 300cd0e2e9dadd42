#include "qvaal/pulseInjectionHelper.h"

#include <cmath>

#include "FixedPoint/FixedPoint.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace pulseInjectionHelper {
namespace {

constexpr const char* kComponent = "qv3377hal";

const sdihal::tFixedPointFormat& sampleFormat() {
    static const sdihal::tFixedPointFormat format{true, 18, 1};
    return format;
}

[[noreturn]] void failSoftware(const qverr::SourceLocation& location, const char* key,
                               const char* message) {
    qverr::throwWithMessage(qvmxl::kErrorSoftwareFault, location, key, message);
}

}  // namespace

double sampleToDouble(const uint32_t& raw) {
    constexpr uint32_t kMask = (1u << 18) - 1;
    const int64_t value =
        static_cast<int64_t>(raw & kMask) - ((raw & (1u << 17)) != 0 ? (1 << 18) : 0);
    sdihal::tFixedPointValue fixed;
    fixed.bits = static_cast<uint64_t>(value);
    fixed.format = sampleFormat();
    return sdihal::fixedPointToDouble(fixed);
}

double roundToMultiple(const double& value, const double& step) {
    return std::round(value / step) * step;
}

void chopMissingEdge(uint64_t edgeThreshold, uint64_t runThreshold, std::vector<double>& samples) {
    const size_t n = samples.size();
    uint64_t run = 1;
    uint64_t changes = 0;
    // An empty record has no pair to compare, like a single sample.
    for (size_t i = 0; i + 1 < n; ++i) {
        if (std::signbit(samples[i]) != std::signbit(samples[i + 1])) {
            ++changes;
            if (changes > edgeThreshold && run > runThreshold) {
                samples.resize(i + 2 - run);
                return;
            }
            run = 1;
        } else {
            ++run;
        }
    }
    failSoftware(QVERR_LOCATION(kComponent, "qvmxl::kErrorSoftwareFault"), "chopMissingEdge",
                 "Could not identify synchronization event.");
}

double computeMissingEdgeTime(AALProxy& aal, const double& samplePeriod,
                              const double& nominalFrequency, const double& tolerance,
                              const uint64_t& edgeThreshold, std::vector<double>& samples) {
    const long halfPeriodSamples = std::lround(1.0 / (2.0 * nominalFrequency * samplePeriod));
    const long runThreshold = std::lround(1.5 * static_cast<double>(halfPeriodSamples));
    if (samples.empty()) {
        qverr::throwWithMessage(qverr::qvapalerr_invalidParameter,
                                QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"),
                                "computeMissingEdgeTime", "No pulse injection data to evaluate.");
    }
    chopMissingEdge(edgeThreshold, static_cast<uint64_t>(runThreshold), samples);

    double frequency = 0.0;
    double otherOutput = 0.0;
    double phase = 0.0;
    aal.singleToneInfo(samples, samplePeriod, -1.0, 5.0, frequency, otherOutput, phase);
    // Written as "not inside" so that a NaN from the library is refused too.
    if (!((1.0 - tolerance) * nominalFrequency <= frequency &&
          frequency <= (1.0 + tolerance) * nominalFrequency)) {
        failSoftware(QVERR_LOCATION(kComponent, "qvmxl::kErrorSoftwareFault"),
                     "computeMissingEdgeTime", "Computed frequency is outside expected range.");
    }
    if (!(-360.0 <= phase && phase <= 360.0)) {
        failSoftware(QVERR_LOCATION(kComponent, "qvmxl::kErrorSoftwareFault"),
                     "computeMissingEdgeTime", "Computed phase is outside expected range.");
    }
    double p = phase / -360.0;
    if (p < 0.0) p += 1.0;
    const double period = 1.0 / frequency;
    const double halfPeriod = 0.5 * period;
    const double t0 = std::fmod(period * p, halfPeriod);
    const double end = static_cast<double>(samples.size()) * samplePeriod - t0;
    return roundToMultiple(end, halfPeriod) + t0 + halfPeriod;
}

}  // namespace pulseInjectionHelper
