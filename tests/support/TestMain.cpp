// The main of every test program. A run whose cases all skipped, none
// passing or failing, exits with 77, the code CTest counts as a skip: a
// case that cannot run here shows as skipped, while whatever ends the
// process otherwise after the skip (a destructor's exit, a sanitizer's
// report at exit) still fails it.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    if (result == 0 && run.skipped_test_count() > 0 && run.successful_test_count() == 0) return 77;
    return result;
}
