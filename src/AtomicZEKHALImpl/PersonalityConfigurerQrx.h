// The personality download of this module: the serialized bitfile and the
// module revisions it names go to the FPGA driver in one request.
#pragma once

#include <cstdint>
#include <memory>

#include "AtomicZEKHALImpl/BitfileQrx.h"
#include "atomiczekddk/user/session/IPersonalityConfigurer.h"

namespace sdihal {
class tInterfaceProxy_atomiczekddkqrx;
}

namespace atomiczekhal {

class PersonalityConfigurerQrx : public qvzek::IPersonalityConfigurer {
public:
    // bitfile is not owned; attributes is the FPGA session open's word.
    PersonalityConfigurerQrx(std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy,
                             const BitfileQrx& bitfile, uint32_t attributes);

    // Not provided by this configurer: -52003.
    void configure(bool* result) override;
    // The driver's refusal comes back as the thrown exception, and the
    // record stays unconfigured.
    void configurePersonality(qvzek::PersonalityRecord& record, bool* result) override;

private:
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy_;
    const BitfileQrx& bitfile_;
    uint32_t attributes_;
};

}  // namespace atomiczekhal
