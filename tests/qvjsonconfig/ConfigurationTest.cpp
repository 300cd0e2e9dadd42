#include "qvjsonconfig/Configuration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/numeric/conversion/converter_policies.hpp>
#include <memory>

#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Fakes.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using qvjsonconfig::Configuration;
using qvjsonconfig::ConfigurationData;
using qvjsonconfig::LockableFile;
using ::testing::HasSubstr;

const char* const kDefaultText =
    "{\n\t\"version\":\t1,\n\t\"oldest_compatible_version\":\t1,\n\t\"devices\":\t{\n\t}\n}";

bool sameJson(const std::string& a, const std::string& b) {
    qvjsonlh::AutoCJSON first(qvjsonlh::parse(a.c_str()));
    qvjsonlh::AutoCJSON second(qvjsonlh::parse(b.c_str()));
    return qvjsonlh::equals(first.get(), second.get());
}

class ConfigurationTest : public ::testing::Test {
protected:
    // One load-merge-commit cycle over the file with these devices present.
    void cycle(std::vector<std::string> devices = {}) {
        LockableFile file(path.c_str(), true);
        qvtest::FakeDevices iterator(std::move(devices));
        Configuration configuration(file, &iterator, provider, &observer);
    }
    // The status code a cycle throws.
    std::pair<int32_t, std::string> failingCycle(const std::string& content) {
        qvtest::writeFile(path, content);
        return qvtest::thrownStatus([&] { cycle(); });
    }

    qvtest::TempDir dir;
    std::string path = dir / "qrxzek.config";
    qvtest::FakeAliasFactory aliases{"alias"};
    qvjsonconfig::AliasAttributeProvider provider{aliases};
    qvtest::CountingObserver observer;
};

TEST_F(ConfigurationTest, AnEmptyFileIsWrittenAsTheDefaultDocument) {
    qvtest::writeFile(path, "");
    cycle();
    EXPECT_EQ(qvtest::readFile(path), kDefaultText);
    EXPECT_TRUE(sameJson(kDefaultText, R"({"version":1,"oldest_compatible_version":1,"devices":{}})"));
    EXPECT_EQ(observer.writes, 1);
}

TEST_F(ConfigurationTest, AnUnchangedFileIsNotRewritten) {
    // Member order and spacing differ from what would be written.
    const std::string text = R"({"devices":{"PCI:1":{"alias":"x"}},"oldest_compatible_version":1,"version":1})";
    qvtest::writeFile(path, text);
    cycle({"PCI:1"});
    EXPECT_EQ(observer.writes, 0);
    EXPECT_EQ(qvtest::readFile(path), text);
}

TEST_F(ConfigurationTest, DevicesAreMergedIntoTheFile) {
    qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,"devices":{
        "PCI:gone":{"alias":"kept","extra":[1,2]},
        "PCI:known":{"other":true}}})");
    // The iterator meets one module twice (two driver interfaces).
    cycle({"PCI:known", "PCI:new", "PCI:new"});
    EXPECT_EQ(observer.writes, 1);
    EXPECT_TRUE(sameJson(qvtest::readFile(path), R"({"version":1,"oldest_compatible_version":1,
        "devices":{"PCI:gone":{"alias":"kept","extra":[1,2]},
                   "PCI:known":{"other":true,"alias":"alias:PCI:known"},
                   "PCI:new":{"alias":"alias:PCI:new"}}})"));
}

TEST_F(ConfigurationTest, TokensThatDifferOnlyInCaseKeepTheirOwnEntries) {
    qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,"devices":{
        "PCI:ab":{"alias":"lower"},"PCI:AB":{"alias":"upper"}}})");
    LockableFile file(path.c_str(), false);
    qvtest::FakeDevices iterator({"PCI:AB"});
    Configuration configuration(file, &iterator, provider, &observer);
    const ConfigurationData& data = configuration.getConfigurationData();
    ASSERT_EQ(data.getDeviceEntries().size(), 2u);
    EXPECT_EQ(qvjsonlh::getString(qvjsonlh::getObjectItem(
                  data.getDeviceEntry("PCI:ab")->getJsonObject(qvjsonconfig::kSelectorPersistent),
                  "alias")),
              "lower");
    EXPECT_EQ(qvjsonlh::getString(qvjsonlh::getObjectItem(
                  data.getDeviceEntry("PCI:AB")->getJsonObject(qvjsonconfig::kSelectorPersistent),
                  "alias")),
              "upper");
    EXPECT_EQ(observer.writes, 0);
}

TEST_F(ConfigurationTest, UnusableVersionsAreRefused) {
    auto [code, detail] = failingCycle(R"({"version":0,"devices":{}})");
    EXPECT_EQ(code, -1074097794);
    EXPECT_THAT(detail, HasSubstr("qvmxl::kErrorSoftwareTooNewForFile"));
    EXPECT_THAT(detail, HasSubstr(R"("ordered_data":[)"
                                  R"({"type":"usage","usage":"kUsageTypeFileVersion","value":0,"value_type":"uint32_t"},)"
                                  R"({"type":"usage","usage":"kUsageTypeSupportedVersion","value":1,"value_type":"uint32_t"},)"
                                  R"({"type":"usage","usage":"kUsageTypeOldestCompatibleVersion","value":1,"value_type":"uint32_t"}])"));

    std::tie(code, detail) = failingCycle(R"({"version":3,"oldest_compatible_version":2,"devices":{}})");
    EXPECT_EQ(code, -1074097795);
    EXPECT_THAT(detail, HasSubstr("\"kUsageTypeFileVersion\",\"value\":3"));
    // Without an oldest compatible version the version stands in for it.
    EXPECT_EQ(failingCycle(R"({"version":2,"devices":{}})").first, -1074097795);
    EXPECT_EQ(failingCycle(R"({"version":"1","devices":{}})").first, -52004);
    EXPECT_EQ(failingCycle(R"({"version":1,"oldest_compatible_version":1})").first, -52006);
    EXPECT_EQ(failingCycle(R"({"version":1,"devices":[]})").first, -52004);
    EXPECT_EQ(failingCycle(R"({"version":1,"devices":{"A":{},"A":{}}})").first, -52013);
    EXPECT_EQ(failingCycle("{\"version\":1,").first, -52005);
    // A refused file is left as it was.
    EXPECT_EQ(qvtest::readFile(path), "{\"version\":1,");
    EXPECT_EQ(observer.writes, 0);
}

TEST_F(ConfigurationTest, AVersionOutOfRangeIsLoggedAndThrown) {
    qvtest::writeFile(path, R"({"version":-1,"devices":{}})");
    qvtest::TraceCapture trace;
    EXPECT_THROW(cycle(), boost::numeric::negative_overflow);
    EXPECT_THAT(trace.all(),
                HasSubstr("] Fatal configuration error! bad numeric conversion: negative overflow\n"));
    qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":4294967296,"devices":{}})");
    EXPECT_THROW(cycle(), boost::numeric::positive_overflow);
}

TEST_F(ConfigurationTest, ANewerCompatibleFileKeepsWhatItsWriterAdded) {
    const std::string text = R"({"version":5,"oldest_compatible_version":1,"devices":{},
        "future":{"setting":[1,2]}})";
    qvtest::writeFile(path, text);
    cycle();
    EXPECT_EQ(observer.writes, 0);
    EXPECT_EQ(qvtest::readFile(path), text);
    cycle({"PCI:new"});
    EXPECT_EQ(observer.writes, 1);
    EXPECT_TRUE(sameJson(qvtest::readFile(path), R"({"version":5,"oldest_compatible_version":1,
        "devices":{"PCI:new":{"alias":"alias:PCI:new"}},"future":{"setting":[1,2]}})"));
}

TEST_F(ConfigurationTest, ChangedDataIsWrittenOnCommit) {
    qvtest::writeFile(path, "");
    {
        LockableFile file(path.c_str(), false);
        qvtest::FakeDevices iterator({"PCI:1"});
        Configuration configuration(file, &iterator, provider, &observer);
        EXPECT_EQ(observer.writes, 1);
        cJSON* device = configuration.getConfigurationData()
                            .getDeviceEntry("PCI:1")
                            ->getJsonObject(qvjsonconfig::kSelectorPersistent);
        cJSON_ReplaceItemInObject(device, "alias", cJSON_CreateString("mine"));
        configuration.commit();
        configuration.commit();
        EXPECT_EQ(observer.writes, 2);
    }
    EXPECT_TRUE(sameJson(qvtest::readFile(path), R"({"version":1,"oldest_compatible_version":1,
        "devices":{"PCI:1":{"alias":"mine"}}})"));
}

TEST(ConfigurationData, EntriesAreKeptByExactToken) {
    ConfigurationData data;
    data.addDeviceEntry("tok", qvjsonlh::parse(R"({"alias":"lower"})"), qvjsonlh::createObject());
    data.addDeviceEntry("TOK", qvjsonlh::parse(R"({"alias":"upper"})"), qvjsonlh::createObject());
    auto [code, detail] = qvtest::thrownStatus(
        [&] { data.addDeviceEntry("tok", qvjsonlh::createObject(), qvjsonlh::createObject()); });
    EXPECT_EQ(code, -52013);
    EXPECT_THAT(detail, HasSubstr("\"usage\":\"kUsageTypeToken\",\"value\":\"tok\""));

    // Removing one must leave the other whole (its items are still used).
    const qvjsonconfig::DeviceEntryPtr lower = data.getDeviceEntry("tok");
    data.removeDeviceEntry("TOK");
    EXPECT_EQ(qvjsonlh::printToString(data.getJsonObject(qvjsonconfig::kSelectorPersistent)),
              "{\n\t\"tok\":\t{\n\t\t\"alias\":\t\"lower\"\n\t}\n}");
    EXPECT_EQ(qvjsonlh::getString(qvjsonlh::getObjectItem(
                  lower->getJsonObject(qvjsonconfig::kSelectorPersistent), "alias")),
              "lower");
    EXPECT_EQ(cJSON_GetArraySize(data.getJsonObject(qvjsonconfig::kSelectorVolatile)), 1);

    std::tie(code, detail) = qvtest::thrownStatus([&] { data.removeDeviceEntry("TOK"); });
    EXPECT_EQ(code, -1074097793);
    std::tie(code, detail) = qvtest::thrownStatus([&] { data.getDeviceEntry("absent"); });
    EXPECT_EQ(code, -1074097793);
    EXPECT_THAT(detail, HasSubstr("qvmxl::kErrorDeviceEntryNotFound"));
    EXPECT_THAT(detail, HasSubstr("\"usage\":\"kUsageTypeToken\",\"value\":\"absent\""));
    EXPECT_FALSE(data.findDeviceEntry("absent"));
    EXPECT_EQ(data.getJsonObject(7), nullptr);
}

TEST(ConfigurationData, ACloneIsIndependent) {
    ConfigurationData data;
    data.addDeviceEntry("a", qvjsonlh::parse(R"({"alias":"x"})"), qvjsonlh::parse(R"({"v":1})"));
    std::unique_ptr<ConfigurationData> copy(data.clone());
    ASSERT_TRUE(copy->findDeviceEntry("a"));
    EXPECT_TRUE(*copy->getDeviceEntry("a") == *data.getDeviceEntry("a"));
    copy->removeDeviceEntry("a");
    copy->addDeviceEntry("a", qvjsonlh::parse(R"({"alias":"y"})"), qvjsonlh::parse(R"({"v":1})"));
    EXPECT_TRUE(*copy->getDeviceEntry("a") != *data.getDeviceEntry("a"));
    EXPECT_EQ(qvjsonlh::getString(qvjsonlh::getObjectItem(
                  data.getDeviceEntry("a")->getJsonObject(qvjsonconfig::kSelectorPersistent),
                  "alias")),
              "x");
}

}  // namespace
