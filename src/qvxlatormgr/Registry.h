// The translators this library offers: a factory list that
// qvxlator_exported_create walks, and a registration list recording the
// registration information each factory expects. Both are filled by static
// objects when the library is loaded (constant data: no thread, no file)
// and emptied when it is unloaded; nothing changes them in between.
#pragma once

#include "qvxlator/Translator.h"

namespace qvxlatormgr {

struct FactoryEntry {
    FactoryEntry* next;
    FactoryEntry* previous;
    const char* name;
    qvxlator::FactoryFn factory;

    // Appends the entry at the tail of the factory list.
    FactoryEntry(const char* name, qvxlator::FactoryFn factory);
    ~FactoryEntry();
    FactoryEntry(const FactoryEntry&) = delete;
    FactoryEntry& operator=(const FactoryEntry&) = delete;

    // The list head: circular, so an empty list points at itself.
    constexpr FactoryEntry() : next(this), previous(this), name(nullptr), factory(nullptr) {}
};

struct RegistrationEntry {
    RegistrationEntry* next;
    RegistrationEntry* previous;
    const char* name;
    const char* registrationInfo;
    qvxlator::FactoryFn factory;

    RegistrationEntry(const char* name, const char* registrationInfo, qvxlator::FactoryFn factory);
    ~RegistrationEntry();
    RegistrationEntry(const RegistrationEntry&) = delete;
    RegistrationEntry& operator=(const RegistrationEntry&) = delete;

    constexpr RegistrationEntry()
        : next(this), previous(this), name(nullptr), registrationInfo(nullptr), factory(nullptr) {}
};

FactoryEntry& factoryList();
RegistrationEntry& registrationList();

// The registration information of "mxlator_qv3377HAL".
extern const char* const kMxlatorRegistrationInfo;

}  // namespace qvxlatormgr

// Creates the translator registered under `name` (case-sensitive).
extern "C" __attribute__((visibility("default"))) qvxlator::Translator* qvxlator_exported_create(
    const char* name, const char* registrationInfo, qverr::Status* status);
