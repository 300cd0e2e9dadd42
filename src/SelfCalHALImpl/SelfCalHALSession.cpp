#include "SelfCalHALImpl/SelfCalHALSession.h"

#include <cjson/cJSON.h>
#include <dlfcn.h>

#include <sstream>

#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvjsonlh/cJSONUtils.h"
#include "qvmxl/qvmxl.h"

namespace selfcalhal {

namespace {

using qv3377hal::kComponent;

#define QV_SELFCAL_LOCATION(line, constant) \
    QVERR_FIXED_LOCATION(__FILE__, line, kComponent, constant)

// A negative result of the library is raised with its own code.
int32_t checkResult(int32_t result, const qverr::SourceLocation& location) {
    if (result < 0) {
        qverr::throwWithMessage(result, location, "SelfCalHALSession",
                                "calibration entry point reported an error");
    }
    return result;
}

void appendItem(std::string& text, const char* key, const std::string& value) {
    text.append(key).append(":").append(value).append(",");
}

// Frees an engine string handle through KXDisposeHandle; -52003 when the
// engine has none.
void disposeHandle(KXStringHandle handle) {
    void* dispose = dlsym(RTLD_DEFAULT, "KXDisposeHandle");
    (void)dlerror();
    if (dispose == nullptr) {
        qverr::throwWithMessage(
            qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
            QV_SELFCAL_LOCATION(52, "qvapalerr_softwareFaultAPALInternalUseOnly"), "disposeHandle",
            "engine has no KXDisposeHandle");
    }
    reinterpret_cast<void (*)(void*)>(dispose)(handle);
}

}  // namespace

SelfCalHALSession::SelfCalHALSession(std::string resourceName, std::string bitfileName,
                                     std::string lo, std::string libraryName,
                                     CalibrationTiming timing)
    : resourceName_(std::move(resourceName)),
      bitfileName_(std::move(bitfileName)),
      lo_(std::move(lo)),
      libraryName_(std::move(libraryName)),
      timing_(timing) {}

SelfCalHALSession::~SelfCalHALSession() {
    runner_.reset();
    wrapper_.reset();
}

std::string SelfCalHALSession::_buildConfigString(const std::string& referenceClock) const {
    std::string text;
    appendItem(text, "bitfileName", bitfileName_);
    if (!lo_.empty()) appendItem(text, "LO", lo_);
    if (!bb_.empty()) appendItem(text, "BB", bb_);
    appendItem(text, "refClock", referenceClock);
    return text;
}

std::string SelfCalHALSession::_buildRangeConfigString(const std::string& referenceClock,
                                                       bool includeRate, double iqRate) const {
    std::string text = _buildConfigString(referenceClock);
    if (includeRate) {
        std::ostringstream rate;
        rate.precision(16);
        rate << iqRate;
        appendItem(text, "iqRate", rate.str());
    }
    return text;
}

void SelfCalHALSession::intermediateSelfTestDevice(qverr::Status* status) {
    if (status == nullptr) {
        qverr::throwWithMessage(
            qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
            QV_SELFCAL_LOCATION(380, "qvapalerr_softwareFaultAPALInternalUseOnly"),
            "SelfCalHALSession", "null status pointer");
    }
    SelfCalThreaded& runner = _getSelfCalThreaded(*this);
    int32_t testResult = 0;
    KXStringHandle message = nullptr;
    const int32_t returnCode =
        runner.intermediateSelfTestDevice(resourceName_, &testResult, &message);
    // The test's own verdict replaces whatever the record held.
    status->code = testResult;
    try {
        _handleSelfTestResult(returnCode, message, status);
    } catch (...) {
        if (message != nullptr) {
            if (void* dispose = dlsym(RTLD_DEFAULT, "KXDisposeHandle")) {
                reinterpret_cast<void (*)(void*)>(dispose)(message);
            }
        }
        throw;
    }
    if (message != nullptr) disposeHandle(message);
}

void SelfCalHALSession::_handleSelfTestResult(int32_t returnCode, KXStringHandle message,
                                              qverr::Status* status) {
    if (message != nullptr && *message != nullptr) {
        // Length-prefixed, not zero-terminated: exactly its length.
        const int32_t length = (*message)->length;
        const std::string text((*message)->text, length > 0 ? static_cast<size_t>(length) : 0);
        _addElaborationsFromJson(text, status);
        if (returnCode < 0 && (status->json == nullptr || status->json[0] == '\0')) {
            qvmxl::writeElaboration(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, *status),
                                    text.c_str());
        }
    }
    // A failed self test is a failure, message or not; its records stay. The
    // raise itself is the code and its location: what failed is the
    // library's to say, in its message.
    if (returnCode < 0) qverr::throwError(returnCode, QV_SELFCAL_LOCATION(371, "retCode"));
}

void _addElaborationsFromJson(const std::string& message, qverr::Status* status) {
    qvjsonlh::AutoCJSON root(cJSON_ParseWithLength(message.data(), message.size()));
    if (root.get() == nullptr || status == nullptr) return;
    const cJSON* items = root.get()->child;
    if (items == nullptr || !cJSON_IsArray(items)) return;
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, *status);
    for (const cJSON* item = items->child; item != nullptr; item = item->next) {
        if (!cJSON_IsObject(item)) continue;
        const cJSON* first = item->child;
        const cJSON* second = first != nullptr ? first->next : nullptr;
        if (!cJSON_IsString(first) || !cJSON_IsString(second)) continue;
        writer = qvmxl::writeElaboration(writer, first->valuestring);
        writer = qvmxl::writeElaboration(writer, ": ");
        writer = qvmxl::writeElaboration(writer, second->valuestring);
        writer = qvmxl::writeEmpty(writer);
    }
}

int32_t SelfCalHALSession::selfCalibrate(const std::string& referenceClock) {
    SelfCalThreaded& runner = _getSelfCalThreaded(*this);
    return checkResult(runner.selfCalibrate(resourceName_, _buildConfigString(referenceClock)),
                       QV_SELFCAL_LOCATION(402, "retCode"));
}

int32_t SelfCalHALSession::standaloneSelfCalibrate() {
    SelfCalThreaded& runner = _getSelfCalThreaded(*this);
    return checkResult(runner.standaloneSelfCalibrate(resourceName_, _buildConfigString("")),
                       QV_SELFCAL_LOCATION(409, "retCode"));
}

int32_t SelfCalHALSession::rangeCalibrate(RangeOperation operation,
                                          const qverr::SourceLocation& location,
                                          const std::string& referenceClock, uint64_t value,
                                          bool includeRate, double a, double b, double c, double d,
                                          double iqRate) {
    SelfCalThreaded& runner = _getSelfCalThreaded(*this);
    return checkResult(
        (runner.*operation)(resourceName_,
                            _buildRangeConfigString(referenceClock, includeRate, iqRate), value, a,
                            b, c, d),
        location);
}

int32_t SelfCalHALSession::PEXA_SelfCalibrateRange(const std::string& referenceClock,
                                                   uint64_t value, bool includeRate, double a,
                                                   double b, double c, double d, double iqRate) {
    return rangeCalibrate(&SelfCalThreaded::pexaSelfCalibrateRange,
                          QV_SELFCAL_LOCATION(418, "retCode"), referenceClock, value, includeRate,
                          a, b, c, d, iqRate);
}

int32_t SelfCalHALSession::PEXG_SelfCalibrateRange(const std::string& referenceClock,
                                                   uint64_t value, bool includeRate, double a,
                                                   double b, double c, double d, double iqRate) {
    return rangeCalibrate(&SelfCalThreaded::pexgSelfCalibrateRange,
                          QV_SELFCAL_LOCATION(427, "retCode"), referenceClock, value, includeRate,
                          a, b, c, d, iqRate);
}

}  // namespace selfcalhal
