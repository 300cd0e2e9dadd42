#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/numeric/conversion/converter_policies.hpp>
#include <memory>

#include "qverr/Codes.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Configuration.h"
#include "qvjsonconfig/ConfigurationErrors.h"
#include "qvjsonconfig/Fakes.h"
#include "support/NamedCodes.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using qvjsonconfig::Configuration;
using qvjsonconfig::ConfigurationData;
using qvjsonconfig::kSelectorPersistent;
using qvjsonconfig::LockableFile;
using ::testing::HasSubstr;

bool sameJson(const std::string& a, const std::string& b) {
    qvjsonlh::AutoCJSON first(qvjsonlh::parse(a.c_str()));
    qvjsonlh::AutoCJSON second(qvjsonlh::parse(b.c_str()));
    return qvjsonlh::equals(first.get(), second.get());
}

std::string alias(const ConfigurationData& data, const std::string& token) {
    return qvjsonlh::getString(qvjsonlh::getObjectItem(
        data.getDeviceEntry(token)->getJsonObject(kSelectorPersistent), "alias"));
}

class ConfigurationTest : public ::testing::Test {
protected:
    // One load-merge-commit cycle of the file with these devices present.
    void cycle(std::vector<std::string> devices = {}) {
        LockableFile file(path.c_str(), true);
        qvtest::FakeDevices iterator(std::move(devices));
        Configuration configuration(file, &iterator, provider, &observer);
    }
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
    EXPECT_EQ(
        qvtest::readFile(path),
        "{\n\t\"version\":\t1,\n\t\"oldest_compatible_version\":\t1,\n\t\"devices\":\t{\n\t}\n}");
    EXPECT_EQ(observer.writes, 1);
    // Read back unchanged (in any member order), the file is not rewritten.
    const std::string text = R"({"devices":{},"oldest_compatible_version":1,"version":1})";
    qvtest::writeFile(path, text);
    cycle();
    EXPECT_EQ(observer.writes, 1);
    EXPECT_EQ(qvtest::readFile(path), text);
}

TEST_F(ConfigurationTest, DevicesAreMergedIntoTheFile) {
    qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,"devices":{
        "PCI:gone":{"alias":"kept","extra":[1,2]},"PCI:known":{"other":true}}})");
    // The iterator meets one module twice (two driver interfaces).
    cycle({"PCI:known", "PCI:new", "PCI:new"});
    EXPECT_EQ(observer.writes, 1);
    EXPECT_TRUE(sameJson(qvtest::readFile(path), R"({"version":1,"oldest_compatible_version":1,
        "devices":{"PCI:gone":{"alias":"kept","extra":[1,2]},
                   "PCI:known":{"other":true,"alias":"alias:PCI:known"},
                   "PCI:new":{"alias":"alias:PCI:new"}}})"));
}

TEST_F(ConfigurationTest, UnusableFilesAreRefusedAndLeftAsTheyWere) {
    auto [code, detail] = failingCycle(R"({"version":0,"devices":{}})");
    EXPECT_EQ(code, qvjsonconfig::kErrorSoftwareTooNewForFile);
    EXPECT_THAT(detail, HasSubstr(R"("file":"ConfigurationHelper","line":67,)"));
    EXPECT_THAT(
        detail,
        HasSubstr(
            R"("ordered_data":[)"
            R"({"type":"usage","usage":"kUsageTypeFileVersion","value":0,"value_type":"uint32_t"},)"
            R"({"type":"usage","usage":"kUsageTypeSupportedVersion","value":1,"value_type":"uint32_t"},)"
            R"({"type":"usage","usage":"kUsageTypeOldestCompatibleVersion","value":1,"value_type":"uint32_t"}])"));
    std::tie(code, detail) =
        failingCycle(R"({"version":3,"oldest_compatible_version":2,"devices":{}})");
    EXPECT_EQ(code, qvjsonconfig::kErrorFileTooNewForSoftware);
    EXPECT_THAT(detail, HasSubstr(R"("file":"ConfigurationHelper","line":77,)"));
    // Without an oldest compatible version the version stands in for it.
    EXPECT_EQ(failingCycle(R"({"version":2,"devices":{}})").first,
              qvjsonconfig::kErrorFileTooNewForSoftware);
    EXPECT_EQ(failingCycle(R"({"version":"1","devices":{}})").first, qverr::kStatusFailedCast);
    EXPECT_EQ(failingCycle(R"({"version":1,"oldest_compatible_version":1})").first,
              qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(failingCycle(R"({"version":1,"devices":{"A":{},"A":{}}})").first,
              qverr::qvapalerr_objectNameCollision);
    EXPECT_EQ(failingCycle("{\"version\":1,").first, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(qvtest::readFile(path), "{\"version\":1,");
    EXPECT_EQ(observer.writes, 0);

    qvtest::writeFile(path, R"({"version":-1,"devices":{}})");
    qvtest::TraceCapture trace;
    EXPECT_THROW(cycle(), boost::numeric::negative_overflow);
    EXPECT_THAT(
        trace.all(),
        HasSubstr("] Fatal configuration error! bad numeric conversion: negative overflow\n"));
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

TEST_F(ConfigurationTest, AFileWithARepeatedNameIsNotRewrittenWhenReadBack) {
    const std::string text = R"({"version":1,"oldest_compatible_version":1,"devices":{
        "PCI:known":{"alias":"a","alias":"b"}}})";
    qvtest::writeFile(path, text);
    // Written with both occurrences, in order, and then left alone.
    cycle({"PCI:known", "PCI:new"});
    EXPECT_EQ(observer.writes, 1);
    const std::string written = qvtest::readFile(path);
    EXPECT_THAT(written, HasSubstr("\"alias\":\t\"a\",\n\t\t\t\"alias\":\t\"b\""));
    cycle({"PCI:known", "PCI:new"});
    EXPECT_EQ(observer.writes, 1);
    EXPECT_EQ(qvtest::readFile(path), written);
}

TEST(ConfigurationData, EntriesAreKeptByExactToken) {
    ConfigurationData data;
    data.addDeviceEntry("tok", qvjsonlh::parse(R"({"alias":"lower"})"), qvjsonlh::createObject());
    data.addDeviceEntry("TOK", qvjsonlh::parse(R"({"alias":"upper"})"), qvjsonlh::createObject());
    auto [code, detail] = qvtest::thrownStatus(
        [&] { data.addDeviceEntry("tok", qvjsonlh::createObject(), qvjsonlh::createObject()); });
    EXPECT_EQ(code, qverr::qvapalerr_objectNameCollision);
    EXPECT_THAT(detail, HasSubstr("\"usage\":\"kUsageTypeToken\",\"value\":\"tok\""));
    EXPECT_THAT(detail, HasSubstr(R"("file":"ConfigurationData","line":40,)"));

    // Removing one leaves the other whole; a copy is independent.
    std::unique_ptr<ConfigurationData> copy(data.clone());
    data.removeDeviceEntry("TOK");
    EXPECT_EQ(alias(data, "tok"), "lower");
    EXPECT_EQ(cJSON_GetArraySize(data.getJsonObject(kSelectorPersistent)), 1);
    EXPECT_EQ(cJSON_GetArraySize(data.getJsonObject(qvjsonconfig::kSelectorVolatile)), 1);
    EXPECT_EQ(alias(*copy, "TOK"), "upper");

    std::tie(code, detail) = qvtest::thrownStatus([&] { data.getDeviceEntry("TOK"); });
    EXPECT_EQ(code, qvjsonconfig::kErrorDeviceEntryNotFound);
    EXPECT_THAT(detail, HasSubstr("qvmxl::kErrorDeviceEntryNotFound"));
    EXPECT_THAT(detail, HasSubstr(R"("file":"ConfigurationData","line":89,)"));
    EXPECT_THAT(detail, HasSubstr("\"usage\":\"kUsageTypeToken\",\"value\":\"TOK\""));
    std::tie(code, detail) = qvtest::thrownStatus([&] { data.removeDeviceEntry("TOK"); });
    EXPECT_EQ(code, qvjsonconfig::kErrorDeviceEntryNotFound);
    EXPECT_THAT(detail, HasSubstr(R"("file":"ConfigurationData","line":63,)"));
}

// Typed in from the definition, so a wrong constant cannot agree with itself.
TEST(ConfigurationCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace qvjsonconfig;
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(kErrorDeviceEntryNotFound, -1074097793),
        QV_NAMED_CODE(kErrorSoftwareTooNewForFile, -1074097794),
        QV_NAMED_CODE(kErrorFileTooNewForSoftware, -1074097795),
    });
}

}  // namespace
