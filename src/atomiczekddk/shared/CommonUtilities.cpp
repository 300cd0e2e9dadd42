#include "atomiczekddk/shared/CommonUtilities.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "qverr/Exception.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvzek {

void throwStatus(int64_t code) {
    qverr::Status status;
    status.setCodeOnly(static_cast<int32_t>(static_cast<uint64_t>(code) & 0xFFFFFFFFu));
    qverr::throwStatus(std::move(status));
}

void throwStatusCode(int32_t code) {
    throwStatus(static_cast<int64_t>(code));
}

void copyStringToBuffer(std::string_view text, char* buffer, uint32_t bufferSize,
                        uint32_t* length) {
    if (length != nullptr) *length = static_cast<uint32_t>(text.size());
    if (buffer == nullptr) return;
    if (text.size() >= bufferSize) throwStatusCode(kErrorBufferTooSmall);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
}

const char* readWholeFile(bool isPath, const char* text, std::unique_ptr<char[]>& slot,
                          int32_t failureCode) {
    if (!isPath) return text;
    if (text == nullptr) throwStatusCode(failureCode);
    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(text, "rbe"), &fclose);
    if (!file) throwStatusCode(failureCode);
    // A directory opens too, and seeking gives it a meaningless size.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        throwStatusCode(failureCode);
    }
    if (fseek(file.get(), 0, SEEK_END) != 0) throwStatusCode(failureCode);
    const long size = ftell(file.get());
    if (size < 0) throwStatusCode(failureCode);
    rewind(file.get());
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size) + 1]);
    if (fread(buffer.get(), 1, static_cast<size_t>(size), file.get()) !=
        static_cast<size_t>(size)) {
        throwStatusCode(failureCode);
    }
    buffer[static_cast<size_t>(size)] = '\0';
    slot = std::move(buffer);
    return slot.get();
}

PciIdentity readPciIdentity(qvjsonconfig::DeviceIteratorInterface& device) {
    PciIdentity identity;
    device.getBusU32Property("pciBusNumber", identity.bus);
    device.getBusU32Property("pciDeviceNumber", identity.device);
    device.getBusU32Property("pciFunctionNumber", identity.function);
    device.getBusU32Property("pciVendorID", identity.vendorId);
    device.getBusU32Property("pciDeviceID", identity.deviceId);
    device.getBusU32Property("pciSubsystemID", identity.subsystemId);
    return identity;
}

}  // namespace qvzek
