#include "AtomicZEKHALImpl/BitfileQrx.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace atomiczekhal {

namespace {

constexpr std::string_view kSectionOpen = "<QvSdi_60565a69600149069007a119fa3bc8eb>";
constexpr std::string_view kSectionClose = "</QvSdi_60565a69600149069007a119fa3bc8eb>";

// The raise sites of the module check, as the error translator knows them.
constexpr qverr::SourceLocation location(int64_t line) {
    return {"AtomicZEKHALImpl/BitfileQrx", line, "qv3377hal",
            "SDISharedErrors::kErrorIncompatibleBitfile"};
}
constexpr qverr::SourceLocation kMissingVersion = location(65);
constexpr qverr::SourceLocation kUnreadableVersion = location(70);
constexpr qverr::SourceLocation kSchemaTooNew = location(79);
constexpr qverr::SourceLocation kMissingRevisions = location(87);
constexpr qverr::SourceLocation kUnreadableRevisions = location(91);

[[noreturn]] void refuse(const qverr::SourceLocation& site, const char* message) {
    qverr::throwWithMessage(SDISharedErrors::kErrorIncompatibleBitfile, site,
                            "parseCompilationResults", message);
}

// The non-empty text between the first opening tag and the first closing
// tag after it.
std::optional<std::string_view> span(std::string_view text, std::string_view open,
                                     std::string_view close) {
    const size_t start = text.find(open);
    if (start == std::string_view::npos) return std::nullopt;
    const size_t begin = start + open.size();
    const size_t end = text.find(close, begin);
    if (end == std::string_view::npos || end == begin) return std::nullopt;
    return text.substr(begin, end - begin);
}

std::optional<std::string_view> element(std::string_view section, std::string_view name) {
    // Appended, not concatenated: GCC 12 reports a false overlap (-Wrestrict)
    // in a literal + string concatenation inlined here.
    const std::string open = std::string("<").append(name).append(">");
    const std::string close = std::string("</").append(name).append(">");
    return span(section, open, close);
}

// Base 10 as strtoul reads it, in full; nothing when no digit is consumed.
// A value beyond 64 bits reads as the largest one.
std::optional<unsigned long long> decimal(std::string_view text) {
    const std::string copy(text);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(copy.c_str(), &end, 10);
    if (end == copy.c_str()) return std::nullopt;
    return value;
}

// A module revision: a number that does not fit 32 bits is no revision,
// rather than another one cut from its low bits.
std::optional<uint32_t> revision(std::string_view text) {
    const auto value = decimal(text);
    if (!value || *value > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

}  // namespace

BitfileQrx::BitfileQrx(const std::string& text) : qvzek::Bitfile(text, false, true, false) {
    parseCompilationResults();
}

void BitfileQrx::parseCompilationResults() {
    const std::string data = getTargetSpecificData();
    const auto section = span(data, kSectionOpen, kSectionClose);
    if (!section) return;

    const auto versionText = element(*section, "version");
    if (!versionText) refuse(kMissingVersion, "Sdi tag is missing the version number");
    const auto version = decimal(*versionText);
    if (!version) refuse(kUnreadableVersion, "Could not read schema version");
    if (*version != 0) refuse(kSchemaTooNew, "Bitfile schema too new");

    const auto minimumText = element(*section, "MinModuleRev");
    const auto desiredText = element(*section, "DesiredModuleRev");
    if (!minimumText || !desiredText) {
        refuse(kMissingRevisions, "Could not extract expected data from bitfile");
    }
    const auto minimum = revision(*minimumText);
    if (!minimum) refuse(kUnreadableRevisions, "Could not extract expected data from bitfile");
    const auto desired = revision(*desiredText);
    if (!desired) refuse(kUnreadableRevisions, "Could not extract expected data from bitfile");
    lowestModuleRevision_ = *minimum;
    desiredModuleRevision_ = *desired;
    hasModuleRevisions_ = true;
}

}  // namespace atomiczekhal
