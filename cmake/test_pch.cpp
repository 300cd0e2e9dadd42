// Carrier of the test framework's precompiled headers; never run.
#include <gtest/gtest.h>
