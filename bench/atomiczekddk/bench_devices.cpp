// Naming a module: the PCI token read through the device iterator against
// the bare system calls that read the same six property files; and a list
// of 16 PXI devices built through the owning items against the chassis
// library's entry points called directly (no duplicate, no temporaries).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "kerneldriver/DeviceTree.h"
#include "qvjsonconfig/APALDeviceIterator.h"
#include "qvqpxi/QpxiSim.h"

namespace {

const char* const kProperties[] = {"pciVendorID",    "pciDeviceID", "pciSubsystemVendorID",
                                   "pciSubsystemID", "pciRevision", "pciSlotPath"};

qvsim::DeviceTree& tree() {
    static qvsim::DeviceTree instance;
    static const bool built = [] {
        instance.addInterface("qv3377k", "qv3377k_atomiczekddkqrx", "0", "/dev/qv/qv3377k");
        const uint32_t value = 0x1234;
        for (int i = 0; i < 5; ++i) {
            instance.setBusProperty("qv3377k", kProperties[i],
                                    std::string(reinterpret_cast<const char*>(&value), 4));
        }
        instance.setBusProperty("qv3377k", "pciSlotPath", std::string("0000:04:00.0") + '\0');
        return true;
    }();
    (void)built;
    return instance;
}

void BM_PciToken(benchmark::State& state) {
    tree();
    qvjsonconfig::internal::APALDeviceIteratorWithBusToken<
        qvjsonconfig::internal::APALPersistentTokenPCI>
        it({"qv3377k_atomiczekddkqrx"});
    for (auto _ : state) benchmark::DoNotOptimize(it.getPersistentToken());
}

void BM_BarePropertyReads(benchmark::State& state) {
    const std::string directory = tree().driverRoot() + "qv3377k/busProperties/";
    std::vector<std::string> paths;
    for (const char* name : kProperties) paths.push_back(directory + name);
    char buffer[64];
    for (auto _ : state) {
        for (const std::string& path : paths) {
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(read(fd, buffer, sizeof buffer));
            close(fd);
        }
    }
}

struct Pxi {
    Pxi() : library(status, QV_QPXI_LIBRARY) {
        void* handle = dlopen(QV_QPXI_LIBRARY, RTLD_NOW);
        reinterpret_cast<qvqpxisim_reset_t>(dlsym(handle, "qvqpxisim_reset"))();
        auto add = reinterpret_cast<qvqpxisim_addDevice_t>(dlsym(handle, "qvqpxisim_addDevice"));
        for (uint32_t bus = 0; bus < 16; ++bus) add(1, 2, 0, bus, 0, 0);
    }
    qverr::Status status;
    qvqpxi::QPxiLibrary library;
};

Pxi& pxi() {
    static Pxi instance;
    return instance;
}

void BM_PxiDeviceList(benchmark::State& state) {
    qvqpxi::Session session(0, pxi().library);
    qvqpxi::Slot slot = session.openDeviceByAddr({0, 0, 0, 0}).openContainingSlot();
    for (auto _ : state) benchmark::DoNotOptimize(slot.getDevices());
}

void BM_PxiEntryPointsDirect(benchmark::State& state) {
    qvqpxi::QPXILibrary& lib = pxi().library;
    qvqpxi::Session session(0, lib);
    qvqpxi::Slot slot = session.openDeviceByAddr({0, 0, 0, 0}).openContainingSlot();
    std::vector<uint64_t> handles;
    for (auto _ : state) {
        qverr::Status status;
        const uint64_t container =
            lib.getItemContainer(slot.handle(), qvqpxi::kContainerDevices, &status);
        uint64_t it = lib.ItemIterator_begin(container, &status);
        while (it != lib.ItemIterator_end(container, &status)) {
            handles.push_back(lib.ItemIterator_nextItem(container, &it, &status));
        }
        lib.destroyItemContainer(container);
        for (uint64_t h : handles) lib.close(h);
        handles.clear();
    }
}

BENCHMARK(BM_PciToken);
BENCHMARK(BM_BarePropertyReads);
BENCHMARK(BM_PxiDeviceList);
BENCHMARK(BM_PxiEntryPointsDirect);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {{"PCI token / bare reads of its six files", "BM_PciToken", "BM_BarePropertyReads"},
         {"PXI list of 16 / entry points alone", "BM_PxiDeviceList", "BM_PxiEntryPointsDirect"}});
}
