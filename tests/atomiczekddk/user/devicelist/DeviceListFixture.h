// A device list over a device manager, a session factory and an alias
// manager played by the test: each can be made to fail, and each records
// what the list asked of it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "atomiczekddk/aliases/Aliases.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/Device.h"
#include "atomiczekddk/user/devicelist/DeviceList.h"
#include "atomiczekddk/user/devicemanager/IDeviceManager.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "qvapal/status/tStatus.h"

namespace qvtest {

using Handlers = std::vector<qvzek::IChangeNotificationHandler*>;

inline void removeAll(Handlers& handlers, qvzek::IChangeNotificationHandler* handler) {
    handlers.erase(std::remove(handlers.begin(), handlers.end(), handler), handlers.end());
}

class ListedModules : public qvzek::IDeviceManagerCommon {
public:
    qvzek::DeviceInfoList devices;
    int64_t changeNumber = 0;
    std::function<void()> enumerationFailure;
    std::function<void()> registrationFailure;
    Handlers handlers;
    std::vector<int64_t> askedSince;

    bool hasChanged(int64_t since) override {
        askedSince.push_back(since);
        return since != changeNumber;
    }
    qvzek::DeviceInfoList getDevices(int64_t& out) override {
        if (enumerationFailure) enumerationFailure();
        out = changeNumber;
        return devices;
    }
    void registerChangeHandler(qvzek::IChangeNotificationHandler* handler) override {
        if (registrationFailure) registrationFailure();
        if (handler != nullptr) handlers.push_back(handler);
    }
    void unregisterChangeHandler(qvzek::IChangeNotificationHandler* handler) override { removeAll(handlers, handler); }
};

// Aliases by token; an alias moves only in mode 1. `ownerSpelling` turns
// the holder's token into the text the conflict reports.
class AliasTable : public qvzek::IAliasManager {
public:
    std::map<std::string, std::string> aliases;
    std::function<void()> failure;
    std::function<void()> registrationFailure;
    std::function<std::string(const std::string&)> ownerSpelling = [](const std::string& token) { return token; };
    Handlers handlers;

    void registerChangeHandler(qvzek::IChangeNotificationHandler* handler) override {
        if (registrationFailure) registrationFailure();
        handlers.push_back(handler);
    }
    void unregisterChangeHandler(qvzek::IChangeNotificationHandler* handler) override { removeAll(handlers, handler); }
    std::string getAlias(const qvzek::DeviceInfo& entry) override {
        if (failure) failure();
        const auto it = aliases.find(entry.persistentToken);
        return it == aliases.end() ? "" : it->second;
    }
    void setAlias(const qvzek::DeviceInfo& entry, const std::string& alias, uint32_t mode,
                  std::string& conflict) override {
        if (failure) failure();
        conflict.clear();
        for (auto it = aliases.begin(); it != aliases.end(); ++it) {
            if (it->first == entry.persistentToken || it->second != alias) continue;
            conflict = ownerSpelling(it->first);
            if (mode != qvzek::kAliasModeMove) return;
            aliases.erase(it);
            break;
        }
        aliases[entry.persistentToken] = alias;
    }
};

// Device attribute 1 as the driver keeps it.
class DriverAttribute : public qvzek::IAttributeHandler {
public:
    uint32_t value = 7;
    bool refuseWrites = false;
    int reads = 0;

    uint32_t getU32Attribute(uint32_t id, bool* handled) override {
        *handled = id == 1;
        if (!*handled) return 0xFFFFFFFF;
        ++reads;
        return value;
    }
    void getStringAttribute(uint32_t, char*, uint32_t, uint32_t*, bool* handled) override { *handled = false; }
    void setU32Attribute(uint32_t id, uint32_t newValue, bool* handled) override {
        *handled = id == 1 && !refuseWrites;
        if (*handled) value = newValue;
    }
    void setStringAttribute(uint32_t, const char*, bool* handled) override { *handled = false; }
};

class NoFlash : public qvzek::IFlashManager {
public:
    void writeImage(const std::vector<uint8_t>&, const char*) override {}
    void setFlashValue(uint32_t) override {}
    uint32_t getFlashValue() override { return 0; }
    uint32_t getFlashVersion() override { return 0; }
    void clearImage() override {}
};

// Real traditional sessions over the driver attribute above.
class TraditionalSessions : public qvzek::ISessionFactory {
public:
    std::shared_ptr<DriverAttribute> attribute = std::make_shared<DriverAttribute>();
    std::function<void()> failure;
    std::vector<std::shared_ptr<const qvzek::DeviceInfo>> asked;

    std::unique_ptr<qvzek::user::Session> createSession(const std::shared_ptr<const qvzek::DeviceInfo>&, const char*,
                                                        const char*, uint32_t) override {
        qvzek::throwStatusCode(qvzek::kErrorNotSupported);
    }
    std::unique_ptr<qvzek::FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<const qvzek::DeviceInfo>& device) override {
        if (failure) failure();
        asked.push_back(device);
        return std::make_unique<qvzek::FpgaSessionTraditional>(device, this, attribute, std::make_shared<NoFlash>());
    }
};

class CountingCallback : public qvzek::IChangeNotificationHandler {
public:
    int calls = 0;
    void notify() override { ++calls; }
};

inline const char kInterfaceName[] = "qv3377k_atomiczekddkqrx";

inline std::shared_ptr<const qvzek::DeviceInfo> module(const std::string& token, const std::string& name = "") {
    return std::make_shared<const qvzek::DeviceInfo>(qvzek::DeviceInfo{.persistentToken = token,
                                                                       .defaultName = name,
                                                                       .busAddressCode = 0x1003FD00,
                                                                       .interfacePath = "/dev/qv/" + token,
                                                                       .interfaceName = kInterfaceName});
}

class DeviceListFixture : public ::testing::Test {
protected:
    ListedModules manager;
    TraditionalSessions factory;
    AliasTable aliases;
    qvzek::DeviceList list{&manager, &factory, &aliases};
    nQVAPALS100::tStatus status;

    // Lists `tokens` at change number `change` and refreshes.
    void present(std::vector<std::string> tokens, int64_t change) {
        manager.devices.clear();
        for (const std::string& token : tokens) manager.devices.push_back(module(token, "PXI1Slot" + token));
        manager.changeNumber = change;
        nQVAPALS100::tStatus refreshed;
        list.refresh(refreshed);
        ASSERT_EQ(refreshed.code, 0);
    }
    qvzek::IDevice& device(uint32_t index) {
        nQVAPALS100::tStatus found;
        qvzek::IDevice* result = list.getDevice(index, 0, found);
        EXPECT_EQ(found.code, 0);
        return *result;
    }
};

inline std::string fileOf(const nQVAPALS100::tStatus& status) {
    return std::string(status.file, strnlen(status.file, sizeof status.file));
}

}  // namespace qvtest
