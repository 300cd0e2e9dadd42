// Owner of a device session's FPGA session: opens it on the FPGA image named
// by the session parameters (a bitfile path, or a bitfile library that hands
// out the bitfile contents) and closes it when destroyed. A session opened
// for the Korvex run-time goes through libQvFpgaKx.so when the process has
// it, else through libQvFpga.so.13 like every other.
#pragma once

#include <cstdint>

namespace qv3377hal {

// The two ways of naming the FPGA image.
struct BitfilePath {
    const char* path;
};
struct BitfileLibrary {
    const char* path;  // a library exporting getBitfileContents
};

class AutoFpgaSession {
public:
    // Codes of the bitfile-library form.
    static constexpr int32_t kNoBitfileContents = -380119;

    // Both throw qverr::Exception on failure. A warning of the open keeps
    // the session; warning() reports it.
    AutoFpgaSession(const char* resourceName, BitfilePath bitfile, bool calledFromKorvex);
    AutoFpgaSession(const char* resourceName, BitfileLibrary bitfile, bool calledFromKorvex);
    AutoFpgaSession(const AutoFpgaSession&) = delete;
    AutoFpgaSession& operator=(const AutoFpgaSession&) = delete;
    // Closes the session (result ignored) and unloads the bitfile library.
    ~AutoFpgaSession();

    uint32_t getSession() const { return session_; }
    // The positive code the open reported, or 0.
    int32_t warning() const { return warning_; }

private:
    void openFromLibrary(const char* resourceName, const char* libraryPath);
    void unloadLibrary();

    uint32_t session_ = 0;
    bool calledFromKorvex_ = false;
    void* bitfileDll_ = nullptr;
    int32_t warning_ = 0;
};

}  // namespace qv3377hal
