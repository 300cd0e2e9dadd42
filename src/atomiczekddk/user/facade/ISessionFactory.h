// What the FPGA sessions ask of the board plug-in: low-level sessions for
// an opened bitfile, and the traditional session of a device. Both throw
// their failures.
#pragma once

#include <cstdint>
#include <memory>

namespace qvzek {

struct DeviceInfo;
class FpgaSessionTraditional;
namespace user {
class Session;
}

class ISessionFactory {
public:
    // `bitfile` is the bitfile's text; the attribute word is the whole word
    // the host gave to open.
    virtual std::unique_ptr<user::Session> createSession(
        const std::shared_ptr<const DeviceInfo>& device, const char* bitfile, const char* signature,
        uint32_t attribute) = 0;
    virtual std::unique_ptr<FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<const DeviceInfo>& device) = 0;
    virtual ~ISessionFactory() = default;
};

}  // namespace qvzek
