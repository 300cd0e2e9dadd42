#include "atomiczekddk/aliases/AliasStorageData.h"

#include <new>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Status.h"
#include "qvjsonlh/cJSONUtils.h"

namespace qvzek {

namespace {

constexpr const char* kAliasMember = "alias";

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    }
    return true;
}

std::string AliasStorageDataJsonconfig::getAlias(const std::string& token) {
    const qvjsonconfig::DeviceEntryPtr entry = data_->findDeviceEntry(token);
    if (!entry) return "";
    const cJSON* alias =
        cJSON_GetObjectItem(entry->getJsonObject(qvjsonconfig::kSelectorPersistent), kAliasMember);
    return alias != nullptr ? qvjsonlh::getString(alias) : "";
}

std::string AliasStorageDataJsonconfig::getToken(const std::string& alias) {
    for (const auto& [token, entry] : data_->getDeviceEntries()) {
        const cJSON* member = qvjsonlh::getObjectItem(
            entry->getJsonObject(qvjsonconfig::kSelectorPersistent), kAliasMember);
        if (equalsIgnoringAsciiCase(qvjsonlh::getString(member), alias)) return token;
    }
    return "";
}

void AliasStorageDataJsonconfig::setAlias(const std::string& token, const std::string& alias) {
    // A snapshot is shared by its readers and never written.
    if (writableData_ == nullptr)
        throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    cJSON* object =
        writableData_->getDeviceEntry(token)->getJsonObject(qvjsonconfig::kSelectorPersistent);
    qvjsonlh::getObjectItem(object, kAliasMember);
    cJSON* text = qvjsonlh::createStringFromString(alias);
    if (!cJSON_ReplaceItemInObject(object, kAliasMember, text)) {
        cJSON_Delete(text);
        throw std::bad_alloc();
    }
}

std::shared_ptr<IAliasStorageData> AliasStorageDataJsonconfig::clone() {
    std::unique_ptr<qvjsonconfig::ConfigurationData> copy(data_->clone());
    return std::make_shared<AliasStorageDataJsonconfig>(std::move(copy));
}

}  // namespace qvzek
