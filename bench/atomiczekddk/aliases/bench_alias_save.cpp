// Cost of one alias save (the configuration file locked, loaded, the alias
// set and the file written back durably) against the floor of any durable
// replacement of a file: write a temporary file, fsync it, rename it over
// the path, fsync the directory. Both write the same text to the same disk,
// and both wait for it: the ratios are of real times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../../ratioReporter.h"
#include "atomiczekddk/aliases/AliasStorageData.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Fakes.h"
#include "support/TempDir.h"

namespace {

constexpr int kDevices = 8;

// A configuration file of kDevices aliased modules in a directory of its
// own, removed again at exit.
struct Store {
    qvtest::TempDir temp;
    const std::string directory = temp.path();
    const std::string path = temp / "qrxzek.config";
    std::vector<std::string> tokens;
    qvtest::FakeAliasFactory aliasFactory;
    qvjsonconfig::AliasAttributeProvider provider{aliasFactory};

    Store() {
        for (int i = 0; i < kDevices; ++i) tokens.push_back("token" + std::to_string(i));
        qvjsonconfig::LockableFile file(path.c_str(), true);
        for (int i = 0; i < kDevices; ++i) save(file, tokens[i], "QVA" + std::to_string(i));
    }

    void save(qvjsonconfig::LockableFile& file, const std::string& token,
              const std::string& alias) {
        qvtest::FakeDevices devices(tokens);
        qvzek::AutoLockingAliasStorageDataCommitterJsonconfig committer(file, &devices, provider);
        committer.getData()->setAlias(token, alias);
        committer.commit();
    }

    std::string text() const { return qvtest::readFile(path); }
};

Store& store() {
    static Store instance;
    return instance;
}

void BM_DurableReplaceFloor(benchmark::State& state) {
    const std::string text = store().text();
    const std::string temporary = store().directory + "/.floor.tmp";
    const std::string target = store().directory + "/floor";
    const int dir = open(store().directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (auto _ : state) {
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
            fsync(fd) != 0 || close(fd) != 0 || rename(temporary.c_str(), target.c_str()) != 0 ||
            fsync(dir) != 0) {
            state.SkipWithError("floor failed");
            break;
        }
    }
    close(dir);
}
BENCHMARK(BM_DurableReplaceFloor)->UseRealTime();

void BM_FileWrite(benchmark::State& state) {
    const std::string text = store().text();
    qvjsonconfig::LockableFile file(store().path.c_str(), false);
    for (auto _ : state) {
        file.lock();
        file.write(text.data(), text.data() + text.size());
        file.unlock();
    }
}
BENCHMARK(BM_FileWrite)->UseRealTime();

void BM_AliasSave(benchmark::State& state) {
    qvjsonconfig::LockableFile file(store().path.c_str(), false);
    unsigned round = 0;
    // Two aliases of one length take turns, so that every save writes.
    for (auto _ : state) store().save(file, "token3", ++round % 2 ? "QVB3" : "QVA3");
}
BENCHMARK(BM_AliasSave)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"alias save / write, fsync, rename, fsync the directory (real time)",
             "BM_AliasSave/real_time", "BM_DurableReplaceFloor/real_time", true},
            {"configuration file write / the same floor (real time)", "BM_FileWrite/real_time",
             "BM_DurableReplaceFloor/real_time", true},
        });
}
