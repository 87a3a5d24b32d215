#pragma once

// A console reporter that keeps the CPU time per item of every repetition
// and, once all runs are done, prints the ratio of the medians of pairs of
// benchmarks measured in the same run. With the other core busy single
// repetitions wander; the median of several (--benchmark_repetitions=N)
// keeps the ratios steady.

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qndis::bench {

struct Ratio {
    std::string label;
    std::string measured;
    std::string reference;
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::vector<Ratio> ratios) : m_ratios(std::move(ratios)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            if (run.run_type == Run::RT_Iteration) {
                m_times[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
            } else if (run.aggregate_name == "median") {
                // Only the aggregates reach here with
                // --benchmark_report_aggregates_only.
                m_medians[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nmedian CPU time ratios (measured / reference):\n");
        for (const Ratio& ratio : m_ratios) {
            const double measured = Median(ratio.measured);
            const double reference = Median(ratio.reference);
            if (measured > 0 && reference > 0) {
                std::printf("  %-44s %6.2f  (%.2f ns vs %.2f ns)\n", ratio.label.c_str(),
                            measured / reference, measured, reference);
            }
        }
    }

    // The median time of `name` in nanoseconds, 0 when it did not run.
    double Median(const std::string& name) const {
        if (const auto median = m_medians.find(name); median != m_medians.end()) {
            return median->second;
        }
        const auto found = m_times.find(name);
        if (found == m_times.end() || found->second.empty()) {
            return 0.0;
        }
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        const std::size_t middle = times.size() / 2;
        return times.size() % 2 == 1 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    }

private:
    std::vector<Ratio> m_ratios;
    std::map<std::string, std::vector<double>> m_times;
    std::map<std::string, double> m_medians;
};

// Runs the benchmarks named on the command line with the reporter above.
inline int RunWithRatios(int argc, char** argv, std::vector<Ratio> ratios) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace qndis::bench
