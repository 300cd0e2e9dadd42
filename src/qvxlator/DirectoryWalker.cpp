#include "qvxlator/DirectoryWalker.h"

#include <cerrno>
#include <cstring>

namespace qvxlator {

int DirectoryWalker::open(DirectoryWalker* walker, const char* path) {
    walker->hasNext = false;
    walker->directory = nullptr;
    walker->current = nullptr;
    walker->path[0] = '\0';
    if (!path || !*path) {
        errno = EINVAL;
        return -1;
    }
    const size_t length = std::strlen(path);
    if (length >= kWalkerPathSize) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(walker->path, path, length + 1);
    walker->directory = opendir(path);
    if (!walker->directory) {
        errno = ENOENT;
        return -1;
    }
    walker->current = readdir(walker->directory);
    walker->hasNext = walker->current != nullptr;
    return 0;
}

int DirectoryWalker::next(DirectoryWalker* walker) {
    if (!walker->hasNext || !walker->directory) {
        errno = ENOENT;
        return -1;
    }
    walker->current = readdir(walker->directory);
    walker->hasNext = walker->current != nullptr;
    return 0;
}

int DirectoryWalker::readFile(DirectoryWalker* walker, FileEntry* file) {
    if (!walker->current) {
        errno = ENOENT;
        return -1;
    }
    const char* name = walker->current->d_name;
    const size_t nameLength = std::strlen(name);
    const size_t pathLength = std::strlen(walker->path);
    if (pathLength + nameLength + 1 >= kWalkerPathSize || nameLength >= kWalkerNameSize) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(file->path, walker->path, pathLength);
    file->path[pathLength] = '/';
    std::memcpy(file->path + pathLength + 1, name, nameLength + 1);
    std::memcpy(file->name, name, nameLength + 1);
    if (stat(file->path, &file->info) != 0) {
        return -1;
    }
    const char* dot = std::strrchr(file->name, '.');
    file->extension = dot ? dot + 1 : file->name + nameLength;
    file->isDir = S_ISDIR(file->info.st_mode);
    file->isReg = S_ISREG(file->info.st_mode);
    return 0;
}

void DirectoryWalker::close(DirectoryWalker* walker) {
    if (walker->directory) {
        closedir(walker->directory);
    }
    walker->directory = nullptr;
    walker->current = nullptr;
    walker->hasNext = false;
    walker->path[0] = '\0';
}

}  // namespace qvxlator
