// The configuration store's raise sites report the fixed source names and
// lines that the error descriptions know.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "qvjsonconfig/Configuration.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"
#include "qvjsonlh/cJSONUtils.h"
#include "support/TempDir.h"

namespace {

using qvjsonconfig::ConfigurationData;
using qvjsonconfig::LockableFile;
using ::testing::HasSubstr;

std::string site(const char* file, int line) {
    return "\"file\":\"" + std::string(file) + "\",\"line\":" + std::to_string(line) + ",";
}

TEST(RaiseSites, LockableFile) {
    qvtest::TempDir dir;
    EXPECT_THAT(
        qvtest::thrownStatus([&] { LockableFile file((dir / "absent").c_str(), false); }).second,
        HasSubstr(site("LockableFile", 91)));
    EXPECT_THAT(qvtest::thrownStatus([&] {
                    LockableFile file((dir / "missing/file").c_str(), true);
                }).second,
                HasSubstr(site("LockableFile", 116)));

    // A write beyond the file-size limit, in a child that may lower it.
    const std::string path = dir / "limited";
    qvtest::writeFile(path, "{}");
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{8, 8};
        setrlimit(RLIMIT_FSIZE, &limit);
        LockableFile file(path.c_str(), false);
        const std::string text(64, 'x');
        const auto detail = qvtest::thrownStatus([&] {
                                file.write(text.data(), text.data() + text.size());
                            }).second;
        _exit(detail.find(site("LockableFile", 185)) != std::string::npos ? 0 : 1);
    }
    int result = -1;
    ASSERT_EQ(waitpid(child, &result, 0), child);
    EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == 0);
}

TEST(RaiseSites, ConfigurationData) {
    ConfigurationData data;
    data.addDeviceEntry("tok", qvjsonlh::createObject(), qvjsonlh::createObject());
    EXPECT_THAT(qvtest::thrownStatus([&] {
                    data.addDeviceEntry("tok", qvjsonlh::createObject(), qvjsonlh::createObject());
                }).second,
                HasSubstr(site("ConfigurationData", 40)));
    EXPECT_THAT(qvtest::thrownStatus([&] { data.getDeviceEntry("absent"); }).second,
                HasSubstr(site("ConfigurationData", 89)));
    EXPECT_THAT(qvtest::thrownStatus([&] { data.removeDeviceEntry("absent"); }).second,
                HasSubstr(site("ConfigurationData", 63)));
}

TEST(RaiseSites, ConfigurationVersions) {
    qvjsonlh::AutoCJSON old(qvjsonlh::parse(R"({"version":0,"devices":{}})"));
    EXPECT_THAT(qvtest::thrownStatus([&] { qvjsonconfig::checkVersion(old.get()); }).second,
                HasSubstr(site("ConfigurationHelper", 67)));
    qvjsonlh::AutoCJSON newer(qvjsonlh::parse(R"({"version":3,"oldest_compatible_version":2})"));
    EXPECT_THAT(qvtest::thrownStatus([&] { qvjsonconfig::checkVersion(newer.get()); }).second,
                HasSubstr(site("ConfigurationHelper", 77)));
}

}  // namespace
