// A simulated FPGA device of the module, answering the FPGA driver's thirty
// requests through the simulated kernel driver's request decoder. The driver
// runs in the test's own process, so the device reads and writes the caller's
// buffers (block transfers, flash images, DMA host rings) directly, as the
// bus master would on hardware. The decoder's recording is the call log.
//
// Model:
// - Registers: 32-bit words by byte address (bits 0-1 ignored); unknown ones
//   read 0. The control register (controlAddress) holds the run state in
//   bits 0-1 and error bits above; writing 2 runs the logic (state 2) unless
//   the device never runs, 4 stops it (state 0); reset gives state 0, abort
//   state 3, a download state 0 and clears the error bits. An unreachable
//   device reads 0xFFFFFFFF there.
// - Interrupts: raiseIrqs() asserts lines; the interrupt status register
//   (irqStatusAddress) reads the asserted lines and a write of 1 bits clears
//   them; waitOnIrqs waits up to its timeout in milliseconds (0xFFFFFFFF: until
//   lines come or the device goes) for any line of its mask.
// - DMA FIFOs: the device knows each FIFO's element size and direction (0
//   target to host, 1 host to target) from the FIFO records of the last
//   personality download (the 37-byte records of the bitfile's FIFOs), or
//   from describeFifo. configureFifo words are {host ring address, ring size
//   in bytes, mirror size in bytes, buffer type | flow control << 32}; an
//   undescribed FIFO is refused (-52005). startFifo begins a fresh stream. For a target-
//   to-host FIFO the device writes elements 0, 1, 2, ... (each the element's
//   index, little-endian, cut to the element size) into the ring at the
//   running byte position modulo the ring size, as far as the ring has room
//   and the production limit allows, whenever the host waits for bytes. For a
//   host-to-target FIFO the room is the ring size plus all bytes released; the
//   device consumes released bytes at once and checks each element against
//   the same counter.
// - Memory-mapping requests (configuration control) are recorded with the
//   bytes of their input and otherwise accepted.
// - Flash: flashTransfer stores the image, flashCommand35 clears it,
//   flashCommand33 sets the value getFlashInfo answers.
// - Attributes: getAttribute answers ids set before (others -63196);
//   setAttribute sets them.
// - Any method can be made to answer one or more next requests with a driver
//   status (failNext); errno failures are the kernel driver's scriptError.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "atomiczekddk/shared/Errors.h"
#include "kerneldriver/Driver.h"
#include "qverr/Codes.h"
#include "requests/RequestDecoder.h"

namespace qvsim {

class FpgaDevice {
public:
    static constexpr uint32_t kDefaultControlAddress = 0x8000;
    static constexpr uint32_t kDefaultIrqStatusAddress = 0x8004;
    static constexpr int32_t kAttributeNotServed = qvzek::kErrorAttributeNotServed;
    static constexpr int32_t kFifoNotReady = qverr::qvapalerr_resourceNotInitialized;
    static constexpr int32_t kReleaseBeyondAvailable = qverr::qvapalerr_invalidParameter;

    struct FifoState {
        bool configured = false;
        bool started = false;
        uint64_t session = 0;
        uint64_t address = 0;
        uint64_t ringBytes = 0;
        uint64_t mirrorBytes = 0;
        uint32_t elementSize = 0;
        uint32_t direction = 0;
        uint32_t bufferType = 0;
        uint32_t flowControl = 0;
        // Target to host: bytes written into the ring / given back by the host.
        // Host to target: bytes the host released / the device consumed.
        uint64_t produced = 0;
        uint64_t released = 0;
        uint64_t consumed = 0;
        uint64_t mismatches = 0;
        uint64_t produceLimitElements = UINT64_MAX;
    };

    // Adds the device file `name` (with `pages` pages of mappable regions)
    // to `driver` and serves the FPGA driver's methods on `decoder`.
    FpgaDevice(Driver& driver, RequestDecoder& decoder, std::string name = "qv3377k_fpga0",
               size_t pages = 16);
    FpgaDevice(const FpgaDevice&) = delete;
    FpgaDevice& operator=(const FpgaDevice&) = delete;
    // Ends every wait in progress (they answer timed out).
    ~FpgaDevice();

    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }

    // ---- registers and run state
    void setControlAddress(uint32_t address);
    void setIrqStatusAddress(uint32_t address);
    uint32_t reg(uint32_t address) const;
    void setReg(uint32_t address, uint32_t value);
    uint32_t runState() const;
    void setRunState(uint32_t state);
    // Error bits of the control register (0x10, 0x40, 0x80 ...).
    void setErrorBits(uint32_t bits);
    void setNeverRuns(bool never);
    void setUnreachable(bool unreachable);

    // ---- interrupts
    void raiseIrqs(uint32_t lines);
    uint32_t assertedIrqs() const;

    // ---- FIFOs
    FifoState fifo(uint32_t number) const;
    // What a personality download would tell the device of a FIFO.
    void describeFifo(uint32_t number, uint32_t elementSize, uint32_t direction);
    // At most `elements` elements are ever produced on a target-to-host FIFO
    // (counted from its start); raising it wakes waiting hosts.
    void setProduceLimit(uint32_t number, uint64_t elements);

    // ---- flash, attributes, other answers
    std::vector<uint8_t> flashImage() const;
    uint32_t flashValue() const;
    void setFlashValue(uint32_t value);
    void setAttribute(uint32_t id, uint32_t value);
    std::vector<uint8_t> downloadedBitstream() const;
    std::vector<uint8_t> personalityBitstream() const;
    void setStateFlag(uint32_t flag);
    void setIoInfo(uint32_t value);
    void setP2PInfo(uint32_t fifo, uint32_t value);

    // ---- faults
    // The next `times` requests of "<interface>.<method>" (such as
    // "atomiczekddk_flash.getFlashInfo") answer `driverStatus` and do nothing.
    void failNext(const std::string& method, int32_t driverStatus, uint32_t times = 1);

    // The memory-mapping requests (configuration control) in order, with
    // the bytes their input pointed at.
    struct ControlRequest {
        uint32_t target;
        uint32_t operation;
        std::vector<uint8_t> input;
    };
    std::vector<ControlRequest> controlRequests() const;

    // Memory behind the device file's region (mapped by the library).
    uint8_t* regionMemory(uint16_t region);

private:
    struct State;
    Driver& driver_;
    std::string name_;
    std::string path_;
    std::shared_ptr<State> state_;
};

}  // namespace qvsim
