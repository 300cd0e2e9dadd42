// Walks the device interfaces that the module's kernel driver publishes under
// "/proc/driver/qv/": one entry "<interface>\<instance>" per interface
// instance under each driver's "deviceInterfaces" directory, with the device
// file's path in "interfacePath" and the bus and device properties two
// levels up. The entries are those present at construction.
#pragma once

#include <glob.h>

#include <cstdint>

#include "qvapal/protons/containers/tBasicString.h"
#include "qvapal/protons/enumeration/tInterfacePath.h"
#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

class tDeviceInterfaceIterator {
public:
    // No matching entry (no driver loaded) is an empty walk, not an error.
    tDeviceInterfaceIterator(const char* interfaceName, nQVAPALS100::tStatus& status);
    tDeviceInterfaceIterator(const tDeviceInterfaceIterator&) = delete;
    tDeviceInterfaceIterator& operator=(const tDeviceInterfaceIterator&) = delete;
    ~tDeviceInterfaceIterator();

    bool isEnd() const;
    void next();
    // The current entry's directory.
    const char* entryPath() const { return isEnd() ? nullptr : *cursor_; }

    // The device file of the current entry; longer than 255 bytes: -52019.
    void getInterfacePath(tInterfacePath& path, nQVAPALS100::tStatus& status) const;
    // A property's bytes (no NUL added). `size` receives the property's size
    // whenever it was read; a null or too small buffer gives -52019, so a
    // caller may ask for the size first.
    void getBusProperty(const char* name, void* buffer, uint64_t bufferSize, uint64_t* size,
                        nQVAPALS100::tStatus& status) const;
    void getDeviceProperty(const char* name, void* buffer, uint64_t bufferSize, uint64_t* size,
                           nQVAPALS100::tStatus& status) const;
    // The driver's directory name of the current entry.
    void getDriverName(tBasicString& out, nQVAPALS100::tStatus& status) const;

private:
    void readPropertyFile(const char* category, const char* name, void* buffer, uint64_t bufferSize,
                          uint64_t* size, nQVAPALS100::tStatus& status) const;

    glob_t entries_{};
    char** cursor_ = nullptr;
};

}  // namespace sdihal::nQVAPAL000
