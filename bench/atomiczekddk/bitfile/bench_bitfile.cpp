// Parsing a bitfile with a 64 MiB bitstream against its floor: reading the
// file and decoding its base64 with libb64's decoder called directly. Also
// the bitstream decoder alone against libb64 on the same text in memory.
// Prints the ratios after the runs; throughput is in the bytes/s column.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../../ratioReporter.h"
#include "atomiczekddk/bitfile/Bitfile.h"
#include "support/BitfileGenerator.h"

extern "C" {
#include <b64/cdecode.h>
}

namespace {

struct Sample {
    std::string path;
    std::string base64;
    size_t fileSize = 0;
    size_t bitstreamOffset = 0;

    Sample() {
        const auto bytes = qvtest::bitstreamBytes(64u << 20);
        base64 = qvtest::base64Text(bytes);
        const std::string text =
            qvtest::withBitstream(qvtest::readTextFile(QV_BITFILE_SAMPLE), base64);
        char name[] = "/tmp/qvbenchbitfileXXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            std::abort();
        close(fd);
        path = name;
        fileSize = text.size();
        bitstreamOffset = text.find("<Bitstream>") + 11;
    }
    ~Sample() { unlink(path.c_str()); }
};

const Sample& sample() {
    static const Sample instance;
    return instance;
}

void BM_ParseBitfile64MiB(benchmark::State& state) {
    const Sample& s = sample();
    for (auto _ : state) {
        const qvzek::Bitfile bitfile(s.path, true, true, false);
        benchmark::DoNotOptimize(bitfile.getBitstream().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.fileSize));
}
BENCHMARK(BM_ParseBitfile64MiB)->Unit(benchmark::kMillisecond);

// The floor: the whole file read, its bitstream text decoded once.
void BM_ReadFileAndDecodeFloor(benchmark::State& state) {
    const Sample& s = sample();
    for (auto _ : state) {
        FILE* file = std::fopen(s.path.c_str(), "rbe");
        std::fseek(file, 0, SEEK_END);
        const long size = std::ftell(file);
        std::rewind(file);
        std::unique_ptr<char[]> text(new char[static_cast<size_t>(size) + 1]);
        if (std::fread(text.get(), 1, static_cast<size_t>(size), file) != static_cast<size_t>(size))
            std::abort();
        std::fclose(file);
        text[static_cast<size_t>(size)] = 0;
        // Where the bitstream stands is known beforehand: the floor only reads and decodes.
        const char* begin = text.get() + s.bitstreamOffset;
        const size_t length = s.base64.size();
        std::unique_ptr<char, decltype(&std::free)> out(static_cast<char*>(std::malloc(length)),
                                                        &std::free);
        base64_decodestate decoder;
        base64_init_decodestate(&decoder);
        benchmark::DoNotOptimize(
            base64_decode_block(begin, static_cast<int>(length), out.get(), &decoder));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.fileSize));
}
BENCHMARK(BM_ReadFileAndDecodeFloor)->Unit(benchmark::kMillisecond);

void BM_BitstreamDecoder(benchmark::State& state) {
    const Sample& s = sample();
    for (auto _ : state) {
        const auto bytes = qvzek::ByteBuffer::decodeBase64(s.base64);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.base64.size()));
}
BENCHMARK(BM_BitstreamDecoder)->Unit(benchmark::kMillisecond);

void BM_LibB64DecodeDirect(benchmark::State& state) {
    const Sample& s = sample();
    for (auto _ : state) {
        std::unique_ptr<char, decltype(&std::free)> out(
            static_cast<char*>(std::malloc(s.base64.size())), &std::free);
        base64_decodestate decoder;
        base64_init_decodestate(&decoder);
        benchmark::DoNotOptimize(base64_decode_block(
            s.base64.data(), static_cast<int>(s.base64.size()), out.get(), &decoder));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.base64.size()));
}
BENCHMARK(BM_LibB64DecodeDirect)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"bitfile parse (64 MiB bitstream) / read file and libb64 decode",
             "BM_ParseBitfile64MiB", "BM_ReadFileAndDecodeFloor"},
            {"bitstream decoder / libb64 called directly", "BM_BitstreamDecoder",
             "BM_LibB64DecodeDirect"},
            {"bitstream decoder / read file and libb64 decode", "BM_BitstreamDecoder",
             "BM_ReadFileAndDecodeFloor"},
        });
}
