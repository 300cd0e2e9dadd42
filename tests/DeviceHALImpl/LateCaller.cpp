// A plug-in of a host, loaded after the library, whose destructor runs
// after the library's own at exit. It calls an export with a handle the
// library never handed out, as a plug-in's clean-up may; or it waits while
// a host thread goes on calling (counting its calls), so that those calls
// surely come after the library's destructors.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

using GetTriggerId = int32_t (*)(uint64_t, const char*, int32_t*);
GetTriggerId lateCall = nullptr;
const std::atomic<uint64_t>* hostCalls = nullptr;

__attribute__((destructor)) void atUnload() {
    int32_t id = 0;
    if (lateCall != nullptr) lateCall(0x5a5a5a5a5a5a5a50ull, "", &id);
    if (hostCalls == nullptr) return;
    // A host thread stuck in the library fails the exit: a hang guard, not
    // a measure of speed.
    const uint64_t before = hostCalls->load();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (hostCalls->load() < before + 1000) {
        if (std::chrono::steady_clock::now() > giveUp) _exit(4);
        std::this_thread::yield();
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void qvtest_callAtUnload(GetTriggerId export_) {
    lateCall = export_;
}

extern "C" __attribute__((visibility("default"))) void qvtest_awaitCallsAtUnload(
    const std::atomic<uint64_t>* calls) {
    hostCalls = calls;
}
