#include "qvxlator/PathVariables.h"

#include <cstring>

#include "qverr/DetailWriter.h"
#include "qvhtl/err/String.h"
#include "qvsysq/sysq.h"
#include "qvxlator/StatusDetail.h"

namespace qvxlator {

namespace {
// A status-style query of the standard paths as a std::string.
std::string query(void (*get)(qvhtl::err::String&, qverr::Status&), qverr::Status& status) {
    qvhtl::err::String value;
    get(value, status);
    return status.isError() ? std::string() : std::string(value.data(), value.size());
}
}  // namespace

std::string lookupVariable(const char* name, qverr::Status& status) {
    if (status.isError() || !name) {
        return {};
    }
    if (std::strcmp(name, "_qvShared32Dir") == 0 || std::strcmp(name, "_qvSharedDir") == 0) {
        return query(qvsysq::getSharedDataDir, status);
    }
    if (std::strcmp(name, "_multiarchlibdir") == 0) {
        return query(qvsysq::getMultiarchLibDir, status);
    }
    if (std::strcmp(name, "_commonAppDataDir") == 0) {
        return query(qvsysq::getLocalStateDir, status);
    }
    if (std::strcmp(name, "_tempDir") == 0) {
        return query(qvsysq::getTempDir, status);
    }
    return {};
}

std::string expandPath(const std::string& path, qverr::Status& status) {
    std::string text = path;
    // Scanning goes on after each inserted value, so a value holding '$'
    // is never expanded again.
    size_t from = 0;
    size_t dollar = 0;
    while ((dollar = text.find('$', from)) != std::string::npos) {
        size_t slash = text.find('/', dollar + 1);
        if (slash == std::string::npos) {
            if (raise(status, qverr::qvapalerr_invalidParameter,
                      QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"))) {
                qverr::DetailWriter(status)
                    .beginObject("qvxlator_debug")
                    .add("qvxlatordll", "plugin dll path invalid")
                    .add("dllPath", text.c_str())
                    .endObject();
            }
            slash = text.size();
        }
        const std::string name = text.substr(dollar + 1, slash - dollar - 1);
        const std::string value = lookupVariable(name.c_str(), status);
        text.replace(dollar, slash - dollar, value);
        from = dollar + value.size();
    }
    return text;
}

std::string standardErrorsDirectory(qverr::Status& status) {
    std::string directory = query(qvsysq::getSharedDataDir, status);
    if (status.isError()) {
        return {};
    }
    return directory + "/errors";
}

}  // namespace qvxlator
