// Terminal names and destination lists as a driver passes them: arbitrary
// bytes are qualified, folded and split without reading past their end, and
// every wanted destination is keyed by the fold of a qualified name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qvroco/RouteSetting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string qualified = rocout::qualifyTerminalName(text, "Dev1/ai/0");
    if (!qualified.empty() && qualified[0] != '/') std::abort();
    (void)rocout::foldTerminalName(text);

    // No library is needed to stage destinations.
    static rocout::RoCoSession session("libqvrocoapi-not-present.so.1");
    rocout::RouteSetting setting(session, "Dev1/ai/0");
    setting.setSource(text);
    setting.setDestinations(text);
    for (const auto& [key, name] : setting.destinations()) {
        if (name.empty() || key != rocout::foldTerminalName(name)) std::abort();
    }
    return 0;
}
