// Costs of the error translator, each beside a baseline measured in the
// same run: static descriptions against reading the same files line by
// line, dynamic descriptions against a decode and encode of the same
// context, creation against a bare Lua state with the standard libraries,
// and contexts crafted against Lua's string hash, at the largest size the
// translator accepts, against a decode and encode of the same text.
#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>
#include <dirent.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <lua.hpp>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "qvxlator/LuaHashCollisions.h"
#include "qvxlatorlua/LuaTranslator.h"
#include "qvxlatormgr/Registry.h"

namespace {

constexpr int kFiles = 10;
constexpr int kCodesPerFile = 100;

char* hostAlloc(void*, size_t size, void*, qverr::Status* status) {
    return status->isError() ? nullptr : static_cast<char*>(std::malloc(size));
}

// Ten explanation files of a hundred codes each in errors/English, and the
// codes found in the first and in the last file the directory yields.
struct ErrorsTree {
    std::string root;
    std::string english;
    int32_t firstFileCode = 0;
    int32_t lastFileCode = 0;

    ErrorsTree() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qvxlatorbenchXXXXXX").string();
        root = mkdtemp(pattern.data());
        english = root + "/errors/English";
        std::filesystem::create_directories(english);
        for (int f = 0; f < kFiles; ++f) {
            std::ofstream file(english + "/codes" + std::to_string(f) + ".txt");
            file << "<?xml version=\"1.0\"?>\n<qvdocument>\n";
            for (int c = 0; c < kCodesPerFile; ++c) {
                file << "<qverror code=\"" << -(100000 + f * kCodesPerFile + c) << "\">\n"
                     << "Description of a status code, with a second sentence.\n</qverror>\n";
            }
            file << "</qvdocument>\n";
        }
        std::vector<std::string> order;
        DIR* dir = opendir(english.c_str());
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".txt") {
                order.push_back(name);
            }
        }
        closedir(dir);
        auto lastCodeOf = [](const std::string& name) {
            const int f = std::stoi(name.substr(5));
            return -(100000 + f * kCodesPerFile + kCodesPerFile - 1);
        };
        firstFileCode = lastCodeOf(order.front());
        lastFileCode = lastCodeOf(order.back());
        setenv("TMPDIR", root.c_str(), 1);
    }
    ~ErrorsTree() { std::filesystem::remove_all(root); }
};

ErrorsTree& tree() {
    static ErrorsTree instance;
    return instance;
}

const char* const kRegistration =
    "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_settings\":{\"driverName\":\"qv3377HAL\","
    "\"qvSharedErrorsDir\":\"$_tempDir/errors\",\"ZMErrorsDir\":\"$_tempDir/zmerrors\"}}";

qvxlator::Translator* createTranslator() {
    tree();
    qverr::Status status;
    qvxlator::Translator* translator =
        qvxlator_exported_create("mxlator_qv3377HAL", kRegistration, &status);
    if (!translator) {
        std::fprintf(stderr, "%s\n", status.jsonText());
        std::abort();
    }
    return translator;
}

void staticDesc(benchmark::State& state, int32_t code) {
    qvxlator::Translator* translator = createTranslator();
    for (auto _ : state) {
        qverr::Status status;
        char* text = translator->getStaticDesc(translator, code, 0, hostAlloc, nullptr, &status);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
    translator->destroy(translator);
}

void BM_StaticDescFirstFile(benchmark::State& state) {
    staticDesc(state, tree().firstFileCode);
}
void BM_StaticDescLastFile(benchmark::State& state) {
    staticDesc(state, tree().lastFileCode);
}
void BM_StaticDescMiss(benchmark::State& state) {
    staticDesc(state, 12345);
}

void BM_ReadAllFilesBaseline(benchmark::State& state) {
    const std::string dir = tree().english;
    for (auto _ : state) {
        size_t lines = 0;
        for (int f = 0; f < kFiles; ++f) {
            FILE* file = std::fopen((dir + "/codes" + std::to_string(f) + ".txt").c_str(), "r");
            char line[1024];
            while (std::fgets(line, sizeof line, file)) {
                ++lines;
            }
            std::fclose(file);
        }
        benchmark::DoNotOptimize(lines);
    }
}

std::string contextWith(int records) {
    std::string json =
        "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qvwgen/Waveform.cpp\","
        "\"line\":42,\"component\":\"qv3377hal\",\"translator\":\"mxlator_qv3377HAL\","
        "\"translator_info\":{\"is_debug\":\"0\",\"version\":1,\"ordered_data\":[";
    for (int i = 0; i < records; ++i) {
        json += i ? "," : "";
        json += i % 2
                    ? "{\"type\":\"usage\",\"usage\":\"kUsageTypeWaveformName\",\"value\":\"wfm" +
                          std::to_string(i) + "\",\"value_type\":\"string\"}"
                    : "{\"type\":\"usage\",\"usage\":\"kUsageTypeAttributeIdentifier\",\"value\":" +
                          std::to_string(1000 + i) + ",\"value_type\":\"uint32_t\"}";
    }
    return json + "]}}";
}

// Renders `context` in English, warm, on every iteration.
void renderLoop(benchmark::State& state, const std::string& context) {
    qvxlator::Translator* translator = createTranslator();
    for (auto _ : state) {
        qverr::Status status;
        char* text = translator->getDynamicDesc(translator, context.c_str(), 0, "json1", hostAlloc,
                                                nullptr, &status);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
    translator->destroy(translator);
}

// Decodes and encodes `context` with cJSON on every iteration.
void cjsonRoundTripLoop(benchmark::State& state, const std::string& context) {
    for (auto _ : state) {
        cJSON* root = cJSON_Parse(context.c_str());
        char* text = cJSON_PrintUnformatted(root);
        benchmark::DoNotOptimize(text);
        cJSON_free(text);
        cJSON_Delete(root);
    }
}

void BM_DynamicDesc(benchmark::State& state) {
    renderLoop(state, contextWith(static_cast<int>(state.range(0))));
}

void BM_JsonRoundTripBaseline(benchmark::State& state) {
    cjsonRoundTripLoop(state, contextWith(static_cast<int>(state.range(0))));
}

// Contexts of the largest size the translator accepts whose keys share one
// hash in Lua 5.1 (long keys) or one bucket (short keys), against decoding
// and encoding the same text with cJSON.
const std::string& crafted(int64_t construction) {
    static const std::string longKeys =
        xlatortest::longKeyCollisions(qvxlatorlua::kMaxErrorContextBytes);
    static const std::string shortKeys =
        xlatortest::shortKeyCollisions(qvxlatorlua::kMaxErrorContextBytes, 13);
    return construction == 0 ? longKeys : shortKeys;
}

void BM_CraftedContextAtCap(benchmark::State& state) {
    renderLoop(state, crafted(state.range(0)));
}

void BM_CraftedRoundTripBaseline(benchmark::State& state) {
    cjsonRoundTripLoop(state, crafted(state.range(0)));
}

void BM_CreateTranslator(benchmark::State& state) {
    tree();
    for (auto _ : state) {
        qvxlator::Translator* translator = createTranslator();
        translator->destroy(translator);
    }
}

void BM_LuaStateBaseline(benchmark::State& state) {
    for (auto _ : state) {
        lua_State* L = luaL_newstate();
        luaL_openlibs(L);
        lua_close(L);
    }
}

}  // namespace

BENCHMARK(BM_ReadAllFilesBaseline);
BENCHMARK(BM_StaticDescFirstFile);
BENCHMARK(BM_StaticDescLastFile);
BENCHMARK(BM_StaticDescMiss);
BENCHMARK(BM_JsonRoundTripBaseline)->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(BM_DynamicDesc)->Arg(1)->Arg(10)->Arg(50);
BENCHMARK(BM_LuaStateBaseline);
BENCHMARK(BM_CraftedRoundTripBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CraftedContextAtCap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateTranslator);

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {{"static description, first-file hit / reading every file", "BM_StaticDescFirstFile",
          "BM_ReadAllFilesBaseline"},
         {"static description, last-file hit / reading every file", "BM_StaticDescLastFile",
          "BM_ReadAllFilesBaseline"},
         {"static description, miss / reading every file", "BM_StaticDescMiss",
          "BM_ReadAllFilesBaseline"},
         {"dynamic description, 1 usage record / JSON decode and encode", "BM_DynamicDesc/1",
          "BM_JsonRoundTripBaseline/1"},
         {"dynamic description, 10 usage records / JSON decode and encode", "BM_DynamicDesc/10",
          "BM_JsonRoundTripBaseline/10"},
         {"dynamic description, 50 usage records / JSON decode and encode", "BM_DynamicDesc/50",
          "BM_JsonRoundTripBaseline/50"},
         {"translator creation / Lua state with its standard libraries", "BM_CreateTranslator",
          "BM_LuaStateBaseline"},
         {"crafted long keys at the size cap / cJSON decode and encode", "BM_CraftedContextAtCap/0",
          "BM_CraftedRoundTripBaseline/0"},
         {"crafted short keys at the size cap / cJSON decode and encode",
          "BM_CraftedContextAtCap/1", "BM_CraftedRoundTripBaseline/1"}});
}
