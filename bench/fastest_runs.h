// How the benchmarks measure and compare: every case is repeated and its fastest repetition kept,
// because on a machine shared with other work the minimum is the steadiest measure of what the
// code itself costs. The reporter collects those minimums for the ratios printed at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace bench {

// Seven repetitions in milliseconds, reported as their statistics with "min" among them.
inline benchmark::internal::Benchmark* keepFastest(benchmark::internal::Benchmark* benchmark) {
    return benchmark->Unit(benchmark::kMillisecond)
        ->Repetitions(7)
        ->ComputeStatistics("min",
                            [](const std::vector<double>& times) {
                                return *std::min_element(times.begin(), times.end());
                            })
        ->ReportAggregatesOnly(true);
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred)
                failed = true;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") {
                fastest[run.run_name.function_name] = run.GetAdjustedCPUTime();
                fastestWall[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The fastest CPU time of a benchmark's own thread in its unit, or with wall its fastest wall
    // time (for work that other threads share); 0 when it did not run.
    double fastestOf(const std::string& name, bool wall = false) const {
        const std::map<std::string, double>& times = wall ? fastestWall : fastest;
        const auto found = times.find(name);
        return found == times.end() ? 0.0 : found->second;
    }
    std::map<std::string, double> fastest;
    std::map<std::string, double> fastestWall;
    bool failed = false; // a benchmark stopped with SkipWithError
};

// One line of the table printed at the end: how much slower one case is than another.
struct Comparison {
    const char* label;
    std::string measured;
    std::string reference;
    double guideline;  // the ratio the measured case should stay within
    bool wall = false; // compares wall times: the measured case decodes on other threads too
};

// Prints the ratios of the fastest runs; cases filtered out or stopped are left out.
inline void printComparisons(const RatioReporter& reporter,
                             const std::vector<Comparison>& comparisons) {
    std::printf("\n%-44s %10s   %s\n", "comparison (fastest runs)", "ratio", "guideline");
    for (const Comparison& comparison : comparisons) {
        const double measured = reporter.fastestOf(comparison.measured, comparison.wall);
        const double reference = reporter.fastestOf(comparison.reference, comparison.wall);
        if (measured <= 0 || reference <= 0)
            continue;
        const double ratio = measured / reference;
        std::printf("%-44s %9.3fx   within %.2fx%s%s\n", comparison.label, ratio,
                    comparison.guideline, comparison.wall ? " (wall time)" : "",
                    ratio > comparison.guideline ? " (over)" : "");
    }
}

} // namespace bench
