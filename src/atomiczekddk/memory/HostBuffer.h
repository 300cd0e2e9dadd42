// Host memory for DMA FIFOs: page-aligned plain buffers and mirrored ring
// buffers, whose first bytes appear again directly behind their end so that a
// run of elements wrapping past the end of the ring is one contiguous range.
// Both can prefer a NUMA node. Failures throw qverr::Exception.
#pragma once

#include <cstdint>
#include <memory>

namespace qvzek {

// sysconf(_SC_PAGESIZE).
uint64_t pageSize();

class MirroredBuffer {
public:
    // size a page multiple, 0 < mirrorSize <= size; numaNode -1 for none.
    MirroredBuffer(uint64_t size, uint64_t mirrorSize, int32_t numaNode);
    MirroredBuffer(const MirroredBuffer&) = delete;
    MirroredBuffer& operator=(const MirroredBuffer&) = delete;
    ~MirroredBuffer();

    // Releases the whole reservation; nothing when already released.
    void unmap();

    uint8_t* base() const { return base_; }
    uint8_t* mirror() const { return mirror_; }
    uint64_t size() const { return size_; }
    uint64_t mirrorSize() const { return mirrorSize_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* mirror_ = nullptr;
    uint64_t size_;
    uint64_t mirrorSize_;
};

// valloc(size) bound to numaNode; the memory goes back with free().
void* allocatePageAlignedBuffer(uint64_t size, int32_t numaNode);

// Makes numaNode the preferred node of the range; -1 does nothing. A kernel
// without NUMA support is no error.
void bindToNumaNode(void* address, uint64_t length, int32_t numaNode);

// The highest node number under "/sys/devices/system/node", or -1.
int32_t highestNumaNode();

// The host buffer of one FIFO: empty, a plain buffer or a mirrored one.
class HostBuffer {
public:
    using Release = void (*)(void* address);

    explicit HostBuffer(Release release = nullptr);
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
    ~HostBuffer();

    // Empties the holder, then allocates: a plain buffer when mirrorSize is
    // 0, else a mirrored one. A failure leaves the holder empty.
    void allocate(uint64_t size, uint64_t mirrorSize, int32_t numaNode);
    void reset();

    void* plain() const { return plain_; }
    MirroredBuffer* mirrored() const { return mirrored_.get(); }
    // The plain buffer, else the mirrored buffer's base, else null.
    void* address() const;

private:
    Release release_;
    void* plain_ = nullptr;
    std::unique_ptr<MirroredBuffer> mirrored_;
};

}  // namespace qvzek
