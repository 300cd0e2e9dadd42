// The analysis library as one process finds it: built into three programs,
// one per case (absent, lacking one entry point, present), since the proxy
// loads the library once per process. The library is placed under the
// simulated root's multiarch directory before the first use.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "qvaal.h"
#include "qvaal/AALProxy.h"
#include "qvaal/pulseInjectionHelper.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/NamedCodes.h"

#define QV_AAL_ABSENT 0
#define QV_AAL_PARTIAL 1
#define QV_AAL_PRESENT 2

namespace {

using qvsim::SimulatedModule;
using syntrasynctest::thrownStatus;

// The proxy of this process, the library placed first when the case has one.
AALProxy& proxyBeside(SimulatedModule& module) {
#ifdef QV_AAL_LIBRARY
    const std::filesystem::path directory = module.tree().root() + "/usr/lib/x86_64-linux-gnu";
    std::filesystem::create_directories(directory);
    std::filesystem::copy_file(QV_AAL_LIBRARY, directory / "QV_AAL.so",
                               std::filesystem::copy_options::overwrite_existing);
#else
    (void)module;
#endif
    return AALProxy::getInstance();
}

// 1880 raw samples of a 50 MHz square tone at 0.2 ns, one edge missing:
// 35 edges every 50 samples, then a run of 100 samples, then 30 samples.
[[maybe_unused]] std::vector<uint32_t> missingEdgeSeries() {
    const uint32_t high = 0x10000;  // +0.5
    const uint32_t low = 0x30000;   // -0.5
    std::vector<uint32_t> samples;
    for (int half = 0; half < 35; ++half)
        samples.insert(samples.end(), 50, half % 2 == 0 ? high : low);
    samples.insert(samples.end(), 100, low);
    samples.insert(samples.end(), 30, high);
    return samples;
}

#if QV_AAL_CASE == QV_AAL_ABSENT

// Typed in from the definition, so a wrong constant cannot agree with itself;
// the names need no library, so one of the three programs checks them.
TEST(AnalysisLibraryCodes, EveryNamedCodeHasItsAgreedValue) {
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(kErrorAnalysisLibraryMissing, -1074135031),
        QV_NAMED_CODE(kErrorAnalysisMemoryFull, -1074134954),
        QV_NAMED_CODE(kErrorAnalysisFailed, -1074134951),
    });
}

TEST(AnalysisLibraryAbsent, FailsAtFirstUseNamingTheEntryPoint) {
    SimulatedModule module;
    AALProxy& aal = proxyBeside(module);  // constructing it reports nothing
    double frequency = 0, other = 0, phase = 0;
    const auto [code, json] = thrownStatus([&] {
        aal.singleToneInfo({0.5, -0.5}, 2e-10, -1.0, 5.0, frequency, other, phase);
    });
    EXPECT_EQ(code, kErrorAnalysisLibraryMissing);
    EXPECT_NE(
        json.find(qvtest::detailPair("AALProxy", "analysis library or its entry point missing")),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"mxlator_qv3377HAL\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"type\":\"elaboration\",\"usage\":\"SingleToneInfo\"}"),
              std::string::npos)
        << json;
}

#elif QV_AAL_CASE == QV_AAL_PARTIAL

TEST(AnalysisLibraryPartial, AMissingEntryPointLeavesTheOthersResolved) {
    SimulatedModule module;
    AALProxy& aal = proxyBeside(module);
    for (size_t i = 0; i < std::size(AALEntryPoints::kEntryPointNames); ++i) {
        EXPECT_EQ(aal.hasEntryPoint(i),
                  std::string(AALEntryPoints::kEntryPointNames[i]) != "Spline")
            << AALEntryPoints::kEntryPointNames[i];
    }
    double frequency = 0, other = 0, phase = 0;
    aal.singleToneInfo({0.5, -0.5}, 2e-10, -1.0, 5.0, frequency, other, phase);
    EXPECT_EQ(frequency, 50e6);
}

#else

auto setSingleTone() {
    auto set =
        reinterpret_cast<qvaalsim_setSingleTone_fn>(dlsym(RTLD_DEFAULT, "qvaalsim_setSingleTone"));
    EXPECT_NE(set, nullptr);
    return set;
}

qvaalsim_call lastCall() {
    auto last = reinterpret_cast<qvaalsim_lastCall_fn>(dlsym(RTLD_DEFAULT, "qvaalsim_lastCall"));
    return last != nullptr ? last() : qvaalsim_call{};
}

TEST(AnalysisLibraryPresent, TurnsLibraryStatusesIntoErrors) {
    SimulatedModule module;
    AALProxy& aal = proxyBeside(module);
    for (size_t i = 0; i < std::size(AALEntryPoints::kEntryPointNames); ++i)
        EXPECT_TRUE(aal.hasEntryPoint(i));

    EXPECT_NO_THROW(AALProxy::checkStatus(7));
    const auto [memory, detail] = thrownStatus([&] { AALProxy::checkStatus(-20001); });
    EXPECT_EQ(memory, kErrorAnalysisMemoryFull);
    EXPECT_EQ(detail.find("elaboration"), std::string::npos);
    const auto [code, json] = thrownStatus([] { AALProxy::checkStatus(-5); });
    EXPECT_EQ(code, kErrorAnalysisFailed);
    EXPECT_NE(json.find("{\"type\":\"elaboration\",\"usage\":\"QV AAL error -5\"}"),
              std::string::npos)
        << json;

    setSingleTone()(50e6, 0.0, -20999);
    double frequency = 0, other = 0, phase = 0;
    EXPECT_EQ(thrownStatus([&] {
                  aal.singleToneInfo({1, 2, 3}, 2e-10, -1.0, 5.0, frequency, other, phase);
              }).first,
              kErrorAnalysisMemoryFull);
    const qvaalsim_call call = lastCall();
    EXPECT_EQ(call.count, 3);
    EXPECT_EQ(call.search[1], 5.0);
}

TEST(AnalysisLibraryPresent, LibraryErrorsNameTheProxyAndWhatWasWrong) {
    qvtest::expectRefusals({
        {[] { AALProxy::checkStatus(-20001); }, kErrorAnalysisMemoryFull, "AALProxy",
         "analysis library out of memory"},
        {[] { AALProxy::checkStatus(-20999); }, kErrorAnalysisMemoryFull, "AALProxy",
         "analysis library out of memory"},
        {[] { AALProxy::checkStatus(-5); }, kErrorAnalysisFailed, "AALProxy",
         "analysis library reported an error"},
    });
}

TEST(AnalysisLibraryPresent, FindsTheMissingEdgeOfTheSeries) {
    SimulatedModule module;
    AALProxy& aal = proxyBeside(module);
    const auto edge = [&] {
        std::vector<double> samples;
        for (const uint32_t raw : missingEdgeSeries())
            samples.push_back(pulseInjectionHelper::sampleToDouble(raw));
        return pulseInjectionHelper::computeMissingEdgeTime(aal, 2e-10, 50e6, 0.05, 35, samples);
    };
    // Cut after the first sample of the long run: 1751 of the 1880 samples
    // go to the library. p = 0.25, t0 = 5 ns, end = 350.2 ns - 5 ns, on the
    // 10 ns grid 350 ns, then + t0 + a half period. A phase of +90 degrees:
    // p = 0.75, t0 = fmod(15 ns, 10 ns) = 5 ns.
    for (const double phase : {-90.0, 90.0}) {
        setSingleTone()(50e6, phase, 0);
        EXPECT_NEAR(edge(), 3.65e-7, 1e-18) << phase;
        EXPECT_EQ(lastCall().count, 1751);
    }

    // The frequency's tolerance is 5 %, the phase's range one turn each way;
    // a NaN is outside both.
    setSingleTone()(52.5e6, 0.0, 0);
    EXPECT_NO_THROW(edge());
    const struct {
        double frequency, phase;
        const char* message;
    } outside[] = {{52.6e6, 0, "Computed frequency is outside expected range."},
                   {std::nan(""), 0, "Computed frequency is outside expected range."},
                   {50e6, -361.0, "Computed phase is outside expected range."},
                   {50e6, std::nan(""), "Computed phase is outside expected range."}};
    for (const auto& c : outside) {
        setSingleTone()(c.frequency, c.phase, 0);
        const auto [code, json] = thrownStatus(edge);
        EXPECT_EQ(code, qvmxl::kErrorSoftwareFault) << c.frequency << " " << c.phase;
        EXPECT_NE(json.find(c.message), std::string::npos) << json;
    }
}

TEST(AnalysisLibraryPresent, APulseInjectionModuleMeasuresTheMissingEdge) {
    SimulatedModule module;
    proxyBeside(module);
    setSingleTone()(50e6, -90.0, 0);
    auto& block = module.syntraSync();
    block.measurementType = 1;
    block.pulseInjectionSamples = missingEdgeSeries();
    block.pulseInjectionFirst = 2;
    block.pulseInjectionSecond = 1;
    auto session = syntrasynctest::makeSession(module);
    session->configureSyntra(4, 4);
    session->setConverterDelayInSeconds(1e-9);
    double seconds = 0.0;
    session->readSyntraMeasurement(0, &seconds, 1e-7);
    // ((375.8 ns - 365 ns) + (2 x 2.4 ns + 1 ns)) + (100 ns - 2.4 ns) - 10 ns
    EXPECT_NEAR(seconds, 1.042e-7, 1e-18);
    EXPECT_EQ(module.decoder().last("syntrasync.readPulseInjectionSamples")->value("count"), 1880);

    // No samples: nothing to measure.
    block.pulseInjectionSamples.clear();
    EXPECT_EQ(thrownStatus([&] { session->readSyntraMeasurement(0, &seconds, 1e-7); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

#endif

}  // namespace
