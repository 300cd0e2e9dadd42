// The one simulated QV-3377 of the tests and the example: a module published
// by its kernel driver as a device-interface entry, with one device file,
// behind the simulated kernel driver, and the one request decoder that
// serves every request code of that driver. Each block of the module adds
// its behaviour here (or, in a test, through on()); a request without
// behaviour is answered with status 0 and the caller's output block.
//
// The module's FPGA sits behind a second interface of the same driver, the
// FPGA driver's "qv3377k_atomiczekddkqrx", with a device file of its own that
// a simulated FPGA device answers; the driver lists it in "/dev/qv" as well,
// where device notifications see it come and go.
//
// One SimulatedModule at a time per process (the driver's rule).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "fpgadevice/FpgaDevice.h"
#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "module/BlockPathBlock.h"
#include "module/DataPathBlock.h"
#include "module/InstructionTargetBlock.h"
#include "module/P2PBlock.h"
#include "module/Replies.h"
#include "module/ReservationBlock.h"
#include "module/RoutingBlock.h"
#include "module/SyntraSyncBlock.h"
#include "module/TimerBlock.h"
#include "module/TriggerBlock.h"
#include "module/VisaBlock.h"
#include "requests/RequestDecoder.h"

namespace qvsim {

struct RFPlatBlock;

class SimulatedModule {
public:
    // What the module answers before a test changes anything.
    static constexpr uint32_t kDriverInterfaceVersion = 0x00010004;
    static constexpr uint32_t kModuleCount = 1;
    static constexpr int32_t kModuleRevision = 3;
    static constexpr uint32_t kGenerationTraitsSize = 48;
    static constexpr uint32_t kAcquisitionTraitsSize = 61;
    static constexpr const char* kSerialNumber = "01AB23CD";
    static constexpr const char* kDeviceName = "qv3377k0";
    static constexpr const char* kDriverName = "qv3377k";
    // The FPGA side: the FPGA driver's interface, its device file, and the
    // bus's slot path of the module's PCI address (VisaBlock's).
    static constexpr const char* kFpgaInterfaceName = "qv3377k_atomiczekddkqrx";
    static constexpr const char* kFpgaDeviceName = "qv3377k_fpga0";
    static constexpr const char* kPciSlotPath = "0000:1c:0d.2";
    static constexpr const char* kProductName = "QV PXIe-3377";
    static constexpr const char* kFpgaTargetClass = "QV-3377";
    static constexpr const char* kHardwareRevision = "C";

    struct PciAddress {
        uint32_t bus = 0;
        uint32_t device = 0;
        uint32_t function = 0;
    };

    SimulatedModule();
    ~SimulatedModule();
    SimulatedModule(const SimulatedModule&) = delete;
    SimulatedModule& operator=(const SimulatedModule&) = delete;

    // The device file the module's interface entry names (the
    // "deviceInterfacePath" of a session).
    const std::string& devicePath() const { return devicePath_; }

    // Replaces the behaviour of "<interface>.<method>" (RequestDecoder::on).
    void on(std::string_view method, MethodHandler handler) {
        decoder_.on(method, std::move(handler));
    }

    Driver& driver() { return driver_; }
    RequestDecoder& decoder() { return decoder_; }
    DeviceTree& tree() { return tree_; }
    // The module-platform block (identity, devices, flash).
    RFPlatBlock& rfplat() { return *rfplat_; }

    TriggerBlock& trigger() { return trigger_; }
    TimerBlock& timer() { return timer_; }
    DataPathBlock& dataPath() { return dataPath_; }
    ReservationBlock& reservation() { return reservation_; }
    SyntraSyncBlock& syntraSync() { return syntraSync_; }
    InstructionTargetBlock& instructionTarget() { return instructionTarget_; }
    VisaBlock& visa() { return visa_; }
    P2PBlock& p2p() { return p2p_; }
    RoutingBlock& routing() { return routing_; }
    BlockPathBlock& blockPaths() { return blockPaths_; }

    // ---- the FPGA side
    FpgaDevice& fpga() { return fpga_; }
    // The device file the FPGA interface entry names.
    const std::string& fpgaPath() const { return fpga_.path(); }
    // The FPGA interface goes as the driver takes a module away (interface
    // entry, then "/dev/qv" entry) and comes back (in the other order), so a
    // device notification always finds the enumeration up to date.
    void unplugFpga() { withdrawFpgaInterface(kDriverName); }
    void plugFpga() { publishFpgaInterface(kDriverName, fpgaPath()); }
    // Another module's FPGA interface behind the same driver: a driver
    // directory `driver` with the module's PCI identity at `address` and
    // `slotPath`, a device file of its own (served by this module's decoder,
    // so by the same FPGA device), its interface entry and its "/dev/qv"
    // entry. Returns the device file's path.
    std::string addFpgaInterface(const std::string& driver, PciAddress address,
                                 const std::string& slotPath);
    // Takes it away again; its device file stays for descriptors still open.
    void removeFpgaInterface(const std::string& driver) { withdrawFpgaInterface(driver); }
    // Writes the module's PCI identity as the bus properties of `driver`.
    void publishPciIdentity(const std::string& driver, PciAddress address,
                            const std::string& slotPath);

    // The module's FPGA image on disk (a bitfile path): what a session opens
    // when its FPGA session is the FPGA driver's. Its control register and
    // interrupt status are where the module's FPGA device has them.
    static const char* imagePath();
    static constexpr uint32_t kImageControlAddress = 0x8004;
    static constexpr uint32_t kImageIrqStatusAddress = 0x810C;
    // The FIFOs of the module's default FPGA image, declared to the FPGA
    // interface library stand-in for every session opened from now on.
    static void declareDefaultFifos();
    // Records the kernel driver's opens, requests and closes into the FPGA
    // interface library stand-in's call log, so one ordered log holds both.
    void shareEventLog();

private:
    friend struct RFPlatBlock;

    void publishFpgaInterface(const std::string& driver, const std::string& devicePath);
    void withdrawFpgaInterface(const std::string& driver);

    DeviceTree tree_;
    Driver driver_;
    RequestDecoder decoder_{driver_};
    // Guards the blocks' state; the FPGA device guards its own, since its
    // requests wait.
    std::mutex blocksMutex_;
    GuardedDecoder blocks_{decoder_, blocksMutex_};
    TriggerBlock trigger_{blocks_};
    TimerBlock timer_{blocks_};
    DataPathBlock dataPath_{blocks_};
    ReservationBlock reservation_{blocks_};
    SyntraSyncBlock syntraSync_{blocks_};
    InstructionTargetBlock instructionTarget_{blocks_};
    VisaBlock visa_{blocks_, tree_, kDriverName};
    P2PBlock p2p_{blocks_};
    RoutingBlock routing_{blocks_, driver_};
    BlockPathBlock blockPaths_{blocks_};
    FpgaDevice fpga_{driver_, decoder_, kFpgaDeviceName};
    std::string devicePath_;
    std::unique_ptr<RFPlatBlock> rfplat_;
};

}  // namespace qvsim
