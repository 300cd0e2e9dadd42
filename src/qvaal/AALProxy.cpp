#include "qvaal/AALProxy.h"

#include <cstdio>
#include <string>

#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/qvmxl.h"
#include "qvsysq/sysq.h"

namespace {

constexpr const char* kComponent = "qv3377hal";

using Library = qvdynlib::AutoLibWithInterface<AALEntryPoints>;

std::unique_ptr<Library> loadLibrary() {
    // Construction never fails: what could not be loaded is found missing
    // when it is called.
    std::string path;
    try {
        path = qvsysq::getMultiarchLibDir() + "/QV_AAL.so";
    } catch (const qverr::Exception&) {
        return std::make_unique<Library>();
    }
    qverr::Status status;
    return std::make_unique<Library>(path.c_str(), status);
}

[[noreturn]] void throwWithElaboration(int32_t code, const qverr::SourceLocation& location,
                                       const char* problem, const char* elaboration) {
    qverr::Status status;
    if (status.setCode(code, location)) qverr::DetailWriter(status).add("AALProxy", problem);
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    if (elaboration != nullptr) qvmxl::writeElaboration(writer, elaboration);
    qverr::throwStatus(std::move(status));
}

}  // namespace

AALProxy::AALProxy() : library_(loadLibrary()) {}

AALProxy& AALProxy::getInstance() {
    static AALProxy instance;
    return instance;
}

void AALProxy::singleToneInfo(const std::vector<double>& signal, const double& sampleInterval,
                              const double& searchFirst, const double& searchSecond,
                              double& frequency, double& otherOutput, double& phaseDegrees) {
    const auto function = reinterpret_cast<AALEntryPoints::SingleToneInfoFunction>(
        library_->entryPoints[AALEntryPoints::kSingleToneInfo]);
    if (function == nullptr) {
        throwWithElaboration(kErrorAnalysisLibraryMissing,
                             QVERR_LOCATION(kComponent, "kErrorAnalysisLibraryMissing"),
                             "analysis library or its entry point missing",
                             AALEntryPoints::kEntryPointNames[AALEntryPoints::kSingleToneInfo]);
    }
    const double search[2] = {searchFirst, searchSecond};
    checkStatus(function(signal.data(), static_cast<int64_t>(signal.size()), search, &frequency,
                         &otherOutput, &phaseDegrees, sampleInterval));
}

void AALProxy::checkStatus(int32_t status) {
    if (status >= 0) return;
    if (status == -20999 || status == -20001) {
        throwWithElaboration(kErrorAnalysisMemoryFull,
                             QVERR_LOCATION(kComponent, "kErrorAnalysisMemoryFull"),
                             "analysis library out of memory", nullptr);
    }
    char text[48];
    std::snprintf(text, sizeof text, "QV AAL error %d", static_cast<int>(status));
    throwWithElaboration(kErrorAnalysisFailed, QVERR_LOCATION(kComponent, "kErrorAnalysisFailed"),
                         "analysis library reported an error", text);
}
