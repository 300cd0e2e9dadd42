// Controls of the route-control library stand-in, for tests that link it.
#pragma once

#include <cstdint>

extern "C" {
void qvrocosim_reset();
void qvrocosim_failCall(uint32_t n, int32_t code);
void qvrocosim_failEntry(const char* entry, int32_t code);
const char* qvrocosim_log();
void qvrocosim_clearLog();
void qvrocosim_setLogging(int on);
uint32_t qvrocosim_callCount();
void qvrocosim_setTerminals(const char* list);
uint32_t qvrocosim_routeCount();
uint32_t qvrocosim_programmedRouteCount();
uint32_t qvrocosim_liveSessionCount();
uint32_t qvrocosim_liveObjectCount();
}
