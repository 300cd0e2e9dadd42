#include "atomiczekddk/attributes/Attribute.h"

#include "atomiczekddk/attributes/AttributeRegistry.h"
#include "qverr/json.h"
#include "qvmxl/qvmxl.h"

namespace atat {
namespace {

void appendIdentity(qverr::Status& status, uint32_t id, const std::string& channelName) {
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeUsageParam(
        writer, qvmxl::UsageParam<uint32_t>{"kUsageTypeAttributeIdentifier", id});
    if (!channelName.empty()) {
        qvmxl::writeUsageParam(
            writer, qvmxl::UsageParam<const char*>{"kUsageTypeChannelName", channelName.c_str()});
    }
}

}  // namespace

void identifyAttribute(qverr::ExceptionBase& exception, uint32_t id,
                       const std::string& channelName) {
    appendIdentity(exception.status, id, channelName);
}

void throwNotSettable(int32_t code, int line, uint32_t id, const std::string& channelName) {
    qverr::Status status;
    const bool stored =
        line == 62 ? status.setCode(code, QVERR_FIXED_LOCATION("atat/attributes/NotSettable", 62,
                                                               kAttributeComponent, "errorCode"))
                   : status.setCode(code, QVERR_FIXED_LOCATION("atat/attributes/NotSettable", 70,
                                                               kAttributeComponent, "errorCode"));
    if (stored) appendIdentity(status, id, channelName);
    qverr::throwStatus(std::move(status));
}

void throwEnumRefused(int32_t code, uint32_t enumId, int32_t value,
                      const std::vector<int32_t>& offered) {
    qverr::Status status;
    if (status.setCode(code, QVERR_FIXED_LOCATION("atat/ranges/EnumRange", 165, kAttributeComponent,
                                                  "errorCode"))) {
        // Both records name the enumeration beside their numbers.
        const std::string type =
            R"({"type":"enum","id":)" + std::to_string(enumId) + R"(,"value_type":"int32_t"})";
        std::string list = "[";
        for (int32_t v : offered) {
            if (list.size() > 1) list += ',';
            list += std::to_string(v);
        }
        list += "]";
        const std::string requested = std::to_string(value);
        qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
        const qverr::json::GrowCallback grow{writer.grow, writer.context};
        const qverr::json::Member requestedRecord[] = {{"type", "usage", false},
                                                       {"usage", "kUsageTypeRequestedValue", false},
                                                       {"value", requested.c_str(), true},
                                                       {"value_type", type.c_str(), true}};
        const qverr::json::Member possibleRecord[] = {{"type", "usage", false},
                                                      {"usage", "kUsageTypePossibleValues", false},
                                                      {"value", list.c_str(), true},
                                                      {"value_type", type.c_str(), true}};
        char* cursor = qverr::json::addObjectOfMembersWithGrow(writer.cursor, nullptr,
                                                               requestedRecord, 4, grow);
        qverr::json::addObjectOfMembersWithGrow(cursor, nullptr, possibleRecord, 4, grow);
    }
    qverr::throwStatus(std::move(status));
}

}  // namespace atat
