// Stand-ins for the collaborators of the configuration store.
#pragma once

#include <string>
#include <vector>

#include "qvjsonconfig/ConfigurationData.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvtest {

class FakeDevices : public qvjsonconfig::DeviceIteratorInterface {
public:
    explicit FakeDevices(std::vector<std::string> tokens) : tokens_(std::move(tokens)) {}
    void getBusStringProperty(const char*, std::string& out) override { out.clear(); }
    void getBusU32Property(const char*, uint32_t& out) override { out = 0; }
    void getDeviceStringProperty(const char*, std::string& out) override { out.clear(); }
    void getDeviceU32Property(const char*, uint32_t& out) override { out = 0; }
    std::string getInterfacePath() override { return "/dev/qv/fake"; }
    std::string getPersistentToken() override { return tokens_.at(index_); }
    std::string getDriverName() override { return "fake"; }
    DeviceIteratorInterface& next() override {
        ++index_;
        return *this;
    }
    bool isEnd() override { return index_ >= tokens_.size(); }

private:
    std::vector<std::string> tokens_;
    size_t index_ = 0;
};

// Makes iterators over the same tokens.
class FakeDeviceFactory : public qvjsonconfig::DeviceIteratorFactoryInterface {
public:
    explicit FakeDeviceFactory(std::vector<std::string> tokens = {}) : tokens_(std::move(tokens)) {}
    qvjsonconfig::DeviceIteratorInterface* createIterator() override {
        return new FakeDevices(tokens_);
    }

private:
    const std::vector<std::string> tokens_;
};

class FakeAliasFactory : public qvjsonconfig::AliasFactoryInterface {
public:
    explicit FakeAliasFactory(std::string alias = "") : alias_(std::move(alias)) {}
    std::string createDefaultAlias(qvjsonconfig::DeviceIteratorInterface* device,
                                   qvjsonconfig::ConfigurationData&) override {
        return alias_.empty() ? alias_ : alias_ + ":" + device->getPersistentToken();
    }

private:
    std::string alias_;
};

class CountingObserver : public qvjsonconfig::ConfigurationObserverInterface {
public:
    void configurationWritten(qvjsonconfig::ConfigurationData&) override { ++writes; }
    int writes = 0;
};

}  // namespace qvtest
