// Stand-in of libQvFpgaKx.so, the FPGA interface library of the Korvex
// run-time, loaded by name at run time. Its open and close work on the
// sessions of the libQvFpga.so.13 stand-in; its region calls only answer
// and log. Every call is logged in that stand-in's log.
#include <cstdio>

#include "qvfpga/QvFpgaSim.h"
#include "qvisl/QvFpgaDll.h"

#define QVFPGAKX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int32_t region(const char* function, uint32_t session, uint32_t fifo, uint32_t* reference,
               void* data, int32_t five, int32_t eight, uint32_t value, void* out,
               uint64_t value64) {
    char line[256];
    snprintf(line, sizeof line,
             "%s session=%u fifo=%u data=%s a=%d b=%d value=%u out=%s value64=%llu", function,
             session, fifo, data ? "set" : "null", five, eight, value, out ? "set" : "null",
             static_cast<unsigned long long>(value64));
    qvfpgasim_logCall(line);
    if (reference == nullptr) return QVFPGASIM_INVALID;
    *reference = 0x4B580000u + fifo;
    return 0;
}

}  // namespace

QVFPGAKX_EXPORT int32_t QvFpgaKx_Open(const char* bitfile, const char* signature,
                                      const char* resource, uint32_t attribute, uint32_t* session) {
    char line[256];
    snprintf(line, sizeof line, "QvFpgaKx_Open resource=%s attribute=0x%08X",
             resource ? resource : "(null)", attribute);
    qvfpgasim_logCall(line);
    return QvFpgaDll_Open(bitfile, signature, resource, attribute, session);
}

QVFPGAKX_EXPORT int32_t QvFpgaKx_Close(uint32_t session, uint32_t attribute) {
    char line[128];
    snprintf(line, sizeof line, "QvFpgaKx_Close session=%u attribute=%u", session, attribute);
    qvfpgasim_logCall(line);
    return QvFpgaDll_Close(session, attribute);
}

QVFPGAKX_EXPORT int32_t QvFpgaKx_AcquireFifoReadRegionScalar(uint32_t session, uint32_t fifo,
                                                             uint32_t* reference, void* data,
                                                             int32_t five, int32_t eight,
                                                             uint32_t value, void* out,
                                                             uint64_t value64) {
    return region("QvFpgaKx_AcquireFifoReadRegionScalar", session, fifo, reference, data, five,
                  eight, value, out, value64);
}

QVFPGAKX_EXPORT int32_t QvFpgaKx_AcquireFifoWriteRegionScalar(uint32_t session, uint32_t fifo,
                                                              uint32_t* reference, void* data,
                                                              int32_t five, int32_t eight,
                                                              uint32_t value, void* out,
                                                              uint64_t value64) {
    return region("QvFpgaKx_AcquireFifoWriteRegionScalar", session, fifo, reference, data, five,
                  eight, value, out, value64);
}
