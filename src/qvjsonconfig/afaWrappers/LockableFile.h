// A file shared by threads and processes: a stdio stream opened for update,
// guarded by a process-wide recursive mutex and an exclusive advisory file
// lock, read whole and replaced whole.
//
// Sharing protocol, also for other programs that edit the file: take an
// exclusive flock on the file at the path, then check that the descriptor
// still is the file at the path (another program may have replaced it by
// rename) and, if not, open the path again and lock that; then rewrite the
// file in place. Programs that only read take a shared flock the same way:
// a save may rewrite the file in place, and an unlocked reader can see the
// new text followed by the old tail. A file replaced by rename is followed
// here at the next lock, but processes that keep the old file open without
// that check would go on writing into it.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "qvafa/FileLock.h"
#include "qvapal/quarks/synchronization.h"

namespace qvjsonconfig {

class LockableFile {
public:
    // Opens the file for reading and writing; with createIfMissing a
    // missing file is created (mode 0666 whatever the umask), retrying a
    // few times. Failures throw -52006.
    LockableFile(const char* path, bool createIfMissing);
    LockableFile(const LockableFile&) = delete;
    LockableFile& operator=(const LockableFile&) = delete;
    ~LockableFile();

    // Serialises threads (mutex) and processes (flock); nestable. The
    // outermost lock follows the path: a file that another program put in
    // its place is opened and locked instead.
    void lock();
    void unlock();

    // The whole content. Failures throw -52012.
    void read(std::string& out);
    // Replaces the whole content with [begin, end) and syncs it to disk,
    // keeping the file itself (its inode, owner and mode), so that programs
    // holding it open keep sharing it. Where the directory allows a copy
    // beside the file, a process killed at any point leaves the old or the
    // new text whole at the path. Where it does not, the file is rewritten
    // in place without that safety, and only where that cannot run out of
    // room part way: when the copy found no room (for a text no longer than
    // the old one), on a file system that overwrites a file's blocks where
    // they are (ext2/3/4, tmpfs, XFS for a file that shares no blocks with
    // another); when the directory or the mount refused it (a file
    // bind-mounted at the path, a sticky directory whose file this process
    // may not replace, a directory it may not write), there too and on any
    // file system that shows room for the text and 4 MiB more. Blocks the
    // text lacks in place (holes, growth) are claimed before its first byte
    // is written. Elsewhere (btrfs and other copy-on-write file systems
    // without that room, any unknown one), and when the copy failed for any
    // other reason, the save fails instead. A save that fails for want of
    // room, or is refused, leaves the old content byte for byte and nothing
    // beside it. A return means the new text is at the path: in the file
    // itself or, when the file could not be rewritten after all, in its
    // synced copy, which is then the open file (read, written and locked
    // from then on). A file no longer at the path is never written. Failures
    // throw -52012.
    void write(const char* begin, const char* end);

    // Creates the file with mode 0666 when it does not exist.
    static void createIfMissing(const char* path);

private:
    static FILE* open(const char* path, bool createIfMissing);
    [[noreturn]] void throwFileError(const char* comment, int err,
                                     const qverr::SourceLocation& location);
    void followPath();
    int replaceThroughSibling(const struct stat& info, const char* begin, size_t count);
    int reserveRoom(off_t oldSize, size_t count);
    // A failed step of a save: what it says, where, and the errno.
    struct Failure {
        const char* comment;
        const qverr::SourceLocation* location;
        int err;
    };
    std::optional<Failure> rewrite(const char* begin, size_t count);
    void writeInPlace(off_t oldSize, const char* begin, size_t count, int refused);

    std::string path_;
    bool createIfMissing_;
    // Declared before the lock so that it is closed last, also when a later
    // member fails to build.
    std::unique_ptr<FILE, int (*)(FILE*)> stream_;
    sdihal::nQVAPAL000::tMutex mutex_;
    std::unique_ptr<qvafa::FileLock> fileLock_;
    // Nesting of lock(), guarded by mutex_.
    unsigned lockDepth_ = 0;
};

}  // namespace qvjsonconfig
