// How an instrument driver written in C uses this library: it loads
// libqv3377hal.so.1 and calls nothing but its exported C functions. Run
// against the simulated module (the simulated kernel driver and the FPGA
// interface library stand-in; scripts/example has the stand-in serve the
// FPGA sessions through this library's own FPGA driver, down to the module's
// simulated FPGA device), so it needs no hardware:
//
//   1. open an acquisition ("ai/0") and a generation ("ao/0") device session
//      on the module's device file and FPGA image;
//   2. read the module's identity and temperatures (rfplat_);
//   3. program a trigger of the generation session and read the acquisition
//      data path's status, each family bound to the context its device
//      session hands out;
//   4. write a calibration partition into the module's flash and read it
//      back through the acquisition session's calibration data (da_);
//   5. provoke one error and print the description the library's error
//      translator gives of its JSON error context;
//   6. close everything.
//
// Exits with 0 when every step behaved as described, 1 otherwise.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "module/RFPlatBlock.h"
#include "module/SimulatedModule.h"

namespace {

// The library's chained status record, as its C header lays it out.
struct Status {
    int32_t code;
    uint32_t capacity;
    bool (*reallocate)(Status* status, uint32_t size);
    char* json;
};

bool reallocate(Status* status, uint32_t size) {
    if (size == 0) {
        std::free(status->json);
        status->json = nullptr;
        status->capacity = 0;
        return true;
    }
    void* grown = std::realloc(status->json, size);
    if (grown == nullptr) return false;
    status->json = static_cast<char*>(grown);
    status->capacity = size;
    return true;
}

// The error translator a host creates through qvxlator_exported_create.
struct Translator {
    uint64_t size;
    void (*destroy)(Translator* self);
    char* (*getStaticDesc)(Translator*, int32_t, uint32_t, const char*, void*, void*, Status*);
    char* (*getDynamicDesc)(Translator* self, const char* json, uint32_t language,
                            const char* format, char* (*allocate)(void*, size_t, void*, Status*),
                            void* context, Status* status);
};

char* hostAllocate(void*, size_t size, void*, Status* status) {
    return status->code < 0 ? nullptr : static_cast<char*>(std::malloc(size));
}

bool check(bool condition, const char* what) {
    if (!condition) std::printf("unexpected: %s\n", what);
    return condition;
}

class Library {
public:
    explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    bool loaded() const { return handle_ != nullptr; }
    template <class F>
    F fn(const char* name) {
        void* address = dlsym(handle_, name);
        if (address == nullptr) {
            std::printf("missing export %s\n", name);
            std::exit(EXIT_FAILURE);
        }
        return reinterpret_cast<F>(address);
    }

private:
    void* handle_;
};

using OpenDevice = int32_t (*)(const char*, const char*, uint64_t*);
using GetContext = int32_t (*)(uint64_t, uint32_t, uint8_t, uint64_t*);
using CloseHandle = void (*)(uint64_t);
using OpenFamily = int32_t (*)(uint64_t, uint64_t, uint64_t*);
using OpenFamilyStatus = void (*)(uint64_t, uint64_t, uint64_t*, Status*);

// Context ids of device_getContext.
constexpr uint32_t kDataPathContext = 0;
constexpr uint32_t kTriggerContext = 10;
constexpr uint32_t kCalibrationDataContext = 32;

}  // namespace

int main() {
    // The simulated module, its device file and its default FPGA image.
    qvsim::SimulatedModule module;
    qvsim::SimulatedModule::declareDefaultFifos();
    module.rfplat().temperatures[4] = {833, 20};  // the FPGA sensor: 41.65 degrees

    Library library(QV_LIBRARY_PATH);
    if (!check(library.loaded(), "libqv3377hal.so.1 did not load")) return EXIT_FAILURE;
    auto deviceOpen = library.fn<OpenDevice>("device_open");
    auto getContext = library.fn<GetContext>("device_getContext");
    auto deviceClose = library.fn<CloseHandle>("device_close");

    // 1. The two device sessions. The FPGA driver names the module by its
    // persistent token (its model and PCI slot); the image is the module's.
    const std::string resource =
        std::string("Model=QV PXIe-3377;PCISlotPath=") + qvsim::SimulatedModule::kPciSlotPath;
    const std::string params = "{\"resourceName\":\"" + resource + "\",\"deviceInterfacePath\":\"" +
                               module.devicePath() + "\",\"bitfilePath\":\"" +
                               qvsim::SimulatedModule::imagePath() +
                               "\",\"sessionUID\":\"example-1\",\"sessionClientName\":\"example\"}";
    uint64_t acquisition = 0;
    uint64_t generation = 0;
    bool ok = check(deviceOpen(params.c_str(), "ai/0", &acquisition) == 0,
                    "the ai/0 session did not open") &&
              check(deviceOpen(params.c_str(), "ao/0", &generation) == 0,
                    "the ao/0 session did not open");
    if (ok)
        std::printf("opened device sessions ai/0 and ao/0 on %s\n", module.devicePath().c_str());

    // 2. Identity and temperatures.
    uint64_t platform = 0;
    const std::string platformParams = "{\"deviceInterfacePath\": \"" + module.devicePath() + "\"}";
    ok = ok &&
         check(library.fn<OpenDevice>("rfplat_open")(platformParams.c_str(), "", &platform) == 0,
               "rfplat_open failed");
    if (ok) {
        char serial[32] = {};
        char revision[16] = {};
        uint32_t revisionSize = sizeof revision;
        uint32_t version = 0;
        double fpgaTemperature = 0;
        ok =
            check(library.fn<int32_t (*)(uint64_t, const char*, char*, int32_t, const char*)>(
                      "rfplat_getSerialNumber2")(platform, nullptr, serial, sizeof serial, "") == 0,
                  "no serial number") &&
            check(library.fn<int32_t (*)(uint64_t, const char*, char*, uint32_t*)>(
                      "rfplat_getModuleRev")(platform, "module", revision, &revisionSize) == 0,
                  "no module revision") &&
            check(library.fn<int32_t (*)(uint64_t, uint32_t*)>("rfplat_getDriverInterfaceVersion")(
                      platform, &version) == 0,
                  "no driver interface version") &&
            check(library.fn<int32_t (*)(uint64_t, const char*, uint32_t, double*)>(
                      "rfplat_getTemperature")(platform, "fpga", 0, &fpgaTemperature) == 0,
                  "no temperature");
        if (ok) {
            std::printf("module serial number %s, revision %s, driver interface 0x%08x\n", serial,
                        revision, version);
            std::printf("FPGA temperature %.2f degrees\n", fpgaTemperature);
        }
        ok = ok && check(fpgaTemperature > 41.6 && fpgaTemperature < 41.7,
                         "the temperature came back wrong");
    }

    // 3. A trigger of the generation session, the acquisition data path.
    uint64_t context = 0;
    uint64_t trigger = 0;
    ok = ok &&
         check(getContext(generation, kTriggerContext, 0, &context) == 0 && context != 0,
               "no trigger context") &&
         check(library.fn<OpenFamily>("trig_open")(generation, context, &trigger) == 0,
               "trig_open failed");
    if (ok) {
        int32_t id = 0;
        struct {
            uint64_t first;
            uint64_t second;
            uint32_t third;
        } settings{1, 0, 0};
        ok = check(library.fn<int32_t (*)(uint64_t, const char*, int32_t*)>("trig_getTriggerID")(
                       trigger, "ao/0/StartTrigger", &id) == 0,
                   "no start trigger") &&
             check(library.fn<int32_t (*)(uint64_t, uint32_t, const void*)>("trig_programTrigger")(
                       trigger, static_cast<uint32_t>(id), &settings) == 0,
                   "the trigger was not programmed");
        if (ok) std::printf("programmed trigger %d (ao/0/StartTrigger)\n", id);
        library.fn<CloseHandle>("trig_close")(trigger);
    }
    uint64_t dataPath = 0;
    ok = ok &&
         check(getContext(acquisition, kDataPathContext, 0, &context) == 0,
               "no data-path context") &&
         check(library.fn<OpenFamily>("datapath_open")(acquisition, context, &dataPath) == 0,
               "datapath_open failed");
    if (ok) {
        uint8_t flags[5] = {};
        ok = check(
            library.fn<int32_t (*)(uint64_t, void*)>("datapath_checkStatus")(dataPath, flags) == 0,
            "no data-path status");
        if (ok)
            std::printf("ai/0 data path status: %u %u %u %u %u\n", flags[0], flags[1], flags[2],
                        flags[3], flags[4]);
        library.fn<CloseHandle>("datapath_close")(dataPath);
    }

    // 4. A calibration partition in the module's flash (accessor 2: after
    // the board's and the common calibration directories).
    uint64_t calibration = 0;
    Status status{0, 0, reallocate, nullptr};
    ok = ok && check(getContext(acquisition, kCalibrationDataContext, 0, &context) == 0,
                     "no calibration context");
    if (ok) library.fn<OpenFamilyStatus>("da_open")(acquisition, context, &calibration, &status);
    if (ok) {
        using Write = void (*)(uint64_t, uint64_t, uint32_t, int32_t, const void*, uint64_t,
                               uint32_t*, Status*);
        using Read = void (*)(uint64_t, uint64_t, uint32_t, void*, uint64_t*, uint32_t*, Status*);
        const char written[] = "gain=0.9981;offset=-0.0042";
        // A write names the sequence word it read: the partition must not
        // have changed in between.
        uint32_t sequence = 0;
        uint64_t present = 0;
        library.fn<Read>("da_readPartition")(calibration, 2, 7, nullptr, &present, &sequence,
                                             &status);
        library.fn<Write>("da_writePartition")(calibration, 2, 7, 1, written, sizeof written,
                                               &sequence, &status);
        char read[64] = {};
        uint64_t size = sizeof read;
        library.fn<Read>("da_readPartition")(calibration, 2, 7, read, &size, &sequence, &status);
        ok = check(status.code == 0 && size == sizeof written && std::strcmp(read, written) == 0,
                   "the calibration partition did not come back");
        if (ok)
            std::printf("calibration partition 7 written and read back: \"%s\" (sequence %u)\n",
                        read, sequence);

        // 5. One error: a partition of an accessor the session does not have.
        library.fn<Read>("da_readPartition")(calibration, 9, 7, read, &size, &sequence, &status);
        ok = ok && check(status.code == -52005, "the bad accessor was not refused");
        std::printf("reading accessor 9: status %d\nerror context: %s\n", status.code,
                    status.json ? status.json : "");
        library.fn<CloseHandle>("da_close")(calibration);
    }
    if (ok) {
        using Create = Translator* (*)(const char*, const char*, Status*);
        Status translatorStatus{0, 0, reallocate, nullptr};
        Translator* translator = library.fn<Create>("qvxlator_exported_create")(
            "mxlator_qv3377HAL", "{\"qvxlatorlua_xlator\":\"mxlator\"}", &translatorStatus);
        ok = check(translator != nullptr, "no translator");
        if (ok) {
            char* text = translator->getDynamicDesc(translator, status.json, 0, "json1",
                                                    hostAllocate, nullptr, &translatorStatus);
            ok = check(text != nullptr && translatorStatus.code == 0, "no description");
            if (ok) std::printf("description: %s\n", text);
            std::free(text);
            translator->destroy(translator);
        }
        std::free(translatorStatus.json);
    }
    std::free(status.json);

    // 6. Close: the families' handles are gone, the device sessions take
    // their sub-sessions with them.
    library.fn<CloseHandle>("rfplat_close")(platform);
    deviceClose(generation);
    deviceClose(acquisition);
    ok = ok && check(module.driver().openDescriptors() == 0, "a device file stayed open");
    std::printf("closed everything: %s\n", ok ? "ok" : "FAILED");
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
