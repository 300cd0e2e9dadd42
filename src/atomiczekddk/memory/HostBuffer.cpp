#include "atomiczekddk/memory/HostBuffer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qvapal/protons/system/tSystemInterface.h"
#include "qverr/Status.h"

namespace qvzek {
namespace {

constexpr int kPreferred = 1;  // MPOL_PREFERRED
// Far beyond any kernel's node count; bounds the mask built for a node.
constexpr int32_t kNodeLimit = 1 << 16;

// Closes a descriptor when its scope ends.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

int createSharedMemoryFile() {
    const long fd = syscall(SYS_memfd_create, "mirroredBuffer", MFD_CLOEXEC);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno != ENOSYS) throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    // A kernel without memfd_create: a temporary file whose name goes at once,
    // so that only the descriptor (and later the mappings) keep it.
    char name[] = "/tmp/mirrorAllocationXXXXXX";
    const int file = mkostemp(name, O_CLOEXEC);
    if (file < 0) throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    if (std::remove(name) != 0) {
        ::close(file);
        throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    }
    return file;
}

}  // namespace

uint64_t pageSize() {
    return static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

MirroredBuffer::MirroredBuffer(uint64_t size, uint64_t mirrorSize, int32_t numaNode)
    : size_(size), mirrorSize_(mirrorSize) {
    if (size < mirrorSize || size % pageSize() != 0 || size + mirrorSize < size) {
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    Descriptor file{createSharedMemoryFile()};
    if (ftruncate(file.fd, static_cast<off_t>(size)) != 0) {
        throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    }
    void* reservation =
        mmap(nullptr, size + mirrorSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (reservation == MAP_FAILED) throwStatusCode(qverr::qvapalerr_memoryFull);
    // Every failure from here releases the whole reservation: the destructor
    // does not run for a constructor that throws.
    auto fail = [&](int32_t code) {
        munmap(reservation, size + mirrorSize);
        base_ = mirror_ = nullptr;
        throwStatusCode(code);
    };
    void* first =
        mmap(reservation, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, file.fd, 0);
    if (first == MAP_FAILED) fail(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    base_ = static_cast<uint8_t*>(first);
    void* second =
        mmap(base_ + size, mirrorSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, file.fd, 0);
    if (second == MAP_FAILED) fail(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    mirror_ = static_cast<uint8_t*>(second);
    try {
        bindToNumaNode(base_, size, numaNode);
    } catch (...) {
        munmap(reservation, size + mirrorSize);
        base_ = mirror_ = nullptr;
        throw;
    }
}

MirroredBuffer::~MirroredBuffer() {
    unmap();
}

void MirroredBuffer::unmap() {
    if (base_ == nullptr || base_ == reinterpret_cast<uint8_t*>(MAP_FAILED)) return;
    munmap(base_, size_ + mirrorSize_);
    base_ = mirror_ = nullptr;
}

void* allocatePageAlignedBuffer(uint64_t size, int32_t numaNode) {
    void* buffer = valloc(size);
    if (buffer == nullptr) throwStatusCode(qverr::qvapalerr_memoryFull);
    try {
        bindToNumaNode(buffer, size, numaNode);
    } catch (...) {
        free(buffer);
        throw;
    }
    return buffer;
}

void bindToNumaNode(void* address, uint64_t length, int32_t numaNode) {
    if (numaNode == -1) return;
    if (numaNode < 0 || numaNode >= kNodeLimit) throwStatusCode(qverr::qvapalerr_invalidParameter);
    const size_t bit = static_cast<size_t>(numaNode);
    std::vector<unsigned long> mask(bit / 64 + 1, 0);
    mask[bit / 64] = 1UL << (bit % 64);
    // The kernel reads maxnode - 1 bits of the mask.
    const unsigned long maxNode = mask.size() * 64 + 1;
    if (syscall(SYS_mbind, address, length, kPreferred, mask.data(), maxNode, 0) != 0 &&
        errno != ENOSYS) {
        throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    }
}

int32_t highestNumaNode() {
    const std::string path = std::string(sdihal::nQVAPAL000::systemInterface().systemRoot()) +
                             "/sys/devices/system/node";
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    DIR* directory = fdopendir(fd);
    if (directory == nullptr) {
        ::close(fd);
        return -1;
    }
    long highest = -1;
    while (const dirent* entry = readdir(directory)) {
        if (std::string_view(entry->d_name).substr(0, 4) != "node") continue;
        const long node = std::strtol(entry->d_name + 4, nullptr, 10);
        if (node > highest && node <= INT32_MAX) highest = node;
    }
    closedir(directory);
    return static_cast<int32_t>(highest);
}

HostBuffer::HostBuffer(Release release) : release_(release != nullptr ? release : &free) {}

HostBuffer::~HostBuffer() {
    reset();
}

void HostBuffer::reset() {
    if (void* old = plain_) {
        plain_ = nullptr;
        release_(old);
    }
    if (auto old = std::move(mirrored_)) old->unmap();
}

void HostBuffer::allocate(uint64_t size, uint64_t mirrorSize, int32_t numaNode) {
    reset();
    if (mirrorSize == 0) {
        plain_ = allocatePageAlignedBuffer(size, numaNode);
    } else {
        mirrored_ = std::make_unique<MirroredBuffer>(size, mirrorSize, numaNode);
    }
}

void* HostBuffer::address() const {
    if (plain_ != nullptr) return plain_;
    return mirrored_ ? mirrored_->base() : nullptr;
}

}  // namespace qvzek
