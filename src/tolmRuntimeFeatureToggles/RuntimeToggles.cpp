#include "tolmRuntimeFeatureToggles/RuntimeToggles.h"

#include <cstring>
#include <new>

#include "qvapal/quarks/synchronization.h"
#include "qverr/Codes.h"
#include "qvsysq/internal/systemRoot.h"

namespace runtime_toggles {

namespace {

constexpr const char* kComponent = "qv3377hal";
constexpr const char* kRoot = "/var/local";
constexpr const char* kSettingsDirectory = "systemsettings";
constexpr const char* kValueKey = "Value";

// Source names reported by the raise sites: this file's, and those of the
// platform services whose failures it reports.
constexpr const char* kSource = "RuntimeToggles";
constexpr const char* kMemorySource = "qvapal/quarks/memory";
constexpr const char* kMutexSource = "qvapal/quarks/synchronization";

#define QV_TOGGLE_RAISE(status, code, source, line) \
    (status).setCode((code), kComponent, (source), (line))

constexpr int64_t kInvalidParameter = qverr::qvapalerr_invalidParameter;
constexpr int64_t kSoftwareFault = qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
constexpr int64_t kResourceNotFound = qverr::qvapalerr_resourceNotFound;
constexpr int64_t kMemoryFull = nQVAPALS100::tStatus::kMemoryFull;

using Lock = sdihal::nQVAPAL000::tMutexLock;

}  // namespace

void boundedAppend(char* field, size_t size, const char* source) {
    if (field == nullptr || source == nullptr || size == 0) return;
    const size_t length = strnlen(field, size);
    if (length == size) return;
    const size_t room = size - 1 - length;
    const size_t count = strnlen(source, room);
    std::memcpy(field + length, source, count);
    field[length + count] = '\0';
}

SystemSettingsAccessor::SystemSettingsAccessor(nQVAPALS100::tStatus& status) {
    try {
        mutex_ = new sdihal::nQVAPAL000::tMutex();
    } catch (...) {
        mutex_ = nullptr;
        QV_TOGGLE_RAISE(status, kSoftwareFault, kMutexSource, 588);
    }
    if (status.isError()) QV_TOGGLE_RAISE(status_, status.getCode(), kSource, 307);
}

SystemSettingsAccessor::~SystemSettingsAccessor() {
    userMap_.clear();
    for (auto& [path, document] : fileMap_) iniFree(document);
    fileMap_.clear();
    delete mutex_;
}

template <typename Value, typename Default, int Version>
RuntimeToggles<Value, Default, Version>::~RuntimeToggles() {
    if (accessor_ == nullptr || accessor_->getMutex() == nullptr) return;
    Lock lock(*accessor_->getMutex());
    const char* path = accessor_->getFilePath();
    FileMap& files = *accessor_->getFileMap();
    const auto file = files.find(path);
    if (*path == '\0' || file == files.end()) return;
    UserMap& users = *accessor_->getUserMap();
    users.erase(this);
    for (const auto& [user, document] : users) {
        if (document == file->second) return;
    }
    iniFree(file->second);
    files.erase(file);
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::initialize(const char* product, const char* fileName,
                                                         const char* company,
                                                         iSystemSettingsAccessor* accessor,
                                                         nQVAPALS100::tStatus& status) {
    if (!status_.isError()) {
        root_ = qvsysq::internal::rooted(kRoot);
        product_[0] = fileName_[0] = company_[0] = '\0';
        boundedAppend(product_, kFieldSize, product);
        boundedAppend(fileName_, kFieldSize, fileName);
        boundedAppend(company_, kFieldSize, company);
        accessor_ = accessor;
    }
    if (status.isError()) {
        QV_TOGGLE_RAISE(status_, status.getCode(), kSource, 660);
    } else if (accessor == nullptr) {
        QV_TOGGLE_RAISE(status, kInvalidParameter, kSource, 662);
        QV_TOGGLE_RAISE(status_, kInvalidParameter, kSource, 663);
    } else if (accessor->getStatus()->isError()) {
        QV_TOGGLE_RAISE(status, accessor->getStatus()->getCode(), kSource, 662);
        QV_TOGGLE_RAISE(status_, accessor->getStatus()->getCode(), kSource, 663);
    }
}

template <typename Value, typename Default, int Version>
sdihal::nQVAPAL000::tMutex* RuntimeToggles<Value, Default, Version>::usableMutex(
    const nQVAPALS100::tStatus& status) const {
    if (status.isError() || status_.isError() || accessor_ == nullptr) return nullptr;
    return accessor_->getMutex();
}

template <typename Value, typename Default, int Version>
bool RuntimeToggles<Value, Default, Version>::composePath(nQVAPALS100::tStatus& status) {
    char* path = accessor_->getFilePath();
    if (fileName_[0] == '\0') {
        QV_TOGGLE_RAISE(status, kInvalidParameter, kSource, 1501);
        return false;
    }
    path[0] = '\0';
    boundedAppend(path, kPathSize, root_.c_str());
    if (company_[0] != '\0') {
        boundedAppend(path, kPathSize, "/");
        boundedAppend(path, kPathSize, company_);
    }
    boundedAppend(path, kPathSize, "/");
    boundedAppend(path, kPathSize, kSettingsDirectory);
    if (product_[0] != '\0') {
        boundedAppend(path, kPathSize, "/");
        boundedAppend(path, kPathSize, product_);
    }
    boundedAppend(path, kPathSize, "_");
    boundedAppend(path, kPathSize, fileName_);
    return true;
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::loadLocked(nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    if (accessor_->getFilePath()[0] == '\0' && !composePath(status)) return;
    const std::string path = accessor_->getFilePath();
    FileMap& files = *accessor_->getFileMap();
    IniDocument* document = nullptr;
    if (const auto found = files.find(path); found != files.end()) {
        document = found->second;
    } else {
        document = iniCreate(0);
        if (document == nullptr) {
            QV_TOGGLE_RAISE(status, kMemoryFull, kMemorySource, 393);
            return;
        }
        const int32_t result = iniReadFile(document, path.c_str());
        try {
            files.emplace(path, document);
        } catch (const std::bad_alloc&) {
            iniFree(document);
            QV_TOGGLE_RAISE(status, kMemoryFull, kMemorySource, 393);
            return;
        }
        // A missing file stays cached as an empty document.
        if (result != 0) QV_TOGGLE_RAISE(status, result, kSource, 1278);
    }
    try {
        accessor_->getUserMap()->emplace(this, document);
    } catch (const std::bad_alloc&) {
        QV_TOGGLE_RAISE(status, kMemoryFull, kMemorySource, 393);
    }
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::unloadLocked() {
    const char* path = accessor_->getFilePath();
    FileMap& files = *accessor_->getFileMap();
    const auto file = files.find(path);
    if (*path == '\0' || file == files.end()) return;
    UserMap& users = *accessor_->getUserMap();
    for (auto user = users.begin(); user != users.end();) {
        user = user->second == file->second ? users.erase(user) : std::next(user);
    }
    iniFree(file->second);
    files.erase(file);
}

template <typename Value, typename Default, int Version>
IniDocument* RuntimeToggles<Value, Default, Version>::documentLocked() {
    const char* path = accessor_->getFilePath();
    if (*path == '\0') return nullptr;
    const FileMap& files = *accessor_->getFileMap();
    const auto file = files.find(path);
    return file != files.end() ? file->second : nullptr;
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::getValue(const char* name,
                                                       const Default& defaultValue, Value& valueOut,
                                                       nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    valueOut = defaultValue;
    if (status_.isError() || accessor_ == nullptr || accessor_->getMutex() == nullptr) {
        // An object that could not be set up answers the default and says
        // why, rather than leaving the caller with nothing.
        QV_TOGGLE_RAISE(status, status_.isError() ? status_.getCode() : kSoftwareFault, kSource,
                        307);
        return;
    }
    Lock lock(*accessor_->getMutex());
    if (name != nullptr) {
        if (const auto cached = cache_.find(name); cached != cache_.end()) {
            valueOut = cached->second;
            return;
        }
    }
    loadLocked(status);
    IniDocument* document = status.isError() ? nullptr : documentLocked();
    if (!status.isError() && accessor_->getFilePath()[0] != '\0' &&
        accessor_->getFileMap()->count(accessor_->getFilePath()) != 0) {
        char section[kFieldSize] = {};
        boundedAppend(section, kFieldSize, product_);
        boundedAppend(section, kFieldSize, name);
        if (product_[0] == '\0' || name == nullptr) {
            QV_TOGGLE_RAISE(status, kInvalidParameter, kSource, 1232);
        } else if (document == nullptr) {
            QV_TOGGLE_RAISE(status, kSoftwareFault, kSource, 1229);
        } else if (iniHasKey(document, section, kValueKey) == 0) {
            QV_TOGGLE_RAISE(status, kResourceNotFound, kSource, 1226);
        }
        if (!status.isError()) {
            int32_t value = 0;
            const int32_t result = iniGetInt(document, section, kValueKey, &value);
            if (result == 1) {
                valueOut = value;
            } else if (result == 0) {
                QV_TOGGLE_RAISE(status, kSoftwareFault, kSource, 1125);
            }
            // Not a decimal number: the default stands, without an error.
        }
    }
    if (name != nullptr) {
        try {
            cache_[name] = valueOut;
        } catch (const std::bad_alloc&) {
            // Only means the next call reads the file again.
        }
    }
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::setValue(const char* name, const Value& value,
                                                       nQVAPALS100::tStatus& status) {
    sdihal::nQVAPAL000::tMutex* mutex = usableMutex(status);
    if (mutex == nullptr) return;
    if (name == nullptr) {
        QV_TOGGLE_RAISE(status, kInvalidParameter, kSource, 1232);
        return;
    }
    Lock lock(*mutex);
    try {
        cache_[name] = value;
    } catch (const std::bad_alloc&) {
        QV_TOGGLE_RAISE(status, kMemoryFull, kMemorySource, 393);
    }
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::load(nQVAPALS100::tStatus& status) {
    sdihal::nQVAPAL000::tMutex* mutex = usableMutex(status);
    if (mutex == nullptr) return;
    Lock lock(*mutex);
    loadLocked(status);
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::reload(nQVAPALS100::tStatus& status) {
    sdihal::nQVAPAL000::tMutex* mutex = usableMutex(status);
    if (mutex == nullptr) return;
    Lock lock(*mutex);
    cache_.clear();
    unloadLocked();
    nQVAPALS100::tStatus local;
    loadLocked(local);
    status.merge(local);
}

template <typename Value, typename Default, int Version>
void RuntimeToggles<Value, Default, Version>::clear(nQVAPALS100::tStatus& status) {
    sdihal::nQVAPAL000::tMutex* mutex = usableMutex(status);
    if (mutex == nullptr) return;
    Lock lock(*mutex);
    cache_.clear();
    unloadLocked();
}

template class RuntimeToggles<int, int, 12>;

}  // namespace runtime_toggles
