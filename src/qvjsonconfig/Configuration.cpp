#include "qvjsonconfig/Configuration.h"

#include <strings.h>

#include <exception>
#include <new>
#include <set>

#include "qverr/Exception.h"
#include "qverr/trace.h"
#include "qvjsonconfig/ConfigurationErrors.h"

namespace qvjsonconfig {

namespace {

const char* const kKnownMembers[] = {"version", "oldest_compatible_version", "devices"};

bool isKnownMember(const char* name) {
    for (const char* known : kKnownMembers) {
        if (name != nullptr && strcasecmp(name, known) == 0) return true;
    }
    return false;
}

// A file written by a newer, compatible version keeps its version numbers
// and the members this version does not know: otherwise two versions
// sharing the file would rewrite it back and forth, and the newer one
// would lose its data.
void keepNewerFileMembers(const cJSON* source, cJSON* document) {
    const cJSON* fileVersion = cJSON_GetObjectItem(source, "version");
    if (fileVersion == nullptr || qvjsonlh::getNumber(fileVersion) < kConfigurationVersion + 1.0) {
        return;
    }
    for (const char* name : {"version", "oldest_compatible_version"}) {
        const cJSON* item = cJSON_GetObjectItem(source, name);
        const cJSON* ours = cJSON_GetObjectItem(document, name);
        if (item == nullptr || ours == nullptr || !qvjsonlh::isNumber(item) ||
            !(qvjsonlh::getNumber(item) > qvjsonlh::getNumber(ours))) {
            continue;
        }
        cJSON* copy = qvjsonlh::duplicate(item);
        if (!cJSON_ReplaceItemViaPointer(document, const_cast<cJSON*>(ours), copy)) {
            cJSON_Delete(copy);
            throw std::bad_alloc();
        }
    }
    for (const cJSON* member = source->child; member != nullptr; member = member->next) {
        if (isKnownMember(member->string)) continue;
        qvjsonlh::addItemToObject(document, member->string, qvjsonlh::duplicate(member));
    }
}

}  // namespace

Configuration::Configuration(LockableFile& file, DeviceIteratorInterface* devices,
                             AttributeProviderInterface& provider,
                             ConfigurationObserverInterface* observer)
    : data_(), file_(&file), committed_(), observer_(observer) {
    file.lock();
    try {
        load(devices, provider);
    } catch (...) {
        committed_.reset();
        file.unlock();
        throw;
    }
}

Configuration::~Configuration() {
    committed_.reset();
    file_->unlock();
}

void Configuration::load(DeviceIteratorInterface* devices, AttributeProviderInterface& provider) {
    try {
        std::string text;
        file_->read(text);
        qvjsonlh::AutoCJSON source;
        if (!text.empty()) {
            source.reset(qvjsonlh::parse(text.c_str()));
            checkVersion(source.get());
            committed_.reset(qvjsonlh::duplicate(source.get()));
            keepNewerFileMembers(source.get(), data_.getDocument());
        } else {
            source.reset(createDefaultDocument());
        }
        mergeDevices(source.get(), devices, provider);
        commit();
    } catch (const std::exception& exception) {
        trace::log(trace::kLevelException, TRACE_LOCATION(), "Fatal configuration error! %s",
                   exception.what());
        throw;
    }
}

void Configuration::mergeDevices(const cJSON* source, DeviceIteratorInterface* devices,
                                 AttributeProviderInterface& provider) {
    const cJSON* sourceDevices = qvjsonlh::getObjectItem(source, "devices");
    qvjsonlh::checkObject(sourceDevices);

    // Every device of the file stays, present or not.
    for (const cJSON* member = sourceDevices->child; member != nullptr; member = member->next) {
        qvjsonlh::AutoCJSON persistent(qvjsonlh::duplicate(member));
        qvjsonlh::AutoCJSON volatileObject(qvjsonlh::createObject());
        provider.provide(nullptr, data_, persistent.get(), volatileObject.get());
        data_.addDeviceEntry(member->string, persistent.release(), volatileObject.release());
    }

    // The devices present now: a known one keeps its stored members, a new
    // one is added; each gets what the provider gives a present device.
    std::set<std::string> merged;
    for (; devices != nullptr && !devices->isEnd(); devices->next()) {
        std::string token;
        try {
            token = devices->getPersistentToken();
        } catch (const qverr::ExceptionBase&) {
            // A module that cannot be named (its driver gives no slot path,
            // say) is left out, as the device manager leaves it out: it must
            // not cost the other modules their aliases.
            continue;
        }
        // An iterator may meet one module twice (two driver interfaces).
        if (!merged.insert(token).second) continue;
        qvjsonlh::AutoCJSON persistent;
        if (data_.findDeviceEntry(token)) {
            persistent.reset(qvjsonlh::duplicate(
                qvjsonlh::getObjectItemCaseSensitive(sourceDevices, token.c_str())));
        } else {
            persistent.reset(qvjsonlh::createObject());
        }
        qvjsonlh::AutoCJSON volatileObject(qvjsonlh::createObject());
        provider.provide(devices, data_, persistent.get(), volatileObject.get());
        if (data_.findDeviceEntry(token)) data_.removeDeviceEntry(token);
        data_.addDeviceEntry(token, persistent.release(), volatileObject.release());
    }
}

void Configuration::commit() {
    cJSON* document = data_.getDocument();
    if (committed_.get() != nullptr && qvjsonlh::equals(committed_.get(), document)) return;
    const std::string text = qvjsonlh::printToString(document);
    file_->write(text.data(), text.data() + text.size());
    committed_.reset(qvjsonlh::duplicate(document));
    if (observer_ != nullptr) observer_->configurationWritten(data_);
}

}  // namespace qvjsonconfig
