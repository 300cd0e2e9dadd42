// A temporary tree shaped like the kernel driver's: "<root>/proc/driver/qv/"
// with its device-interface entries and property files, and "<root>/dev/qv"
// with device entries. While it exists, the library's enumeration and device
// notifications, and its fixed system directories ("<root>/var/local/...",
// "<root>/etc/...", "<root>/usr/..."), are there instead of at the real roots.
#pragma once

#include <string>

namespace qvsim {

class DeviceTree {
public:
    DeviceTree();
    DeviceTree(const DeviceTree&) = delete;
    DeviceTree& operator=(const DeviceTree&) = delete;
    // Removes the tree and restores the real roots.
    ~DeviceTree();

    const std::string& root() const { return root_; }
    // "<root>/proc/driver/qv/", "<root>/dev", "<root>/dev/qv".
    std::string driverRoot() const;
    std::string deviceRoot() const;
    std::string moduleDeviceRoot() const;

    // The entry "<driver>/deviceInterfaces/<interface>\<instance>" holding
    // "interfacePath" with `interfacePath` as its exact content; returns the
    // entry's directory.
    std::string addInterface(const std::string& driver, const std::string& interface,
                             const std::string& instance, const std::string& interfacePath);
    // Takes that entry away again (nothing when it is absent).
    void removeInterface(const std::string& driver, const std::string& interface,
                         const std::string& instance);
    // A property file in "<driver>/busProperties" or "<driver>/deviceProperties".
    void setBusProperty(const std::string& driver, const std::string& name,
                        const std::string& value);
    void setDeviceProperty(const std::string& driver, const std::string& name,
                           const std::string& value);

    // "/dev/qv" and its entries.
    void createModuleDirectory();
    void removeModuleDirectory();
    std::string addDeviceEntry(const std::string& name);
    void removeDeviceEntry(const std::string& name);

    // Writes `content` to `path` (below the root), making its directories.
    void writeFile(const std::string& path, const std::string& content);

private:
    std::string root_;
};

}  // namespace qvsim
