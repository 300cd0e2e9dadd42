// The flash manager over the driver's flash requests.
#include <gtest/gtest.h>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/FlashManager.h"
#include "support/TempDir.h"

namespace {

using qvtest::thrownStatus;

class Flash : public qvtest::SimulatedFpga {
protected:
    qvzek::FlashManager flash{
        std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_flash>(proxy, proxy.get())};
};

TEST_F(Flash, WritesAndClearsTheImageAndSetsTheValue) {
    EXPECT_EQ(flash.getFlashVersion(), 7u);
    EXPECT_TRUE(decoder.requests().empty()) << "the version is no question for the driver";
    const std::vector<uint8_t> image = {1, 2, 3, 250};
    flash.writeImage(image, "ignored");
    EXPECT_EQ(device.flashImage(), image);
    EXPECT_EQ(calls("atomiczekddk_flash.flashTransfer").at(0).value("length"), 4);
    flash.clearImage();
    EXPECT_TRUE(device.flashImage().empty());
    EXPECT_EQ(calls("atomiczekddk_flash.flashCommand35").size(), 1u);
    // An empty image still goes to the driver, with length 0.
    flash.writeImage({}, nullptr);
    EXPECT_EQ(calls("atomiczekddk_flash.flashTransfer").at(1).value("length"), 0);
    flash.setFlashValue(0x1234);
    EXPECT_EQ(device.flashValue(), 0x1234u);
    EXPECT_EQ(flash.getFlashValue(), 0x1234u);
}

TEST_F(Flash, ADriverWithoutTheValueIsNotSupportedOtherErrorsPassUnchanged) {
    for (int32_t code : {qvzek::kErrorFlashInfoAbsent, qvzek::kErrorFlashInfoUnavailable, -63172}) {
        device.failNext("atomiczekddk_flash.getFlashInfo", code);
        EXPECT_EQ(thrownStatus([&] { flash.getFlashValue(); }).first,
                  code == -63172 ? code : qvzek::kErrorNotSupported)
            << code;
    }
    device.failNext("atomiczekddk_flash.getFlashInfo", 5);  // a warning
    EXPECT_NO_THROW(flash.getFlashValue());
    device.failNext("atomiczekddk_flash.flashTransfer", -61000);
    EXPECT_EQ(thrownStatus([&] { flash.writeImage({1}, nullptr); }).first, -61000);
}

}  // namespace
