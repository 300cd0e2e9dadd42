#include "atomiczekddk/user/FlashManager.h"

#include <limits>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Exception.h"

namespace qvzek {

void FlashManager::writeImage(const std::vector<uint8_t>& image, const char*) {
    if (image.size() > std::numeric_limits<uint32_t>::max())
        throwStatusCode(qverr::qvapalerr_invalidParameter);
    nQVAPALS100::tStatus status;
    flash_->flashTransfer(reinterpret_cast<uintptr_t>(image.data()),
                          static_cast<uint32_t>(image.size()), status);
    qverr::throwIfTStatusError(status);
}

void FlashManager::setFlashValue(uint32_t value) {
    nQVAPALS100::tStatus status;
    flash_->flashCommand33(value, status);
    qverr::throwIfTStatusError(status);
}

uint32_t FlashManager::getFlashValue() {
    nQVAPALS100::tStatus status;
    const uint32_t value = flash_->getFlashInfo(status);
    if (status.code == kErrorFlashInfoUnavailable || status.code == kErrorFlashInfoAbsent)
        throwStatusCode(kErrorNotSupported);
    qverr::throwIfTStatusError(status);
    return value;
}

void FlashManager::clearImage() {
    nQVAPALS100::tStatus status;
    flash_->flashCommand35(status);
    qverr::throwIfTStatusError(status);
}

}  // namespace qvzek
