// The shipped libqv3377hal.so.1, loaded into a process that links the
// simulated driver, must bind its system-call seam to that simulator (and to
// nothing in a process without one), without any lookup at load time.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "ResolvedSlot.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/system/tSystemInterface.h"

namespace {

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string output;
    std::array<char, 256> buffer;
    while (pipe && fgets(buffer.data(), buffer.size(), pipe.get())) output += buffer.data();
    return output;
}

TEST(SharedLibrary, BindsItsSeamToTheSimulatorOfTheProcess) {
    const uint64_t lookupsBefore = qvsim::systemInterfaceLookups();
    void* library = dlopen(QV_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    // Loading runs none of the library's code that would look the seam up.
    EXPECT_EQ(qvsim::systemInterfaceLookups(), lookupsBefore);

    const auto slot = resolvedSlot(library, "qv3377hal_simulatedSystemInterface");
    ASSERT_TRUE(slot.has_value());
    EXPECT_TRUE(slot->weakUndefined);
    EXPECT_EQ(slot->target, reinterpret_cast<const void*>(&qv3377hal_simulatedSystemInterface));
    dlclose(library);
}

TEST(SharedLibrary, WithoutASimulatorTheSeamStaysUnbound) {
    EXPECT_EQ(run(std::string(QV_SHARED_LIBRARY_PROBE) + " " + QV_SHARED_LIBRARY),
              "weak unbound\n");
}

}  // namespace
