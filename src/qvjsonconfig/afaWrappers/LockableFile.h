// A file shared by threads and processes: a stdio stream opened for update,
// guarded by a process-wide recursive mutex and an exclusive advisory file
// lock, read whole and replaced whole.
#pragma once

#include <cstdio>
#include <memory>
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

    // Serialises threads (mutex) and processes (flock); nestable.
    void lock();
    void unlock();

    // The whole content. Failures throw -52012.
    void read(std::string& out);
    // Replaces the whole content with [begin, end) and syncs it to disk.
    // When the bytes cannot be stored (full disk, file-size limit) the old
    // content is left as it was. Failures throw -52012.
    void write(const char* begin, const char* end);

    // Creates the file with mode 0666 when it does not exist.
    static void createIfMissing(const char* path);

private:
    static FILE* open(const char* path, bool createIfMissing);
    [[noreturn]] void throwFileError(const char* comment, int err,
                                     const qverr::SourceLocation& location);

    // Declared first so that it is closed last, also when a later member
    // fails to build.
    std::unique_ptr<FILE, int (*)(FILE*)> stream_;
    sdihal::nQVAPAL000::tMutex mutex_;
    qvafa::FileLock fileLock_;
};

}  // namespace qvjsonconfig
