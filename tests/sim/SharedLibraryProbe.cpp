// Loads the shared library in a process without a simulator and tells what
// its simulator hook was bound to: "unbound" is how it runs on hardware.
#include <cstdio>

#include "ResolvedSlot.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::printf("%s\n", dlerror());
        return 1;
    }
    const auto slot = resolvedSlot(library, "qv3377hal_simulatedSystemInterface");
    if (!slot) {
        std::printf("no reference\n");
    } else {
        std::printf("%s %s\n", slot->weakUndefined ? "weak" : "strong",
                    slot->target == nullptr ? "unbound" : "bound");
    }
    dlclose(library);
    return 0;
}
