#include "DataAccessHALImpl/FileDataAccessor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "DataAccessHALImpl/Raise.h"
#include "qverr/Exception.h"
#include "qvhtl/utf8/utf8.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"
#include "qvmxl/errors.h"

namespace dataaccesshal {
namespace {

constexpr const char* kSource = "DataAccessHALImpl/FileDataAccessor";
constexpr size_t kSequenceFileSize = 11;

#define FILE_LOCATION(constant) DA_LOCATION(kSource, constant)

std::string hexDigits(uint32_t partition) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", partition);
    return digits;
}

std::string errorText(int err) {
    char buffer[256] = {};
    // The GNU form returns the text, which need not be in the buffer.
    return strerror_r(err, buffer, sizeof buffer);
}

void refusePartitionZero(uint32_t partition, const char* elaborationText) {
    // Partition 0 has no file names of its own: its paths are the directory.
    if (partition == 0) {
        raise(qvmxl::kErrorOutOfRange, FILE_LOCATION("qvmxl::kErrorOutOfRange"), "FileDataAccessor",
              "partition 0 has no file of its own",
              {elaboration(elaborationText), requestedValue(partition)});
    }
}

[[noreturn]] void raiseWriteFailure(const std::string& path, const std::string& cause) {
    raise(qvmxl::kErrorSoftwareFault, FILE_LOCATION("qvmxl::kErrorSoftwareFault"),
          "FileDataAccessor", "partition file could not be written",
          {elaboration("File Write failure: "), elaboration(path.c_str()), emptyRecord(),
           elaboration(cause.c_str())});
}

void createDirectories(const std::filesystem::path& directory) {
    std::filesystem::create_directories(directory);
}

// The locked cycle: the sequence file opened (created when missing) and
// locked for the life of the object.
class LockedSequence {
public:
    explicit LockedSequence(const std::filesystem::path& path) : file_(path.c_str(), true) {
        file_.lock();
    }
    LockedSequence(const LockedSequence&) = delete;
    LockedSequence& operator=(const LockedSequence&) = delete;
    ~LockedSequence() { file_.unlock(); }

    // The stored number; text that does not parse (a new, empty file among
    // others) is replaced by 1. A failed read of the file propagates and
    // changes nothing.
    uint32_t read() {
        std::string text;
        text.reserve(kSequenceFileSize);
        file_.read(text);
        if (auto value = parseSequenceNumber(text)) return *value;
        store(1);
        file_.read(text);
        if (auto value = parseSequenceNumber(text)) return *value;
        raise(qvmxl::kErrorInvalidStorage, FILE_LOCATION("qvmxl::kErrorInvalidStorage"),
              "FileDataAccessor", "sequence file holds no sequence number");
    }

    void store(uint32_t value) {
        char text[kSequenceFileSize];
        std::snprintf(text, sizeof text, "%.10u", value);
        file_.write(text, text + sizeof text);
    }

private:
    qvjsonconfig::LockableFile file_;
};

LockedSequence* openCycle(const std::filesystem::path& sequencePath,
                          std::unique_ptr<LockedSequence>& holder) {
    createDirectories(sequencePath.parent_path());
    holder = std::make_unique<LockedSequence>(sequencePath);
    return holder.get();
}

bool fileExists(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Reads the whole file into buffer[*size] (null: size only). A missing file
// is size 0, or invalid storage when the caller expected bytes.
void readFile(const std::filesystem::path& path, void* buffer, uint64_t* size) {
    const uint64_t capacity = *size;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rbe"), &std::fclose);
    if (!file) {
        *size = 0;
        if (capacity == 0) return;
        raise(qvmxl::kErrorInvalidStorage, FILE_LOCATION("qvmxl::kErrorInvalidStorage"),
              "FileDataAccessor", "partition file could not be opened",
              {elaboration("Could not open file: "), elaboration(path.c_str()), emptyRecord()});
    }
    long length = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        raise(qvmxl::kErrorSoftwareFault, FILE_LOCATION("qvmxl::kErrorSoftwareFault"),
              "FileDataAccessor", "partition file size unknown",
              {elaboration("File Size Exceeded: "), elaboration(path.c_str()), emptyRecord()});
    }
    const uint64_t fileSize = static_cast<uint64_t>(length);
    if (buffer != nullptr) {
        if (fileSize > capacity) {
            raise(qvmxl::kErrorReadBufferTooSmall,
                  FILE_LOCATION("qvmxl::kErrorReadBufferTooSmall"));
        }
        // A file that gives fewer bytes than it claims is not a partition
        // the caller may take as whole.
        if (fileSize > 0 && std::fread(buffer, 1, fileSize, file.get()) != fileSize) {
            raise(qvmxl::kErrorInvalidStorage, FILE_LOCATION("qvmxl::kErrorInvalidStorage"),
                  "FileDataAccessor", "partition file could not be read",
                  {elaboration("Could not read file: "), elaboration(path.c_str()), emptyRecord()});
        }
    }
    *size = fileSize;
}

// Closes a descriptor and removes a temporary file unless released.
class TemporaryFile {
public:
    TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void release() { path_.clear(); }

private:
    int fd_;
    std::string path_;
};

// Creates a file beside the partition whose name is no partition's (it has
// no ".bin" extension), so a listing never shows it.
TemporaryFile createTemporary(const std::filesystem::path& partitionPath, uint32_t partition) {
    static std::atomic<uint64_t> counter{0};
    const std::filesystem::path directory = partitionPath.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "tmp_%08x_%ld_%llu", partition,
                      static_cast<long>(::getpid()),
                      static_cast<unsigned long long>(counter.fetch_add(1)));
        const std::string path = (directory / name).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return TemporaryFile(fd, path);
        if (errno != EEXIST) break;
    }
    raise(qvmxl::kErrorSoftwareFault, FILE_LOCATION("qvmxl::kErrorSoftwareFault"),
          "FileDataAccessor", "temporary partition file could not be created",
          {elaboration("File Write failure: "), elaboration(partitionPath.c_str()), emptyRecord(),
           elaboration("File path may not have permission to write.")});
}

void syncDirectory(const std::filesystem::path& directory, const std::string& partitionPath) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) raiseWriteFailure(partitionPath, errorText(errno));
    const int result = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot sync a directory; the rename stands there.
    if (result != 0 && err != EINVAL) raiseWriteFailure(partitionPath, errorText(err));
}

// Replaces the partition file whole: the bytes go to a synced temporary
// file that is renamed over the partition, so a failure or a crash at any
// point leaves either the old or the new content.
void writeFile(const std::filesystem::path& path, uint32_t partition, const void* data,
               uint64_t size) {
    createDirectories(path.parent_path());
    const std::string target = path.string();
    TemporaryFile temporary = createTemporary(path, partition);
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0)
        (void)::fchmod(temporary.fd(), existing.st_mode & 07777);
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint64_t written = 0;
    while (written < size) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - written, 1u << 30));
        const ssize_t result = ::write(temporary.fd(), bytes + written, chunk);
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) raiseWriteFailure(target, errorText(result < 0 ? errno : ENOSPC));
        written += static_cast<uint64_t>(result);
    }
    if (::fsync(temporary.fd()) != 0) raiseWriteFailure(target, errorText(errno));
    if (temporary.close() != 0) raiseWriteFailure(target, errorText(errno));
    if (std::rename(temporary.path().c_str(), target.c_str()) != 0)
        raiseWriteFailure(target, errorText(errno));
    temporary.release();
    syncDirectory(path.parent_path(), target);
}

}  // namespace

std::optional<uint32_t> parseSequenceNumber(std::string_view text) {
    uint64_t value = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<uint32_t> partitionFromFileName(std::string_view name) {
    const size_t dot = name.rfind('.');
    const std::string_view extension = dot == std::string_view::npos ? name : name.substr(dot + 1);
    if (qvzek::compareCaseFolded(extension, "bin") != 0) return std::nullopt;
    uint64_t value = 0;
    for (char c : name) {
        uint64_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint64_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint64_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint64_t>(c - 'A' + 10);
        } else {
            break;
        }
        value = value * 16 + digit;
        if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

FileDataAccessor::FileDataAccessor(std::filesystem::path directory, std::string name)
    : directory_(std::move(directory)), name_(std::move(name)) {}

std::filesystem::path FileDataAccessor::sequenceFilePath(uint32_t partition) const {
    if (partition == 0) return directory_;
    return directory_ / ("seq_" + hexDigits(partition));
}

std::filesystem::path FileDataAccessor::partitionFilePath(uint32_t partition) const {
    if (partition == 0) return directory_;
    return directory_ / (hexDigits(partition) + ".bin");
}

void FileDataAccessor::getDescriptor(AccessorDescriptor& descriptor) {
    descriptor.type = 1;
    descriptor.name = name_;
}

void FileDataAccessor::getPartitionList(uint32_t* ids, uint64_t* count) {
    std::vector<uint32_t> found;
    std::error_code error;
    if (std::filesystem::is_directory(directory_, error)) {
        for (std::filesystem::directory_iterator entry(directory_, error), end;
             !error && entry != end; entry.increment(error)) {
            std::error_code statusError;
            if (!std::filesystem::is_regular_file(entry->path(), statusError)) continue;
            if (auto partition = partitionFromFileName(entry->path().filename().native())) {
                found.push_back(*partition);
            }
        }
    }
    if (ids != nullptr && *count < found.size()) {
        *count = found.size();
        raise(qvmxl::kErrorReadBufferTooSmall, FILE_LOCATION("qvmxl::kErrorReadBufferTooSmall"));
    }
    if (ids != nullptr && !found.empty())
        std::memcpy(ids, found.data(), found.size() * sizeof found[0]);
    *count = found.size();
}

void FileDataAccessor::getPartitionPath(uint32_t partition, char* path, uint64_t* size) {
    const std::string text = partitionFilePath(partition).string();
    const uint64_t needed = text.size() + 1;
    if (path != nullptr) {
        if (needed > *size) {
            raise(qvmxl::kErrorBufferTooSmallForString,
                  FILE_LOCATION("qvmxl::kErrorBufferTooSmallForString"));
        }
        std::memcpy(path, text.c_str(), needed);
    }
    *size = needed;
}

void FileDataAccessor::readPartition(uint32_t partition, void* buffer, uint64_t* size,
                                     uint32_t* sequence) {
    refusePartitionZero(partition, "Cannot read partition");
    std::unique_ptr<LockedSequence> holder;
    const uint32_t stored = openCycle(sequenceFilePath(partition), holder)->read();
    const std::filesystem::path path = partitionFilePath(partition);
    if (fileExists(path)) {
        readFile(path, buffer, size);
        *sequence = stored;
        return;
    }
    if (*size != 0) {
        raise(qvmxl::kErrorInvalidStorage, FILE_LOCATION("qvmxl::kErrorInvalidStorage"),
              "FileDataAccessor", "partition does not exist",
              {elaboration(
                  "Partition does not exist - Create it by calling readPartition() first querying "
                  "the size to obtain a sequence number.")});
    }
    *sequence = stored;
    *size = 0;
}

void FileDataAccessor::writePartition(uint32_t partition, bool hardCopy, const void* data,
                                      uint64_t size, uint32_t* sequence) {
    if (!hardCopy) {
        raise(qvmxl::kErrorSoftwareFault, FILE_LOCATION("qvmxl::kErrorSoftwareFault"),
              "FileDataAccessor", "soft copies are not supported",
              {elaboration("File data accessor does not support soft copies")});
    }
    refusePartitionZero(partition, "Cannot write partition");
    std::unique_ptr<LockedSequence> holder;
    LockedSequence* locked = openCycle(sequenceFilePath(partition), holder);
    const uint32_t stored = locked->read();
    if (stored != *sequence) {
        raise(qvmxl::kErrorStorageAlteredPriorToSave,
              FILE_LOCATION("qvmxl::kErrorStorageAlteredPriorToSave"), "FileDataAccessor",
              "stale sequence number", {elaboration("Incorrect Sequence Number")});
    }
    writeFile(partitionFilePath(partition), partition, data, size);
    locked->store(stored + 1);
    *sequence = stored + 1;
}

void FileDataAccessor::flushPartition(uint32_t /*partition*/) {
    raise(qvmxl::kErrorSoftwareFault, FILE_LOCATION("qvmxl::kErrorSoftwareFault"));
}

void FileDataAccessor::deletePartition(uint32_t partition, uint32_t* sequence) {
    refusePartitionZero(partition, "Cannot delete partition");
    std::unique_ptr<LockedSequence> holder;
    LockedSequence* locked = openCycle(sequenceFilePath(partition), holder);
    locked->read();
    const std::filesystem::path path = partitionFilePath(partition);
    if (!fileExists(path)) return;
    const uint32_t stored = locked->read();
    if (std::remove(path.c_str()) != 0) {
        // The partition is still there: the sequence must not move on.
        const std::string cause = errorText(errno);
        raise(qvmxl::kErrorSoftwareFault, FILE_LOCATION("qvmxl::kErrorSoftwareFault"),
              "FileDataAccessor", "partition file could not be deleted",
              {elaboration("File Delete failure: "), elaboration(path.c_str()), emptyRecord(),
               elaboration(cause.c_str())});
    }
    locked->store(stored + 1);
    *sequence = stored + 1;
}

}  // namespace dataaccesshal
