#include "AtomicZEKHALImpl/PluginQrx.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <memory>

#include "AtomicZEKHALImpl/AliasServices.h"
#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"
#include "AtomicZEKHALImpl/SessionFactoryQrx.h"
#include "HALUtilities/OwningProcess.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/user/devicelist/DeviceList.h"
#include "atomiczekddk/user/devicemanager/DeviceManager.h"
#include "qvapal/quarks/synchronization.h"
#include "qverr/Exception.h"

namespace atomiczekhal {

namespace {

constexpr const char* kFile = "AtomicZEKHALImpl/PluginQrx";
constexpr const char* kInterfaceName = "qv3377k_atomiczekddkqrx";

using DeviceManager = qvzek::DeviceManagerPxiTemplate<sdihal::tInterfaceProxy_atomiczekddkqrx>;

// One initialization's objects. Declaration order is construction order;
// destruction (at the last finalize, or when a later one fails to build)
// goes in reverse: alias services, session factory, device manager, PXI
// library.
struct PluginObjects {
    std::unique_ptr<qvqpxi::QPxiLibrary> pxiLibrary;
    std::unique_ptr<DeviceManager> deviceManager;
    std::unique_ptr<SessionFactoryQrx> sessionFactory;
    std::unique_ptr<AliasServices> aliasServices;
    // The process whose threads (observer, notifier, poller) serve them.
    qv3377hal::OwningProcess builtBy;
    // The sets a forked child left alone before this one (see
    // endPluginObjects).
    PluginObjects* forgottenBefore = nullptr;
};

// Runs init once per process, lock-free: the caller that wins the busy flag
// runs it, the others wait with a short back-off. A failed init is tried
// again by the next caller.
struct OnceRecord {
    std::atomic<uint32_t> done;
    std::atomic<uint32_t> busy;
    void (*init)(nQVAPALS100::tStatus& status);
    void (*fini)();
    uint32_t retryIntervalMs;

    void run(nQVAPALS100::tStatus& status) {
        if (done.load(std::memory_order_acquire) == 1) return;
        while (busy.exchange(1, std::memory_order_acquire) == 1) sleepMs(retryIntervalMs);
        if (done.load(std::memory_order_relaxed) == 0) {
            init(status);
            if (!status.isError()) done.store(1, std::memory_order_release);
        }
        busy.store(0, std::memory_order_release);
    }
    // At process exit (or when the library is unloaded).
    void finish() {
        uint32_t expected = 1;
        if (done.compare_exchange_strong(expected, 0) && fini != nullptr) fini();
    }

    static void sleepMs(uint32_t ms) {
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
};

std::atomic<sdihal::nQVAPAL000::tMutex*> pluginMutex{nullptr};

void createPluginMutex(nQVAPALS100::tStatus& status) {
    try {
        pluginMutex.store(new sdihal::nQVAPAL000::tMutex, std::memory_order_release);
    } catch (...) {
        qv3377hal::storeCurrentException(status, qv3377hal::kComponent, kFile, 47);
    }
}

void destroyPluginMutex() {
    delete pluginMutex.exchange(nullptr);
}

OnceRecord pluginOnce{{0}, {0}, &createPluginMutex, &destroyPluginMutex, 1};

// Runs the once record's finalizer when the process ends.
struct OnceFinalizer {
    ~OnceFinalizer() { pluginOnce.finish(); }
} onceFinalizer;

// The plug-in mutex is held while the configuration file's lock is awaited
// and while the plug-in's threads are joined, so no fork waits for it. A
// child, which has only the forking thread, frees it and the once record
// instead, whichever thread of the parent held them; what they guarded
// stays as the parent left it, and the child's last finalize forgets the
// parent's objects. Registered while the library loads.
void freeInChild() {
    pluginOnce.busy.store(0, std::memory_order_relaxed);
    if (auto* mutex = pluginMutex.load(std::memory_order_acquire)) mutex->resetInChild();
}
[[maybe_unused]] const int freedInChild = pthread_atfork(nullptr, nullptr, &freeInChild);

// Initialize calls not yet balanced by a finalize; under the plug-in mutex.
uint32_t pluginReferenceCount = 0;
// All four objects, set only once all four exist; read without the lock by
// getPluginInterface.
std::atomic<PluginObjects*> published{nullptr};

// Sets inherited from a parent process and finalized in the child.
constinit qv3377hal::Forgotten<PluginObjects> forgotten;

// Ends a set at the last finalize; a forked child only forgets its
// parent's.
void endPluginObjects(PluginObjects* objects) {
    if (objects == nullptr) return;
    if (objects->builtBy.isCurrent()) {
        delete objects;
        return;
    }
    forgotten.keep(objects, objects->forgottenBefore);
}

std::unique_ptr<PluginObjects> buildPluginObjects() {
    PciModelNameIdentifierCodegen& modelNameIdentifier = PciModelNameIdentifierCodegen::instance();
    auto objects = std::make_unique<PluginObjects>();
    // The PXI library is optional: without it devices get PCI-slot tokens.
    qverr::Status pxiStatus;
    objects->pxiLibrary = std::make_unique<qvqpxi::QPxiLibrary>(pxiStatus);
    objects->deviceManager =
        std::make_unique<DeviceManager>(kInterfaceName, modelNameIdentifier, *objects->pxiLibrary);
    objects->deviceManager->onDevicesChanged();
    objects->deviceManager->startObserver();
    objects->sessionFactory =
        std::make_unique<SessionFactoryQrx>(*objects->deviceManager, *objects->pxiLibrary);
    objects->aliasServices = std::make_unique<AliasServices>(
        *objects->deviceManager, modelNameIdentifier, *objects->pxiLibrary);
    return objects;
}

}  // namespace

}  // namespace atomiczekhal

using namespace atomiczekhal;

int32_t qvzek_initializePlugin() {
    nQVAPALS100::tStatus status;
    return qv3377hal::platformStatusCall(status, qv3377hal::kComponent, kFile, 126, [&] {
        pluginOnce.run(status);
        if (status.isError()) return;
        sdihal::nQVAPAL000::tMutex* mutex = pluginMutex.load(std::memory_order_acquire);
        if (mutex == nullptr) {
            status.setCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly, qv3377hal::kComponent,
                           kFile, 126);
            return;
        }
        sdihal::nQVAPAL000::tMutexLock lock(*mutex);
        if (pluginReferenceCount == 0)
            published.store(buildPluginObjects().release(), std::memory_order_release);
        ++pluginReferenceCount;
    });
}

int32_t qvzek_getPluginInterface(int32_t interfaceVersion, qvzek::IDeviceList** out) {
    if (out == nullptr) return qverr::qvapalerr_invalidParameter;
    if (interfaceVersion != 0) {
        *out = nullptr;
        return qverr::qvapalerr_invalidParameter;
    }
    nQVAPALS100::tStatus status;
    return qv3377hal::platformStatusCall(status, qv3377hal::kComponent, kFile, 78, [&] {
        PluginObjects* objects = published.load(std::memory_order_acquire);
        // Before the first initialize or after the last finalize there is
        // nothing a device list could stand on.
        if (objects == nullptr) {
            status.setCode(qverr::qvapalerr_resourceNotInitialized, qv3377hal::kComponent, kFile,
                           78);
            return;
        }
        *out = new qvzek::DeviceList(objects->deviceManager.get(), objects->sessionFactory.get(),
                                     &objects->aliasServices->aliasManager());
    });
}

int32_t qvzek_finalizePlugin() {
    sdihal::nQVAPAL000::tMutex* mutex = pluginMutex.load(std::memory_order_acquire);
    if (mutex == nullptr) return qverr::qvapalerr_resourceNotInitialized;
    sdihal::nQVAPAL000::tMutexLock lock(*mutex);
    // A finalize without an initialize to balance must not wrap the count:
    // later initializes would then build nothing.
    if (pluginReferenceCount == 0) return qverr::qvapalerr_resourceNotInitialized;
    if (--pluginReferenceCount == 0)
        endPluginObjects(published.exchange(nullptr, std::memory_order_acq_rel));
    return 0;
}
