#include "qvcheckname/checkName.h"

#include <cstring>

#include "qvmxl/errors.h"
#include "qvmxl/qvmxl.h"

namespace qvcheckname {

namespace {

constexpr const char* kSource = "checkName";
constexpr const char* kComponent = "internal_sdi_hal23u";

constexpr qverr::SourceLocation kNullName{kSource, 48, kComponent, "qvmxl::kErrorNULLPtr"};
constexpr qverr::SourceLocation kEmptyName{kSource, 55, kComponent, "qvmxl::kErrorEmptyString"};
constexpr qverr::SourceLocation kForbiddenCharacter{kSource, 70, kComponent,
                                                    "qvmxl::kErrorInvalidCharInString"};
constexpr qverr::SourceLocation kLeadingSpace{kSource, 81, kComponent,
                                              "qvmxl::kErrorLeadingSpaceInString"};
constexpr qverr::SourceLocation kTrailingSpace{kSource, 88, kComponent,
                                               "qvmxl::kErrorTrailingSpaceInString"};
constexpr qverr::SourceLocation kInnerSpace{kSource, 102, kComponent,
                                            "qvmxl::kErrorInvalidCharInString"};
constexpr qverr::SourceLocation kLeadingUnderscore{kSource, 111, kComponent,
                                                   "qvmxl::kErrorLeadingUnderscoreInString"};
constexpr qverr::SourceLocation kTooLong{kSource, 119, kComponent, "qvmxl::kErrorNameTooLong"};

bool isForbidden(unsigned char c) {
    if ((c >= 0x01 && c <= 0x1F) || c == 0x7F) return true;
    return c != 0 && std::strchr("!\"#$%&'()*+,./:;<=>?@[\\]^`{|}~", c) != nullptr;
}

// Raises the code and returns the writer of its translator payload; the
// payload is written only when the code was stored, so an earlier error
// keeps its context (a null writer skips every record).
qvmxl::Writer raise(qverr::Status& status, int32_t code, const qverr::SourceLocation& location) {
    if (!status.setCode(code, location)) return qvmxl::Writer{nullptr, nullptr, nullptr};
    return qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
}

qvmxl::Writer writeInvalidCharacter(qvmxl::Writer writer, uint64_t position, const char* name) {
    writer = qvmxl::writeUsageParam(
        writer, qvmxl::UsageParam<uint64_t>{"kUsageTypePositionOfInvalidCharacter", position});
    return qvmxl::writeUsageParam(writer,
                                  qvmxl::UsageParam<const char*>{"kUsageTypeInvalidString", name});
}

}  // namespace

void checkName(const char* name, bool spacesForbidden, uint64_t maxLength, qverr::Status& status) {
    using qvmxl::UsageParam;
    if (name == nullptr) {
        raise(status, qvmxl::kErrorNULLPtr, kNullName);
        return;
    }
    if (name[0] == '\0') {
        raise(status, qvmxl::kErrorEmptyString, kEmptyName);
        return;
    }
    const uint64_t length = std::strlen(name);
    for (uint64_t i = 0; i < length; ++i) {
        if (isForbidden(static_cast<unsigned char>(name[i]))) {
            writeInvalidCharacter(
                raise(status, qvmxl::kErrorInvalidCharInString, kForbiddenCharacter), i, name);
            return;
        }
    }
    if (spacesForbidden) {
        if (name[0] == ' ') {
            raise(status, qvmxl::kErrorLeadingSpaceInString, kLeadingSpace);
            return;
        }
        if (name[length - 1] == ' ') {
            raise(status, qvmxl::kErrorTrailingSpaceInString, kTrailingSpace);
            return;
        }
        if (const char* space = std::strchr(name, ' ')) {
            auto writer =
                writeInvalidCharacter(raise(status, qvmxl::kErrorInvalidCharInString, kInnerSpace),
                                      static_cast<uint64_t>(space - name), name);
            qvmxl::writeComment(writer, "whitespace is not allowed.");
            return;
        }
    }
    if (name[0] == '_') {
        qvmxl::writeUsageParam(
            raise(status, qvmxl::kErrorLeadingUnderscoreInString, kLeadingUnderscore),
            UsageParam<const char*>{"kUsageTypeInvalidString", name});
        return;
    }
    if (length > maxLength) {
        qvmxl::writeUsageParam(raise(status, qvmxl::kErrorNameTooLong, kTooLong),
                               UsageParam<uint64_t>{"kUsageTypeMaxLength", maxLength});
    }
}

}  // namespace qvcheckname
