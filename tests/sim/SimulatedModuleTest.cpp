// The shared simulated module as every later test finds it.
#include <gtest/gtest.h>

#include <stdexcept>

#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"

namespace {

using nQVAPALS100::tStatus;
using qvsim::SimulatedModule;

TEST(SimulatedModule, IsPublishedAndAnswersItsBaseline) {
    SimulatedModule module;
    tStatus status;
    sdihal::nQVAPAL000::tDeviceInterfaceIterator entry(sdihal::tInterfaceProxy_qv3377k::kInterfaceName,
                                                       status);
    ASSERT_FALSE(entry.isEnd());
    sdihal::nQVAPAL000::tInterfacePath path;
    entry.getInterfacePath(path, status);
    EXPECT_EQ(std::string(path.path), module.devicePath());

    sdihal::tInterfaceProxy_qv3377k proxy;
    proxy.open(path, status);
    sdihal::iInterfaceProxy_rfplat& rfplat = proxy;
    EXPECT_EQ(rfplat.getDriverInterfaceVersion(status), 0x00010004u);
    int32_t revision = 0;
    rfplat.getModuleRev(0, &revision, status);
    EXPECT_EQ(revision, 3);
    sdihal::tRecord<64> traits;
    uint32_t size = 0;
    static_cast<sdihal::iInterfaceProxy_mra&>(proxy).getTraits(&traits, &size, status, 0);
    EXPECT_EQ(size, 61u);
    ASSERT_EQ(status.getCode(), 0);

    rfplat.getModuleRev(1, &revision, status);
    EXPECT_EQ(status.getCode(), -52005);
    proxy.close();
}

TEST(SimulatedModule, HoldsTheOnlyDecoderOfItsDriver) {
    SimulatedModule module;
    EXPECT_THROW(qvsim::RequestDecoder second(module.driver()), std::logic_error);

    // A test changes the module's behaviour through the one decoder.
    module.on("rfplat.getDriverInterfaceVersion", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.set("return", 0x00020001u);
        return 0;
    });
    tStatus status;
    sdihal::tInterfaceProxy_qv3377k proxy;
    sdihal::nQVAPAL000::tInterfacePath path;
    snprintf(path.path, sizeof path.path, "%s", module.devicePath().c_str());
    proxy.open(path, status);
    EXPECT_EQ(static_cast<sdihal::iInterfaceProxy_rfplat&>(proxy).getDriverInterfaceVersion(status),
              0x00020001u);
    EXPECT_EQ(module.decoder().requests().size(), 1u);
    proxy.close();
}

TEST(SimulatedModule, ANewModuleAfterTheLastOneGetsItsOwnDecoder) {
    { SimulatedModule first; }
    SimulatedModule second;
    SUCCEED();
}

}  // namespace
