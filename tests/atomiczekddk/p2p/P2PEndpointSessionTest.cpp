#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "atomiczekddk/p2p/P2PEndpointSession.h"
#include "atomiczekddk/p2p/P2PLibrary.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qvp2p/P2PSim.h"
#include "support/SelfProcess.h"
#include "support/TempDir.h"

namespace {

using qvtest::thrownStatus;

#define REQUIRE_VARIANT(variant)                        \
    if (!qvtest::environmentIs("QV_TEST_P2P", variant)) \
    GTEST_SKIP() << "runs in the " variant " process"

template <class T>
T control(const char* name) {
    void* handle = dlopen("libqvp2p.so", RTLD_NOW | RTLD_NOLOAD);
    void* address = handle != nullptr ? dlsym(handle, name) : nullptr;
    if (handle != nullptr) dlclose(handle);
    return reinterpret_cast<T>(address);
}

// Records the mappings asked of the device proxy.
class MappingProxy : public sdihal::nQVAPAL000::tDeviceInterfaceProxy {
public:
    void* mapMemory(uint16_t region, uint64_t length, int32_t access,
                    sdihal::nQVAPAL000::tMemoryMapping& mapping,
                    nQVAPALS100::tStatus& status) override {
        if (status.isError()) return nullptr;
        if (fail) {
            status.setCode(qverr::qvapalerr_osFault, "test", "MappingProxy", 1);
            return nullptr;
        }
        mapped.emplace_back(region, length, access);
        mapping.address = window + mapped.size();
        mapping.length = length;
        return mapping.address;
    }
    void unmapMemory(sdihal::nQVAPAL000::tMemoryMapping& mapping) override {
        unmapped.push_back(mapping.address);
        mapping.address = nullptr;
    }

    bool fail = false;
    char window[64] = {};
    std::vector<std::tuple<uint16_t, uint64_t, int32_t>> mapped;  // region, length, access
    std::vector<void*> unmapped;
};

class InfoSource : public qvzek::user::IP2PInfoSource {
public:
    uint32_t getP2PInfo(uint32_t fifoNumber) override {
        asked = fifoNumber;
        if (thrower) thrower();
        return 0xC0FFEE;
    }
    uint32_t asked = 0;
    std::function<void()> thrower;
};

qvzek::FifoInfo fifoOf(uint32_t number, const qvzek::Type& type, uint32_t writeWindow = 4096) {
    qvzek::FifoInfo fifo(qvzek::FifoDescriptor(qvzek::kResourceClassFifo, 2, type), number, 1024,
                         true);
    fifo.setWriteWindowSize(writeWindow);
    return fifo;
}

class Endpoint : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_VARIANT("present"); }
    std::unique_ptr<qvzek::P2PEndpointSession> make(uint32_t number, uint32_t writeWindow = 4096,
                                                    const qvzek::Type& type = qvzek::TypeI16()) {
        return std::make_unique<qvzek::P2PEndpointSession>(fifoOf(number, type, writeWindow),
                                                           source, proxy);
    }

    InfoSource source;
    std::shared_ptr<MappingProxy> proxy = std::make_shared<MappingProxy>();
};

TEST_F(Endpoint, RegistersForItsLifetime) {
    auto first = make(3);
    auto second = make(4);
    EXPECT_NE(first->getEndpointId(), 0u);
    EXPECT_NE(first->getEndpointId(), second->getEndpointId());
    EXPECT_EQ(second->getFifoNumber(), 4u);
    // The library read the I16 element type through the endpoint interface.
    uint32_t fields[4] = {}, count = 0;
    ASSERT_TRUE(control<qvp2psim_lastDataType_t>("qvp2psim_lastDataType")(fields, &count));
    EXPECT_EQ(std::vector<uint32_t>(fields, fields + 4), (std::vector<uint32_t>{16, 16, 16, 1}));
    EXPECT_EQ(count, 1u);
    auto registered = control<qvp2psim_registered_t>("qvp2psim_registered");
    EXPECT_EQ(registered(), 2u);
    first.reset();
    second.reset();
    EXPECT_EQ(registered(), 0u);
    // A refused registration throws the library's code.
    control<qvp2psim_refuseNext_t>("qvp2psim_refuseNext")(-308123);
    EXPECT_EQ(thrownStatus([&] { make(3); }).first, -308123);
    EXPECT_EQ(registered(), 0u);
}

TEST_F(Endpoint, DataTypeQuestions) {
    auto endpoint = make(3);
    nQVP2P::tDataType record{};
    uint32_t count = 7;
    EXPECT_EQ(endpoint->getDataType(nullptr, &count), 0);
    EXPECT_EQ(count, 1u);
    count = 0;
    EXPECT_EQ(endpoint->getDataType(&record, &count), qverr::qvapalerr_invalidParameter);
    auto untyped = make(5, 4096, qvzek::Type());
    count = 1;
    EXPECT_EQ(untyped->getDataType(&record, &count), qverr::qvapalerr_invalidParameter);
    auto u64 = make(6, 4096, qvzek::TypeU64());
    EXPECT_EQ(u64->getDataType(&record, &count), 0);
    EXPECT_EQ(record.containerSize, 64u);
    EXPECT_EQ(record.isSigned, 0);
    EXPECT_EQ(endpoint->unsupported2(), qvzek::kErrorNotSupported);
}

TEST_F(Endpoint, InfoFailuresBecomeCodes) {
    auto endpoint = make(3);
    uint32_t info = 0;
    EXPECT_EQ(endpoint->getP2PInfo(&info), 0);
    EXPECT_EQ(info, 0xC0FFEEu);
    EXPECT_EQ(source.asked, 3u);
    EXPECT_EQ(endpoint->getP2PInfo(nullptr), qverr::qvapalerr_invalidParameter);
    // Any exception becomes a code (the whole mapping is the error handling's test).
    source.thrower = [] { qvzek::throwStatusCode(-61000); };
    EXPECT_EQ(endpoint->getP2PInfo(&info), -61000);
    source.thrower = [] { throw 42; };
    EXPECT_EQ(endpoint->getP2PInfo(&info), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

TEST_F(Endpoint, MapsOneWriteWindowAtATime) {
    auto endpoint = make(3);
    uint64_t size = 0, address = 0;
    endpoint->mapWriteWindow(&size, &address);
    EXPECT_EQ(proxy->mapped,
              (std::vector<std::tuple<uint16_t, uint64_t, int32_t>>{{0x4003, 4096, 1}}));
    EXPECT_EQ(size, 4096u);
    const uint64_t first = address;
    EXPECT_NE(first, 0u);
    EXPECT_EQ(thrownStatus([&] { endpoint->mapWriteWindow(&size, &address); }).first,
              qvzek::kErrorAlreadyMapped);
    EXPECT_EQ(address, first);
    EXPECT_TRUE(proxy->unmapped.empty());
    endpoint->unmapWriteWindow();
    EXPECT_EQ(proxy->unmapped.size(), 1u);
    endpoint->mapWriteWindow(&size, &address);
    EXPECT_EQ(proxy->mapped.size(), 2u);
    endpoint.reset();  // still mapped: unmapped on the way out
    EXPECT_EQ(proxy->unmapped.size(), 2u);

    // Refused mappings leave nothing mapped.
    EXPECT_EQ(thrownStatus([&] { make(0x1000)->mapWriteWindow(&size, &address); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(thrownStatus([&] { make(3, 0)->mapWriteWindow(&size, &address); }).first,
              qverr::qvapalerr_invalidParameter);
    endpoint = make(3);
    proxy->fail = true;
    EXPECT_EQ(thrownStatus([&] { endpoint->mapWriteWindow(&size, &address); }).first,
              qverr::qvapalerr_osFault);
    proxy->fail = false;
    endpoint->mapWriteWindow(&size, &address);
    EXPECT_EQ(proxy->mapped.size(), 3u);
}

TEST(P2PAbsent, NoLibraryNoEndpoint) {
    REQUIRE_VARIANT("absent");
    InfoSource source;
    auto proxy = std::make_shared<MappingProxy>();
    EXPECT_EQ(thrownStatus([&] {
                  qvzek::P2PEndpointSession(fifoOf(3, qvzek::TypeI16()), source, proxy);
              }).first,
              qvzek::kErrorP2PLibraryMissing);
    EXPECT_EQ(qvzek::getP2PLibrarySymbol("qvstreamuRegisterEndpointInternal"), nullptr);
}

// After the library's own exit handler: closed once, and not loaded again.
void checkAfterExit() {
    const bool closed = dlopen("libqvp2p.so", RTLD_NOW | RTLD_NOLOAD) == nullptr;
    const bool noSymbol =
        qvzek::getP2PLibrarySymbol("qvstreamuRegisterEndpointInternal") == nullptr;
    const bool notReloaded = dlopen("libqvp2p.so", RTLD_NOW | RTLD_NOLOAD) == nullptr;
    _exit(closed && noSymbol && notReloaded ? 0 : 3);
}

// Run as a child process: two threads load the library at once.
TEST(P2PLibraryChild, TwoThreadsThenExit) {
    if (getenv("QV_P2P_CHILD") == nullptr) GTEST_SKIP() << "runs as a child process only";
    atexit(checkAfterExit);  // registered first, so it runs after the library's handler
    std::atomic<int> ready{0};
    void* found[2] = {};
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = std::thread([&, i] {
            ++ready;
            while (ready.load() < 2) {
            }
            found[i] = qvzek::getP2PLibrarySymbol("qvstreamuRegisterEndpointInternal");
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_NE(found[0], nullptr);
    EXPECT_EQ(found[0], found[1]);
}

TEST(P2PLibrary, LoadedOnceClosedOnceAtExit) {
    REQUIRE_VARIANT("present");
    EXPECT_EQ(qvtest::waitForExit(qvtest::spawnSelf("P2PLibraryChild.*", "QV_P2P_CHILD=1")), 0);
}

}  // namespace
