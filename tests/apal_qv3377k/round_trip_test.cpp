// Every method of every proxy, called with distinct bytes in each argument:
// the simulated driver finds each input at its offset with its width (and
// zeros in between), and each output it writes comes back to its parameter.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "apal_qv3377k/invokers.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "apal_qv3377k/tInterfaceProxy_ifw.h"
#include "apal_qv3377k/tInterfaceProxy_p2p.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "apal_qv3377k/tInterfaceProxy_rfplat.h"
#include "apal_qv3377k/tInterfaceProxy_routing.h"
#include "apal_qv3377k/tInterfaceProxy_usergen.h"
#include "apal_qv3377k/tInterfaceProxy_visapxipluginapalcodegen.h"
#include "qverr/Codes.h"
#include "requests/RequestDecoder.h"

namespace {

using namespace sdihal;
using namespace sdihal::nRequestDescriptors;
using nQVAPALS100::tStatus;

using ProxyFactory = std::function<std::unique_ptr<nQVAPAL000::tDeviceInterfaceProxy>()>;

template <class Proxy>
ProxyFactory factory() {
    return [] { return std::make_unique<Proxy>(); };
}

struct Target {
    std::string header;
    ProxyFactory make;
};

// The proxies that serve an interface: its family's combined proxy, and its own.
std::vector<Target> targetsOf(const tInterface& interface, bool fpga) {
    if (fpga)
        return {{"apal_qv3377k/tInterfaceProxy_atomiczekddkqrx",
                 factory<tInterfaceProxy_atomiczekddkqrx>()}};
    static const std::map<std::string, ProxyFactory> singles = {
        {"rfplat", factory<tInterfaceProxy_rfplat>()},
        {"p2p", factory<tInterfaceProxy_p2p>()},
        {"usergen", factory<tInterfaceProxy_usergen>()},
        {"routing", factory<tInterfaceProxy_routing>()},
        {"visapxipluginapalcodegen", factory<tInterfaceProxy_visapxipluginapalcodegen>()},
        {"ifw", factory<tInterfaceProxy_ifw>()}};
    std::vector<Target> targets = {
        {"apal_qv3377k/tInterfaceProxy_qv3377k", factory<tInterfaceProxy_qv3377k>()}};
    if (interface.single) {
        targets.push_back({"apal_qv3377k/tInterfaceProxy_" + std::string(interface.name),
                           singles.at(interface.name)});
    }
    return targets;
}

// A byte pattern that differs between parameters, fields and methods.
uint8_t patternByte(uint32_t seed, size_t index, size_t offset) {
    return static_cast<uint8_t>(0x11 + seed * 7 + index * 31 + offset * 3) | 0x01;
}

class RoundTrip : public ::testing::Test {
protected:
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    std::string path = driver.addDevice("qv3377k0");

    void checkInterfaces(std::span<const tInterface> interfaces, std::span<const tInvoker> invokers,
                         bool fpga);
    void checkMethod(const tMethod& method, tInvoker invoker, const Target& target, uint32_t seed);
};

void RoundTrip::checkMethod(const tMethod& method, tInvoker invoker, const Target& target,
                            uint32_t seed) {
    const std::string name = std::string(method.interface) + "." + method.name;
    SCOPED_TRACE(name + " through " + target.header);
    decoder.clear();
    auto proxy = target.make();
    tStatus openStatus;
    proxy->open(path.c_str(), openStatus);
    ASSERT_EQ(openStatus.code, 0);

    tInvocation call;
    const int32_t warning = 7;
    call.status.code = warning;  // travels in the status field
    for (size_t i = 0; i < method.parameters.size(); ++i) {
        for (size_t b = 0; b < method.parameters[i].size; ++b)
            call.arguments[i][b] = patternByte(seed, i, b);
    }
    // Some replies are 0: success keeps the caller's warning.
    const int32_t reply = seed % 4 == 0 ? 0 : -1000 - static_cast<int32_t>(seed);
    const bool hasStatus = method.inField("status") != nullptr;
    // FPGA-driver methods without a value return the caller's code instead.
    const bool returnsCode =
        hasStatus && (method.code >> 8 & 0xFF) == 0x83 && method.returnSize == 0;
    auto resultFor = [&](int32_t code) {
        decltype(call.result) result{};
        if (returnsCode) std::memcpy(result.data(), &code, sizeof code);
        return result;
    };

    // An error in the caller's status sends nothing, a failed request brings
    // the system's error; neither touches an output.
    for (const int err : {0, EIO}) {
        if (!hasStatus) break;
        tInvocation refused = call;
        if (err != 0) driver.failCall(qvsim::Call::ioctl, err);
        if (err == 0) refused.status.code = -50000;
        invoker(*proxy, refused);
        const int32_t code = err == 0 ? -50000 : qverr::kStatusIOError;
        EXPECT_EQ(refused.status.code, code);
        if (err != 0) {
            EXPECT_STREQ(refused.status.file, "qvapal/protons/driver/linuxU/tDeviceInterfaceProxy");
        }
        EXPECT_EQ(refused.arguments, call.arguments) << "outputs touched";
        EXPECT_EQ(refused.result, resultFor(code));
    }
    EXPECT_TRUE(decoder.requests().empty());
    std::vector<std::string> faults;
    // Gone before the locals it captures; the proxy, destroyed last, may still send.
    struct Unregister {
        qvsim::RequestDecoder& decoder;
        std::string name;
        ~Unregister() { decoder.on(name, {}); }
    } unregister{decoder, name};
    decoder.on(name, [&](const qvsim::DecodedRequest& request, qvsim::Reply& out) {
        std::vector<bool> covered(request.input.size());
        for (size_t i = 0; i < method.parameters.size(); ++i) {
            const tParameter& p = method.parameters[i];
            if (p.role == tRole::kOutput) continue;
            const auto bytes = request.in(p.name);
            if (p.role == tRole::kStatus) {
                if (request.callerStatus() != warning) faults.push_back("status field");
            } else if (!std::equal(bytes.begin(), bytes.end(), call.arguments[i].begin())) {
                faults.push_back(std::string("input ") + p.name);
            }
            const tField* field = method.inField(p.name);
            for (size_t b = 0; b < field->size; ++b) covered[field->offset + b] = true;
        }
        for (size_t b = 0; b < covered.size(); ++b) {
            if (!covered[b] && request.input[b] != 0)
                faults.push_back("padding byte " + std::to_string(b));
        }
        for (size_t f = 0; f < method.out.size(); ++f) {
            auto bytes = out.bytes(method.out[f].name);
            for (size_t b = 0; b < bytes.size(); ++b) bytes[b] = patternByte(seed + 100, f, b);
        }
        if (method.outField("status") != nullptr) out.status(reply);
        return 0;
    });

    invoker(*proxy, call);
    EXPECT_EQ(faults, std::vector<std::string>{});
    const auto received = decoder.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].name(), name) << "sent with another code";

    for (size_t f = 0; f < method.out.size(); ++f) {
        const tField& field = method.out[f];
        const std::string fieldName = field.name;
        if (fieldName == "status") continue;
        const uint8_t* landed = call.result.data();
        if (fieldName != "return") {
            size_t i = 0;
            while (method.parameters[i].name != fieldName) ++i;
            landed = call.arguments[i].data();
        }
        for (size_t b = 0; b < field.size; ++b) {
            EXPECT_EQ(landed[b], patternByte(seed + 100, f, b))
                << "output " << fieldName << " byte " << b;
        }
    }
    if (hasStatus && reply == 0) {
        EXPECT_EQ(call.status.code, warning);
    } else if (hasStatus) {
        EXPECT_EQ(call.status.code, reply);
        EXPECT_STREQ(call.status.component, "qv3377hal");
        EXPECT_EQ(call.status.file, target.header);
        EXPECT_GT(call.status.line, 0u);
    }
    if (returnsCode) {
        EXPECT_EQ(call.result, resultFor(static_cast<int32_t>(call.status.code)));
    }
}

void RoundTrip::checkInterfaces(std::span<const tInterface> interfaces,
                                std::span<const tInvoker> invokers, bool fpga) {
    size_t k = 0;
    for (const tInterface& interface : interfaces) {
        for (const tMethod& method : interface.methods) {
            ASSERT_LT(k, invokers.size());
            for (const Target& target : targetsOf(interface, fpga)) {
                checkMethod(method, invokers[k], target, static_cast<uint32_t>(k));
            }
            ++k;
        }
    }
    EXPECT_EQ(k, invokers.size());
}

TEST_F(RoundTrip, EveryModuleMethodThroughTheCombinedAndSingleProxies) {
    checkInterfaces(qv3377kInterfaces(), qv3377kInvokers(), false);
}

TEST_F(RoundTrip, EveryFpgaDriverMethod) {
    checkInterfaces(atomiczekddkInterfaces(), atomiczekddkInvokers(), true);
}

}  // namespace
