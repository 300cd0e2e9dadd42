// The peer-to-peer streaming session: the FPGA's streaming endpoints as the
// device session describes them (a JSON text), and its own kernel-driver
// proxy on the module's device file, through which it enables endpoints,
// starts and stops the stream source and sink and reads their fill levels.
// It stands alone: p2p_open makes it and p2p_close destroys it.
//
// Every operation takes the caller's platform status. A bad index, an
// endpoint of the wrong direction or a session whose construction failed
// gives -52005 with no request; the driver's failures are merged by the
// proxy. Results are 0 whenever the status holds an error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qvapal/status/tStatus.h"

namespace qvisl {
template <class T>
class FifoFpgaHw;
}

namespace sdihal {
class tInterfaceProxy_p2p;
}

namespace p2phal {

using nQVAPALS100::tStatus;

// Directions as the driver numbers them.
inline constexpr uint32_t kWriter = 0;  // acquisition side: the stream source
inline constexpr uint32_t kReader = 1;  // generation side: the stream sink

struct Endpoint {
    std::shared_ptr<qvisl::FifoFpgaHw<short>> fifo;
    uint32_t direction = kWriter;
    std::string name;
    bool valid = false;
};

// A number text of the description: decimal, "0x" hexadecimal or
// leading-zero octal, the whole text, within 32 bits; false otherwise.
bool parseNumberText(const char* text, uint32_t& value);

// Reads the endpoint description into `endpoints` (appending, in order) and
// returns its FPGA session handle. The first fault sets -52005 and ends the
// reading; the endpoints read before it stay.
uint32_t parseEndpointDescription(const char* text, std::vector<Endpoint>& endpoints,
                                  tStatus& status);

class p2pHALSession {
public:
    // Reads the description, then opens the device file at `devicePath`
    // (null: none, which fails). Failures stay in `status`; the session is
    // then unusable and only its destruction is allowed.
    p2pHALSession(const char* devicePath, const char* endpointsJson, tStatus& status);
    virtual ~p2pHALSession();
    p2pHALSession(const p2pHALSession&) = delete;
    p2pHALSession& operator=(const p2pHALSession&) = delete;

    uint64_t getNumEndpointsAvailable(tStatus& status);
    bool isEndpointValid(uint32_t index, tStatus& status);
    uint32_t getEndpointHandle(uint32_t index, tStatus& status);
    uint64_t getEndpointSize(uint32_t index, tStatus& status);
    void setEnabled(uint32_t index, bool enable, tStatus& status);

    // Writer endpoints.
    uint64_t getMostSamplesInSource(uint32_t index, tStatus& status);
    bool getHasOverflowed(uint32_t index, tStatus& status);
    uint64_t getSamplesTransferred(uint32_t index, tStatus& status);
    uint64_t getSamplesInEndpoint(uint32_t index, tStatus& status);

    void setOnboardMemoryEnabled(bool enable, tStatus& status);
    void initiateSource(tStatus& status);
    bool checkAcquisitionStatus(tStatus& status);
    void abortSource(tStatus& status);
    void initiateSink(tStatus& status);
    // Sends *secondFlag and receives the driver's second flag into it.
    bool checkGenerationStatus(bool* secondFlag, tStatus& status);
    void abortSink(tStatus& status);

    // Reader endpoints.
    uint64_t getSpaceAvailableInSink(uint32_t index, tStatus& status);
    uint64_t getMostSpaceAvailableInSink(uint32_t index, tStatus& status);
    uint64_t getSampleQuantum(uint32_t index, tStatus& status);
    void setNumberOfSamplesToRead(uint32_t index, uint64_t count, tStatus& status);
    void programEndpointFullnessTrigger(uint32_t index, uint64_t value, tStatus& status);

    void setNumberOfSamplesToWrite(uint64_t count, tStatus& status);

private:
    // Whether the session was made whole; -52005 set when not.
    bool usable(tStatus& status);
    // The endpoint at `index` (of `direction` when given), else null with
    // -52005 set.
    const Endpoint* endpoint(uint32_t index, tStatus& status);
    const Endpoint* endpoint(uint32_t index, uint32_t direction, tStatus& status);

    std::vector<Endpoint> endpoints_;
    std::unique_ptr<sdihal::tInterfaceProxy_p2p> proxy_;
};

}  // namespace p2phal
