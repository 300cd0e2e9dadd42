// Arbitrary bytes as the configuration file under an alias edit: the
// aliases are looked up, one is set and read back, and a snapshot must keep
// what it saw. Bad documents and members are refused with a status.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "atomiczekddk/aliases/AliasStorageData.h"
#include "qverr/trace.h"
#include "qvjsonconfig/AliasAttributeProvider.h"

namespace {

class Devices : public qvjsonconfig::DeviceIteratorInterface {
public:
    void getBusStringProperty(const char*, std::string& out) override { out.clear(); }
    void getBusU32Property(const char*, uint32_t& out) override { out = 0; }
    void getDeviceStringProperty(const char*, std::string& out) override { out.clear(); }
    void getDeviceU32Property(const char*, uint32_t& out) override { out = 0; }
    std::string getInterfacePath() override { return ""; }
    std::string getPersistentToken() override { return index_ == 0 ? "PCI:a" : "PCI:b"; }
    std::string getDriverName() override { return ""; }
    DeviceIteratorInterface& next() override {
        ++index_;
        return *this;
    }
    bool isEnd() override { return index_ >= 2; }

private:
    int index_ = 0;
};

class Aliases : public qvjsonconfig::AliasFactoryInterface {
public:
    std::string createDefaultAlias(qvjsonconfig::DeviceIteratorInterface*,
                                   qvjsonconfig::ConfigurationData&) override {
        return "";
    }
};

std::string filePath() {
    static const std::string path = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/qvfuzzaliasXXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) abort();
        close(fd);
        trace::settings().threshold = UINT32_MAX;
        return pattern;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = filePath();
    qvjsonconfig::LockableFile file(path.c_str(), false);
    Aliases aliases;
    qvjsonconfig::AliasAttributeProvider provider(aliases);
    const auto* text = reinterpret_cast<const char*>(data);
    file.write(text, text + size);
    try {
        Devices devices;
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
