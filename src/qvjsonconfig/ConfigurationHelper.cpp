#include <boost/numeric/conversion/cast.hpp>
#include <cmath>

#include "qverr/Exception.h"
#include "qvjsonconfig/Configuration.h"
#include "qvjsonconfig/ConfigurationErrors.h"
#include "qvmxl/qvmxl.h"

namespace qvjsonconfig {

namespace {

uint32_t versionNumber(const cJSON* item) {
    const double value = qvjsonlh::getNumber(item);
    if (std::isnan(value)) qvjsonlh::throwTypeMismatch();
    return boost::numeric_cast<uint32_t>(value);
}

[[noreturn]] void throwVersionError(int32_t code, const qverr::SourceLocation& location,
                                    uint32_t fileVersion) {
    qverr::Status status;
    status.setCode(code, location);
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeUsageParam(
        writer, qvmxl::UsageParam<uint32_t>{"kUsageTypeFileVersion", fileVersion});
    writer = qvmxl::writeUsageParam(
        writer, qvmxl::UsageParam<uint32_t>{"kUsageTypeSupportedVersion", kConfigurationVersion});
    qvmxl::writeUsageParam(writer, qvmxl::UsageParam<uint32_t>{"kUsageTypeOldestCompatibleVersion",
                                                               kOldestCompatibleVersion});
    qverr::throwStatus(std::move(status));
}

}  // namespace

void checkVersion(const cJSON* document) {
    qvjsonlh::checkObject(document);
    const cJSON* oldest = cJSON_GetObjectItem(document, "oldest_compatible_version");
    const uint32_t oldestCompatible =
        versionNumber(oldest != nullptr ? oldest : qvjsonlh::getObjectItem(document, "version"));
    const uint32_t fileVersion = versionNumber(qvjsonlh::getObjectItem(document, "version"));
    if (fileVersion < kOldestCompatibleVersion) {
        throwVersionError(kErrorSoftwareTooNewForFile,
                          QVERR_FIXED_LOCATION("ConfigurationHelper", 67, kComponent,
                                               "qvmxl::kErrorSoftwareTooNewForFile"),
                          fileVersion);
    }
    if (oldestCompatible > kConfigurationVersion) {
        throwVersionError(kErrorFileTooNewForSoftware,
                          QVERR_FIXED_LOCATION("ConfigurationHelper", 77, kComponent,
                                               "qvmxl::kErrorFileTooNewForSoftware"),
                          fileVersion);
    }
}

}  // namespace qvjsonconfig
