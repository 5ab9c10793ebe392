// Native benchmark of the pattern matcher (Google Benchmark): the system's patterns over
// 10 000 realistic key names, side by side with std::wregex and an A-Z folding substring
// search on the same names in the same run; prints the ratios at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "PatternWorkload.h"

namespace {

// Keeps each run's time per iteration while the console shows the usual table.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Time(const std::string& name) const
    {
        const auto found = m_times.find(name);
        return found == m_times.end() ? 0 : found->second;
    }

private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    static const std::vector<std::wstring> names = RealisticKeyNames();
    for (const PatternWorkload& workload : PatternWorkloads()) {
        const std::string base = workload.name;
        if (workload.ours(names) != workload.regex(names) || workload.ours(names) != workload.substring(names)) {
            std::fprintf(stderr, "%s: the three disagree on the names\n", workload.name);
            return 1;
        }
        auto (*ours)(const std::vector<std::wstring>&) = workload.ours;
        auto (*regex)(const std::vector<std::wstring>&) = workload.regex;
        auto (*substring)(const std::vector<std::wstring>&) = workload.substring;
        benchmark::RegisterBenchmark((base + "/MatchPattern").c_str(), [ours](benchmark::State& state) {
            for (auto _ : state) {
                benchmark::DoNotOptimize(ours(names));
            }
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((base + "/wregex").c_str(), [regex](benchmark::State& state) {
            for (auto _ : state) {
                benchmark::DoNotOptimize(regex(names));
            }
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((base + "/substring").c_str(), [substring](benchmark::State& state) {
            for (auto _ : state) {
                benchmark::DoNotOptimize(substring(names));
            }
        })->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-28s %14s %14s %14s %12s %14s\n", "10 000 names, native", "MatchPattern", "std::wregex",
                "substring", "wregex/ours", "ours/substring");
    for (const PatternWorkload& workload : PatternWorkloads()) {
        const std::string base = workload.name;
        const double ours = reporter.Time(base + "/MatchPattern");
        const double regex = reporter.Time(base + "/wregex");
        const double substring = reporter.Time(base + "/substring");
        std::printf("%-28s %11.0f us %11.0f us %11.0f us %11.1fx %13.1fx\n", workload.name, ours, regex, substring,
                    regex / ours, ours / substring);
    }
    std::printf("goals: wregex/ours at least 3x, ours/substring at most 4x\n");
    return 0;
}
