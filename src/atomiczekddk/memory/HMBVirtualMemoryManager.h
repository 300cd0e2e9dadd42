// The host-memory-buffer layout of the downloaded image and the mappings
// behind it: the driver's host-memory region (mapped by its first user,
// unmapped by its last), the 4 KiB and 1 MiB windows, and the announcement of
// the image's fixed memory blocks to the driver. Failures throw
// qverr::Exception.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/bitfile/Bitfile.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/quarks/synchronization.h"

namespace qvzek {

inline constexpr uint16_t kHmbRegion = 0x2000;
inline constexpr uint16_t kHmbWindow4kRegion = 0x2ffe;
inline constexpr uint16_t kHmbWindow1MRegion = 0x2fff;
inline constexpr uint64_t kHmbWindow4kSize = 4096;
inline constexpr uint64_t kHmbWindow1MSize = 0x100000;

struct HmbMemoryBlock {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint64_t fixedAddr = 0;
    int8_t baggage = -1;
};

// A resource handed out with its release function; the holder calls
// release(context) exactly once. Release functions never throw.
struct HmbHandle {
    void* context = nullptr;
    void (*release)(void* context) = nullptr;
};

struct HmbLease;
void hmbReleaseLease(void* context, int which) noexcept;

class HMBVirtualMemoryManager : public std::enable_shared_from_this<HMBVirtualMemoryManager> {
public:
    // The proxy's device file is mapped; its configuration requests announce
    // fixed blocks and carry driver requests.
    explicit HMBVirtualMemoryManager(std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy);
    HMBVirtualMemoryManager(const HMBVirtualMemoryManager&) = delete;
    HMBVirtualMemoryManager& operator=(const HMBVirtualMemoryManager&) = delete;
    virtual ~HMBVirtualMemoryManager();

    // Installs the layout the compilation-results text describes; true when
    // the image has host memory (the caller then opens the manager).
    bool configure(const std::string& layoutText, const std::string& signatureText);

    void open();
    void close();
    void attachBlock(const char* name, uint64_t* size, uint64_t* address, HmbHandle* lease);
    void openWindows(const char* name, uint64_t* size1M, uint64_t* address1M, HmbHandle* lease1M,
                     uint64_t* size4k, uint64_t* address4k, HmbHandle* lease4k);
    // A driver request with target 0: 2 get block, 3 driver request, 4 open,
    // 5 open windows.
    void request(uint32_t operation, const void* input, uint64_t inSize, void* output,
                 uint64_t outSize, bool sessionFlag);

    // For tests and sessions.
    uint32_t openCount() const;
    uint32_t entryCount() const;
    uint64_t regionAddress() const;
    bool window4kMapped() const;
    bool window1MMapped() const;
    std::map<std::string, HmbMemoryBlock> blocks() const;
    std::string windowName() const;
    // How many times a layout text was parsed.
    uint32_t parseCount() const;

    // Undoes what a lease stands for: 0 region, 1 4 KiB window, 2 1 MiB window.
    void releaseLease(int which);

private:
    struct Window {
        uint16_t region;
        uint64_t length;
        uint32_t uses = 0;
        sdihal::nQVAPAL000::tMappedRegion mapping;
    };
    using Lock = std::unique_lock<sdihal::nQVAPAL000::tMutex>;

    void firstOpen();
    void releaseRegion();
    void acquireWindow(Window& window);
    void releaseWindow(Window& window);
    void lookUpBlock(const char* name, uint64_t* size, uint64_t* address);
    HmbHandle lease(void (*release)(void*));

    mutable sdihal::nQVAPAL000::tMutex mutex_;
    uint32_t openCount_ = 0;
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy_;
    uint32_t entryCount_ = 0;
    uint64_t regionAddress_ = 0;
    std::optional<FpgaSignature> signature_;
    sdihal::nQVAPAL000::tMappedRegion regionMapping_;
    Window window4k_{kHmbWindow4kRegion, kHmbWindow4kSize, 0, {}};
    Window window1M_{kHmbWindow1MRegion, kHmbWindow1MSize, 0, {}};
    std::map<std::string, HmbMemoryBlock> blocks_;
    std::string windowName_;
    uint32_t parseCount_ = 0;
};

}  // namespace qvzek
