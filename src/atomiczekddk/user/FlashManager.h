// The flash manager over the FPGA driver's flash requests.
#pragma once

#include <memory>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/IFlashManager.h"

namespace qvzek {

class FlashManager : public IFlashManager {
public:
    explicit FlashManager(std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_flash> flash)
        : flash_(std::move(flash)) {}
    FlashManager(const FlashManager&) = delete;
    FlashManager& operator=(const FlashManager&) = delete;

    // An image of 4 GiB or more cannot be described to the driver: -52005.
    void writeImage(const std::vector<uint8_t>& image, const char* unused) override;
    void setFlashValue(uint32_t value) override;
    // A driver without the value (-63170, -63171) gives -63193.
    uint32_t getFlashValue() override;
    // Always 7; asks nothing of the driver.
    uint32_t getFlashVersion() override { return 7; }
    void clearImage() override;

private:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_flash> flash_;
};

}  // namespace qvzek
