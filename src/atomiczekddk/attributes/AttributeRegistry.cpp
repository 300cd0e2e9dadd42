#include "atomiczekddk/attributes/AttributeRegistry.h"

#include <algorithm>

#include "qverr/Exception.h"
#include "qvhtl/utf8/utf8.h"
#include "qvmxl/qvmxl.h"

namespace atat {
namespace {

constexpr const char* kSource = "atat/attributes/AttributeRegistry";

// Raises at a fixed site and throws, with the key's usage records (and a
// comment) when the code was stored; a code of 0 throws an empty status.
[[noreturn]] void throwForKey(int32_t code, const qverr::SourceLocation& location, uint32_t id,
                              const char* channelName, const char* comment = nullptr) {
    qverr::Status status;
    if (status.setCode(code, location)) {
        qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
        writer = qvmxl::writeUsageParam(
            writer, qvmxl::UsageParam<uint32_t>{"kUsageTypeAttributeIdentifier", id});
        if (channelName != nullptr && *channelName != '\0') {
            writer = qvmxl::writeUsageParam(
                writer, qvmxl::UsageParam<const char*>{"kUsageTypeChannelName", channelName});
        }
        if (comment != nullptr) qvmxl::writeComment(writer, comment);
    }
    qverr::throwStatus(std::move(status));
}

}  // namespace

AttributeRegistry::Entries::const_iterator AttributeRegistry::lowerBound(uint32_t id,
                                                                         const char* channelName,
                                                                         bool& equal) const {
    const std::string_view name = channelName != nullptr ? channelName : "";
    int order = 0;
    const auto found =
        std::partition_point(entries_.begin(), entries_.end(), [&](const Entry& entry) {
            if (entry.id != id) return entry.id < id;
            return qvzek::compareCaseFolded(entry.channelName, name) < 0;
        });
    if (found != entries_.end() && found->id == id)
        order = qvzek::compareCaseFolded(found->channelName, name);
    equal = found != entries_.end() && found->id == id && order == 0;
    return found;
}

void AttributeRegistry::add(iattr::AttributeBaseInterface* attribute) {
    const uint32_t id = attribute->getId();
    const char* name = attribute->getChannelName();
    if (name == nullptr) name = "";
    bool equal = false;
    const auto at = lowerBound(id, name, equal);
    if (equal) {
        throwForKey(errorInternalError_,
                    QVERR_FIXED_LOCATION(kSource, 37, kAttributeComponent, "errorInternalError"),
                    id, name, "The attribute id was already added to the attribute registry.");
    }
    entries_.insert(at, Entry{id, name, attribute});
}

iattr::AttributeBaseInterface* AttributeRegistry::find(uint32_t id, const char* channelName) const {
    bool equal = false;
    const auto at = lowerBound(id, channelName, equal);
    if (!equal) {
        throwForKey(
            errorAttributeNotFound_,
            QVERR_FIXED_LOCATION(kSource, 78, kAttributeComponent, "errorAttributeNotFound"), id,
            channelName);
    }
    return at->attribute;
}

void AttributeRegistry::throwWrongType(uint32_t id, const char* channelName) const {
    throwForKey(errorWrongAttributeType_,
                QVERR_FIXED_LOCATION(kSource, 114, kAttributeComponent, "errorWrongAttributeType"),
                id, channelName);
}

void AttributeRegistry::setDirty(bool dirty) {
    for (Entry& entry : entries_) entry.attribute->setDirty(dirty);
}

bool AttributeRegistry::isDirty() const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const Entry& e) { return e.attribute->isDirty(); });
}

}  // namespace atat
