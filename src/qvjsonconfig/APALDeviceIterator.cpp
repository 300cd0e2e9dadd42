#include "qvjsonconfig/APALDeviceIterator.h"

#include <cstdio>

#include "qvapal/status/tStatus.h"
#include "qverr/StatusThrowGuard.h"

namespace qvjsonconfig::internal {

namespace {

using sdihal::nQVAPAL000::tDeviceInterfaceIterator;

using PropertyRead = void (tDeviceInterfaceIterator::*)(const char*, void*, uint64_t, uint64_t*,
                                                        nQVAPALS100::tStatus&) const;

// The text is as long as what was read, less the driver's terminator.
void readText(const tDeviceInterfaceIterator& it, PropertyRead read, const char* name,
              std::string& out) {
    uint64_t size = 0;
    {
        nQVAPALS100::tStatus query;  // "buffer too small" is the expected answer
        (it.*read)(name, nullptr, 0, &size, query);
    }
    std::string text(size, '\0');
    uint64_t got = 0;
    nQVAPALS100::tStatus status;
    {
        qverr::TStatusThrower thrower(status);
        (it.*read)(name, text.data(), text.size(), &got, status);
    }
    text.resize(got < text.size() ? got : text.size());
    if (!text.empty()) text.pop_back();
    out.swap(text);
}

void readU32(const tDeviceInterfaceIterator& it, PropertyRead read, const char* name,
             uint32_t& out) {
    nQVAPALS100::tStatus status;
    qverr::TStatusThrower thrower(status);
    uint64_t size = 0;
    (it.*read)(name, &out, sizeof out, &size, status);
}

}  // namespace

APALDeviceIteratorBase::APALDeviceIteratorBase(const std::vector<std::string>& interfaceNames) {
    nQVAPALS100::tStatus status;
    qverr::TStatusThrower thrower(status);
    iterator_ = std::make_unique<tDeviceInterfaceIterator>(
        interfaceNames.empty() ? "" : interfaceNames.front().c_str(), status);
}

void APALDeviceIteratorBase::getBusStringProperty(const char* name, std::string& out) {
    readText(*iterator_, &tDeviceInterfaceIterator::getBusProperty, name, out);
}

void APALDeviceIteratorBase::getBusU32Property(const char* name, uint32_t& out) {
    readU32(*iterator_, &tDeviceInterfaceIterator::getBusProperty, name, out);
}

void APALDeviceIteratorBase::getDeviceStringProperty(const char* name, std::string& out) {
    readText(*iterator_, &tDeviceInterfaceIterator::getDeviceProperty, name, out);
}

void APALDeviceIteratorBase::getDeviceU32Property(const char* name, uint32_t& out) {
    readU32(*iterator_, &tDeviceInterfaceIterator::getDeviceProperty, name, out);
}

std::string APALDeviceIteratorBase::getInterfacePath() {
    nQVAPALS100::tStatus status;
    sdihal::nQVAPAL000::tInterfacePath path;
    {
        qverr::TStatusThrower thrower(status);
        iterator_->getInterfacePath(path, status);
    }
    return path.path;
}

std::string APALDeviceIteratorBase::getDriverName() {
    nQVAPALS100::tStatus status;
    sdihal::nQVAPAL000::tBasicString name;
    {
        qverr::TStatusThrower thrower(status);
        iterator_->getDriverName(name, status);
    }
    return std::string(name.c_str(), name.length());
}

DeviceIteratorInterface& APALDeviceIteratorBase::next() {
    iterator_->next();
    return *this;
}

bool APALDeviceIteratorBase::isEnd() {
    return iterator_->isEnd();
}

std::string APALPersistentTokenPCI::getPersistentToken(const tDeviceInterfaceIterator& it) {
    struct Field {
        const char* property;
        const char* format;
    };
    static constexpr Field kFields[] = {{"pciVendorID", "PCI:VEN_%04X"},
                                        {"pciDeviceID", "&DEV_%04X"},
                                        {"pciSubsystemVendorID", "&SUBSYS_%04X"},
                                        {"pciSubsystemID", "%04X"},
                                        {"pciRevision", "&REV_%02X/"}};
    nQVAPALS100::tStatus status;
    std::string token;
    {
        qverr::TStatusThrower thrower(status);
        for (const Field& field : kFields) {
            uint32_t value = 0;
            uint64_t size = 0;
            it.getBusProperty(field.property, &value, sizeof value, &size, status);
            if (status.isError()) return token;
            char text[33];
            snprintf(text, sizeof text, field.format, value);
            token += text;
        }
        uint64_t size = 0;
        it.getBusProperty("pciSlotPath", nullptr, 0, &size, status);
        if (status.getCode() != qverr::qvapalerr_bufferTooSmall) return token;
        status = nQVAPALS100::tStatus();
        const size_t start = token.size();
        token.resize(start + size, '\0');
        uint64_t got = 0;
        it.getBusProperty("pciSlotPath", token.data() + start, size, &got, status);
        if (status.isError()) return token;
        token.resize(start + (got < size ? got : size));
        // The driver's terminator is no part of the path.
        if (token.size() > start) token.pop_back();
    }
    return token;
}

}  // namespace qvjsonconfig::internal
