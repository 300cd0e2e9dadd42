// How an instrument driver reaches the module through this library, run
// against the simulated kernel driver so that it needs no hardware:
//
//   1. find the module by walking the device interfaces its kernel driver
//      publishes under "/proc/driver/qv/";
//   2. open the kernel-driver proxy on the device file the entry names;
//   3. send requests through the proxy's sub-interfaces, one platform status
//      carried through them all;
//   4. turn a failed request into the chained status record with its JSON
//      error context, as the library's sessions do before they raise it;
//   5. hand that status to the error translator of libqv3377hal.so.1, as an
//      error-translation host does, and print its localized description.
//
// Exits with 0 when every step behaved as described, 1 otherwise.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"
#include "qverr/Status.h"
#include "qvmxl/qvmxl.h"
#include "qvxlator/Translator.h"

namespace {

using nQVAPALS100::tStatus;

// The simulated module (sim/module): one device file, published by its
// kernel driver as an interface entry. Requests it has no behaviour for are
// answered with status 0 and the caller's output block.
using qvsim::SimulatedModule;

bool check(bool condition, const char* what) {
    if (!condition) std::printf("unexpected: %s\n", what);
    return condition;
}

// Steps 1 and 2: the first published module's device file, opened.
bool openFirstModule(sdihal::tInterfaceProxy_qv3377k& proxy) {
    using sdihal::nQVAPAL000::tDeviceInterfaceIterator;
    tStatus status;
    tDeviceInterfaceIterator entry(sdihal::tInterfaceProxy_qv3377k::kInterfaceName, status);
    if (!check(!entry.isEnd(), "no module published")) return false;

    sdihal::nQVAPAL000::tInterfacePath path;
    entry.getInterfacePath(path, status);
    char serial[32] = {};
    uint64_t serialSize = 0;
    entry.getDeviceProperty("serialNumber", serial, sizeof serial - 1, &serialSize, status);
    std::printf("found %s: device file %s, serial number %s\n",
                sdihal::tInterfaceProxy_qv3377k::kInterfaceName, path.path, serial);

    proxy.open(path, status);
    return check(status.code == 0 && proxy.isOpen(), "the device file did not open");
}

// Step 3: requests through the sub-interfaces a session would hold.
bool queryModule(sdihal::tInterfaceProxy_qv3377k& proxy) {
    sdihal::iInterfaceProxy_rfplat& rfplat = proxy;
    sdihal::iInterfaceProxy_wgen& wgen = proxy;
    sdihal::iInterfaceProxy_mra& mra = proxy;

    tStatus status;
    const uint32_t version = rfplat.getDriverInterfaceVersion(status);
    int32_t revision = 0;
    rfplat.getModuleRev(0, &revision, status);
    sdihal::tRecord<48> generationTraits;
    uint32_t generationSize = 0;
    wgen.getTraits(&generationTraits, &generationSize, status, 0);
    sdihal::tRecord<64> acquisitionTraits;
    uint32_t acquisitionSize = 0;
    mra.getTraits(&acquisitionTraits, &acquisitionSize, status, 0);
    // One status runs through the whole chain: after an error, the
    // remaining requests would not have been sent.
    if (!check(status.code == 0, "a request failed")) return false;

    std::printf("driver interface version: 0x%08x\n", version);
    std::printf("module 0 revision: %d\n", revision);
    std::printf("generation traits: %u bytes, first word 0x%016llx\n", generationSize,
                static_cast<unsigned long long>(generationTraits.as<uint64_t>()));
    std::printf("acquisition traits: %u bytes, first word 0x%016llx\n", acquisitionSize,
                static_cast<unsigned long long>(acquisitionTraits.as<uint64_t>()));
    return check(version == SimulatedModule::kDriverInterfaceVersion && revision == 3 &&
                     generationSize == 48 && acquisitionSize == 61,
                 "the module's answers did not come back");
}

// Step 4: a request the driver refuses, and what a session makes of it.
bool provokeError(sdihal::tInterfaceProxy_qv3377k& proxy, qverr::Status& status) {
    sdihal::iInterfaceProxy_rfplat& rfplat = proxy;
    tStatus platformStatus;
    int32_t revision = 0;
    rfplat.getModuleRev(SimulatedModule::kModuleCount, &revision, platformStatus);

    status.mergeTStatus(platformStatus);
    // A session explains the refusal with the value it sent.
    qvmxl::writeUsageParam(
        qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status),
        qvmxl::UsageParam<uint32_t>{"kUsageTypeBadValue", SimulatedModule::kModuleCount});
    std::printf("module %u revision: status %d\n", SimulatedModule::kModuleCount, status.code);
    std::printf("error context: %s\n", status.jsonText());
    return check(status.code == qverr::qvapalerr_invalidParameter, "the refusal was lost");
}

char* hostAllocate(void*, size_t size, void*, qverr::Status* status) {
    return status->isError() ? nullptr : static_cast<char*>(std::malloc(size));
}

// Step 5: the translator, reached as a host reaches it: by loading the
// shared library and asking its factory entry point.
bool translate(const qverr::Status& error) {
    void* library = dlopen(QV_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!check(library != nullptr, "libqv3377hal.so.1 did not load")) return false;
    auto create = reinterpret_cast<qvxlator::FactoryFn>(dlsym(library, "qvxlator_exported_create"));
    bool ok = check(create != nullptr, "the translator factory is missing");
    qverr::Status status;
    qvxlator::Translator* translator =
        ok ? create(qvmxl::kTranslatorName, "{\"qvxlatorlua_xlator\":\"mxlator\"}", &status)
           : nullptr;
    ok = ok && check(translator != nullptr, "no translator");
    for (uint32_t language : {0u, 2u}) {
        if (!ok) break;
        char* text = translator->getDynamicDesc(translator, error.jsonText(), language, "json1",
                                                hostAllocate, nullptr, &status);
        ok = check(text != nullptr && status.code == 0, "no description");
        if (ok) std::printf("description (language %u): %s\n", language, text);
        std::free(text);
    }
    if (translator) translator->destroy(translator);
    dlclose(library);
    return ok;
}

}  // namespace

int main() {
    SimulatedModule module;
    sdihal::tInterfaceProxy_qv3377k proxy;
    qverr::Status error;
    const bool ok = openFirstModule(proxy) && queryModule(proxy) && provokeError(proxy, error) &&
                    translate(error);
    proxy.close();
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
