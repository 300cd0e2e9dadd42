// FPGA objects and sessions on a simulated FPGA device large enough for the
// host-memory regions and the peer-to-peer write windows, opened on the
// sample bitfile with its host-memory layout replaced as each test needs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "atomiczekddk/user/session/Session.h"
#include "qverr/Exception.h"
#include "support/BitfileGenerator.h"

namespace qvtest {

// Past the 1 MiB window (region 0x2fff) and the write windows at 0x4000 + n.
constexpr size_t kDevicePages = 0x4020;
constexpr const char* kSampleSignature = "0123456789ABCDEF00112233DEADBEEF";
constexpr const char* kOtherSignature = "00000000000000000000000000000001";
constexpr uint32_t kControlAddress = 0x8004;
constexpr uint32_t kIrqStatusAddress = 0x810C;

inline std::string replacedOnce(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("not in the sample: " + from);
    text.replace(at, from.size(), to);
    return text;
}

inline std::string hmbBlock(const std::string& name, uint64_t elements, uint32_t stride) {
    return "<MemoryBlock><Name>" + name + "</Name><Elements>" + std::to_string(elements) +
           "</Elements><Stride>" + std::to_string(stride) + "</Stride></MemoryBlock>";
}

inline std::string fixedBlock(const std::string& name, uint64_t address, int baggage) {
    return "<MemoryBlock><Name>" + name + "</Name><FixedAddr>" + std::to_string(address) +
           "</FixedAddr>" +
           (baggage >= -128 ? "<Baggage>" + std::to_string(baggage) + "</Baggage>"
                            : std::string()) +
           "</MemoryBlock>";
}

inline std::string hmbElement(const std::string& blocks, const std::string& fixed = "",
                              uint32_t indexBits = 2, uint32_t offsetBits = 22) {
    return "<HMB><BufferIndexBits>" + std::to_string(indexBits) + "</BufferIndexBits><OffsetBits>" +
           std::to_string(offsetBits) + "</OffsetBits><MemoryBlockList>" + blocks +
           "</MemoryBlockList>" +
           (fixed.empty() ? std::string()
                          : "<FixedMemoryBlockList>" + fixed + "</FixedMemoryBlockList>") +
           "</HMB>";
}

inline std::string llbElement(uint64_t elements, uint32_t stride,
                              const std::string& name = "window") {
    return "<LLB><MemoryBlockList>" + hmbBlock(name, elements, stride) + "</MemoryBlockList></LLB>";
}

// A compilation-results text as the bitfile prints it.
inline std::string layoutText(const std::string& targetData) {
    return "<CompilationResults><TargetSpecificData>" + targetData +
           "</TargetSpecificData></CompilationResults>";
}

class AcceptingChecker : public qvzek::ITargetClassChecker {
public:
    bool isCompatible(std::string_view) override { return compatible; }
    bool compatible = true;
};

class CountingConfigurer : public qvzek::IPersonalityConfigurer {
public:
    void configure(bool* result) override {
        ++calls;
        *result = changes;
    }
    bool changes = false;
    int calls = 0;
};

class FpgaOnDevice : public SimulatedFpga {
protected:
    FpgaOnDevice() : SimulatedFpga(kDevicePages) {}

    std::shared_ptr<qvzek::user::Fpga> fpga;
    std::shared_ptr<qvzek::user::IIoAccessor> io;
    AcceptingChecker checker;
    CountingConfigurer configurer;

    void SetUp() override {
        SimulatedFpga::SetUp();
        device.setControlAddress(kControlAddress);
        device.setIrqStatusAddress(kIrqStatusAddress);
        fpga = newFpga();
        io = std::make_shared<qvzek::user::IoAccessorIoctl>(*proxy);
    }

    std::shared_ptr<qvzek::user::Fpga> newFpga() {
        return std::make_shared<qvzek::user::Fpga>(
            proxy,
            std::make_shared<qvzek::FifoFactory>(
                std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo>(proxy, proxy.get())));
    }

    // The sample bitfile's text, reset and abort supported, no implicit
    // enable removal, with `targetData` as its target-specific data.
    static std::string sampleText(const std::string& targetData = "",
                                  const std::string& signature = kSampleSignature,
                                  bool autoRun = false) {
        std::string text = readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
        text = replacedOnce(text, "<AllowImplicitEnableRemoval>TRUE",
                            "<AllowImplicitEnableRemoval>false");
        text = replacedOnce(text, "<ResetNotSupported/>", "");
        if (autoRun)
            text =
                replacedOnce(text, "<AutoRunWhenDownloaded>False", "<AutoRunWhenDownloaded>true");
        text = replacedOnce(text, kSampleSignature, signature);
        const size_t from = text.find("<HMB>");
        text.replace(from, text.find("</LLB>") + 6 - from, targetData);
        return text;
    }
    static std::shared_ptr<const qvzek::Bitfile> bitfile(
        const std::string& targetData = "", const std::string& signature = kSampleSignature,
        bool autoRun = false) {
        return std::make_shared<const qvzek::Bitfile>(sampleText(targetData, signature, autoRun),
                                                      false, true, false);
    }

    std::unique_ptr<qvzek::user::SessionWithP2P> open(std::shared_ptr<const qvzek::Bitfile> image,
                                                      uint32_t attributes = 0,
                                                      const char* signature = kSampleSignature) {
        return std::make_unique<qvzek::user::SessionWithP2P>(
            fpga, proxy, proxy, configurer, checker, io, image, signature, attributes);
    }

    size_t count(const std::string& method) const { return calls(method).size(); }
};

}  // namespace qvtest
