#include "module/VisaBlock.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

namespace qvsim {

namespace {

std::atomic<int>& sharedCount() {
    void* page = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) throw std::bad_alloc();
    return *new (page) std::atomic<int>(0);
}

}  // namespace

VisaBlock::VisaBlock(GuardedDecoder& decoder, DeviceTree& tree, const std::string& driver)
    : attached(sharedCount()) {
    for (uint32_t i = 0; i < kSpaceCount; ++i) {
        spaces[i].base = 0xF0000000ull + (uint64_t{i} << 20);
        memory_[i].assign(kSpaceSize, 0);
    }
    publishIdentity(tree, driver, kBusNumber, kDeviceNumber, kFunctionNumber);
    tree.setDeviceProperty(driver, "manufacturerName", kManufacturerName);
    tree.setDeviceProperty(driver, "modelName", kModelName);

    decoder.on("visapxipluginapalcodegen.openSession", [this](const DecodedRequest&, Reply&) {
        ++attached;
        return 0;
    });
    decoder.on("visapxipluginapalcodegen.closeSession", [this](const DecodedRequest&, Reply&) {
        --attached;
        return 0;
    });
    decoder.on("visapxipluginapalcodegen.getSpaceInfo",
               [this](const DecodedRequest& request, Reply& reply) {
                   const auto space = static_cast<uint64_t>(request.value("space"));
                   if (space >= kSpaceCount) {
                       reply.status(kOutOfSpace);
                       return 0;
                   }
                   reply.set("width", spaces[space].width);
                   reply.set("base", spaces[space].base);
                   reply.set("size", spaces[space].size);
                   return 0;
               });
    // The driver moves the bytes to or from the caller's buffer in place.
    auto transfer = [this](bool toCaller) {
        return [this, toCaller](const DecodedRequest& request, Reply& reply) {
            const auto count = static_cast<uint64_t>(request.value("count"));
            auto* buffer =
                reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(request.value("buffer")));
            std::lock_guard lock(mutex_);
            uint8_t* memory = at(static_cast<uint32_t>(request.value("space")),
                                 static_cast<uint64_t>(request.value("offset")), count);
            if (memory == nullptr) {
                reply.status(kOutOfSpace);
            } else if (toCaller) {
                std::memcpy(buffer, memory, count);
            } else {
                std::memcpy(memory, buffer, count);
            }
            return 0;
        };
    };
    decoder.on("visapxipluginapalcodegen.blockRead", transfer(true));
    decoder.on("visapxipluginapalcodegen.blockWrite", transfer(false));
}

VisaBlock::~VisaBlock() {
    munmap(&attached, sizeof attached);
}

void VisaBlock::publishIdentity(DeviceTree& tree, const std::string& driver, uint32_t bus,
                                uint32_t device, uint32_t function) {
    setBusNumber(tree, driver, "pciBusNumber", bus);
    setBusNumber(tree, driver, "pciDeviceNumber", device);
    setBusNumber(tree, driver, "pciFunctionNumber", function);
    setBusNumber(tree, driver, "pciVendorID", kVendorId);
    setBusNumber(tree, driver, "pciDeviceID", kDeviceId);
    setBusNumber(tree, driver, "pciSubsystemVendorID", kSubsystemVendorId);
    setBusNumber(tree, driver, "pciSubsystemID", kSubsystemId);
}

void VisaBlock::setBusNumber(DeviceTree& tree, const std::string& driver, const char* name,
                             uint32_t value) {
    tree.setBusProperty(driver, name,
                        std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

uint8_t* VisaBlock::at(uint32_t space, uint64_t offset, uint64_t count) {
    if (space >= kSpaceCount || offset > spaces[space].size ||
        count > spaces[space].size - offset || spaces[space].size > memory_[space].size()) {
        return nullptr;
    }
    return memory_[space].data() + offset;
}

std::vector<uint8_t> VisaBlock::read(uint32_t space, uint64_t offset, uint64_t count) const {
    std::lock_guard lock(mutex_);
    const uint8_t* memory = const_cast<VisaBlock*>(this)->at(space, offset, count);
    return memory != nullptr ? std::vector<uint8_t>(memory, memory + count)
                             : std::vector<uint8_t>();
}

void VisaBlock::write(uint32_t space, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    if (uint8_t* memory = at(space, offset, bytes.size()))
        std::memcpy(memory, bytes.data(), bytes.size());
}

}  // namespace qvsim
