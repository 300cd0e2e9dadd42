#include "qvjsonconfig/afaWrappers/LockableFile.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "qvapal/status/tStatus.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/qvmxl.h"

namespace qvjsonconfig {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
// Source name reported by this file's raise sites.
constexpr const char* kSource = "LockableFile";
constexpr int kOpenAttempts = 6;
constexpr long kRetryDelayNs = 10000000;
constexpr size_t kReadBlock = 128;
// Free room beyond the text that a rewrite in place without a copy asks
// for where an overwrite may need new blocks: btrfs with data and metadata
// in shared block groups counts what it keeps for itself (1.7 MiB on a
// 110 MB disk) as free, the overwrite's metadata takes more, and other
// writers may take room meanwhile.
constexpr size_t kRoomMargin = size_t{4} << 20;

void sleepRetryDelay() {
    timespec delay{0, kRetryDelayNs};
    timespec remaining{};
    while (nanosleep(&delay, &remaining) != 0 && errno == EINTR) delay = remaining;
}

// Raises code with the file-failure context: a comment, the path when
// given, and the errno record when err is not 0.
[[noreturn]] void throwWithContext(int32_t code, const qverr::SourceLocation& location,
                                   const char* comment, const char* path, int err) {
    qverr::Status status;
    status.setCode(code, location);
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeComment(writer, comment);
    if (path != nullptr) {
        writer = qvmxl::writeUsageParam(writer,
                                        qvmxl::UsageParam<const char*>{"kUsageTypeFilePath", path});
    }
    if (err != 0) qverr::DetailWriter(status).errnoRecord(err);
    qverr::throwStatus(std::move(status));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

enum class PathState { kSame, kReplaced, kMissing };

// Whether the path still names the open file. When either cannot be looked
// at for another reason, the open file stands.
PathState pathState(int fd, const std::string& path) {
    struct stat open {};
    struct stat named {};
    if (fstat(fd, &open) != 0) return PathState::kSame;
    if (stat(path.c_str(), &named) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? PathState::kMissing : PathState::kSame;
    }
    return sameFile(open, named) ? PathState::kSame : PathState::kReplaced;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The errors of a disk, quota or file-size limit that has no room left.
bool lacksRoom(int err) {
    return err == ENOSPC || err == EDQUOT || err == EFBIG;
}

// The errors of a folder or mount that refuses a new name in it: another
// mount (EXDEV), a read-only one (EROFS), a sticky or append-only folder
// (EPERM), a folder the saver may not write (EACCES).
bool refusedByFolder(int err) {
    return err == EXDEV || err == EROFS || err == EPERM || err == EACCES;
}

bool writeAll(int fd, const char* data, size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, data, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = ENOSPC;
            return false;
        }
        data += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

// Whether any block of the file is shared with another file (a reflinked
// copy), or its blocks cannot be listed.
bool sharesBlocks(int fd) {
    constexpr unsigned kExtents = 32;
    alignas(fiemap) unsigned char buffer[sizeof(fiemap) + kExtents * sizeof(fiemap_extent)];
    auto* map = reinterpret_cast<fiemap*>(buffer);
    for (uint64_t start = 0;;) {
        memset(buffer, 0, sizeof buffer);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_extent_count = kExtents;
        if (ioctl(fd, FS_IOC_FIEMAP, map) != 0) return true;
        if (map->fm_mapped_extents == 0) return false;
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = map->fm_extents[i];
            if ((extent.fe_flags & FIEMAP_EXTENT_SHARED) != 0) return true;
            if ((extent.fe_flags & FIEMAP_EXTENT_LAST) != 0) return false;
            start = extent.fe_logical + extent.fe_length;
        }
    }
}

// Whether rewriting the file's bytes needs no new blocks, so that a full
// disk cannot stop it part way: file systems that overwrite blocks where
// they are (ext2/3/4, tmpfs) and, on XFS, a file that shares no block with
// another. Copy-on-write file systems (btrfs, ZFS, bcachefs) write every
// change elsewhere; they and any other are refused.
bool overwritesInPlace(int fd) {
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0) return false;
    switch (fs.f_type) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case TMPFS_MAGIC:
            return true;
        case XFS_SUPER_MAGIC:
            return !sharesBlocks(fd);
        default:
            return false;
    }
}

// Whether the file's file system has, for this process, room for count
// bytes and the margin.
bool hasRoomFor(int fd, size_t count) {
    struct statvfs fs {};
    if (fstatvfs(fd, &fs) != 0 || fs.f_frsize == 0) return false;
    return fs.f_bavail >= (count + kRoomMargin + fs.f_frsize - 1) / fs.f_frsize;
}

// Whether a save whose copy beside the file was refused with `refused`
// may rewrite the file in place, where a rewrite that stops part way tears
// it. A copy refused for want of room: only where an overwrite needs no
// new blocks. A copy refused by the folder or the mount (a file mounted at
// the path, a read-only, sticky or append-only folder, a folder the saver
// may not write): also on any file system that shows room for the text.
// Any other failure is no reason to give up the copy's safety.
bool mayRewriteInPlace(int fd, int refused, size_t count) {
    if (lacksRoom(refused)) return overwritesInPlace(fd);
    if (refusedByFolder(refused)) return overwritesInPlace(fd) || hasRoomFor(fd, count);
    return false;
}

// Syncs the folder's entries. A folder open path-only cannot be synced
// itself: the file system that holds `file` is.
void syncFolder(int folder, int file) {
    if (fsync(folder) != 0 && errno == EBADF) (void)syncfs(file);
}

// Where the file's first hole starts (its size when it has none), the
// descriptor's offset left where the stream expects it.
off_t firstHole(int fd) {
    const off_t at = lseek(fd, 0, SEEK_CUR);
    const off_t hole = lseek(fd, 0, SEEK_HOLE);
    if (at >= 0) (void)lseek(fd, at, SEEK_SET);
    return hole < 0 ? 0 : hole;
}

// The id that stat shows for an owner or group that this process's user
// namespace does not map.
unsigned overflowId(const char* path) {
    unsigned id = 65534;
    if (FILE* file = fopen(path, "re")) {
        if (fscanf(file, "%u", &id) != 1) id = 65534;
        fclose(file);
    }
    return id;
}

// Whether this process may rename over or remove `file` in a sticky
// directory of another user: CAP_FOWNER in its effective set, which root
// may lack, and the file's owner and group mapped in its user namespace,
// without which the capability does not reach the file.
bool actsAsOwnerOf(const struct stat& file) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    if ((data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) == 0) return false;
    return file.st_uid != overflowId("/proc/sys/kernel/overflowuid") &&
           file.st_gid != overflowId("/proc/sys/kernel/overflowgid");
}

#define WRITE_LOCATION(line) \
    QVERR_FIXED_LOCATION(kSource, line, kComponent, "nQVAPALS100::tStatus::kEndOfData")

}  // namespace

FILE* LockableFile::open(const char* path, bool createIfMissing) {
    if (path == nullptr) {
        qverr::throwError(
            qverr::qvapalerr_invalidParameter,
            QVERR_FIXED_LOCATION(kSource, 91, kComponent, "qvapalerr_invalidParameter"));
    }
    FILE* stream = fopen(path, "r+be");
    if (stream != nullptr) return stream;
    if (!createIfMissing) {
        throwWithContext(nQVAPALS100::tStatus::kResourceNotFound,
                         QVERR_FIXED_LOCATION(kSource, 91, kComponent,
                                              "nQVAPALS100::tStatus::kResourceNotFound"),
                         "Failed to open file", path, 0);
    }
    int err = errno;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        LockableFile::createIfMissing(path);
        stream = fopen(path, "r+be");
        if (stream != nullptr) return stream;
        err = errno;
        sleepRetryDelay();
    }
    throwWithContext(
        nQVAPALS100::tStatus::kResourceNotFound,
        QVERR_FIXED_LOCATION(kSource, 116, kComponent, "nQVAPALS100::tStatus::kResourceNotFound"),
        "Failed to open file", path, err);
}

LockableFile::LockableFile(const char* path, bool createIfMissing)
    : path_(path != nullptr ? path : ""),
      createIfMissing_(createIfMissing),
      stream_(open(path, createIfMissing), &fclose),
      mutex_(),
      fileLock_(std::make_unique<qvafa::FileLock>(stream_.get())) {}

LockableFile::~LockableFile() = default;

void LockableFile::createIfMissing(const char* path) {
    const int fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return;
    // The process umask must not narrow the mode: every user's process
    // shares this file.
    (void)fchmod(fd, 0666);
    (void)fsync(fd);
    close(fd);
}

void LockableFile::lock() {
    mutex_.lock();
    try {
        fileLock_->lock();
        if (lockDepth_ == 0) {
            try {
                followPath();
            } catch (...) {
                fileLock_->unlock();
                throw;
            }
        }
    } catch (...) {
        mutex_.unlock();
        throw;
    }
    ++lockDepth_;
}

void LockableFile::unlock() {
    if (lockDepth_ > 0) --lockDepth_;
    fileLock_->unlock();
    mutex_.unlock();
}

// Runs holding the file lock of the open file; returns holding the lock of
// the file the path names (or of the open one when the path names none and
// none may be created: write then refuses).
void LockableFile::followPath() {
    for (;;) {
        const PathState state = pathState(fileno(stream_.get()), path_);
        if (state == PathState::kSame) return;
        if (state == PathState::kMissing && !createIfMissing_) return;
        fileLock_->unlock();
        std::unique_ptr<FILE, int (*)(FILE*)> fresh(open(path_.c_str(), createIfMissing_), &fclose);
        auto freshLock = std::make_unique<qvafa::FileLock>(fresh.get());
        freshLock->lock();
        stream_.swap(fresh);
        fileLock_.swap(freshLock);
        // The file locked now may have been replaced in the meantime too.
    }
}

void LockableFile::read(std::string& out) {
    out.clear();
    rewind(stream_.get());
    char block[kReadBlock];
    for (;;) {
        const size_t got = fread(block, 1, sizeof block, stream_.get());
        out.append(block, got);
        if (got < sizeof block) break;
    }
    if (ferror(stream_.get())) {
        throwWithContext(
            nQVAPALS100::tStatus::kEndOfData,
            QVERR_FIXED_LOCATION(kSource, 239, kComponent, "nQVAPALS100::tStatus::kEndOfData"),
            "Failed to read file", nullptr, errno);
    }
}

void LockableFile::throwFileError(const char* comment, int err,
                                  const qverr::SourceLocation& location) {
    // Bytes still buffered must not reach the file later, at close.
    __fpurge(stream_.get());
    clearerr(stream_.get());
    throwWithContext(nQVAPALS100::tStatus::kEndOfData, location, comment, nullptr, err);
}

void LockableFile::write(const char* begin, const char* end) {
    const size_t count = (begin != nullptr && end > begin) ? static_cast<size_t>(end - begin) : 0;
    const int fd = fileno(stream_.get());
    struct stat info {};
    if (fstat(fd, &info) != 0) throwFileError("Failed to write file", errno, WRITE_LOCATION(185));
    // A file that another program removed or replaced would take the text
    // where nobody reads it.
    struct stat named {};
    if (stat(path_.c_str(), &named) != 0)
        throwFileError("Failed to write file", errno, WRITE_LOCATION(185));
    if (!sameFile(info, named)) throwFileError("Failed to write file", ESTALE, WRITE_LOCATION(185));
    if (const int refused = replaceThroughSibling(info, begin, count); refused != 0)
        writeInPlace(info.st_size, begin, count, refused);
}

// The file is rewritten in place, but only while the path names a complete
// copy of the new text: the copy is written and synced beside the file,
// the file gets a second name, the copy is renamed over the path, the file
// is rewritten and synced, and its second name is renamed back over the
// path. A kill at any point leaves the old text (the file) or the new text
// (the copy, or the file rewritten) at the path; the next save removes what
// was left beside it. The copy is locked before it is put at the path, so
// that a process that opens it meanwhile waits and then follows the path
// back to the file; when the file cannot be put back, the copy stays at the
// path and becomes the open file. Every step after the checks goes through
// the directory's descriptor, so that the directory checked is the one
// changed. 0 when the save is done; otherwise nothing was changed and the
// errno says why no copy could be made, for writeInPlace to judge.
int LockableFile::replaceThroughSibling(const struct stat& info, const char* begin, size_t count) {
    char* resolved = realpath(path_.c_str(), nullptr);
    if (resolved == nullptr) throwFileError("Failed to write file", errno, WRITE_LOCATION(185));
    const std::string real(resolved);
    free(resolved);
    const size_t slash = real.rfind('/');
    const std::string name = real.substr(slash + 1);
    const std::string copyName = "." + name + ".new";
    const std::string fileName = "." + name + ".old";
    const std::string dirPath = slash == 0 ? "/" : real.substr(0, slash);
    int dirFd = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder the saver may search but not read serves every step but its
    // own sync through a path-only descriptor.
    if (dirFd < 0 && (errno == EACCES || errno == EPERM))
        dirFd = ::open(dirPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const Descriptor dir(dirFd);
    struct stat dirInfo {};
    if (dir.get() < 0 || fstat(dir.get(), &dirInfo) != 0)
        throwFileError("Failed to write file", errno, WRITE_LOCATION(185));
    // What an interrupted save left, and the saver may not remove (another
    // user's, in an append-only or read-only folder), would refuse the copy
    // with EEXIST: the folder refuses it.
    for (const std::string* left : {&copyName, &fileName}) {
        if (unlinkat(dir.get(), left->c_str(), 0) != 0 && refusedByFolder(errno)) return errno;
    }
    // In a sticky directory only the owner of the file or of the directory,
    // or a process that may act as the file's owner, may rename over the
    // file or remove its second name.
    const uid_t self = geteuid();
    if ((dirInfo.st_mode & S_ISVTX) != 0 && self != dirInfo.st_uid && self != info.st_uid &&
        !actsAsOwnerOf(info)) {
        return EPERM;
    }
    const int copyFd =
        openat(dir.get(), copyName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (copyFd < 0) return errno;
    // Ready to serve as the open file if it has to stay at the path.
    std::unique_ptr<FILE, int (*)(FILE*)> copy(fdopen(copyFd, "r+b"), &fclose);
    std::unique_ptr<qvafa::FileLock> copyLock(copy ? new (std::nothrow) qvafa::FileLock(copy.get())
                                                   : nullptr);
    if (!copyLock) {
        if (!copy) close(copyFd);
        (void)unlinkat(dir.get(), copyName.c_str(), 0);
        return ENOMEM;
    }
    // While it stands at the path the copy is shared as the file is. Its
    // owner is given only once it is there: a copy given away before a
    // refused rename could not be removed.
    (void)fchown(copyFd, static_cast<uid_t>(-1), info.st_gid);
    (void)fchmod(copyFd, info.st_mode & 07777);
    const bool written = writeAll(copyFd, begin, count);
    if (!written || fsync(copyFd) != 0) {
        const int err = errno;
        (void)unlinkat(dir.get(), copyName.c_str(), 0);
        // Removing aliases to make room is what a user does on a full disk:
        // a text no longer than the old one may fit in the file's blocks.
        if (lacksRoom(err) && count <= static_cast<size_t>(info.st_size)) return err;
        if (!written) throwFileError("Failed to write file", err, WRITE_LOCATION(185));
        throwFileError("Failed to fsync file", err, WRITE_LOCATION(206));
    }
    struct stat linked {};
    if (flock(copyFd, LOCK_EX) != 0 ||
        linkat(dir.get(), name.c_str(), dir.get(), fileName.c_str(), 0) != 0) {
        const int err = errno;
        (void)unlinkat(dir.get(), copyName.c_str(), 0);
        return err;
    }
    if (fstatat(dir.get(), fileName.c_str(), &linked, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameFile(linked, info)) {
        // Replaced by another program in the meantime.
        (void)unlinkat(dir.get(), fileName.c_str(), 0);
        (void)unlinkat(dir.get(), copyName.c_str(), 0);
        throwFileError("Failed to write file", ESTALE, WRITE_LOCATION(185));
    }
    if (renameat(dir.get(), copyName.c_str(), dir.get(), name.c_str()) != 0) {
        const int err = errno;
        (void)unlinkat(dir.get(), fileName.c_str(), 0);
        (void)unlinkat(dir.get(), copyName.c_str(), 0);
        if (refusedByFolder(err)) return err;
        throwFileError("Failed to write file", err, WRITE_LOCATION(185));
    }
    syncFolder(dir.get(), copyFd);
    if (self == 0) (void)fchown(copyFd, info.st_uid, static_cast<gid_t>(-1));
    // The new text is at the path, whole: the save has taken effect unless
    // the file is put back untouched.
    if (const int err = reserveRoom(info.st_size, count); err != 0) {
        if (renameat(dir.get(), fileName.c_str(), dir.get(), name.c_str()) == 0) {
            syncFolder(dir.get(), copyFd);
            throwFileError("Failed to write file", err, WRITE_LOCATION(185));
        }
    } else if (!rewrite(begin, count) &&
               renameat(dir.get(), fileName.c_str(), dir.get(), name.c_str()) == 0) {
        syncFolder(dir.get(), copyFd);
        return 0;
    }
    (void)unlinkat(dir.get(), fileName.c_str(), 0);
    // The path keeps the copy: it becomes the open file, locked as deep as
    // the file was (its first lock is the one it holds already).
    if (lockDepth_ == 0) (void)flock(copyFd, LOCK_UN);
    for (unsigned depth = 0; depth < lockDepth_; ++depth) copyLock->lock();
    stream_.swap(copy);
    fileLock_.swap(copyLock);
    return 0;
}

// Claims the blocks for count bytes before any old byte is overwritten,
// holes included: a full disk or a file-size limit then fails here (the
// errno), with the old content still whole. Only from the first hole on,
// as XFS asks for room for the whole range even where it has the blocks.
// Where the file system claims no blocks itself, the C library writes a
// zero byte into each block that reads as zero, which changes no text.
int LockableFile::reserveRoom(off_t oldSize, size_t count) {
    const int fd = fileno(stream_.get());
    const off_t hole = firstHole(fd);
    if (hole >= static_cast<off_t>(count)) return 0;
    const int err = posix_fallocate(fd, hole, static_cast<off_t>(count) - hole);
    if (err != 0) {
        struct stat after {};
        if (fstat(fd, &after) == 0 && after.st_size != oldSize) (void)ftruncate(fd, oldSize);
    }
    return err;
}

// Rewrites the file, its room reserved; nothing when done. A failing step
// leaves it torn and is returned; the bytes it still buffered are dropped.
std::optional<LockableFile::Failure> LockableFile::rewrite(const char* begin, size_t count) {
    const int fd = fileno(stream_.get());
    rewind(stream_.get());
    std::optional<Failure> failure;
    if (count > 0 && fwrite(begin, 1, count, stream_.get()) != count) {
        failure = Failure{"Failed to write file", &WRITE_LOCATION(185), errno};
    } else if (fflush(stream_.get()) != 0) {
        failure = Failure{"Failed to flush file", &WRITE_LOCATION(212), errno};
    } else if (ftruncate(fd, static_cast<off_t>(count)) != 0) {
        failure = Failure{"Failed to truncate file", &WRITE_LOCATION(200), errno};
    } else if (fsync(fd) != 0) {
        failure = Failure{"Failed to fsync file", &WRITE_LOCATION(206), errno};
    } else if (ferror(stream_.get())) {
        failure = Failure{"Failed to flush file", &WRITE_LOCATION(212), errno};
    }
    if (failure) {
        // Bytes still buffered must not reach the file later, at close.
        __fpurge(stream_.get());
        clearerr(stream_.get());
    }
    return failure;
}

// Without a copy at the path a rewrite that stops part way tears the file:
// it is done only where it cannot run out of room, else the save fails
// with why no copy could be made, the file untouched.
void LockableFile::writeInPlace(off_t oldSize, const char* begin, size_t count, int refused) {
    if (!mayRewriteInPlace(fileno(stream_.get()), refused, count))
        throwFileError("Failed to write file", refused, WRITE_LOCATION(185));
    if (const int err = reserveRoom(oldSize, count); err != 0)
        throwFileError("Failed to write file", err, WRITE_LOCATION(185));
    if (const auto failure = rewrite(begin, count))
        throwFileError(failure->comment, failure->err, *failure->location);
}

}  // namespace qvjsonconfig
