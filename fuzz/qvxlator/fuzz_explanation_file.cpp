// Explanation files of any content: the parser returns a text or a
// -52006 status, never more than the file holds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qvxlator/kxErrorsParser.h"

namespace {
const std::string& scratchFile() {
    static const std::string path = [] {
        std::string pattern = "/tmp/qvxlator_fuzzXXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) {
            close(fd);
        }
        return pattern;
    }();
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(scratchFile().c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    for (const uint32_t code : {1u, static_cast<uint32_t>(-52006)}) {
        qverr::Status status;
        std::string text;
        kxErrorsParser::parseExplanationFile(scratchFile().c_str(), code, text, status);
        if (text.size() > size || (status.code != 0 && status.code != -52006) ||
            (status.code != 0 && !text.empty())) {
            std::abort();
        }
    }
    return 0;
}
