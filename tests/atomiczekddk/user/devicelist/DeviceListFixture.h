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
#include "atomiczekddk/user/devicelist/DeviceList.h"
#include "atomiczekddk/user/devicemanager/IDeviceManager.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"

namespace qvtest {

using Handlers = std::vector<qvzek::IChangeNotificationHandler*>;
using Failure = std::function<void()>;

inline void failIfSet(const Failure& failure) {
    if (failure) failure();
}

// Registration as both managers do it: appended, every occurrence removed.
struct HandlerList {
    Handlers handlers;
    Failure registrationFailure;
    void add(qvzek::IChangeNotificationHandler* handler) {
        failIfSet(registrationFailure);
        handlers.push_back(handler);
    }
    void remove(qvzek::IChangeNotificationHandler* handler) {
        handlers.erase(std::remove(handlers.begin(), handlers.end(), handler), handlers.end());
    }
};

class ListedModules : public qvzek::IDeviceManagerCommon, public HandlerList {
public:
    qvzek::DeviceInfoList devices;
    int64_t changeNumber = 0;
    Failure enumerationFailure;
    std::vector<int64_t> askedSince;

    bool hasChanged(int64_t since) override {
        askedSince.push_back(since);
        return since != changeNumber;
    }
    qvzek::DeviceInfoList getDevices(int64_t& out) override {
        failIfSet(enumerationFailure);
        out = changeNumber;
        return devices;
    }
    void registerChangeHandler(qvzek::IChangeNotificationHandler* handler) override {
        add(handler);
    }
    void unregisterChangeHandler(qvzek::IChangeNotificationHandler* handler) override {
        remove(handler);
    }
};

// Aliases by token; an alias moves only in mode 1. The conflict names the
// holder as `ownerSpelling` spells its token.
class AliasTable : public qvzek::IAliasManager, public HandlerList {
public:
    std::map<std::string, std::string> aliases;
    Failure failure;
    std::function<std::string(const std::string&)> ownerSpelling = [](const std::string& token) {
        return token;
    };

    void registerChangeHandler(qvzek::IChangeNotificationHandler* handler) override {
        add(handler);
    }
    void unregisterChangeHandler(qvzek::IChangeNotificationHandler* handler) override {
        remove(handler);
    }
    std::string getAlias(const qvzek::DeviceInfo& entry) override {
        failIfSet(failure);
        return aliases[entry.persistentToken];
    }
    void setAlias(const qvzek::DeviceInfo& entry, const std::string& alias, uint32_t mode,
                  std::string& conflict) override {
        failIfSet(failure);
        for (auto& [token, held] : aliases) {
            if (token == entry.persistentToken || held != alias) continue;
            conflict = ownerSpelling(token);
            if (mode != qvzek::kAliasModeMove) return;
            held.clear();
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
        return *handled ? (++reads, value) : 0xFFFFFFFF;
    }
    void setU32Attribute(uint32_t id, uint32_t newValue, bool* handled) override {
        *handled = id == 1 && !refuseWrites;
        if (*handled) value = newValue;
    }
    void getStringAttribute(uint32_t, char*, uint32_t, uint32_t*, bool* handled) override {
        *handled = false;
    }
    void setStringAttribute(uint32_t, const char*, bool* handled) override { *handled = false; }
};

// Real traditional sessions over the driver attribute above.
class TraditionalSessions : public qvzek::ISessionFactory {
public:
    std::shared_ptr<DriverAttribute> attribute = std::make_shared<DriverAttribute>();
    Failure failure;

    std::unique_ptr<qvzek::user::Session> createSession(
        const std::shared_ptr<const qvzek::DeviceInfo>&, const char*, const char*,
        uint32_t) override {
        qvzek::throwStatusCode(qvzek::kErrorNotSupported);
    }
    std::unique_ptr<qvzek::FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<const qvzek::DeviceInfo>& device) override {
        failIfSet(failure);
        return std::make_unique<qvzek::FpgaSessionTraditional>(device, this, attribute, nullptr);
    }
};

struct Callback : qvzek::IChangeNotificationHandler {
    void notify() override {}
};

inline const char kInterfaceName[] = "qv3377k_atomiczekddkqrx";

inline std::shared_ptr<const qvzek::DeviceInfo> module(const std::string& token) {
    return std::make_shared<const qvzek::DeviceInfo>(qvzek::DeviceInfo{
        "Token" + token, "PXI1Slot" + token, 0, "/dev/qv/" + token, kInterfaceName});
}

class DeviceListFixture : public ::testing::Test {
protected:
    ListedModules manager;
    TraditionalSessions factory;
    AliasTable aliases;
    qvzek::DeviceList list{&manager, &factory, &aliases};
    nQVAPALS100::tStatus status;

    // Lists modules "Token<name>" at change number `change` and refreshes.
    void present(std::vector<std::string> names, int64_t change) {
        manager.devices.clear();
        for (const std::string& name : names) manager.devices.push_back(module(name));
        manager.changeNumber = change;
        nQVAPALS100::tStatus refreshed;
        list.refresh(refreshed);
        ASSERT_EQ(refreshed.code, 0);
    }
    qvzek::IDevice& device(uint32_t index) {
        nQVAPALS100::tStatus found;
        return *list.getDevice(index, 0, found);
    }
};

}  // namespace qvtest
