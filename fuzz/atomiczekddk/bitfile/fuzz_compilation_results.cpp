// Feeds arbitrary text to the compilation-results reader (the printed text
// the peer-to-peer session parses again): refused with a bitfile status, or
// every channel it gives is placed and numbered in order.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "atomiczekddk/bitfile/CompilationResultsInfo.h"
#include "qverr/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const qvzek::CompilationResultsInfo info(text);
        const auto fifos = info.getFifos();
        for (size_t i = 0; i < fifos.size(); ++i) {
            if (fifos[i].number() != i || !fifos[i].isResolved()) abort();
        }
        (void)info.getDram2DPBaseAddress(0x15000);
    } catch (const qverr::Exception& e) {
        if (e.status.code != qvzek::kErrorBitfileContent &&
            e.status.code != qvzek::kErrorBitfileUnsupported) {
            abort();
        }
    }
    return 0;
}
