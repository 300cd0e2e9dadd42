// The pulse-injection way of measuring trigger-clock synchronization: a
// sampled test tone in which one edge is missing at the event. The helper
// converts the raw samples, cuts the record at the missing edge and asks the
// analysis library for the tone's frequency and phase.
#pragma once

#include <cstdint>
#include <vector>

#include "qvaal/AALProxy.h"

namespace pulseInjectionHelper {

// The low 18 bits as a signed value with one integer bit, in [-1, 1).
double sampleToDouble(const uint32_t& raw);

// round(value / step) * step, halves away from zero.
double roundToMultiple(const double& value, const double& step);

// Cuts `samples` after the first sample of the first run of more than
// `runThreshold` samples without a sign change that comes after more than
// `edgeThreshold` changes. Throws qvmxl::kErrorSoftwareFault when there is
// none.
void chopMissingEdge(uint64_t edgeThreshold, uint64_t runThreshold, std::vector<double>& samples);

// The time of the missing edge from the start of the record, in seconds.
// `samples` is shortened.
double computeMissingEdgeTime(AALProxy& aal, const double& samplePeriod,
                              const double& nominalFrequency, const double& tolerance,
                              const uint64_t& edgeThreshold, std::vector<double>& samples);

}  // namespace pulseInjectionHelper
