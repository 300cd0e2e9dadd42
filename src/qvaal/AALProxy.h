// The one binding to the analysis library QV_AAL.so: loaded once per
// process from the multiarch library directory, its entry points resolved
// by name. A library or entry point that is missing shows only when it is
// called.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "qvdynlib/qvdynlib.h"

// The library's error codes, turned into this system's.
inline constexpr int32_t kErrorAnalysisLibraryMissing = -1074135031;
inline constexpr int32_t kErrorAnalysisMemoryFull = -1074134954;
inline constexpr int32_t kErrorAnalysisFailed = -1074134951;

struct AALEntryPoints {
    using SingleToneInfoFunction = int32_t (*)(const double* signal, int64_t count,
                                               const double* search, double* frequency,
                                               double* otherOutput, double* phaseDegrees,
                                               double sampleInterval);

    static constexpr const char* kEntryPointNames[] = {
        "CDBFFT", "CSGFFT",   "CDBScaledWindow", "CSGScaledWindow",
        "Spline", "SpInterp", "CxMatrixMul",     "SingleToneInfo"};
    static constexpr const char* kPrefix = "";
    static constexpr const char* kSuffix = "";
    static constexpr size_t kSingleToneInfo = 7;

    void setEntryPoint(size_t index, void* address) { entryPoints[index] = address; }

    void* entryPoints[std::size(kEntryPointNames)] = {};
};

class AALProxy {
public:
    // Built on the first call (thread-safe), destroyed at process exit.
    static AALProxy& getInstance();

    // The tone of `signal`: frequency, the library's second output and the
    // phase in degrees. Throws qverr::Exception.
    void singleToneInfo(const std::vector<double>& signal, const double& sampleInterval,
                        const double& searchFirst, const double& searchSecond, double& frequency,
                        double& otherOutput, double& phaseDegrees);

    // Throws the system's error for a negative library status.
    static void checkStatus(int32_t status);

    // Whether the entry point of that index resolved (for diagnostics and tests).
    bool hasEntryPoint(size_t index) const { return library_->entryPoints[index] != nullptr; }

    AALProxy(const AALProxy&) = delete;
    AALProxy& operator=(const AALProxy&) = delete;

private:
    AALProxy();

    std::unique_ptr<qvdynlib::AutoLibWithInterface<AALEntryPoints>> library_;
};
