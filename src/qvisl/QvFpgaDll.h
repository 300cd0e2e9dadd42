// The FPGA interface library, libQvFpga.so.13, as this library imports it at
// load time, and its companion libQvFpgaKx.so, reached at run time by name.
// Every function returns an int32 status: 0 success, negative error,
// positive warning. Session and FIFO handles are u32; counts and depths are
// size_t; timeouts (ms) are passed through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

// Opaque interrupt context handed out by QvFpgaDll_ReserveIrqContext.
using QvFpgaDll_IrqContext = void*;

namespace qvisl {

// Open attribute words: the bitfile argument is a path, or the bitfile text.
inline constexpr uint32_t kOpenFromPath = 0x98000000;
inline constexpr uint32_t kOpenFromContents = 0xD8000000;
// The close attribute every caller passes.
inline constexpr uint32_t kCloseAttribute = 1;
// FIFO look-up of any resource type.
inline constexpr uint32_t kResourceTypeAny = 0xFFFFFFFF;

}  // namespace qvisl

extern "C" {

int32_t QvFpgaDll_Open(const char* bitfile, const char* signature, const char* resource,
                       uint32_t attribute, uint32_t* session);
int32_t QvFpgaDll_Close(uint32_t session, uint32_t attribute);
int32_t QvFpgaDll_FindFifoPrivate(uint32_t session, const char* name, uint32_t resourceType,
                                  uint32_t* fifo);

#define QV_FPGA_DLL_TYPED_FIFO(SUFFIX, T)                                                        \
    int32_t QvFpgaDll_ReadFifo##SUFFIX(uint32_t session, uint32_t fifo, T* data, size_t count,   \
                                       uint32_t timeout, size_t* remaining);                     \
    int32_t QvFpgaDll_WriteFifo##SUFFIX(uint32_t session, uint32_t fifo, const T* data,          \
                                        size_t count, uint32_t timeout, size_t* emptyRemaining); \
    int32_t QvFpgaDll_AcquireFifoReadElements##SUFFIX(                                           \
        uint32_t session, uint32_t fifo, T** elements, size_t requested, uint32_t timeout,       \
        size_t* acquired, size_t* remaining);                                                    \
    int32_t QvFpgaDll_AcquireFifoWriteElements##SUFFIX(                                          \
        uint32_t session, uint32_t fifo, T** elements, size_t requested, uint32_t timeout,       \
        size_t* acquired, size_t* remaining);
QV_FPGA_DLL_TYPED_FIFO(U8, uint8_t)
QV_FPGA_DLL_TYPED_FIFO(I16, int16_t)
QV_FPGA_DLL_TYPED_FIFO(U64, uint64_t)
QV_FPGA_DLL_TYPED_FIFO(I64, int64_t)
#undef QV_FPGA_DLL_TYPED_FIFO

int32_t QvFpgaDll_ReleaseFifoElements(uint32_t session, uint32_t fifo, size_t count);
int32_t QvFpgaDll_ConfigureFifo2(uint32_t session, uint32_t fifo, size_t requestedDepth,
                                 size_t* actualDepth);
int32_t QvFpgaDll_StartFifo(uint32_t session, uint32_t fifo);
int32_t QvFpgaDll_StopFifo(uint32_t session, uint32_t fifo);
int32_t QvFpgaDll_CommitFifoConfiguration(uint32_t session, uint32_t fifo);
int32_t QvFpgaDll_GetPeerToPeerFifoEndpoint(uint32_t session, uint32_t fifo, uint32_t* endpoint);

#define QV_FPGA_DLL_FIFO_PROPERTY(SUFFIX, V)                                                      \
    int32_t QvFpgaDll_SetFifoProperty##SUFFIX(uint32_t session, uint32_t fifo, uint32_t property, \
                                              V value);                                           \
    int32_t QvFpgaDll_GetFifoProperty##SUFFIX(uint32_t session, uint32_t fifo, uint32_t property, \
                                              V* value);
QV_FPGA_DLL_FIFO_PROPERTY(I32, int32_t)
QV_FPGA_DLL_FIFO_PROPERTY(U32, uint32_t)
QV_FPGA_DLL_FIFO_PROPERTY(I64, int64_t)
QV_FPGA_DLL_FIFO_PROPERTY(U64, uint64_t)
QV_FPGA_DLL_FIFO_PROPERTY(Ptr, void*)
#undef QV_FPGA_DLL_FIFO_PROPERTY

int32_t QvFpgaDll_ReserveIrqContext(uint32_t session, QvFpgaDll_IrqContext* context);
int32_t QvFpgaDll_UnreserveIrqContext(uint32_t session, QvFpgaDll_IrqContext context);
int32_t QvFpgaDll_WaitOnIrqs(uint32_t session, QvFpgaDll_IrqContext context, uint32_t irqs,
                             uint32_t timeout, uint32_t* irqsAsserted, uint8_t* timedOut);
int32_t QvFpgaDll_AcknowledgeIrqs(uint32_t session, uint32_t irqs);

}  // extern "C"

// libQvFpgaKx.so: the open/close pair of the Korvex run-time's variant
// (same contract as QvFpgaDll_Open/Close) and zero-copy FIFO regions.
using QvFpgaKx_OpenFunction = int32_t (*)(const char* bitfile, const char* signature,
                                          const char* resource, uint32_t attribute,
                                          uint32_t* session);
using QvFpgaKx_CloseFunction = int32_t (*)(uint32_t session, uint32_t attribute);
// (session, fifo, reference, data, 5, 8, value, out, value64)
using QvFpgaKx_AcquireFifoRegionFunction = int32_t (*)(uint32_t session, uint32_t fifo,
                                                       uint32_t* reference, void* data,
                                                       int32_t five, int32_t eight, uint32_t value,
                                                       void* out, uint64_t value64);
inline constexpr const char* kQvFpgaKxLibrary = "libQvFpgaKx.so";
