// Loading shared libraries at run time and resolving their entry points,
// with the dynamic linker's message in the failure's JSON detail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "qverr/Status.h"

// RTLD_NOW | RTLD_GLOBAL, the flags every caller passes.
inline constexpr int kQvdynlibDefaultFlags = 258;

// The library handle, or null with -52005 in status. Does nothing when
// status already holds an error. The linker's error state is left clear.
void* qvdynlib_load(const char* path, int flags, qverr::Status& status);
// The entry point's address, or null with -52005 in status (a null
// address counts as missing). Does nothing when status holds an error.
void* qvdynlib_symbol(void* handle, const char* name, qverr::Status& status);
// The address of `name` at symbol version `version`, or null (nothing is
// raised: callers fall back to the unversioned name). A null handle
// searches the process's global scope (RTLD_DEFAULT).
void* qvdynlib_versionedSymbol(void* handle, const char* name, const char* version);
int qvdynlib_close(void* handle);

namespace qvdynlib {

// Owns one library handle and closes it.
class AutoLib {
public:
    explicit AutoLib(void* handle = nullptr) noexcept : handle_(handle) {}
    AutoLib(const AutoLib&) = delete;
    AutoLib& operator=(const AutoLib&) = delete;
    ~AutoLib() { reset(); }

    void* get() const noexcept { return handle_; }
    void reset(void* handle = nullptr) noexcept {
        if (handle_ != nullptr) qvdynlib_close(handle_);
        handle_ = handle;
    }

private:
    void* handle_;
};

// Resolves prefix + names[i] + suffix for every name in order into
// addresses[i] (null when missing). Every name is tried; status receives
// the first failure.
void resolveEntryPoints(void* handle, const char* prefix, const char* const* names, size_t count,
                        const char* suffix, void** addresses, qverr::Status& status);

// An entry-point table whose library closes with it. Table provides
// kEntryPointNames (an array of names), kPrefix, kSuffix and
// setEntryPoint(index, address).
template <class Table>
class AutoLibWithInterface : public Table {
public:
    AutoLibWithInterface() = default;
    // Loads path and fills the table; failures go to status, missing entry
    // points stay null.
    AutoLibWithInterface(const char* path, qverr::Status& status)
        : lib_(qvdynlib_load(path, kQvdynlibDefaultFlags, status)) {
        if (lib_.get() == nullptr) return;
        constexpr size_t count = std::size(Table::kEntryPointNames);
        void* addresses[count] = {};
        resolveEntryPoints(lib_.get(), Table::kPrefix, std::data(Table::kEntryPointNames), count,
                           Table::kSuffix, addresses, status);
        for (size_t i = 0; i < count; ++i) this->setEntryPoint(i, addresses[i]);
    }
    AutoLibWithInterface(const AutoLibWithInterface&) = delete;
    AutoLibWithInterface& operator=(const AutoLibWithInterface&) = delete;
    virtual ~AutoLibWithInterface() = default;

    void* handle() const noexcept { return lib_.get(); }

private:
    AutoLib lib_;
};

}  // namespace qvdynlib
