// The synchronization computations with the values the module's documents
// give, the least-squares fit at the calibration's scale, and the
// pulse-injection helper's conversion and edge search.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "SyntraSyncHALImpl/MeasurementComputers.h"
#include "qvaal/pulseInjectionHelper.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"

namespace {

using qvftdc::FTDCMeasurementComputer;
using syntrasynctest::thrownStatus;
using syntrasynctest::wholeValue;

TEST(FTDCMeasurementComputer, DefaultsGiveTheDocumentedClocks) {
    syntrasynchal::FTDCConfiguration record;
    record.mclkDivisor = 0;  // ignored: the record is not valid
    FTDCMeasurementComputer computer(record, 496, 135, 4, 40e6, 100e6);
    EXPECT_NEAR(computer.startOffset, 90e-9, 1e-21);
    EXPECT_NEAR(computer.mclkPeriod, 135.0 / (40e6 * 496), 1e-22);
    EXPECT_NEAR(1.0 / computer.mclkPeriod, 146.96e6, 0.01e6);

    // d = startOffset: the first two candidates are negative, the third is 90 ns.
    EXPECT_NEAR(computer.computeMeasurement(wholeValue(10), wholeValue(10), 0, 1e-8, 1e-7), 9e-8,
                1e-20);
    // The coarse count adds whole stop-clock periods.
    EXPECT_NEAR(computer.computeMeasurement(wholeValue(10), wholeValue(10), 3, 1e-8, 1e-7),
                1.2e-7 - 1e-7, 1e-20);
    // None positive: the fifth candidate whatever its sign.
    const double d = -(200 * computer.mclkPeriod - 90e-9);
    EXPECT_NEAR(computer.computeMeasurement(wholeValue(0), wholeValue(200), 0, 1e-8, 1e-7),
                2e-7 + d, 1e-20);
}

TEST(FTDCMeasurementComputer, AValidRecordIsUsedAndItsZerosRefused) {
    const auto record = syntrasynctest::validRecord<syntrasynchal::FTDCConfiguration>();
    FTDCMeasurementComputer computer(record, 496, 135, 4, 40e6, 100e6);
    EXPECT_DOUBLE_EQ(computer.mclkTimebaseRate, 25e6);
    EXPECT_DOUBLE_EQ(computer.mclkPeriod, 2.0 / (25e6 * 8));
    EXPECT_DOUBLE_EQ(computer.startOffset, 20.0 / 100e6);

    // A zero denominator would make an infinite rate that passes the checks.
    using Field = uint32_t syntrasynchal::FTDCConfiguration::*;
    const std::pair<Field, const char*> zeros[] = {
        {&syntrasynchal::FTDCConfiguration::mclkDivisor, "mclkDivisor is 0"},
        {&syntrasynchal::FTDCConfiguration::mclkMultiplier, "mclkMultiplier is 0"},
        {&syntrasynchal::FTDCConfiguration::mclkTimebaseRateNumerator,
         "mclkTimebaseRate is not greater than 0.0"},
        {&syntrasynchal::FTDCConfiguration::startClockRateNumerator,
         "startClockRate is not greater than 0.0"},
        {&syntrasynchal::FTDCConfiguration::mclkTimebaseRateDenominator,
         "mclkTimebaseRateDenominator is 0"},
        {&syntrasynchal::FTDCConfiguration::startClockRateDenominator,
         "startClockRateDenominator is 0"}};
    for (const auto& [field, message] : zeros) {
        auto r = record;
        r.*field = 0;
        const auto [code, json] =
            thrownStatus([&] { FTDCMeasurementComputer(r, 496, 135, 4, 40e6, 100e6); });
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter) << message;
        EXPECT_NE(json.find(std::string("\"FTDCMeasurementComputer\":\"") + message + "\""),
                  std::string::npos)
            << json;
    }
    EXPECT_EQ(thrownStatus([&] {
                  computer.computeMeasurement(wholeValue(1), wholeValue(1), 0, 0.0, 1e-7);
              }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(thrownStatus([&] {
                  computer.computeMeasurement(wholeValue(1), wholeValue(1), 0, 1e-8, NAN);
              }).first,
              qverr::qvapalerr_invalidParameter);
}

TEST(Polynomial, FitsBadlyScaledPointsByTheirValues) {
    // The calibration's own scale: delays of nanoseconds, degree 6, and the
    // same points shifted far down in magnitude.
    for (const double unit : {1e-9, 1e-40, 1e30}) {
        std::vector<double> x, y;
        for (int k = 1; k <= 7; ++k) {
            x.push_back(unit * (5.0 + 6.1 * k + 0.3 * k * k));
            y.push_back(k / 156.25e6);
        }
        std::vector<double> coefficients(7);
        fitPolynomialLeastSquares(x, y, coefficients, 6);
        for (size_t k = 0; k < x.size(); ++k) {
            EXPECT_NEAR(evaluatePolynomial(coefficients, x[k]), y[k], 1e-9 * y[k])
                << unit << " point " << k;
        }
    }
}

TEST(Polynomial, RefusesPointsThatDetermineNoFit) {
    std::vector<double> coefficients{1.0, 2.0, 3.0};
    // Repeated x or a NaN: refused, the old coefficients stay. Fewer points
    // than coefficients, or lists that differ in length: invalid.
    const struct {
        std::vector<double> x, y;
        int32_t degree;
        int32_t code;
    } cases[] = {{{1, 2, 2}, {1, 2, 3}, 2, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
                 {{1, NAN, 3}, {1, 2, 3}, 2, qverr::qvapalerr_softwareFaultAPALInternalUseOnly},
                 {{1, 2}, {1, 2}, 2, qverr::qvapalerr_invalidParameter},
                 {{1, 2, 3}, {1, 2}, 1, qverr::qvapalerr_invalidParameter}};
    for (const auto& c : cases) {
        EXPECT_EQ(thrownStatus([&] {
                      fitPolynomialLeastSquares(c.x, c.y, coefficients, c.degree);
                  }).first,
                  c.code);
        EXPECT_EQ(coefficients, (std::vector<double>{1.0, 2.0, 3.0}));
    }
    // Degree -1 fits nothing.
    fitPolynomialLeastSquares({}, {}, coefficients, -1);
    EXPECT_EQ(coefficients, (std::vector<double>{1.0, 2.0, 3.0}));
}

// Without coefficients it refuses (see the session's test).
TEST(PulseStretcherMeasurementComputer, MeasuresWithItsCoefficients) {
    PulseStretcherMeasurementComputer computer;
    computer.coefficients = {0.0};
    EXPECT_NEAR(computer.computeMeasurement(3, 2, 12345, 1e-7), 1.172e-7, 1e-20);
    computer.coefficients = {1e-9, 0.5};
    EXPECT_NEAR(computer.computeMeasurement(0, 0, 1200, 1e-7), 1e-7 - (1e-9 + 0.5e-6), 1e-20);
}

TEST(PulseInjectionHelper, ConvertsTheLow18BitsAndRoundsHalvesAwayFromZero) {
    using pulseInjectionHelper::roundToMultiple;
    using pulseInjectionHelper::sampleToDouble;
    EXPECT_EQ(sampleToDouble(131071), 131071.0 / 131072.0);
    EXPECT_EQ(sampleToDouble(131072), -1.0);
    EXPECT_EQ(sampleToDouble(0xFFFC0001u), 1.0 / 131072.0);
    EXPECT_EQ(roundToMultiple(0.75, 0.5), 1.0);
    EXPECT_EQ(roundToMultiple(-0.75, 0.5), -1.0);
    EXPECT_EQ(roundToMultiple(0.7, 0.5), 0.5);
}

// `changes` sign changes in runs of 10, then one run of `longRun`, then
// `tail` samples of the other sign.
std::vector<double> series(int changes, int longRun, int tail) {
    std::vector<double> samples;
    double sign = 1.0;
    for (int c = 0; c < changes; ++c) {
        samples.insert(samples.end(), 10, sign * 0.5);
        sign = -sign;
    }
    samples.insert(samples.end(), static_cast<size_t>(longRun), sign * 0.5);
    samples.insert(samples.end(), static_cast<size_t>(tail), -sign * 0.5);
    return samples;
}

TEST(PulseInjectionHelper, CutsAtTheFirstLongRunAfterEnoughEdges) {
    using pulseInjectionHelper::chopMissingEdge;
    auto samples = series(35, 80, 20);
    chopMissingEdge(35, 75, samples);
    // Ends with the first sample of the long run.
    EXPECT_EQ(samples.size(), 35u * 10 + 1);

    const auto fails = [](std::vector<double> s) {
        const auto [code, json] = thrownStatus([&] { chopMissingEdge(35, 75, s); });
        EXPECT_EQ(code, qvmxl::kErrorSoftwareFault);
        EXPECT_NE(json.find("\"chopMissingEdge\":\"Could not identify synchronization event.\""),
                  std::string::npos);
    };
    fails(series(34, 80, 20));  // the change ending the run is only the 35th
    fails(series(40, 80, 0));   // nothing ends the long run
    fails({});
    // -0.0 counts as negative.
    std::vector<double> zeros = series(35, 80, 20);
    for (double& value : zeros) value = value < 0 ? -0.0 : 0.0;
    chopMissingEdge(35, 75, zeros);
    EXPECT_EQ(zeros.size(), 351u);
}

}  // namespace
