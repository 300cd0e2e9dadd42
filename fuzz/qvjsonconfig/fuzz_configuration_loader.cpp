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

#include "ConfigurationFuzzing.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Configuration.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = qvfuzz::scratchFile();
    qvjsonconfig::LockableFile file(path.c_str(), false);
    qvjsonconfig::AliasAttributeProvider provider(aliases());
    try {
        const auto* text = reinterpret_cast<const char*>(data);
        file.write(text, text + size);
        qvfuzz::TwoDevices devices("PCI:a", "PCI:A");
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
        qvfuzz::TwoDevices devices("PCI:a", "PCI:A");
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
