#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "qverr/Codes.h"
#include "qvsysq/sysq.h"
#include "support/ScopedEnvironment.h"
#include "support/SimulatedRoot.h"
#include "support/TempDir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

using qvtest::ScopedEnvironment;

bool isDirectory(const std::string& path) {
    return std::filesystem::is_directory(path);
}

class StandardPathsTest : public ::testing::Test {
protected:
    qvtest::SimulatedRoot root;
};

TEST_F(StandardPathsTest, FixedDirectoriesLieUnderTheSystemRoot) {
    EXPECT_EQ(qvsysq::getRunStateDir(), root / "var/run");
    EXPECT_EQ(qvsysq::SysqWrapper().getLocalStateDir(), root / "var/local/vorlane");
    // Without a relocation library every named directory is its default.
    EXPECT_EQ(qvsysq::getMultiarchLibDir(), root / "usr/lib/x86_64-linux-gnu");
    EXPECT_EQ(qvsysq::getSharedStateDir(), root / "var/lib");
    qverr::Status status;
    qvhtl::err::String out;
    qvsysq::getInstallDir("bindirx", out, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_osFault);
    EXPECT_STREQ(out.c_str(), "");
}

TEST_F(StandardPathsTest, TemporaryDirectoryAndFileNames) {
    {
        ScopedEnvironment unset("TMPDIR", nullptr);
        EXPECT_EQ(qvsysq::getTempDir(), root / "tmp");
    }
    ScopedEnvironment tmpdir("TMPDIR", (root.path() + "/").c_str());
    EXPECT_EQ(qvsysq::getTempDir(), root.path() + "/");
    // The name is taken for the caller: the file exists, empty.
    const std::string first = qvsysq::getTempFileName();
    EXPECT_NE(first, qvsysq::getTempFileName());
    EXPECT_THAT(first, StartsWith(root.path() + "/"));
    EXPECT_EQ(qvtest::readFile(first), "");
    EXPECT_TRUE(std::filesystem::is_regular_file(first));
}

TEST_F(StandardPathsTest, TheSharedDataDirectoryComesFromItsPointerFile) {
    EXPECT_EQ(qvsysq::getSharedDataDir(), root / "usr/local/vorlane/share");
    qvtest::writeFile(root / "etc/vorlane/share/share.dir", " /opt/qv share/\n\n");
    EXPECT_EQ(qvsysq::SysqWrapper().getSharedDir(), "/opt/qv share");
    qvtest::writeFile(root / "etc/vorlane/share/share.dir", "///");
    EXPECT_EQ(qvsysq::getSharedDataDir(), "");
}

TEST_F(StandardPathsTest, TheUserConfigurationDirectoryFollowsXdgThenHome) {
    ScopedEnvironment xdg("XDG_CONFIG_HOME", (root.path() + "/x/y/z//").c_str());
    EXPECT_EQ(qvsysq::getUserConfigDir(false), root / "x/y/z");
    EXPECT_FALSE(isDirectory(root / "x"));
    EXPECT_EQ(qvsysq::getUserConfigDir(true), root / "x/y/z");
    EXPECT_TRUE(isDirectory(root / "x/y/z"));

    ScopedEnvironment noXdg("XDG_CONFIG_HOME", nullptr);
    std::filesystem::create_directories(root / "home");
    ScopedEnvironment home("HOME", (root.path() + "/home/").c_str());
    EXPECT_EQ(qvsysq::getUserConfigDir(true), root / "home/.config");
    EXPECT_TRUE(isDirectory(root / "home/.config"));
    // Under HOME only ".config" itself is made.
    ScopedEnvironment missingHome("HOME", (root / "nohome").c_str());
    const auto [code, detail] = qvtest::thrownStatus([] { qvsysq::getUserConfigDir(true); });
    EXPECT_EQ(code, qverr::qvapalerr_resourceNotFound);
    EXPECT_THAT(detail, HasSubstr("\"qvsysq_debug\":{\"desc\":\"parent not found\"}"));
    EXPECT_FALSE(isDirectory(root / "nohome"));
}

TEST_F(StandardPathsTest, DirectoriesAreCreatedOrFoundAlready) {
    qverr::Status status;
    qvsysq::createDirectory(root.path().c_str(), status);
    EXPECT_EQ(status.code, 0);
    qvsysq::createDirectories((root / "a//b/c/").c_str(), status);
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(isDirectory(root / "a/b/c"));
    struct stat info {};
    stat((root / "a/b").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    qvtest::writeFile(root / "file", "x");
    qvsysq::createDirectories((root / "file").c_str(), status);
    EXPECT_EQ(status.code, qverr::qvapalerr_objectNameCollision);
    EXPECT_THAT(status.jsonText(),
                HasSubstr("\"internal_error\":{\"api\":\"errno\",\"code\":17,\"string\":"));
    EXPECT_THAT(status.jsonText(), HasSubstr("\"qvsysq_debug\":{\"desc\":\"path exist but not a "
                                             "dir\",\"path\":\"" +
                                             root / "file" + "\"}"));
}

TEST_F(StandardPathsTest, ADirectoryIsNoFileToRead) {
    qverr::Status status;
    qvhtl::err::String bytes;
    qvsysq::readFile(root.path().c_str(), bytes, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_THAT(status.jsonText(), HasSubstr("\"desc\":\"error opening file\",\"filename\":\""));
}

// The path of one named directory as a relocation library leaves it, and
// the status code of the table's creation.
std::pair<std::string, int32_t> relocated(const char* library, const char* name) {
    std::vector<qvsysq::internal::InstallDir> table;
    qverr::Status status;
    qvsysq::internal::buildInstallDirs(library, table, status);
    EXPECT_EQ(table.size(), 19u);
    for (const auto& entry : table)
        if (entry.name == name) return {entry.path, status.code};
    return {"absent", status.code};
}

TEST(InstallDirectories, RelocationVariants) {
    using Result = std::pair<std::string, int32_t>;
    EXPECT_EQ(relocated("libqvabsent.so.0", "initddir"), Result("/etc/init.d", 0));
    EXPECT_EQ(relocated(QV_RELOCATIONS_RELOCATE, "multiarchlibdir"),
              Result("/opt/qvrelocated/multiarchlibdir", 0));
    EXPECT_EQ(relocated(QV_RELOCATIONS_RELOCATE, "bindir"), Result("/usr/bin", 0));
    EXPECT_EQ(relocated(QV_RELOCATIONS_ANSWER0, "docdir"), Result("/usr/share/doc", 0));
    // A function that fills the whole buffer still yields a terminated path.
    EXPECT_EQ(relocated(QV_RELOCATIONS_NONUL, "bindir"), Result(std::string(255, 'x'), 0));
    EXPECT_EQ(relocated(QV_RELOCATIONS_ANSWERFAIL, "bindir"),
              Result("/usr/bin", qverr::qvapalerr_resourceNotFound));
}

TEST(FailingRelocationLibrary, EveryNamedQueryFails) {
    if (getenv("QV_RELOCATION_FAILS") == nullptr) GTEST_SKIP() << "needs the failing library";
    qverr::Status status;
    qvhtl::err::String out;
    qvsysq::getInstallDir("bindir", out, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(qvtest::thrownStatus([] { qvsysq::getMultiarchLibDir(); }).first,
              qverr::qvapalerr_resourceNotFound);
    // Paths that are not named directories are not affected.
    EXPECT_NO_THROW(qvsysq::getLocalStateDir());
}

}  // namespace
