// Runtime toggles: integer settings an administrator places in a
// system-wide INI file, one section per toggle (product prefix + toggle
// name) with the key "Value". Values are cached per toggle object; the
// parsed file is shared by the toggle objects of one accessor.
//
// Every operation reports through a platform status and does nothing while
// that status, or the object's own, holds an error.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "qvapal/status/tStatus.h"
#include "tolmRuntimeFeatureToggles/IniFile.h"

namespace sdihal::nQVAPAL000 {
class tMutex;
}

namespace runtime_toggles {

inline constexpr size_t kFieldSize = 512;
inline constexpr size_t kPathSize = 4096;

using FileMap = std::map<std::string, IniDocument*>;
using UserMap = std::map<const void*, IniDocument*>;

class iSystemSettingsAccessor {
public:
    virtual ~iSystemSettingsAccessor() = default;
    // Null when the mutex could not be made (the status says so).
    virtual sdihal::nQVAPAL000::tMutex* getMutex() = 0;
    virtual FileMap* getFileMap() = 0;
    virtual UserMap* getUserMap() = 0;
    virtual char* getFilePath() = 0;
    virtual nQVAPALS100::tStatus* getStatus() = 0;
};

// The cache of parsed INI files that toggle objects share.
class SystemSettingsAccessor : public iSystemSettingsAccessor {
public:
    explicit SystemSettingsAccessor(nQVAPALS100::tStatus& status);
    SystemSettingsAccessor(const SystemSettingsAccessor&) = delete;
    SystemSettingsAccessor& operator=(const SystemSettingsAccessor&) = delete;
    ~SystemSettingsAccessor() override;

    sdihal::nQVAPAL000::tMutex* getMutex() override { return mutex_; }
    FileMap* getFileMap() override { return &fileMap_; }
    UserMap* getUserMap() override { return &userMap_; }
    char* getFilePath() override { return filePath_; }
    nQVAPALS100::tStatus* getStatus() override { return &status_; }

private:
    sdihal::nQVAPAL000::tMutex* mutex_ = nullptr;
    FileMap fileMap_;
    UserMap userMap_;
    char filePath_[kPathSize] = {};
    nQVAPALS100::tStatus status_;
};

template <typename Value, typename Default, int Version>
class iRuntimeToggles {
public:
    virtual ~iRuntimeToggles() = default;
    virtual void getValue(const char* name, const Default& defaultValue, Value& valueOut,
                          nQVAPALS100::tStatus& status) = 0;
    virtual void setValue(const char* name, const Value& value, nQVAPALS100::tStatus& status) = 0;
    virtual void reload(nQVAPALS100::tStatus& status) = 0;
    virtual void load(nQVAPALS100::tStatus& status) = 0;
    virtual void clear(nQVAPALS100::tStatus& status) = 0;
};

template <typename Value, typename Default, int Version>
class RuntimeToggles : public iRuntimeToggles<Value, Default, Version> {
public:
    RuntimeToggles() = default;
    RuntimeToggles(const RuntimeToggles&) = delete;
    RuntimeToggles& operator=(const RuntimeToggles&) = delete;
    ~RuntimeToggles() override;

    // The file is <root>/var/local/<company>/systemsettings/<product>_<fileName>.
    void initialize(const char* product, const char* fileName, const char* company,
                    iSystemSettingsAccessor* accessor, nQVAPALS100::tStatus& status);

    // The toggle's value, or defaultValue when it has none; either is cached
    // until reload or clear.
    void getValue(const char* name, const Default& defaultValue, Value& valueOut,
                  nQVAPALS100::tStatus& status) override;
    // Sets the cached value (the file is not written).
    void setValue(const char* name, const Value& value, nQVAPALS100::tStatus& status) override;
    // Drops the cached values and reads the file again.
    void reload(nQVAPALS100::tStatus& status) override;
    void load(nQVAPALS100::tStatus& status) override;
    // Drops the cached values and the parsed file.
    void clear(nQVAPALS100::tStatus& status) override;

private:
    // The accessor's mutex, or null when an error (given or own) or a
    // missing accessor makes the operation do nothing.
    sdihal::nQVAPAL000::tMutex* usableMutex(const nQVAPALS100::tStatus& status) const;
    void loadLocked(nQVAPALS100::tStatus& status);
    void unloadLocked();
    bool composePath(nQVAPALS100::tStatus& status);
    IniDocument* documentLocked();

    char product_[kFieldSize] = {};
    char fileName_[kFieldSize] = {};
    char company_[kFieldSize] = {};
    std::string root_;
    iSystemSettingsAccessor* accessor_ = nullptr;
    std::map<std::string, Value> cache_;
    nQVAPALS100::tStatus status_;
};

// Appends source to the NUL-terminated text in field[size], cutting what
// does not fit. Nothing when either is null or field holds no NUL.
void boundedAppend(char* field, size_t size, const char* source);

}  // namespace runtime_toggles
