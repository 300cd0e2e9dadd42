// Loads arbitrary bytes as the configuration file, merges two present
// devices, and copies the result, as the plug-in does at every change. A
// file the store accepted must then be stable: loading it again with the
// same devices must not write it (every process that shares the file would
// otherwise rewrite it after each other's change, for ever).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "qverr/trace.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Configuration.h"

namespace {

class Devices : public qvjsonconfig::DeviceIteratorInterface {
public:
    void getBusStringProperty(const char*, std::string& out) override { out.clear(); }
    void getBusU32Property(const char*, uint32_t& out) override { out = 0; }
    void getDeviceStringProperty(const char*, std::string& out) override { out.clear(); }
    void getDeviceU32Property(const char*, uint32_t& out) override { out = 0; }
    std::string getInterfacePath() override { return ""; }
    std::string getPersistentToken() override { return index_ == 0 ? "PCI:a" : "PCI:A"; }
    std::string getDriverName() override { return ""; }
    DeviceIteratorInterface& next() override {
        ++index_;
        return *this;
    }
    bool isEnd() override { return index_ >= 2; }

private:
    int index_ = 0;
};

class Writes : public qvjsonconfig::ConfigurationObserverInterface {
public:
    void configurationWritten(qvjsonconfig::ConfigurationData&) override { ++count; }
    int count = 0;
};

class Aliases : public qvjsonconfig::AliasFactoryInterface {
public:
    std::string createDefaultAlias(qvjsonconfig::DeviceIteratorInterface*,
                                   qvjsonconfig::ConfigurationData&) override {
        return "alias";
    }
};

qvjsonconfig::AliasFactoryInterface& aliases() {
    static Aliases factory;
    return factory;
}

std::string filePath() {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = filePath();
    qvjsonconfig::LockableFile file(path.c_str(), false);
    qvjsonconfig::AliasAttributeProvider provider(aliases());
    try {
        const auto* text = reinterpret_cast<const char*>(data);
        file.write(text, text + size);
        Devices devices;
        qvjsonconfig::Configuration configuration(file, &devices, provider, nullptr);
        std::unique_ptr<qvjsonconfig::ConfigurationData> copy(
            configuration.getConfigurationData().clone());
    } catch (const std::exception&) {
        // Refusing bad input is the expected outcome.
        return 0;
    }
    std::string written;
    file.read(written);
    Writes writes;
    {
        Devices devices;
        qvjsonconfig::Configuration again(file, &devices, provider, &writes);
    }
    std::string reread;
    file.read(reread);
    if (writes.count != 0 || reread != written) {
        std::fprintf(stderr, "configuration rewritten when read back:\n%s\n", written.c_str());
        abort();
    }
    return 0;
}
