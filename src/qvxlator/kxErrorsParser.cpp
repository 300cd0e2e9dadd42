#include "qvxlator/kxErrorsParser.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "qverr/DetailWriter.h"
#include "qvxlator/DirectoryWalker.h"
#include "qvxlator/StatusDetail.h"

namespace kxErrorsParser {

namespace {

// Lines are read in chunks of this size: a longer line arrives as several.
constexpr int kLineBufferSize = 1024;

bool startsWith(const char* line, const char* tag) {
    return strncasecmp(line, tag, std::strlen(tag)) == 0;
}

void raiseNotFound(qverr::Status& status, const char* debug) {
    qvxlator::raiseWithDebug(status, qverr::qvapalerr_resourceNotFound,
                             QVERR_LOCATION("qv3377hal", "qvapalerr_resourceNotFound"),
                             "qvxlator_debug", "debug", debug);
}

// Reads the code of an opening line the way "%i" would (sign, 0x, leading
// 0 for octal) but into 64 bits, keeping the low 32: the hexadecimal two's
// complement of a negative status names the same code as its decimal text.
// Returns the conversion count a scanf would report (1, 0, or -1 when only
// blanks follow). A number beyond 64 bits is read but names no code
// (`named` false), so its block is passed over like any other.
int readCode(const char* text, uint32_t& code, bool& named) {
    const char* start = text;
    while (*start == ' ' || (*start >= '\t' && *start <= '\r')) {
        ++start;
    }
    if (*start == '\0') {
        return -1;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(start, &end, 0);
    if (end == start) {
        return 0;
    }
    named = errno != ERANGE;
    code = static_cast<uint32_t>(value);
    return 1;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

void stripLineEnds(std::string& text) {
    const size_t last = text.find_last_not_of("\r\n");
    if (last != std::string::npos) {
        text.erase(last + 1);
    }
}

}  // namespace

void parseExplanationFile(const char* path, uint32_t code, std::string& result,
                          qverr::Status& status) {
    result.clear();
    if (status.isError()) {
        return;
    }
    std::unique_ptr<FILE, FileCloser> file(path ? std::fopen(path, "re") : nullptr);
    if (!file) {
        if (qvxlator::raise(status, qverr::qvapalerr_resourceNotFound,
                            QVERR_LOCATION("qv3377hal", "qvapalerr_resourceNotFound"))) {
            qverr::DetailWriter(status)
                .beginObject("qvxlator_debug")
                .add("debug", "Could not open status explanations file")
                .add("path", path)
                .endObject();
        }
        return;
    }
    char line[kLineBufferSize];
    auto readLine = [&]() { return std::fgets(line, sizeof line, file.get()) != nullptr; };

    if (!readLine() || !startsWith(line, "<?xml version=\"1.0\"")) {
        return;
    }
    if (!readLine() || !startsWith(line, "<qvdocument>")) {
        return;
    }
    bool found = false;
    while (!found && readLine()) {
        if (startsWith(line, "</qvdocument>")) {
            break;
        }
        if (startsWith(line, "<qverror code=\"")) {
            uint32_t blockCode = 0;
            bool named = false;
            const int converted = readCode(line + 15, blockCode, named);
            if (converted != 1) {
                if (qvxlator::raise(status, qverr::qvapalerr_resourceNotFound,
                                    QVERR_LOCATION("qv3377hal", "qvapalerr_resourceNotFound"))) {
                    qverr::DetailWriter(status)
                        .beginObject("qvxlator_debug")
                        .add("debug", "Could not successfully read the status data!")
                        .add("sscanf", static_cast<int32_t>(converted))
                        .endObject();
                }
                break;
            }
            const bool wanted = named && blockCode == code;
            bool closed = false;
            while (readLine()) {
                if (startsWith(line, "</qverror>")) {
                    closed = true;
                    break;
                }
                if (wanted) {
                    result.append(line);
                }
            }
            if (!closed) {
                raiseNotFound(status,
                              "Bad explanation file. Could not find the end of the status code "
                              "definition !");
                break;
            }
            found = wanted;
        } else if (startsWith(line, "<qvcomment>")) {
            while (!startsWith(line, "</qvcomment>") && readLine()) {
            }
        } else if (line[0] == '\0') {
            raiseNotFound(status, "Bad explanation file. Unidentified section heading !");
            break;
        }
    }
    if (found) {
        stripLineEnds(result);
    }
    if (status.isError()) {
        result.clear();
    }
}

void searchDirectory(const char* dirPath, uint32_t code, std::string& result,
                     qverr::Status& status) {
    result.clear();
    if (status.isError()) {
        return;
    }
    std::unique_ptr<qvxlator::DirectoryWalker> walker(new (std::nothrow) qvxlator::DirectoryWalker);
    std::unique_ptr<qvxlator::FileEntry> file(new (std::nothrow) qvxlator::FileEntry);
    if (!walker || !file) {
        qvxlator::raiseWithDebug(status, qverr::qvapalerr_memoryFull,
                                 QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"),
                                 "qvxlator_debug", "qvxlator", "failed to allocate memory");
        return;
    }
    auto raiseWalkerError = [&](const char* key, const char* debug) {
        const int error = errno;
        if (qvxlator::raise(status, qverr::qvapalerr_resourceNotFound,
                            QVERR_LOCATION("qv3377hal", "qvapalerr_resourceNotFound"))) {
            qverr::DetailWriter detail(status);
            detail.errnoRecord(error);
            detail.beginObject("qvxlator_debug").add(key, debug).add("path", dirPath).endObject();
        }
    };
    if (qvxlator::DirectoryWalker::open(walker.get(), dirPath) != 0) {
        raiseWalkerError("debug", "open dir failed");
        return;
    }
    while (walker->hasNext) {
        if (qvxlator::DirectoryWalker::readFile(walker.get(), file.get()) != 0) {
            raiseWalkerError("qvxlator", "get file info failed");
            break;
        }
        if (file->isReg && (std::strcmp(file->extension, "txt") == 0 ||
                            std::strcmp(file->extension, "err") == 0)) {
            parseExplanationFile(file->path, code, result, status);
            if (status.isError() || !result.empty()) {
                break;
            }
        }
        qvxlator::DirectoryWalker::next(walker.get());
    }
    qvxlator::DirectoryWalker::close(walker.get());
}

void searchErrorsDirectory(const char* dirPath, uint32_t code, uint32_t lang, std::string& result,
                           qverr::Status& status) {
    result.clear();
    if (status.isError()) {
        return;
    }
    const char* language = languageDirectory(lang, status);
    if (status.isError()) {
        return;
    }
    const std::string base = dirPath ? dirPath : "";
    searchDirectory((base + "/" + language).c_str(), code, result, status);
    if (!status.isError() && result.empty()) {
        searchDirectory(base.c_str(), code, result, status);
    }
}

const char* languageDirectory(uint32_t lang, qverr::Status& status) {
    static constexpr const char* kNames[] = {"English",  "French", "German",
                                             "Japanese", "Korean", "ChineseS"};
    if (lang < std::size(kNames)) {
        return kNames[lang];
    }
    if (qvxlator::raise(status, qverr::qvapalerr_invalidParameter,
                        QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"))) {
        qverr::DetailWriter(status)
            .beginObject("qvxlator_debug")
            .add("kxerrorsparser", "invalid language")
            .add("lang", lang)
            .endObject();
    }
    return "";
}

}  // namespace kxErrorsParser
