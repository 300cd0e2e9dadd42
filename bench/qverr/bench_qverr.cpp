// Cost of raising a status with its error context against building the same
// JSON text with cJSON, and of a trace call below the threshold against an
// empty call. Prints each ratio after the runs.
#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "../ratioReporter.h"
#include "qverr/Status.h"
#include "qverr/trace.h"
#include "qvmxl/qvmxl.h"

namespace {

constexpr qverr::SourceLocation kLocation{"qvwgen/waveform/WaveformTable.cpp", 214, "qv3377hal",
                                          "qvapalerr_invalidParameter"};

void BM_StatusRaiseWithThreeRecords(benchmark::State& state) {
    for (auto _ : state) {
        qverr::Status status;
        status.setCode(qverr::qvapalerr_invalidParameter, kLocation);
        auto writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
        writer = qvmxl::writeUsageParam(
            writer, qvmxl::UsageParam<const char*>{"kUsageTypeWaveformName", "waveform0"});
        writer =
            qvmxl::writeUsageParam(writer, qvmxl::UsageParam<uint32_t>{"kUsageTypeLineNumber", 12});
        writer =
            qvmxl::writeUsageParam(writer, qvmxl::UsageParam<double>{"kUsageTypeBadValue", 1.5e3});
        benchmark::DoNotOptimize(status.jsonText());
    }
}
BENCHMARK(BM_StatusRaiseWithThreeRecords);

cJSON* usageRecord(const char* usage, cJSON* value, const char* type) {
    cJSON* record = cJSON_CreateObject();
    cJSON_AddStringToObject(record, "type", "usage");
    cJSON_AddStringToObject(record, "usage", usage);
    cJSON_AddItemToObject(record, "value", value);
    cJSON_AddStringToObject(record, "value_type", type);
    return record;
}

void BM_CJsonBuildAndPrintSameObject(benchmark::State& state) {
    for (auto _ : state) {
        cJSON* root = cJSON_CreateObject();
        cJSON_AddStringToObject(root, "error_constant", kLocation.errorConstant);
        cJSON_AddStringToObject(root, "file", kLocation.file);
        cJSON_AddNumberToObject(root, "line", static_cast<double>(kLocation.line));
        cJSON_AddStringToObject(root, "component", kLocation.component);
        cJSON_AddStringToObject(root, "translator", qvmxl::kTranslatorName);
        cJSON* info = cJSON_AddObjectToObject(root, "translator_info");
        cJSON_AddStringToObject(info, "is_debug", "0");
        cJSON_AddNumberToObject(info, "version", 1);
        cJSON* data = cJSON_AddArrayToObject(info, "ordered_data");
        cJSON_AddItemToArray(
            data, usageRecord("kUsageTypeWaveformName", cJSON_CreateString("waveform0"), "string"));
        cJSON_AddItemToArray(
            data, usageRecord("kUsageTypeLineNumber", cJSON_CreateNumber(12), "uint32_t"));
        cJSON_AddItemToArray(
            data, usageRecord("kUsageTypeBadValue", cJSON_CreateString("1.500000e3"), "float"));
        char* text = cJSON_PrintUnformatted(root);
        benchmark::DoNotOptimize(text);
        free(text);
        cJSON_Delete(root);
    }
}
BENCHMARK(BM_CJsonBuildAndPrintSameObject);

constexpr trace::LogLocation kLogSite{"qverr/bench.cpp", 1, "\n"};

void BM_TraceBelowThreshold(benchmark::State& state) {
    uint32_t i = 0;
    for (auto _ : state) {
        trace::log(1024, kLogSite, "value %u", ++i);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TraceBelowThreshold);

__attribute__((noinline)) void emptyCall(uint32_t level, const trace::LogLocation& location,
                                         const char* format, ...) {
    benchmark::DoNotOptimize(level);
    benchmark::DoNotOptimize(&location);
    benchmark::DoNotOptimize(format);
}

void BM_EmptyCallBaseline(benchmark::State& state) {
    uint32_t i = 0;
    for (auto _ : state) {
        emptyCall(1024, kLogSite, "value %u", ++i);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EmptyCallBaseline);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"status raise with three records / cJSON build and print",
             "BM_StatusRaiseWithThreeRecords", "BM_CJsonBuildAndPrintSameObject"},
            {"trace call below the threshold / empty call", "BM_TraceBelowThreshold",
             "BM_EmptyCallBaseline"},
        });
}
