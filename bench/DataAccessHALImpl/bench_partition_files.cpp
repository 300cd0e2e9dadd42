// A stored partition read and written through the file data accessor (the
// locked sequence-file cycle around the transfer) against the floor: the
// same bytes moved by bare system calls, the write made just as durable
// (synced temporary file renamed over the partition, directory synced).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "DataAccessHALImpl/FileDataAccessor.h"

namespace {

constexpr size_t kPartitionBytes = 4096;

struct Directory {
    Directory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvbenchXXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~Directory() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

// Partition 1 of the accessor holds `bytes`; returns its sequence number.
uint32_t storePartition(dataaccesshal::FileDataAccessor& accessor, const std::vector<char>& bytes) {
    uint64_t size = 0;
    uint32_t sequence = 0;
    accessor.readPartition(1, nullptr, &size, &sequence);
    accessor.writePartition(1, true, bytes.data(), bytes.size(), &sequence);
    return sequence;
}

void BM_BareRead(benchmark::State& state) {
    Directory dir;
    dataaccesshal::FileDataAccessor accessor(dir.path, "");
    std::vector<char> bytes(kPartitionBytes, 'c');
    storePartition(accessor, bytes);
    const std::string path = accessor.partitionFilePath(1).string();
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        benchmark::DoNotOptimize(::read(fd, bytes.data(), bytes.size()));
        ::close(fd);
    }
}
BENCHMARK(BM_BareRead);

void BM_AccessorRead(benchmark::State& state) {
    Directory dir;
    dataaccesshal::FileDataAccessor accessor(dir.path, "");
    std::vector<char> bytes(kPartitionBytes, 'c');
    uint32_t sequence = storePartition(accessor, bytes);
    uint64_t size = 0;
    for (auto _ : state) {
        size = bytes.size();
        accessor.readPartition(1, bytes.data(), &size, &sequence);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_AccessorRead);

void BM_BareDurableReplace(benchmark::State& state) {
    Directory dir;
    const std::vector<char> bytes(kPartitionBytes, 'w');
    const std::string target = (dir.path / "00000001.bin").string();
    const std::string temporary = (dir.path / "tmp").string();
    for (auto _ : state) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
        ::fsync(fd);
        ::close(fd);
        ::rename(temporary.c_str(), target.c_str());
        const int dirFd = ::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
BENCHMARK(BM_BareDurableReplace)->Iterations(200);

void BM_AccessorWrite(benchmark::State& state) {
    Directory dir;
    dataaccesshal::FileDataAccessor accessor(dir.path, "");
    const std::vector<char> bytes(kPartitionBytes, 'w');
    uint64_t size = 0;
    uint32_t sequence = 0;
    accessor.readPartition(1, nullptr, &size, &sequence);
    for (auto _ : state) accessor.writePartition(1, true, bytes.data(), bytes.size(), &sequence);
}
BENCHMARK(BM_AccessorWrite)->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"partition read through the accessor / bare open and read", "BM_AccessorRead",
             "BM_BareRead"},
            {"partition write through the accessor / bare durable replace",
             "BM_AccessorWrite/iterations:200", "BM_BareDurableReplace/iterations:200"},
        });
}
