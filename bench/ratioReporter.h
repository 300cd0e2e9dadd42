// A console reporter that keeps each benchmark's CPU and real time per
// iteration (the fastest of its repetitions), so that a benchmark program
// can print its ratios against the baselines that ran beside it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // With colour on, the console reporter ends each line with a newline
    // followed by a colour reset, so the next line (the first ratio line
    // too) would begin with an escape code: the reset is moved before the
    // newline.
    void ReportRuns(const std::vector<Run>& runs) override {
        std::ostream& out = GetOutputStream();
        std::ostringstream buffer;
        SetOutputStream(&buffer);
        ConsoleReporter::ReportRuns(runs);
        SetOutputStream(&out);
        std::string text = buffer.str();
        const std::string newlineThenReset = "\n\033[m";
        for (size_t at = text.find(newlineThenReset); at != std::string::npos;
             at = text.find(newlineThenReset, at + newlineThenReset.size())) {
            text.replace(at, newlineThenReset.size(), "\033[m\n");
        }
        out << text << std::flush;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                // Of repetitions the fastest counts: the one least disturbed
                // by whatever else runs on the machine.
                const Times time{run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
                const auto [kept, first] = times_.try_emplace(run.benchmark_name(), time);
                if (!first && time.cpu < kept->second.cpu) kept->second.cpu = time.cpu;
                if (!first && time.real < kept->second.real) kept->second.real = time.real;
            }
        }
    }

    // Prints "ratio <what>: measured / baseline" when both ran, of CPU
    // times, or of real times for work that waits (for a disk, say).
    void ratio(const char* what, const std::string& measured, const std::string& baseline,
               bool realTime = false) const {
        const auto m = times_.find(measured);
        const auto b = times_.find(baseline);
        if (m == times_.end() || b == times_.end()) return;
        const double measuredTime = realTime ? m->second.real : m->second.cpu;
        const double baselineTime = realTime ? b->second.real : b->second.cpu;
        if (baselineTime <= 0) return;
        std::printf("ratio %s: %.2f\n", what, measuredTime / baselineTime);
    }

private:
    struct Times {
        double cpu;
        double real;
    };
    std::map<std::string, Times> times_;
};

// One ratio to print after the runs: measured / baseline.
struct RatioSpec {
    const char* what;
    std::string measured;
    std::string baseline;
    bool realTime = false;
};

// The main of a benchmark program: runs the benchmarks selected on the
// command line, then prints each ratio whose two sides ran.
inline int runBenchmarksWithRatios(int argc, char** argv, const std::vector<RatioSpec>& ratios) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const RatioSpec& r : ratios) reporter.ratio(r.what, r.measured, r.baseline, r.realTime);
    benchmark::Shutdown();
    return 0;
}
