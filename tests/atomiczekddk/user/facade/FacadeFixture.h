// FPGA session facades on the simulated FPGA device of the session tests:
// the test plays the board plug-in's session factory (real low-level
// sessions over the real FPGA object, the device's attribute handlers).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "atomiczekddk/user/FlashManager.h"
#include "atomiczekddk/user/facade/FpgaSession.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "atomiczekddk/user/handlers/AttributeHandlers.h"
#include "atomiczekddk/user/handlers/PropertyDevice.h"
#include "atomiczekddk/user/session/SessionFixture.h"

namespace qvtest {

class FacadeOnDevice : public FpgaOnDevice, public qvzek::ISessionFactory {
protected:
    std::shared_ptr<qvzek::AttributeHandlerComposite> handlers =
        std::make_shared<qvzek::AttributeHandlerComposite>();
    // What createSession does instead of opening, when set.
    std::function<void()> createFailure;
    int sessionsCreated = 0;
    uint32_t lastAttribute = 0;

    void SetUp() override {
        FpgaOnDevice::SetUp();
        PropertyDevice board;
        handlers->addHandler(new qvzek::AttributeHandlerDevice(board));
        handlers->addHandler(new qvzek::AttributeHandlerNoBrex);
        handlers->addHandler(new qvzek::AttributeHandlerTraditionalZek(*handlers));
        handlers->addHandler(new qvzek::AttributeHandlerInterfaceProxy(
            std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_attribute>(proxy, proxy.get())));
    }

    std::unique_ptr<qvzek::user::Session> createSession(
        const std::shared_ptr<const qvzek::DeviceInfo>&, const char* bitfile, const char* signature,
        uint32_t attribute) override {
        if (createFailure) createFailure();
        ++sessionsCreated;
        lastAttribute = attribute;
        return open(std::make_shared<const qvzek::Bitfile>(bitfile, false, true, false), attribute,
                    signature);
    }

    std::unique_ptr<qvzek::FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<const qvzek::DeviceInfo>& owner) override {
        auto flash = std::make_shared<qvzek::FlashManager>(
            std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_flash>(proxy, proxy.get()));
        return std::make_unique<qvzek::FpgaSessionTraditional>(owner, this, handlers, flash);
    }

    // A facade opened on the sample bitfile's text.
    qvzek::FpgaSession* opened(uint32_t attribute = 0, bool autoRun = false) {
        auto* facade = new qvzek::FpgaSession(nullptr, this);
        nQVAPALS100::tStatus status;
        facade->open(sampleText("", kSampleSignature, autoRun).c_str(), kSampleSignature,
                     attribute | qvzek::kOpenBitfileIsText, status);
        EXPECT_EQ(status.code, 0);
        return facade;
    }
};

// Releases a facade at the end of a test.
struct FacadeOwner {
    qvzek::FpgaSession* facade;
    ~FacadeOwner() {
        if (facade != nullptr) facade->release();
    }
};

}  // namespace qvtest
