// Entry points of the Korvex run-time engine that this library imports
// weakly: they exist only in a process that holds the engine (a driver
// running inside the graphical environment), and every call site tests
// them for null first.
#pragma once

#include <cstdint>

extern "C" {
__attribute__((weak, visibility("default"))) int32_t KXDVR_AddRef(uint32_t reference);
__attribute__((weak, visibility("default"))) int32_t KXDVR_ReleaseRef(uint32_t reference);
__attribute__((weak, visibility("default"))) int32_t KXSetCleanupProc(int32_t (*proc)(void*),
                                                                      void* data, int32_t mode);
}
