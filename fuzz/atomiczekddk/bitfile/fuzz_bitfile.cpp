// Feeds arbitrary text to the bitfile parser and the module check. A text is
// either refused with a bitfile status, or its printed texts parse again to
// the same channels and registers and its images serialize.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "AtomicZEKHALImpl/BitfileQrx.h"
#include "atomiczekddk/bitfile/CompilationResultsInfo.h"
#include "atomiczekddk/bitfile/SerializedBitfile.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

bool isBitfileCode(int32_t code) {
    return code == qvzek::kErrorBitfileContent || code == qvzek::kErrorBitfileUnsupported ||
           code == SDISharedErrors::kErrorIncompatibleBitfile;
}

void checkPrintedTexts(const qvzek::Bitfile& bitfile) {
    try {
        const qvzek::CompilationResultsInfo again(bitfile.getChannelDescriptionText());
        const auto fifos = again.getFifos();
        check(fifos.size() == bitfile.getFifos().size());
        for (size_t i = 0; i < fifos.size(); ++i) {
            check(fifos[i].getName() == bitfile.getFifos()[i].getName());
            check(fifos[i].baseAddress() == bitfile.getFifos()[i].baseAddress());
        }
    } catch (const qverr::Exception& e) {
        // Mixed content is indented when printed and may read differently.
        check(isBitfileCode(e.status.code));
    }
    try {
        const qvzek::Bitfile stripped(bitfile.getStrippedBitfileText(), false, false, false);
        check(stripped.getFifos().size() == bitfile.getFifos().size());
        check(stripped.getSignature() == bitfile.getSignature());
    } catch (const qverr::Exception& e) {
        check(isBitfileCode(e.status.code));
    }
    try {
        const qvzek::SerializedBitfile images(bitfile, 0x14000000);
        check(images.commonDataSize() == qvzek::kCommonDataSize);
        check(images.fifoDataSize() == qvzek::kFifoRecordSize * bitfile.getFifos().size());
    } catch (const qverr::Exception& e) {
        check(e.status.code == qverr::qvapalerr_invalidParameter);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const atomiczekhal::BitfileQrx bitfile(text);
        checkPrintedTexts(bitfile);
    } catch (const qverr::Exception& e) {
        check(isBitfileCode(e.status.code));
    }
    return 0;
}
