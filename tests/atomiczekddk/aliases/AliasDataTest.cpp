#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "atomiczekddk/aliases/AliasStorageData.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/ConfigurationErrors.h"
#include "qvjsonconfig/Fakes.h"
#include "support/TempDir.h"

namespace {

using qvzek::AliasStorageDataJsonconfig;

// A snapshot over devices {token: persistent object text}.
std::shared_ptr<AliasStorageDataJsonconfig> snapshotOf(
    const std::vector<std::pair<std::string, std::string>>& devices) {
    auto data = std::make_unique<qvjsonconfig::ConfigurationData>();
    for (const auto& device : devices) {
        data->addDeviceEntry(device.first, cJSON_Parse(device.second.c_str()),
                             cJSON_CreateObject());
    }
    return std::make_shared<AliasStorageDataJsonconfig>(std::move(data));
}

TEST(AliasData, LooksUpAliasesAndTokens) {
    auto data = snapshotOf({{"b", R"({"alias":"Lab"})"},
                            {"a", R"({"alias":"LAB"})"},
                            {"c", R"({"ALIAS":"other"})"},
                            {"d", R"({"alias":""})"}});
    EXPECT_EQ(data->getAlias("b"), "Lab");
    EXPECT_EQ(data->getAlias("c"), "other");  // member names compare without case
    EXPECT_EQ(data->getAlias("unknown"), "");
    // Token order decides between aliases equal without case.
    EXPECT_EQ(data->getToken("lab"), "a");
    EXPECT_EQ(data->getToken(""), "d");
    EXPECT_EQ(data->getToken("none"), "");
    auto noAlias = snapshotOf({{"a", R"({"alias":"x"})"}, {"b", R"({})"}});
    EXPECT_EQ(noAlias->getAlias("b"), "");
    EXPECT_EQ(qvtest::thrownStatus([&] { noAlias->getToken("y"); }).first,
              qverr::qvapalerr_resourceNotFound);
    auto number = snapshotOf({{"a", R"({"alias":5})"}});
    EXPECT_EQ(qvtest::thrownStatus([&] { number->getAlias("a"); }).first, qverr::kStatusFailedCast);
    EXPECT_EQ(qvtest::thrownStatus([&] { number->getToken("5"); }).first, qverr::kStatusFailedCast);
}

TEST(AliasData, SnapshotRefusesEdits) {
    auto data = snapshotOf({{"a", R"({"alias":"x"})"}});
    EXPECT_EQ(qvtest::thrownStatus([&] { data->setAlias("a", "y"); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(data->getAlias("a"), "x");
}

class CommitterTest : public ::testing::Test {
protected:
    std::unique_ptr<qvzek::AutoLockingAliasStorageDataCommitterJsonconfig> edit() {
        std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> devices(factory.createIterator());
        return std::make_unique<qvzek::AutoLockingAliasStorageDataCommitterJsonconfig>(
            file, devices.get(), provider);
    }

    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    const bool written = (qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,)"
                                                  R"("devices":{"t1":{"alias":"one"}}})"),
                          true);
    qvjsonconfig::LockableFile file{path.c_str(), false};
    qvtest::FakeDeviceFactory factory{{"t1", "t2"}};
    qvtest::FakeAliasFactory aliases;
    qvjsonconfig::AliasAttributeProvider provider{aliases};
};

TEST_F(CommitterTest, WritesOnlyOnCommit) {
    std::string committed;
    {
        auto committer = edit();
        committed = qvtest::readFile(path);  // the merged document, t2 added
        committer->getData()->setAlias("t2", "two");
    }
    EXPECT_EQ(qvtest::readFile(path), committed);
    {
        auto committer = edit();
        auto before = committer->getData()->clone();
        committer->getData()->setAlias("t2", "two");
        EXPECT_EQ(before->getAlias("t2"), "");
        EXPECT_EQ(committer->getData()->getAlias("t2"), "two");
        committer->commit();
    }
    auto committer = edit();
    EXPECT_EQ(committer->getData()->getAlias("t2"), "two");
    EXPECT_EQ(committer->getData()->getAlias("t1"), "one");
    EXPECT_EQ(qvtest::thrownStatus([&] { committer->getData()->setAlias("t9", "x"); }).first,
              qvjsonconfig::kErrorDeviceEntryNotFound);
}

}  // namespace
