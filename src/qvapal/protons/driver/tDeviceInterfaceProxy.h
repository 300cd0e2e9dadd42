// The device-file proxy: the one path to the module's kernel driver. Every
// generated kernel-driver proxy derives from it and sends each request
// through ioctl() with the 32-byte request block.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "qvapal/protons/enumeration/tInterfacePath.h"
#include "qvapal/protons/system/tSystemInterface.h"
#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

class iInterfaceProxy {
public:
    virtual ~iInterfaceProxy() = default;
};

// The access of mapMemory: read and write; any other value maps read-only.
inline constexpr int32_t kMapReadWrite = 1;
inline constexpr int32_t kMapReadOnly = 0;

// Mapping record filled by mapMemory and read by unmapMemory.
struct tMemoryMapping {
    void* address = nullptr;
    uint64_t length = 0;
};

// The argument of every request ioctl; shared with the kernel driver.
struct tKernelRequestBlock {
    uint64_t inBuffer;
    uint64_t outBuffer;
    uint32_t inSize;
    uint32_t outSize;
    uint32_t bytesReturned;
    uint32_t reserved;
};
static_assert(sizeof(tKernelRequestBlock) == 32);

class tDeviceInterfaceProxy : public virtual iInterfaceProxy {
public:
    tDeviceInterfaceProxy() = default;
    tDeviceInterfaceProxy(const tDeviceInterfaceProxy&) = delete;
    tDeviceInterfaceProxy& operator=(const tDeviceInterfaceProxy&) = delete;
    ~tDeviceInterfaceProxy() override;

    virtual int32_t close();
    virtual uint32_t ioctl(uint32_t request, const void* in, uint32_t inSize, void* out,
                           uint32_t outSize, nQVAPALS100::tStatus& status);
    virtual int64_t read(void* buffer, uint64_t length, nQVAPALS100::tStatus& status);
    virtual int64_t write(const void* buffer, uint64_t length, nQVAPALS100::tStatus& status);
    virtual void* mapMemory(uint16_t region, uint64_t length, int32_t access,
                            tMemoryMapping& mapping, nQVAPALS100::tStatus& status);
    virtual void unmapMemory(tMemoryMapping& mapping);
    virtual bool isOpen() const;
    // Opens the device file an interface entry names (the enumeration's result).
    virtual void open(const tInterfacePath& path, nQVAPALS100::tStatus& status);
    // Opens the device file read-write. A proxy already open keeps its
    // descriptor and the call gives -52031.
    virtual void open(const char* path, nQVAPALS100::tStatus& status);

    int32_t descriptor() const { return fd; }

    // The request of `ioctl` for the generated proxies' methods, which check
    // the caller's status first: without a status of its own, a failure is
    // raised straight into `status` (as `ioctl` raises it) and reported as
    // false. One system call and nothing else on the way.
    bool request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 nQVAPALS100::tStatus& status) {
        tKernelRequestBlock block{reinterpret_cast<uintptr_t>(in),
                                  reinterpret_cast<uintptr_t>(out),
                                  inSize,
                                  outSize,
                                  0,
                                  0};
        if (systemInterface().ioctl(fd, code, &block) >= 0) return true;
        raiseRequestFailure(status);
        return false;
    }

protected:
    int32_t fd = -1;

private:
    // Raises errno as a failed request at the request operation's site.
    static void raiseRequestFailure(nQVAPALS100::tStatus& status);
};

// A mapped region of the device, unmapped when its owner lets it go. It
// keeps the proxy that mapped it, so the unmapping goes through the same
// seam. Moves, never copies: two owners would unmap twice.
class tMappedRegion {
public:
    tMappedRegion() = default;
    // Maps through `proxy` (see mapMemory); on failure `status` holds the
    // error and the object stays empty.
    tMappedRegion(std::shared_ptr<tDeviceInterfaceProxy> proxy, uint16_t region, uint64_t length,
                  int32_t access, nQVAPALS100::tStatus& status)
        : proxy_(std::move(proxy)) {
        proxy_->mapMemory(region, length, access, mapping_, status);
    }
    tMappedRegion(tMappedRegion&& other) noexcept
        : proxy_(std::move(other.proxy_)), mapping_(std::exchange(other.mapping_, {})) {}
    tMappedRegion& operator=(tMappedRegion&& other) noexcept {
        if (this != &other) {
            reset();
            proxy_ = std::move(other.proxy_);
            mapping_ = std::exchange(other.mapping_, {});
        }
        return *this;
    }
    tMappedRegion(const tMappedRegion&) = delete;
    tMappedRegion& operator=(const tMappedRegion&) = delete;
    ~tMappedRegion() { reset(); }

    void* address() const { return mapping_.address; }
    explicit operator bool() const { return mapping_.address != nullptr; }
    // Unmaps now; an empty object stays empty.
    void reset() noexcept {
        if (mapping_.address != nullptr && proxy_) proxy_->unmapMemory(mapping_);
        mapping_ = {};
        proxy_.reset();
    }

private:
    std::shared_ptr<tDeviceInterfaceProxy> proxy_;
    tMemoryMapping mapping_;
};

}  // namespace sdihal::nQVAPAL000
