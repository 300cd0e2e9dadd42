#include <gtest/gtest.h>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "support/TempDir.h"

namespace {

TEST(CommonUtilities, ABareCodeIsThrownAsIs) {
    EXPECT_EQ(qvtest::thrownStatus([] { qvzek::throwStatusCode(qvzek::kErrorFpgaNotRunning); }),
              std::make_pair(qvzek::kErrorFpgaNotRunning, std::string()));
    // Only the low 32 bits of a wide code are kept.
    EXPECT_EQ(qvtest::thrownStatus([] { qvzek::throwStatus(0x1FFFFFFFFLL); }).first, -1);
}

// The buffer rule of texts is checked through the attribute handlers.
TEST(CommonUtilities, WholeFilesAreReadIntoTheCallersSlot) {
    qvtest::TempDir dir;
    std::unique_ptr<char[]> slot;
    const char* text = "<Bitfile/>";
    EXPECT_EQ(qvzek::readWholeFile(false, text, slot, qvzek::kErrorBitfileUnreadable), text);
    EXPECT_EQ(slot, nullptr);

    qvtest::writeFile(dir / "empty", "");
    const char* empty =
        qvzek::readWholeFile(true, (dir / "empty").c_str(), slot, qvzek::kErrorBitfileUnreadable);
    EXPECT_EQ(empty, slot.get());
    EXPECT_STREQ(empty, "");
    qvtest::writeFile(dir / "file", "contents");
    EXPECT_STREQ(
        qvzek::readWholeFile(true, (dir / "file").c_str(), slot, qvzek::kErrorBitfileUnreadable),
        "contents");

    EXPECT_EQ(qvtest::thrownStatus([&] {
                  qvzek::readWholeFile(true, (dir / "absent").c_str(), slot,
                                       qvzek::kErrorBitfileUnreadable);
              }).first,
              qvzek::kErrorBitfileUnreadable);
    // A directory opens, but its size is no size to read.
    EXPECT_EQ(qvtest::thrownStatus([&] {
                  qvzek::readWholeFile(true, dir.path().c_str(), slot,
                                       qvzek::kErrorBitfileUnreadable);
              }).first,
              qvzek::kErrorBitfileUnreadable);
    EXPECT_STREQ(slot.get(), "contents");
}

}  // namespace
