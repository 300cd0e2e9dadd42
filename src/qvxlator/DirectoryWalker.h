// Walks the entries of one directory, giving each one's full path, name,
// extension and file type. Each operation returns 0, or -1 with errno set.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

namespace qvxlator {

inline constexpr size_t kWalkerPathSize = 4096;
inline constexpr size_t kWalkerNameSize = 256;

struct DirectoryWalker {
    char path[kWalkerPathSize];
    bool hasNext;
    DIR* directory;
    struct dirent* current;

    // A null, empty or over-long path fails with EINVAL or ENAMETOOLONG; a
    // directory that cannot be opened with ENOENT, whatever the cause.
    static int open(DirectoryWalker* walker, const char* path);
    // Moves to the following entry; ENOENT when there is none.
    static int next(DirectoryWalker* walker);
    static int readFile(DirectoryWalker* walker, struct FileEntry* file);
    static void close(DirectoryWalker* walker);
};

struct FileEntry {
    char path[kWalkerPathSize];
    char name[kWalkerNameSize];
    const char* extension;  // after the name's last '.', or at its end
    bool isDir;
    bool isReg;
    struct stat info;
};

}  // namespace qvxlator
