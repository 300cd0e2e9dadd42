#include "atomiczekddk/p2p/P2PLibrary.h"

#include <sched.h>

#include <atomic>

#include "qvdynlib/qvdynlib.h"

// This library's own handle for exit handlers: a handler registered with it
// runs when the library is unloaded, or at exit if it never is.
extern "C" void* __dso_handle;
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso);

namespace qvzek {

namespace {

// Written only by the caller that owns the entry, and by the exit handler.
void* libraryHandle = nullptr;
std::atomic<bool> loaded{false};
std::atomic<bool> exited{false};
std::atomic<int> entries{0};

// The one owner of the handle: nothing else closes it.
void closeAtExit() {
    exited.store(true);
    loaded.store(false);
    void* handle = libraryHandle;
    libraryHandle = nullptr;
    if (handle != nullptr) qvdynlib_close(handle);
}

// Bound to this library, not to the process: a host that unloads the library
// must not have the handler called later into unmapped code (a plain atexit
// is bound to the process where a sanitizer's runtime intercepts it).
void closeAtUnload(void*) {
    closeAtExit();
}

}  // namespace

void* getP2PLibrarySymbol(const char* symbol, const char* library) {
    qverr::Status status;
    for (;;) {
        if (entries.fetch_add(1) == 0) {
            if (!exited.load() && !loaded.load()) {
                libraryHandle = qvdynlib_load(library, kQvdynlibDefaultFlags, status);
                if (libraryHandle != nullptr) {
                    loaded.store(true);
                    __cxa_atexit(closeAtUnload, nullptr, &__dso_handle);
                }
            }
            entries.fetch_sub(1);
            break;
        }
        entries.fetch_sub(1);
        sched_yield();
        if (loaded.load() || exited.load()) break;
    }
    if (!loaded.load() || status.isError()) return nullptr;
    return qvdynlib_symbol(libraryHandle, symbol, status);
}

}  // namespace qvzek
