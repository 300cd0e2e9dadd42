#include "qvxlatormgr/Registry.h"

#include <cstring>

#include "qverr/DetailWriter.h"
#include "qvxlator/DefaultTranslator.h"
#include "qvxlator/StatusDetail.h"
#include "qvxlatormgr/MxlatorFactory.h"

namespace qvxlatormgr {

namespace {

constinit FactoryEntry gFactoryHead;
constinit RegistrationEntry gRegistrationHead;

template <typename Entry>
void linkAtTail(Entry& head, Entry* entry) {
    entry->next = &head;
    entry->previous = head.previous;
    head.previous->next = entry;
    head.previous = entry;
}

template <typename Entry>
void unlink(Entry* entry) {
    entry->previous->next = entry->next;
    entry->next->previous = entry->previous;
    entry->next = entry->previous = entry;
}

#define QV_DRIVER_NAME "qv3377HAL"

}  // namespace

// The settings become the scripts' settings table; "$_qvShared32Dir" is
// expanded to the shared data directory when a description is asked for.
const char* const kMxlatorRegistrationInfo =
    "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_settings\":{\"driverName\":\"" QV_DRIVER_NAME
    "\",\"qvSharedErrorsDir\":\"$_qvShared32Dir/errors\",\"ZMErrorsDir\":\"$_qvShared32Dir/"
    "zmerrors\"}}";

FactoryEntry::FactoryEntry(const char* entryName, qvxlator::FactoryFn entryFactory)
    : next(this), previous(this), name(entryName), factory(entryFactory) {
    linkAtTail(gFactoryHead, this);
}

FactoryEntry::~FactoryEntry() {
    unlink(this);
}

RegistrationEntry::RegistrationEntry(const char* entryName, const char* info,
                                     qvxlator::FactoryFn entryFactory)
    : next(this), previous(this), name(entryName), registrationInfo(info), factory(entryFactory) {
    linkAtTail(gRegistrationHead, this);
}

RegistrationEntry::~RegistrationEntry() {
    unlink(this);
}

FactoryEntry& factoryList() {
    return gFactoryHead;
}
RegistrationEntry& registrationList() {
    return gRegistrationHead;
}

namespace {
FactoryEntry gMxlatorFactory{"mxlator_qv3377HAL", &qvmxl::createXlator};
RegistrationEntry gMxlatorRegistration{"mxlator_qv3377HAL", kMxlatorRegistrationInfo,
                                       &qvmxl::createXlator};
RegistrationEntry gDefaultRegistration{"qvxlator_default", "{}",
                                       &qvxlator::createDefaultTranslator};
}  // namespace

}  // namespace qvxlatormgr

extern "C" qvxlator::Translator* qvxlator_exported_create(const char* name,
                                                          const char* registrationInfo,
                                                          qverr::Status* status) {
    if (!status || status->isError()) {
        return nullptr;
    }
    using qvxlatormgr::FactoryEntry;
    FactoryEntry& head = qvxlatormgr::factoryList();
    for (FactoryEntry* entry = head.next; entry != &head; entry = entry->next) {
        if (name && std::strcmp(entry->name, name) == 0) {
            return entry->factory(entry->name, registrationInfo, status);
        }
    }
    if (qvxlator::raise(*status, qverr::qvapalerr_invalidParameter,
                        QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"))) {
        qverr::DetailWriter(*status)
            .beginObject("qvxlator_debug")
            .add("qvxlator_exported", "could not find xlator")
            .add("name", name)
            .add("registrationInfo", registrationInfo)
            .endObject();
    }
    return nullptr;
}
