// A plug-in of a host, loaded after the library: its destructor still calls
// an export with a handle the library never handed out, as a plug-in's own
// clean-up may at exit, after the library's destructors have run.
#include <cstdint>

namespace {

using GetTriggerId = int32_t (*)(uint64_t, const char*, int32_t*);
GetTriggerId lateCall = nullptr;

__attribute__((destructor)) void callAtUnload() {
    int32_t id = 0;
    if (lateCall != nullptr) lateCall(0x5a5a5a5a5a5a5a50ull, "", &id);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void qvtest_callAtUnload(GetTriggerId export_) {
    lateCall = export_;
}
