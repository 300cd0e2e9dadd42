// The computations that turn a module's raw synchronization readings into
// the time of its trigger-clock edge, in seconds: the fine time-to-digital
// converter, the calibrated pulse stretcher and pulse injection; and the
// least-squares polynomial fit behind the pulse-stretcher calibration.
#pragma once

#include <cstdint>
#include <vector>

#include "FixedPoint/FixedPoint.h"

class AALProxy;

namespace syntrasynchal {
class SyntraSyncControlInterface;
struct FTDCConfiguration;
}  // namespace syntrasynchal

namespace qvftdc {

class FTDCMeasurementComputer {
public:
    // Throws -52005 with the offending parameter named.
    FTDCMeasurementComputer(uint64_t mclkMultiplier, uint64_t mclkDivisor,
                            uint64_t startClockDelayCycles, double mclkTimebaseRate,
                            double startClockRate);
    // From the driver's record when it is valid, else from the defaults
    // given. A valid record with a zero rate denominator throws -52005.
    FTDCMeasurementComputer(const syntrasynchal::FTDCConfiguration& record,
                            uint64_t defaultMultiplier, uint64_t defaultDivisor,
                            uint64_t defaultStartClockDelayCycles, double defaultTimebaseRate,
                            double defaultStartClockRate);
    virtual ~FTDCMeasurementComputer() = default;

    // The first positive of five candidates one stop-pulse period apart,
    // starting two periods early.
    double computeMeasurement(const sdihal::tFixedPointValue& start,
                              const sdihal::tFixedPointValue& stop, uint64_t coarseCount,
                              double stopClockPeriod, double stopPulsePeriod) const;

    double mclkTimebaseRate = 0.0;
    uint64_t mclkMultiplier = 0;
    uint64_t mclkDivisor = 0;
    double startOffset = 0.0;
    double mclkPeriod = 0.0;
};

}  // namespace qvftdc

class PulseStretcherMeasurementComputer {
public:
    // Runs the driver's calibration and fits the stretched-length-to-delay
    // polynomial. A failed request or a degenerate fit throws and keeps the
    // coefficients it had.
    void calibrate(syntrasynchal::SyntraSyncControlInterface& control);
    // Throws -52003 before the first calibration.
    double computeMeasurement(uint64_t first, uint64_t second, uint64_t third,
                              double syntraPeriod) const;

    std::vector<double> coefficients;
};

class PulseInjectionMeasurementComputer {
public:
    double computeMeasurement(AALProxy& aal, const std::vector<uint32_t>& samples, uint32_t first,
                              uint32_t second, double converterDelay, double samplePeriod,
                              double stepPeriod, double syntraPeriod) const;
};

// Least-squares fit of a polynomial of `degree` to the points by Givens
// rotations; coefficients lowest power first, `coefficients` grown to
// degree + 1 entries when shorter. Fewer points than coefficients or
// unequal lists throw -52005; data that determine no polynomial (a zero
// pivot, a non-finite result) throw -52003 and leave `coefficients` alone.
void fitPolynomialLeastSquares(const std::vector<double>& x, const std::vector<double>& y,
                               std::vector<double>& coefficients, int32_t degree);

double evaluatePolynomial(const std::vector<double>& coefficients, double x);
