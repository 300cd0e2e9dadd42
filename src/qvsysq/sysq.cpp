#include "qvsysq/sysq.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvsysq/internal/systemRoot.h"

namespace qvsysq {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
constexpr const char* kRunStateDir = "/var/run";
constexpr const char* kLocalStateDir = "/var/local/vorlane";
constexpr const char* kSharedDataPointer = "/etc/vorlane/share/share.dir";
constexpr const char* kSharedDataDefault = "/usr/local/vorlane/share";
constexpr const char* kTempDefault = "/tmp";
constexpr const char* kUserConfigSuffix = "/.config";

using qverr::DetailWriter;

// Runs a status-style body, turning an allocation failure into -52000.
template <typename Body>
void guarded(qverr::Status& status, Body body) {
    if (status.isError()) return;
    try {
        body();
    } catch (const std::bad_alloc&) {
        status.setCode(qverr::qvapalerr_memoryFull,
                       QVERR_LOCATION(kComponent, "qvapalerr_memoryFull"));
    }
}

// The two call styles over one query that fills a std::string.
template <typename Query>
void intoString(qvhtl::err::String& out, qverr::Status& status, Query query) {
    std::string text;
    guarded(status, [&] { query(text, status); });
    if (!status.isError()) out.assign(text.data(), text.size(), status);
}

template <typename Query>
std::string throwing(Query query) {
    qverr::Status status;
    std::string text;
    guarded(status, [&] { query(text, status); });
    if (status.isError()) qverr::throwStatus(std::move(status));
    return text;
}

void raiseWithDebug(qverr::Status& status, int32_t code, const qverr::SourceLocation& location,
                    int err, const char* desc, const char* pathKey, const char* path) {
    if (!status.setCode(code, location)) return;
    DetailWriter writer(status);
    writer.errnoRecord(err).beginObject("qvsysq_debug").add("desc", desc);
    if (pathKey != nullptr) writer.add(pathKey, path);
    writer.endObject();
}

bool isTrimmedAtEnd(char c) {
    return c == '\0' || c == '/' || std::isspace(static_cast<unsigned char>(c));
}

// The installation-directory table and the status of its creation, built
// on first use.
struct InstallDirTable {
    std::vector<internal::InstallDir> entries;
    qverr::Status creationStatus;
};

InstallDirTable& installDirTable() {
    static InstallDirTable table;
    static std::once_flag once;
    std::call_once(once, [] {
        internal::buildInstallDirs("libqvrelocations.so.0", table.entries, table.creationStatus);
    });
    return table;
}

}  // namespace

std::string trimPath(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && isTrimmedAtEnd(path[end - 1])) --end;
    size_t begin = 0;
    while (begin < end && std::isspace(static_cast<unsigned char>(path[begin]))) ++begin;
    return path.substr(begin, end - begin);
}

namespace {

// The queries, each filling a std::string; the two call styles wrap them.

void localStateDir(std::string& out, qverr::Status&) {
    out = internal::rooted(kLocalStateDir);
}

void tempDir(std::string& out, qverr::Status&) {
    const char* value = getenv("TMPDIR");
    out = value != nullptr ? std::string(value) : internal::rooted(kTempDefault);
}

void readWholeFile(const char* path, std::string& bytes, qverr::Status& status) {
    const char* name = path != nullptr ? path : "";
    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(name, "rbe"), &fclose);
    struct stat info {};
    int openErr = file ? 0 : errno;
    // Only a regular file has a size worth reading.
    if (file && (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))) {
        openErr = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        file.reset();
    }
    if (!file) {
        raiseWithDebug(status, qverr::qvapalerr_resourceNotFound,
                       QVERR_LOCATION(kComponent, "qvapalerr_resourceNotFound"), openErr,
                       "error opening file", "filename", name);
        return;
    }
    long size = -1;
    if (fseek(file.get(), 0, SEEK_END) == 0) size = ftell(file.get());
    rewind(file.get());
    const size_t wanted = size > 0 ? static_cast<size_t>(size) : 0;
    bytes.resize(wanted);
    const size_t got = wanted > 0 ? fread(bytes.data(), 1, wanted, file.get()) : 0;
    if (size >= 0 && got == wanted) return;
    const int err = errno;
    bytes.resize(got);
    if (status.setCode(qverr::qvapalerr_osFault, QVERR_LOCATION(kComponent, "qvapalerr_osFault"))) {
        DetailWriter(status)
            .errnoRecord(err)
            .beginObject("qvsysq_debug")
            .add("desc", "didn't read full content of file")
            .add("fileSize", static_cast<uint64_t>(size))
            .add("fread_return", got)
            .add("filename", name)
            .endObject();
    }
}

void sharedDataDir(std::string& out, qverr::Status&) {
    std::string content;
    qverr::Status readStatus;
    readWholeFile(internal::rooted(kSharedDataPointer).c_str(), content, readStatus);
    // No pointer file: the default place, and no error.
    out = readStatus.isError() ? internal::rooted(kSharedDataDefault) : trimPath(content);
}

void userConfigDir(bool create, std::string& out, qverr::Status& status) {
    if (const char* xdg = getenv("XDG_CONFIG_HOME"); xdg != nullptr) {
        out = trimPath(xdg);
        if (create) createDirectories(out.c_str(), status);
        return;
    }
    std::string home;
    if (const char* value = getenv("HOME"); value != nullptr) {
        home = value;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[1024];
        const int err = getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found);
        if (err != 0 || found == nullptr || found->pw_dir == nullptr) {
            raiseWithDebug(status, qverr::qvapalerr_resourceNotFound,
                           QVERR_LOCATION(kComponent, "qvapalerr_resourceNotFound"),
                           err != 0 ? err : ENOENT, "getpwuid_r failed", nullptr, nullptr);
            return;
        }
        home = found->pw_dir;
    }
    out = trimPath(home) + kUserConfigSuffix;
    // The home directory itself is not made here.
    if (create) createDirectory(out.c_str(), status);
}

void installDir(const char* name, std::string& out, qverr::Status& status) {
    const InstallDirTable& table = installDirTable();
    status.merge(table.creationStatus);
    if (status.isError()) return;
    const std::string wanted = name != nullptr ? name : "";
    for (const internal::InstallDir& entry : table.entries) {
        if (entry.name == wanted) {
            out = entry.relocated ? entry.path : internal::rooted(entry.path.c_str());
            return;
        }
    }
    if (status.setCode(qverr::qvapalerr_osFault, QVERR_LOCATION(kComponent, "qvapalerr_osFault"))) {
        DetailWriter(status)
            .beginObject("qvsysq_debug")
            .add("desc", "unknown install directory")
            .add("name", wanted)
            .endObject();
    }
}

void multiarchLibDir(std::string& out, qverr::Status& status) {
    installDir("multiarchlibdir", out, status);
}

void sharedStateDir(std::string& out, qverr::Status& status) {
    installDir("sharedstatedir", out, status);
}

}  // namespace

std::string getRunStateDir() {
    return internal::rooted(kRunStateDir);
}

void getLocalStateDir(qvhtl::err::String& out, qverr::Status& status) {
    intoString(out, status, localStateDir);
}
std::string getLocalStateDir() {
    return throwing(localStateDir);
}

void getTempDir(qvhtl::err::String& out, qverr::Status& status) {
    intoString(out, status, tempDir);
}
std::string getTempDir() {
    return throwing(tempDir);
}

std::string getTempFileName() {
    // A name that is only generated can be taken by another process before
    // the caller creates it; the file is created here instead.
    std::string name = getTempDir() + "/qvXXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        qverr::Status status;
        raiseWithDebug(status, qverr::qvapalerr_osFault,
                       QVERR_LOCATION(kComponent, "qvapalerr_osFault"), err,
                       "temporary file not created", "path", name.c_str());
        qverr::throwStatus(std::move(status));
    }
    close(fd);
    return name;
}

void getSharedDataDir(qvhtl::err::String& out, qverr::Status& status) {
    intoString(out, status, sharedDataDir);
}
std::string getSharedDataDir() {
    return throwing(sharedDataDir);
}

void getUserConfigDir(bool create, qvhtl::err::String& out, qverr::Status& status) {
    intoString(out, status,
               [create](std::string& text, qverr::Status& s) { userConfigDir(create, text, s); });
}
std::string getUserConfigDir(bool create) {
    return throwing(
        [create](std::string& text, qverr::Status& s) { userConfigDir(create, text, s); });
}

void getInstallDir(const char* name, qvhtl::err::String& out, qverr::Status& status) {
    intoString(out, status,
               [name](std::string& text, qverr::Status& s) { installDir(name, text, s); });
}
std::string getSharedStateDir() {
    return throwing(sharedStateDir);
}

void getMultiarchLibDir(qvhtl::err::String& out, qverr::Status& status) {
    intoString(out, status, multiarchLibDir);
}
std::string getMultiarchLibDir() {
    return throwing(multiarchLibDir);
}

void readFile(const char* path, qvhtl::err::String& bytes, qverr::Status& status) {
    intoString(bytes, status,
               [path](std::string& text, qverr::Status& s) { readWholeFile(path, text, s); });
}

void createDirectory(const char* path, qverr::Status& status) {
    if (status.isError()) return;
    if (path == nullptr) path = "";
    if (mkdir(path, 0700) == 0) return;
    const int err = errno;
    if (err == EEXIST) {
        struct stat info {};
        if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) return;
        raiseWithDebug(status, qverr::qvapalerr_objectNameCollision,
                       QVERR_LOCATION(kComponent, "qvapalerr_objectNameCollision"), err,
                       "path exist but not a dir", "path", path);
    } else if (err == ENOENT) {
        raiseWithDebug(status, qverr::qvapalerr_resourceNotFound,
                       QVERR_LOCATION(kComponent, "qvapalerr_resourceNotFound"), err,
                       "parent not found", nullptr, nullptr);
    } else {
        raiseWithDebug(status, qverr::qvapalerr_osFault,
                       QVERR_LOCATION(kComponent, "qvapalerr_osFault"), err, "mkdir failed", "path",
                       path);
    }
}

void createDirectories(const char* path, qverr::Status& status) {
    guarded(status, [&] {
        std::string work = path != nullptr ? path : "";
        std::vector<size_t> cuts;
        size_t end = work.size();
        for (;;) {
            qverr::Status attempt;
            createDirectory(work.substr(0, end).c_str(), attempt);
            if (!attempt.isError()) break;
            const size_t slash = (attempt.code == qverr::qvapalerr_resourceNotFound && end > 0)
                                     ? work.rfind('/', end - 1)
                                     : std::string::npos;
            if (attempt.code != qverr::qvapalerr_resourceNotFound || slash == std::string::npos ||
                slash == 0) {
                status.mergeMove(attempt);
                return;
            }
            cuts.push_back(end);
            end = slash;
        }
        for (auto it = cuts.rbegin(); it != cuts.rend() && !status.isError(); ++it) {
            createDirectory(work.substr(0, *it).c_str(), status);
        }
    });
}

std::string SysqWrapper::getRunStateDir() {
    return qvsysq::getRunStateDir();
}
std::string SysqWrapper::getLocalStateDir() {
    return qvsysq::getLocalStateDir();
}
std::string SysqWrapper::getSharedDataDir() {
    return qvsysq::getSharedDataDir();
}
std::string SysqWrapper::getSharedDir() {
    return qvsysq::getSharedDataDir();
}
std::string SysqWrapper::getTempDir() {
    return qvsysq::getTempDir();
}
std::string SysqWrapper::getUserConfigDir(bool create) {
    return qvsysq::getUserConfigDir(create);
}
std::string SysqWrapper::getTempFileName() {
    return qvsysq::getTempFileName();
}

}  // namespace qvsysq
