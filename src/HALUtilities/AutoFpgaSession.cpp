#include "HALUtilities/AutoFpgaSession.h"

#include <cstdarg>
#include <string>

#include "HALUtilities/ErrorHandling.h"
#include "HALUtilities/mbsToUtf8.h"
#include "qvdynlib/qvdynlib.h"
#include "qverr/Exception.h"
#include "qverr/trace.h"
#include "qvisl/QvFpgaDll.h"

namespace qv3377hal {
namespace {

constexpr const char* kFile = "HALUtilities/AutoFpgaSession.cpp";

using OpenFunction = QvFpgaKx_OpenFunction;
using CloseFunction = QvFpgaKx_CloseFunction;

// The open/close pair of a session: one per process and variant.
struct OpenClosePair {
    OpenFunction open = &QvFpgaDll_Open;
    CloseFunction close = &QvFpgaDll_Close;
    qverr::Status status;
};

// The Korvex variant: libQvFpgaKx.so's pair when it loads and has both,
// else the default one. Loaded on first use; never unloaded.
const OpenClosePair& korvexPair() {
    static const OpenClosePair pair = [] {
        OpenClosePair p;
        void* library = qvdynlib_load(kQvFpgaKxLibrary, kQvdynlibDefaultFlags, p.status);
        void* open = qvdynlib_symbol(library, "QvFpgaKx_Open", p.status);
        void* close = qvdynlib_symbol(library, "QvFpgaKx_Close", p.status);
        if (!p.status.isError() && open != nullptr && close != nullptr) {
            p.open = reinterpret_cast<OpenFunction>(open);
            p.close = reinterpret_cast<CloseFunction>(close);
        }
        return p;
    }();
    return pair;
}

const OpenClosePair& pairFor(bool calledFromKorvex) {
    static const OpenClosePair defaults;
    return calledFromKorvex ? korvexPair() : defaults;
}

[[noreturn]] void fail(int32_t code, int64_t line, const char* constant) {
    throw qverr::Exception(code, qverr::SourceLocation{kFile, line, kComponent, constant});
}

// A converted text; a failed conversion is thrown from the converter's site.
std::string converted(const char* text) {
    static constexpr qverr::SourceLocation kConversion{"HALUtilities/mbsToUtf8.cpp", 99, kComponent,
                                                       "err"};
    std::string out;
    if (const int32_t err = utf8ToMbs(text, 0, out); err != 0)
        throw qverr::Exception(err, kConversion);
    return out;
}

void traceLine(int64_t line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void traceLine(int64_t line, const char* format, ...) {
    char text[trace::kLineSize];
    va_list args;
    va_start(args, format);
    trace::formatv(text, sizeof text, format, args);
    va_end(args);
    const trace::LogLocation location{kFile, line, "\n"};
    trace::log(trace::kLevelError, location, "%s", text);
}

}  // namespace

AutoFpgaSession::AutoFpgaSession(const char* resourceName, BitfilePath bitfile,
                                 bool calledFromKorvex)
    : calledFromKorvex_(calledFromKorvex) {
    const std::string resource = converted(resourceName);
    const std::string path = converted(bitfile.path);
    const int32_t result =
        pairFor(calledFromKorvex_)
            .open(path.c_str(), nullptr, resource.c_str(), qvisl::kOpenFromPath, &session_);
    // A warning leaves an open session: it is kept, and so is the warning.
    if (result < 0) fail(result, 113, "error");
    warning_ = result;
}

AutoFpgaSession::AutoFpgaSession(const char* resourceName, BitfileLibrary bitfile,
                                 bool calledFromKorvex)
    : calledFromKorvex_(calledFromKorvex) {
    try {
        openFromLibrary(resourceName, bitfile.path);
    } catch (...) {
        unloadLibrary();
        throw;
    }
}

void AutoFpgaSession::openFromLibrary(const char* resourceName, const char* libraryPath) {
    const char* shown = libraryPath ? libraryPath : "";
    const std::string path = converted(libraryPath);
    qverr::Status load;
    bitfileDll_ = qvdynlib_load(path.c_str(), kQvdynlibDefaultFlags, load);
    if (bitfileDll_ == nullptr) {
        traceLine(175, "Failed to open DLL file '%s'", shown);
        fail(load.isError() ? load.code : qverr::qvapalerr_invalidParameter, 177, "status.code");
    }
    using GetContents = void (*)(const char* resource, const char** contents);
    const auto getContents =
        reinterpret_cast<GetContents>(qvdynlib_symbol(bitfileDll_, "getBitfileContents", load));
    if (getContents == nullptr) {
        traceLine(187,
                  "Error %d : Failed to retrieve bitfile content retrieval function from the "
                  "opened DLL file '%s'",
                  load.code, shown);
        fail(load.code, 189, "status.code");
    }
    const char* contents = nullptr;
    getContents(converted(resourceName).c_str(), &contents);
    if (contents == nullptr) {
        traceLine(199,
                  "Error %d : Failed to retrieve bitfile content from the opened DLL file '%s'",
                  kNoBitfileContents, shown);
        fail(kNoBitfileContents, 201, "kNoBitfileContents");
    }
    const std::string resource = converted(resourceName);
    const int32_t result =
        pairFor(calledFromKorvex_)
            .open(contents, nullptr, resource.c_str(), qvisl::kOpenFromContents, &session_);
    if (result < 0) {
        traceLine(
            208,
            "Error %d : Failed to open AutoFpgaSession using bitfile contents from DLL file '%s'",
            result, shown);
        fail(result, 210, "error");
    }
    warning_ = result;
}

void AutoFpgaSession::unloadLibrary() {
    if (bitfileDll_ != nullptr) qvdynlib_close(bitfileDll_);
    bitfileDll_ = nullptr;
}

AutoFpgaSession::~AutoFpgaSession() {
    pairFor(calledFromKorvex_).close(session_, qvisl::kCloseAttribute);
    unloadLibrary();
}

}  // namespace qv3377hal
