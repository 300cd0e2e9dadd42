// What the fuzz targets over the configuration file share: two present
// devices and one scratch file per process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "qverr/trace.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvfuzz {

class TwoDevices : public qvjsonconfig::DeviceIteratorInterface {
public:
    TwoDevices(std::string first, std::string second)
        : first_(std::move(first)), second_(std::move(second)) {}
    void getBusStringProperty(const char*, std::string& out) override { out.clear(); }
    void getBusU32Property(const char*, uint32_t& out) override { out = 0; }
    void getDeviceStringProperty(const char*, std::string& out) override { out.clear(); }
    void getDeviceU32Property(const char*, uint32_t& out) override { out = 0; }
    std::string getInterfacePath() override { return ""; }
    std::string getPersistentToken() override { return index_ == 0 ? first_ : second_; }
    std::string getDriverName() override { return ""; }
    DeviceIteratorInterface& next() override {
        ++index_;
        return *this;
    }
    bool isEnd() override { return index_ >= 2; }

private:
    std::string first_;
    std::string second_;
    int index_ = 0;
};

// A file made once per process, in memory when /dev/shm is writable.
inline std::string scratchFile() {
    static const std::string path = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/qvfuzzconfigXXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) abort();
        close(fd);
        // Failures are expected by the thousand; keep them out of the log.
        trace::settings().threshold = UINT32_MAX;
        return pattern;
    }();
    return path;
}

}  // namespace qvfuzz
