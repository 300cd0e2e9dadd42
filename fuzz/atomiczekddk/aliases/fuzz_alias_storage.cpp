// Arbitrary bytes as the configuration file under an alias edit: the
// aliases are looked up, one is set and read back, and a snapshot must keep
// what it saw. Bad documents and members are refused with a status.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "atomiczekddk/aliases/AliasStorageData.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/ConfigurationFuzzing.h"

namespace {

class Aliases : public qvjsonconfig::AliasFactoryInterface {
public:
    std::string createDefaultAlias(qvjsonconfig::DeviceIteratorInterface*,
                                   qvjsonconfig::ConfigurationData&) override {
        return "";
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = qvfuzz::scratchFile();
    qvjsonconfig::LockableFile file(path.c_str(), false);
    Aliases aliases;
    qvjsonconfig::AliasAttributeProvider provider(aliases);
    const auto* text = reinterpret_cast<const char*>(data);
    file.write(text, text + size);
    try {
        qvfuzz::TwoDevices devices("PCI:a", "PCI:b");
        qvzek::AutoLockingAliasStorageDataCommitterJsonconfig committer(file, &devices, provider);
        qvzek::IAliasStorageData& view = *committer.getData();
        const std::string probe(text, size < 8 ? size : 8);
        (void)view.getToken(probe);
        const std::shared_ptr<qvzek::IAliasStorageData> snapshot = view.clone();
        const std::string before = snapshot->getAlias("PCI:a");
        view.setAlias("PCI:a", "fuzz-alias");
        if (view.getAlias("PCI:a") != "fuzz-alias" || snapshot->getAlias("PCI:a") != before ||
            view.getToken("FUZZ-ALIAS").empty()) {
            std::fprintf(stderr, "alias edit lost or leaked into the snapshot\n");
            abort();
        }
    } catch (const std::exception&) {
        // Refusing bad input is the expected outcome.
    }
    return 0;
}
