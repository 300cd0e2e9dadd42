#include "SyntraSyncHALImpl/MeasurementComputers.h"

#include <cmath>

#include "HALUtilities/DriverRequest.h"
#include "SyntraSyncHALImpl/SyntraSyncControlProxy.h"
#include "qvaal/pulseInjectionHelper.h"
#include "qverr/DetailWriter.h"

namespace {

constexpr const char* kComponent = "qv3377hal";

[[noreturn]] void failFTDC(const char* message) {
    qverr::throwWithMessage(qverr::qvapalerr_invalidParameter,
                            QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"),
                            "FTDCMeasurementComputer", message);
}

// Calibration: settings 1 to 7, each held for this many readings.
constexpr size_t kReadingsPerSetting = 200;
constexpr size_t kSettingCount = 7;
constexpr double kStretchedClockRate = 1.2e9;
constexpr double kSettingClockRate = 156.25e6;
constexpr double kCoarseClockRate = 1e8;

// Relative size below which a triangular pivot counts as zero.
constexpr double kRankTolerance = 1e-13;

}  // namespace

namespace qvftdc {

FTDCMeasurementComputer::FTDCMeasurementComputer(uint64_t multiplier, uint64_t divisor,
                                                 uint64_t startClockDelayCycles,
                                                 double timebaseRate, double startClockRate) {
    if (divisor == 0) failFTDC("mclkDivisor is 0");
    if (multiplier == 0) failFTDC("mclkMultiplier is 0");
    // Written so that a NaN is refused as well.
    if (!(timebaseRate > 0.0)) failFTDC("mclkTimebaseRate is not greater than 0.0");
    if (!(startClockRate > 0.0)) failFTDC("startClockRate is not greater than 0.0");
    mclkTimebaseRate = timebaseRate;
    mclkMultiplier = multiplier;
    mclkDivisor = divisor;
    mclkPeriod = static_cast<double>(divisor) / (timebaseRate * static_cast<double>(multiplier));
    startOffset = (static_cast<double>(startClockDelayCycles) + 5.0) * (1.0 / startClockRate);
}

namespace {

// The record's own values, refusing a rate the driver left without a
// denominator (it would turn into an infinite rate).
FTDCMeasurementComputer fromRecord(const syntrasynchal::FTDCConfiguration& record) {
    if (record.mclkTimebaseRateDenominator == 0) failFTDC("mclkTimebaseRateDenominator is 0");
    if (record.startClockRateDenominator == 0) failFTDC("startClockRateDenominator is 0");
    return FTDCMeasurementComputer(record.mclkMultiplier, record.mclkDivisor,
                                   record.startClockDelayCycles,
                                   static_cast<double>(record.mclkTimebaseRateNumerator) /
                                       static_cast<double>(record.mclkTimebaseRateDenominator),
                                   static_cast<double>(record.startClockRateNumerator) /
                                       static_cast<double>(record.startClockRateDenominator));
}

}  // namespace

FTDCMeasurementComputer::FTDCMeasurementComputer(const syntrasynchal::FTDCConfiguration& record,
                                                 uint64_t defaultMultiplier,
                                                 uint64_t defaultDivisor,
                                                 uint64_t defaultStartClockDelayCycles,
                                                 double defaultTimebaseRate,
                                                 double defaultStartClockRate)
    : FTDCMeasurementComputer(
          record.valid != 0 ? fromRecord(record)
                            : FTDCMeasurementComputer(defaultMultiplier, defaultDivisor,
                                                      defaultStartClockDelayCycles,
                                                      defaultTimebaseRate, defaultStartClockRate)) {
}

double FTDCMeasurementComputer::computeMeasurement(const sdihal::tFixedPointValue& start,
                                                   const sdihal::tFixedPointValue& stop,
                                                   uint64_t coarseCount, double stopClockPeriod,
                                                   double stopPulsePeriod) const {
    if (!(stopClockPeriod > 0.0)) failFTDC("stop clock period is not greater than 0.0");
    if (!(stopPulsePeriod > 0.0)) failFTDC("stop pulse period is not greater than 0.0");
    const double startTime = sdihal::fixedPointToDouble(start) * mclkPeriod;
    const double stopTime = sdihal::fixedPointToDouble(stop) * mclkPeriod - startOffset;
    const double d = startTime - stopTime;
    const double base = static_cast<double>(coarseCount) * stopClockPeriod;
    for (int k = -2; k <= 1; ++k) {
        const double r = k * stopPulsePeriod + base + d;
        if (r > 0.0 || std::isnan(r)) return r;
    }
    return 2 * stopPulsePeriod + base + d;
}

}  // namespace qvftdc

void fitPolynomialLeastSquares(const std::vector<double>& x, const std::vector<double>& y,
                               std::vector<double>& coefficients, int32_t degree) {
    const auto invalid = [](const char* message) {
        qverr::throwWithMessage(qverr::qvapalerr_invalidParameter,
                                QVERR_LOCATION(kComponent, "qvapalerr_invalidParameter"),
                                "fitPolynomialLeastSquares", message);
    };
    if (degree < -1) invalid("degree is below -1");
    const size_t n = x.size();
    const size_t m = static_cast<size_t>(degree + 1);
    if (y.size() != n) invalid("x and y differ in length");
    if (n < m) invalid("fewer points than coefficients");
    if (m == 0) return;

    // x is scaled by a power of two so that its largest magnitude lies in
    // [0.5, 1): the powers of badly scaled x (times in seconds, say) then
    // neither underflow nor overflow, and since a power-of-two scale is
    // exact, every rotation below is the same as on the unscaled matrix.
    double largest = 0.0;
    for (const double value : x) largest = std::fmax(largest, std::fabs(value));
    int exponent = 0;
    if (largest > 0.0 && std::isfinite(largest)) std::frexp(largest, &exponent);

    // Row-major n x m Vandermonde matrix of the scaled x, and below it one
    // row with each column's largest magnitude.
    std::vector<double> block((n + 1) * m);
    auto a = [&](size_t i, size_t j) -> double& { return block[i * m + j]; };
    double* columnSize = &block[n * m];
    for (size_t i = 0; i < n; ++i) {
        const double scaled = std::ldexp(x[i], -exponent);
        double power = 1.0;
        for (size_t j = 0; j < m; ++j) {
            a(i, j) = power;
            columnSize[j] = std::fmax(columnSize[j], std::fabs(power));
            power *= scaled;
        }
    }
    std::vector<double> b(y);

    for (size_t j = 0; j < m; ++j) {
        for (size_t i = j + 1; i < n; ++i) {
            if (a(i, j) == 0.0) continue;
            const double p = a(j, j);
            const double q = a(i, j);
            double r;
            if (std::fabs(p) > std::fabs(q)) {
                const double t = q / p;
                r = std::fabs(p) * std::sqrt(1.0 + t * t);
            } else {
                const double t = p / q;
                r = std::fabs(q) * std::sqrt(1.0 + t * t);
            }
            const double c = (1.0 / r) * p;
            const double s = (1.0 / r) * q;
            a(j, j) = r;
            a(i, j) = 0.0;
            for (size_t k = j + 1; k < m; ++k) {
                const double lower = a(i, k);
                const double upper = a(j, k);
                a(i, k) = c * lower - s * upper;
                a(j, k) = s * lower + c * upper;
            }
            const double lower = b[i];
            const double upper = b[j];
            b[i] = c * lower - s * upper;
            b[j] = s * lower + c * upper;
        }
    }

    // Solved into b's first m entries so that a failure leaves the caller's
    // coefficients untouched.
    bool finite = true;
    for (size_t j = m; j-- > 0;) {
        double sum = b[j];
        for (size_t k = j + 1; k < m; ++k) sum -= a(j, k) * b[k];
        // A pivot at rounding level of its column means the points leave
        // that coefficient undetermined (repeated x, say).
        const double pivot = a(j, j);
        if (!(std::fabs(pivot) > kRankTolerance * static_cast<double>(n) * columnSize[j]))
            finite = false;
        b[j] = sum / pivot;
        finite = finite && std::isfinite(b[j]) &&
                 std::isfinite(std::ldexp(b[j], -exponent * static_cast<int>(j)));
    }
    if (!finite) {
        qverr::throwWithMessage(
            qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
            QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"),
            "fitPolynomialLeastSquares", "The points determine no polynomial of this degree.");
    }
    if (coefficients.size() < m) coefficients.resize(m);
    for (size_t j = 0; j < m; ++j) {
        coefficients[j] = std::ldexp(b[j], -exponent * static_cast<int>(j));
    }
}

double evaluatePolynomial(const std::vector<double>& coefficients, double x) {
    double sum = 0.0;
    double power = 1.0;
    for (const double coefficient : coefficients) {
        sum += coefficient * power;
        power *= x;
    }
    return sum;
}

void PulseStretcherMeasurementComputer::calibrate(
    syntrasynchal::SyntraSyncControlInterface& control) {
    constexpr size_t kReadings = kReadingsPerSetting * kSettingCount;
    std::vector<uint8_t> settings(kReadings);
    for (size_t i = 0; i < kReadings; ++i)
        settings[i] = static_cast<uint8_t>(i / kReadingsPerSetting + 1);
    std::vector<uint64_t> counts(kReadings);
    qv3377hal::driverRequest([&](nQVAPALS100::tStatus& status) {
        control.runPulseStretcherCalibration(reinterpret_cast<uintptr_t>(settings.data()),
                                             reinterpret_cast<uintptr_t>(counts.data()),
                                             static_cast<uint32_t>(kReadings), status);
    });
    std::vector<double> x(kSettingCount);
    std::vector<double> y(kSettingCount);
    for (size_t k = 0; k < kSettingCount; ++k) {
        uint64_t sum = 0;
        for (size_t i = 0; i < kReadingsPerSetting; ++i) sum += counts[kReadingsPerSetting * k + i];
        x[k] = static_cast<double>(sum) / static_cast<double>(kReadingsPerSetting) /
               kStretchedClockRate;
        y[k] = static_cast<double>(k + 1) / kSettingClockRate;
    }
    std::vector<double> fitted(kSettingCount, 0.0);
    fitPolynomialLeastSquares(x, y, fitted, static_cast<int32_t>(kSettingCount) - 1);
    coefficients = std::move(fitted);
}

double PulseStretcherMeasurementComputer::computeMeasurement(uint64_t first, uint64_t second,
                                                             uint64_t third,
                                                             double syntraPeriod) const {
    if (coefficients.empty()) {
        qverr::throwWithMessage(
            qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
            QVERR_LOCATION(kComponent, "qvapalerr_softwareFaultAPALInternalUseOnly"),
            "computeMeasurement", "No TDC calibration coefficients found.");
    }
    const double fine =
        evaluatePolynomial(coefficients, static_cast<double>(third) / kStretchedClockRate);
    return static_cast<double>(first) / kCoarseClockRate - fine +
           (syntraPeriod - static_cast<double>(second) / kSettingClockRate);
}

double PulseInjectionMeasurementComputer::computeMeasurement(
    AALProxy& aal, const std::vector<uint32_t>& samples, uint32_t first, uint32_t second,
    double converterDelay, double samplePeriod, double stepPeriod, double syntraPeriod) const {
    std::vector<double> values;
    values.reserve(samples.size());
    for (const uint32_t raw : samples) values.push_back(pulseInjectionHelper::sampleToDouble(raw));
    // An empty record is refused by the edge search below; its duration is
    // never used then.
    const double duration =
        samples.empty() ? 0.0 : static_cast<double>(samples.size() - 1) * samplePeriod;
    const uint64_t edgeThreshold = 35;
    const double edge = pulseInjectionHelper::computeMissingEdgeTime(aal, samplePeriod, 50e6, 0.05,
                                                                     edgeThreshold, values);
    return ((duration - edge) + (static_cast<double>(first) * stepPeriod + converterDelay)) +
           (syntraPeriod - static_cast<double>(second) * stepPeriod) - 1e-8;
}
