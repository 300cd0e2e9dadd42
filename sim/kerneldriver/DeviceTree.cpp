#include "kerneldriver/DeviceTree.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "kerneldriver/State.h"

namespace qvsim {
namespace fs = std::filesystem;

DeviceTree::DeviceTree() {
    std::string pattern = (fs::temp_directory_path() / "qvsim-tree-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot make a device tree");
    root_ = buffer.data();
    fs::create_directories(driverRoot());
    fs::create_directories(deviceRoot());
    setRoots(driverRoot(), deviceRoot(), moduleDeviceRoot(), root_);
}

DeviceTree::~DeviceTree() {
    setRoots("", "", "", "");
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string DeviceTree::driverRoot() const {
    return root_ + "/proc/driver/qv/";
}
std::string DeviceTree::deviceRoot() const {
    return root_ + "/dev";
}
std::string DeviceTree::moduleDeviceRoot() const {
    return root_ + "/dev/qv";
}

void DeviceTree::writeFile(const std::string& path, const std::string& content) {
    const fs::path full = fs::path(root_) / fs::path(path).relative_path();
    fs::create_directories(full.parent_path());
    std::ofstream file(full, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) throw std::runtime_error("cannot write " + full.string());
}

std::string DeviceTree::addInterface(const std::string& driver, const std::string& interface,
                                     const std::string& instance,
                                     const std::string& interfacePath) {
    const std::string entry =
        "proc/driver/qv/" + driver + "/deviceInterfaces/" + interface + "\\" + instance;
    writeFile(entry + "/interfacePath", interfacePath);
    return root_ + "/" + entry;
}

void DeviceTree::removeInterface(const std::string& driver, const std::string& interface,
                                 const std::string& instance) {
    std::error_code ignored;
    fs::remove_all(driverRoot() + driver + "/deviceInterfaces/" + interface + "\\" + instance,
                   ignored);
}

void DeviceTree::setBusProperty(const std::string& driver, const std::string& name,
                                const std::string& value) {
    writeFile("proc/driver/qv/" + driver + "/busProperties/" + name, value);
}

void DeviceTree::setDeviceProperty(const std::string& driver, const std::string& name,
                                   const std::string& value) {
    writeFile("proc/driver/qv/" + driver + "/deviceProperties/" + name, value);
}

void DeviceTree::createModuleDirectory() {
    fs::create_directories(moduleDeviceRoot());
}

void DeviceTree::removeModuleDirectory() {
    fs::remove_all(moduleDeviceRoot());
}

std::string DeviceTree::addDeviceEntry(const std::string& name) {
    createModuleDirectory();
    writeFile("dev/qv/" + name, "");
    return moduleDeviceRoot() + "/" + name;
}

void DeviceTree::removeDeviceEntry(const std::string& name) {
    fs::remove(fs::path(moduleDeviceRoot()) / name);
}

}  // namespace qvsim
