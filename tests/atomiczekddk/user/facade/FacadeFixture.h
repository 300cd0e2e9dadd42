// FPGA session facades on a simulated FPGA device: the board plug-in's
// session factory played by the test (real low-level sessions over the real
// FPGA object, the device's attribute handlers), opened on the sample
// bitfile.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/shared/TargetClassChecker.h"
#include "atomiczekddk/user/FlashManager.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "atomiczekddk/user/facade/FpgaSession.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "atomiczekddk/user/fifo/FifoFactory.h"
#include "atomiczekddk/user/handlers/AttributeHandlers.h"
#include "atomiczekddk/user/session/Session.h"
#include "fpgadevice/FpgaDevice.h"
#include "support/BitfileGenerator.h"

namespace qvtest {

constexpr uint32_t kFacadeControlAddress = 0x8004;
constexpr const char* kFacadeSignature = "0123456789ABCDEF00112233DEADBEEF";

// The device's bus and device properties; a missing one reads "not found".
class BoardProperties : public qvjsonconfig::DeviceIteratorInterface {
public:
    std::map<std::string, std::string> text{{"serialNumber", "1A2B"},
                                            {"zekProductName", "QV-3377"},
                                            {"zekFpgaTargetClass", "QV-3377"},
                                            {"zekHardwareRevision", "B"}};
    void getBusStringProperty(const char*, std::string&) override { qvzek::throwStatusCode(-52006); }
    void getBusU32Property(const char* name, uint32_t& out) override {
        if (std::string(name) != "busType") qvzek::throwStatusCode(-52006);
        out = 0x20706369;
    }
    void getDeviceStringProperty(const char* name, std::string& out) override {
        const auto it = text.find(name);
        if (it == text.end()) qvzek::throwStatusCode(-52006);
        out = it->second;
    }
    void getDeviceU32Property(const char*, uint32_t&) override { qvzek::throwStatusCode(-52006); }
    std::string getInterfacePath() override { return ""; }
    std::string getPersistentToken() override { return ""; }
    std::string getDriverName() override { return ""; }
    DeviceIteratorInterface& next() override { return *this; }
    bool isEnd() override { return false; }
};

class FacadeOnDevice : public ::testing::Test, public qvzek::ISessionFactory {
protected:
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device{driver, decoder, "qv3377k_fpga0", 0x4020};
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy =
        std::make_shared<sdihal::tInterfaceProxy_atomiczekddkqrx>();
    std::shared_ptr<qvzek::IFifoFactory> fifoFactory;
    std::shared_ptr<qvzek::user::Fpga> fpga;
    std::shared_ptr<qvzek::user::IIoAccessor> io;
    std::shared_ptr<qvzek::AttributeHandlerComposite> handlers = std::make_shared<qvzek::AttributeHandlerComposite>();
    std::unique_ptr<qvzek::TargetClassCheckerDefault> checker;
    qvzek::IPersonalityConfigurer* configurer = nullptr;

    // What createSession does instead of opening, when set.
    std::function<void()> createFailure;
    int sessionsCreated = 0;
    uint32_t lastAttribute = 0;

    class Configurer : public qvzek::IPersonalityConfigurer {
    public:
        void configure(bool* result) override { *result = false; }
    } personality;

    void SetUp() override {
        nQVAPALS100::tStatus status;
        proxy->open(device.path().c_str(), status);
        ASSERT_EQ(status.code, 0);
        device.setControlAddress(kFacadeControlAddress);
        if (!fifoFactory) {
            fifoFactory = std::make_shared<qvzek::FifoFactory>(
                std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo>(proxy, proxy.get()));
        }
        fpga = std::make_shared<qvzek::user::Fpga>(proxy, fifoFactory);
        io = std::make_shared<qvzek::user::IoAccessorIoctl>(*proxy);
        BoardProperties board;
        handlers->addHandler(new qvzek::AttributeHandlerDevice(board));
        handlers->addHandler(new qvzek::AttributeHandlerNoBrex);
        handlers->addHandler(new qvzek::AttributeHandlerTraditionalZek(*handlers));
        handlers->addHandler(new qvzek::AttributeHandlerInterfaceProxy(
            std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_attribute>(proxy, proxy.get())));
        checker = std::make_unique<qvzek::TargetClassCheckerDefault>(handlers);
        configurer = &personality;
    }

    void TearDown() override { io.reset(); }

    // The sample bitfile, reset and abort supported, optionally auto-run.
    static std::string sampleText(bool autoRun = false) {
        std::string text = readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
        replace(text, "<AllowImplicitEnableRemoval>TRUE", "<AllowImplicitEnableRemoval>false");
        replace(text, "<ResetNotSupported/>", "");
        if (autoRun) replace(text, "<AutoRunWhenDownloaded>False", "<AutoRunWhenDownloaded>true");
        // No host-memory or link-layer blocks: the simulated device maps none.
        const size_t from = text.find("<HMB>");
        text.erase(from, text.find("</LLB>") + 6 - from);
        return text;
    }
    static void replace(std::string& text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }

    std::unique_ptr<qvzek::user::Session> createSession(const std::shared_ptr<qvzek::Device>&, const char* bitfile,
                                                        const char* signature, uint32_t attribute) override {
        if (createFailure) createFailure();
        ++sessionsCreated;
        lastAttribute = attribute;
        auto image = std::make_shared<const qvzek::Bitfile>(bitfile, false, true, false);
        return std::make_unique<qvzek::user::SessionWithP2P>(fpga, proxy, proxy, *configurer, *checker, io, image,
                                                             signature, attribute);
    }

    std::unique_ptr<qvzek::FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<qvzek::Device>& device) override {
        auto flash = std::make_shared<qvzek::FlashManager>(
            std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_flash>(proxy, proxy.get()));
        return std::make_unique<qvzek::FpgaSessionTraditional>(device, this, handlers, flash);
    }

    // A facade opened on the sample bitfile's text.
    qvzek::FpgaSession* opened(uint32_t attribute = 0, bool autoRun = false) {
        auto* facade = new qvzek::FpgaSession(nullptr, this);
        nQVAPALS100::tStatus status;
        facade->open(sampleText(autoRun).c_str(), kFacadeSignature, attribute | qvzek::kOpenBitfileIsText, status);
        EXPECT_EQ(status.code, 0) << status.file << ":" << status.line;
        return facade;
    }

    size_t count(const std::string& method) const {
        size_t n = 0;
        for (auto& request : decoder.requests()) n += request.name() == method ? 1 : 0;
        return n;
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
