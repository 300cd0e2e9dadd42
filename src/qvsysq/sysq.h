// Where things live on the machine: state, temporary, shared-data and user
// configuration directories, the named installation directories (which an
// optional relocation library may move), and the small file operations
// these answers need.
//
// Status style: takes a qverr::Status, does nothing when it already holds
// an error, and leaves its answer in a status-carrying string. String style: returns the text and
// throws qverr::Exception.
#pragma once

#include <string>
#include <vector>

#include "qverr/Status.h"
#include "qvhtl/err/String.h"

namespace qvsysq {

std::string getRunStateDir();

void getLocalStateDir(qvhtl::err::String& out, qverr::Status& status);
std::string getLocalStateDir();

// "TMPDIR" as it is, else the default temporary directory.
void getTempDir(qvhtl::err::String& out, qverr::Status& status);
std::string getTempDir();

// The name of a new, empty file of this process's own in the temporary
// directory (created with a unique name, so no other process can take it).
std::string getTempFileName();

// The directory named in the share.dir pointer file, else the default.
void getSharedDataDir(qvhtl::err::String& out, qverr::Status& status);
std::string getSharedDataDir();

// "XDG_CONFIG_HOME", else the home directory with "/.config"; created
// when asked.
void getUserConfigDir(bool create, qvhtl::err::String& out, qverr::Status& status);
std::string getUserConfigDir(bool create);

std::string getSharedStateDir();
void getMultiarchLibDir(qvhtl::err::String& out, qverr::Status& status);
std::string getMultiarchLibDir();

// The installation directory of that name ("prefixdir" ... "initddir");
// an unknown name gives -52008, a failed relocation -52006.
void getInstallDir(const char* name, qvhtl::err::String& out, qverr::Status& status);

// One directory with mode 0700; an existing directory is fine.
void createDirectory(const char* path, qverr::Status& status);
// The directory and its missing parents.
void createDirectories(const char* path, qverr::Status& status);
// The whole file.
void readFile(const char* path, qvhtl::err::String& bytes, qverr::Status& status);

// Trailing whitespace, NUL and '/' removed, then leading whitespace.
std::string trimPath(const std::string& path);

// The string-style queries behind an interface, for callers that take
// them as a dependency.
class SysqWrapper {
public:
    virtual ~SysqWrapper() = default;
    virtual std::string getRunStateDir();
    virtual std::string getLocalStateDir();
    virtual std::string getSharedDataDir();
    virtual std::string getSharedDir();
    virtual std::string getTempDir();
    virtual std::string getUserConfigDir(bool create);
    virtual std::string getTempFileName();
};

namespace internal {

struct InstallDir {
    std::string name;
    std::string path;
    bool relocated;
};

// Builds the installation-directory table with the relocation library at
// libraryPath (missing library or function: the defaults); the status of
// the build goes to creationStatus.
void buildInstallDirs(const char* libraryPath, std::vector<InstallDir>& table,
                      qverr::Status& creationStatus);

}  // namespace internal

}  // namespace qvsysq
