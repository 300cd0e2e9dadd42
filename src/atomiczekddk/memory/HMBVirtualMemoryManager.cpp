#include "atomiczekddk/memory/HMBVirtualMemoryManager.h"

#include <cstring>

#include "atomiczekddk/bitfile/Xml.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Exception.h"
#include "qverr/trace.h"

namespace qvzek {

namespace {

constexpr uint64_t kUnitRounding = 0x100000;
constexpr uint32_t kMaxUnits = 0x80000;
constexpr size_t kMaxBlocks = 4;

struct Layout {
    std::map<std::string, HmbMemoryBlock> blocks;
    uint32_t entryCount = 0;
    std::optional<FpgaSignature> signature;
};

void writeU64(void* output, size_t index, uint64_t value) {
    std::memcpy(static_cast<uint8_t*>(output) + index * 8, &value, 8);
}

const char* readName(const void* input) {
    uint64_t address = 0;
    std::memcpy(&address, input, 8);
    return reinterpret_cast<const char*>(address);
}

void releaseRegionLease(void* context);
void releaseWindow4kLease(void* context);
void releaseWindow1MLease(void* context);

}  // namespace

// The holder of a region or window lease keeps the manager alive.
struct HmbLease {
    std::shared_ptr<HMBVirtualMemoryManager> manager;
};

HMBVirtualMemoryManager::HMBVirtualMemoryManager(
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk> proxy)
    : proxy_(std::move(proxy)) {}

HMBVirtualMemoryManager::~HMBVirtualMemoryManager() = default;

bool HMBVirtualMemoryManager::configure(const std::string& layoutText,
                                        const std::string& signatureText) {
    Lock lock(mutex_);
    if (signature_) {
        const FpgaSignature other = FpgaSignature::fromText(signatureText);
        if (other.words == signature_->words) return entryCount_ > 0;
    }
    ++parseCount_;
    XmlDocument document(layoutText.c_str());
    const XmlNode* root = document.rootElement();
    const XmlNode* targetData = findChildElement(root, "TargetSpecificData");
    if (targetData == nullptr) return false;

    // Built aside and installed only when every step succeeded, so a failing
    // call leaves the held layout as it was.
    Layout layout;
    bool haveLayout = false;
    if (const XmlNode* hmb = findChildElement(targetData, "HMB")) {
        if (xmlNodeToU32(getRequiredChildElement(hmb, "BufferIndexBits")) != 2 ||
            xmlNodeToU32(getRequiredChildElement(hmb, "OffsetBits")) != 22) {
            throwStatusCode(kErrorBitfileUnsupported);
        }
        if (signature_) throwStatusCode(kErrorBusy);
        uint64_t offset = 0;
        const XmlNode* list = getRequiredChildElement(hmb, "MemoryBlockList");
        for (const XmlNode* block = findChildElement(list, "MemoryBlock"); block != nullptr;
             block = block->next_sibling("MemoryBlock")) {
            const std::string name = xmlNodeText(getRequiredChildElement(block, "Name"));
            const uint64_t elements = xmlNodeToU32(getRequiredChildElement(block, "Elements"));
            const uint32_t stride = xmlNodeToU32(getRequiredChildElement(block, "Stride"));
            if (stride % 8 != 0) throwStatusCode(kErrorBitfileUnsupported);
            // 64-bit sizes: a block of 4 GiB or more must not wrap to nothing.
            const uint64_t size = uint64_t{stride / 8} * elements;
            if (size > uint64_t{kMaxUnits} * 8) throwStatusCode(kErrorBitfileUnsupported);
            const uint64_t units = ((size + kUnitRounding - 1) / kUnitRounding) * kUnitRounding / 8;
            if (layout.entryCount + units > kMaxUnits) break;
            HmbMemoryBlock& entry = layout.blocks[name];
            entry.fixedAddr = 0;
            entry.baggage = -1;
            entry.offset = static_cast<uint32_t>(offset);
            entry.size = static_cast<uint32_t>(size);
            offset += size;
            layout.entryCount += static_cast<uint32_t>(units);
        }
        if (layout.blocks.size() > kMaxBlocks) throwStatusCode(kErrorBitfileUnsupported);
        layout.signature = FpgaSignature::fromText(signatureText);
        if (const XmlNode* fixedList = findChildElement(hmb, "FixedMemoryBlockList")) {
            for (const XmlNode* block = findChildElement(fixedList, "MemoryBlock");
                 block != nullptr; block = block->next_sibling("MemoryBlock")) {
                const std::string name = xmlNodeText(getRequiredChildElement(block, "Name"));
                const uint64_t fixedAddr =
                    xmlNodeToU64(getRequiredChildElement(block, "FixedAddr"));
                const XmlNode* baggage = findChildElement(block, "Baggage");
                HmbMemoryBlock& entry = layout.blocks[name];
                entry.fixedAddr = fixedAddr;
                entry.baggage =
                    baggage ? static_cast<int8_t>(xmlNodeToI32(baggage) & 0xFF) : int8_t{-1};
            }
        }
        haveLayout = true;
    }
    // A layout is installed whole: the window name of an earlier image does
    // not stay beside new blocks.
    std::string windowName = haveLayout ? std::string() : windowName_;
    if (const XmlNode* llb = findChildElement(targetData, "LLB")) {
        if (const XmlNode* list = findChildElement(llb, "MemoryBlockList")) {
            for (const XmlNode* block = findChildElement(list, "MemoryBlock"); block != nullptr;
                 block = block->next_sibling("MemoryBlock")) {
                const std::string name = xmlNodeText(getRequiredChildElement(block, "Name"));
                const uint64_t elements = xmlNodeToU32(getRequiredChildElement(block, "Elements"));
                const uint64_t stride = xmlNodeToU32(getRequiredChildElement(block, "Stride"));
                if ((elements * stride) / 8 != kHmbWindow1MSize)
                    throwStatusCode(kErrorBitfileUnsupported);
                windowName = name;
            }
        }
    }
    // Another image's layout is held (an image with host memory buffers was
    // refused above): it stays whole, window name included, and answers.
    if (signature_ && !haveLayout) return entryCount_ > 0;
    if (haveLayout) {
        blocks_ = std::move(layout.blocks);
        entryCount_ = layout.entryCount;
        signature_ = layout.signature;
    }
    windowName_ = std::move(windowName);
    return entryCount_ > 0;
}

void HMBVirtualMemoryManager::open() {
    Lock lock(mutex_);
    if (openCount_ == 0xFFFFFFFF) throwStatusCode(kErrorCountSaturated);
    if (openCount_ == 0) firstOpen();
    ++openCount_;
}

void HMBVirtualMemoryManager::firstOpen() {
    if (entryCount_ == 0 || regionAddress_ != 0) return;
    auto deviceFile = std::dynamic_pointer_cast<sdihal::nQVAPAL000::tDeviceInterfaceProxy>(proxy_);
    if (!deviceFile) throwStatusCode(qverr::qvapalerr_resourceNotInitialized);
    nQVAPALS100::tStatus status;
    sdihal::nQVAPAL000::tMappedRegion mapping(deviceFile, kHmbRegion, uint64_t{entryCount_} * 8,
                                              sdihal::nQVAPAL000::kMapReadWrite, status);
    qverr::throwIfTStatusError(status);
    regionAddress_ = reinterpret_cast<uint64_t>(mapping.address());
    regionMapping_ = std::move(mapping);
    try {
        uint8_t index = 0;
        for (const auto& [name, block] : blocks_) {
            if (block.fixedAddr == 0) continue;
            uint8_t request[16] = {};
            request[0] = ++index;
            request[1] = static_cast<uint8_t>(block.baggage);
            std::memcpy(request + 8, &block.fixedAddr, 8);
            nQVAPALS100::tStatus requestStatus;
            proxy_->control(0, 3, reinterpret_cast<uint64_t>(request), sizeof request, 0, 0,
                            requestStatus);
            qverr::throwIfTStatusError(requestStatus);
        }
    } catch (...) {
        // Left mapped, the next open would find the region and never
        // announce the fixed blocks: undo the mapping.
        regionMapping_.reset();
        regionAddress_ = 0;
        throw;
    }
}

void HMBVirtualMemoryManager::close() {
    Lock lock(mutex_);
    if (openCount_ == 0) throwStatusCode(kErrorBusy);
    if (--openCount_ == 0) releaseRegion();
}

void HMBVirtualMemoryManager::releaseRegion() {
    if (entryCount_ == 0) return;
    if (!regionMapping_)
        trace::log(trace::kLevelException, TRACE_LOCATION(),
                   "close called without successful open");
    blocks_.clear();
    entryCount_ = 0;
    regionMapping_.reset();
    regionAddress_ = 0;
    signature_.reset();
}

void HMBVirtualMemoryManager::acquireWindow(Window& window) {
    if (!window.mapping) {
        auto deviceFile =
            std::dynamic_pointer_cast<sdihal::nQVAPAL000::tDeviceInterfaceProxy>(proxy_);
        if (!deviceFile) throwStatusCode(qverr::qvapalerr_resourceNotInitialized);
        nQVAPALS100::tStatus status;
        sdihal::nQVAPAL000::tMappedRegion mapping(deviceFile, window.region, window.length,
                                                  sdihal::nQVAPAL000::kMapReadWrite, status);
        qverr::throwIfTStatusError(status);
        window.mapping = std::move(mapping);
    }
    ++window.uses;
}

void HMBVirtualMemoryManager::releaseWindow(Window& window) {
    if (window.uses == 0) throwStatusCode(kErrorBusy);
    if (--window.uses != 0) return;
    if (!window.mapping) throwStatusCode(kErrorNoMapping);
    window.mapping.reset();
}

HmbHandle HMBVirtualMemoryManager::lease(void (*release)(void*)) {
    return HmbHandle{new HmbLease{shared_from_this()}, release};
}

void HMBVirtualMemoryManager::lookUpBlock(const char* name, uint64_t* size, uint64_t* address) {
    auto found = blocks_.find(name);
    if (found == blocks_.end()) throwStatusCode(qverr::qvapalerr_resourceNotFound);
    if (found->second.fixedAddr != 0) throwStatusCode(qverr::qvapalerr_invalidParameter);
    *size = found->second.size;
    *address = regionAddress_ + found->second.offset;
}

void HMBVirtualMemoryManager::attachBlock(const char* name, uint64_t* size, uint64_t* address,
                                          HmbHandle* out) {
    Lock lock(mutex_);
    if (regionAddress_ == 0) throwStatusCode(kErrorBusy);
    if (name == nullptr || size == nullptr || address == nullptr || out == nullptr) {
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    lookUpBlock(name, size, address);
    open();
    *out = lease(releaseRegionLease);
}

void HMBVirtualMemoryManager::openWindows(const char* name, uint64_t* size1M, uint64_t* address1M,
                                          HmbHandle* lease1M, uint64_t* size4k, uint64_t* address4k,
                                          HmbHandle* lease4k) {
    if (name == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
    Lock lock(mutex_);
    if (windowName_ != name) throwStatusCode(qverr::qvapalerr_resourceNotFound);
    acquireWindow(window4k_);
    try {
        acquireWindow(window1M_);
    } catch (...) {
        // The 4 KiB window's use must not outlive the failed pair.
        releaseWindow(window4k_);
        throw;
    }
    *size1M = kHmbWindow1MSize;
    *size4k = kHmbWindow4kSize;
    *address1M = reinterpret_cast<uint64_t>(window1M_.mapping.address());
    *address4k = reinterpret_cast<uint64_t>(window4k_.mapping.address());
    *lease1M = lease(releaseWindow1MLease);
    *lease4k = lease(releaseWindow4kLease);
}

void HMBVirtualMemoryManager::request(uint32_t operation, const void* input, uint64_t inSize,
                                      void* output, uint64_t outSize, bool sessionFlag) {
    if (sessionFlag) throwStatusCode(kErrorSessionRestricted);
    switch (operation) {
        case 2: {
            if (outSize != 16 || output == nullptr)
                throwStatusCode(qverr::qvapalerr_invalidParameter);
            std::memset(output, 0, 16);
            if (inSize != 8 || input == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
            Lock lock(mutex_);
            if (regionAddress_ == 0) throwStatusCode(kErrorBusy);
            const char* name = readName(input);
            if (name == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
            uint64_t size = 0;
            uint64_t address = 0;
            lookUpBlock(name, &size, &address);
            writeU64(output, 0, size);
            writeU64(output, 1, address);
            return;
        }
        case 3: {
            Lock lock(mutex_);
            nQVAPALS100::tStatus status;
            proxy_->control(0, 3, reinterpret_cast<uint64_t>(input), inSize,
                            reinterpret_cast<uint64_t>(output), outSize, status);
            qverr::throwIfTStatusError(status);
            return;
        }
        case 4: {
            if (outSize != 16 || output == nullptr)
                throwStatusCode(qverr::qvapalerr_invalidParameter);
            open();
            HmbHandle handle = lease(releaseRegionLease);
            writeU64(output, 0, reinterpret_cast<uint64_t>(handle.context));
            writeU64(output, 1, reinterpret_cast<uint64_t>(handle.release));
            return;
        }
        case 5: {
            if (outSize != 64 || output == nullptr)
                throwStatusCode(qverr::qvapalerr_invalidParameter);
            std::memset(output, 0, 64);
            if (inSize != 8 || input == nullptr) throwStatusCode(qverr::qvapalerr_invalidParameter);
            uint64_t size1M = 0, size4k = 0, address1M = 0, address4k = 0;
            HmbHandle lease1M, lease4k;
            openWindows(readName(input), &size1M, &address1M, &lease1M, &size4k, &address4k,
                        &lease4k);
            const uint64_t record[8] = {size1M,
                                        size4k,
                                        address1M,
                                        address4k,
                                        reinterpret_cast<uint64_t>(lease1M.context),
                                        reinterpret_cast<uint64_t>(lease4k.context),
                                        reinterpret_cast<uint64_t>(lease1M.release),
                                        reinterpret_cast<uint64_t>(lease4k.release)};
            std::memcpy(output, record, sizeof record);
            return;
        }
        default:
            throwStatusCode(kErrorNotSupported);
    }
}

uint32_t HMBVirtualMemoryManager::openCount() const {
    Lock lock(mutex_);
    return openCount_;
}
uint32_t HMBVirtualMemoryManager::entryCount() const {
    Lock lock(mutex_);
    return entryCount_;
}
uint64_t HMBVirtualMemoryManager::regionAddress() const {
    Lock lock(mutex_);
    return regionAddress_;
}
bool HMBVirtualMemoryManager::window4kMapped() const {
    Lock lock(mutex_);
    return static_cast<bool>(window4k_.mapping);
}
bool HMBVirtualMemoryManager::window1MMapped() const {
    Lock lock(mutex_);
    return static_cast<bool>(window1M_.mapping);
}
std::map<std::string, HmbMemoryBlock> HMBVirtualMemoryManager::blocks() const {
    Lock lock(mutex_);
    return blocks_;
}
std::string HMBVirtualMemoryManager::windowName() const {
    Lock lock(mutex_);
    return windowName_;
}
uint32_t HMBVirtualMemoryManager::parseCount() const {
    Lock lock(mutex_);
    return parseCount_;
}

// The release functions live beside the manager so they can reach its
// private release operations.
void hmbReleaseLease(void* context, int which) noexcept {
    auto* lease = static_cast<HmbLease*>(context);
    if (lease == nullptr) return;
    try {
        lease->manager->releaseLease(which);
    } catch (...) {
    }
    delete lease;
}

void HMBVirtualMemoryManager::releaseLease(int which) {
    if (which == 0) {
        close();
        return;
    }
    Lock lock(mutex_);
    releaseWindow(which == 1 ? window4k_ : window1M_);
}

namespace {
void releaseRegionLease(void* context) {
    hmbReleaseLease(context, 0);
}
void releaseWindow4kLease(void* context) {
    hmbReleaseLease(context, 1);
}
void releaseWindow1MLease(void* context) {
    hmbReleaseLease(context, 2);
}
}  // namespace

}  // namespace qvzek
