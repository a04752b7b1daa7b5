// The one table `make bench` prints: each row divides a measurement by its baseline, both taken in the
// same run, as medians over the repetitions. Times are CPU times of the benchmark thread, which outside
// load on a shared machine disturbs far less than wall-clock time; the real-time ratio is shown beside. Benchmark files
// declare their rows beside their benchmarks; a reporter collects every repetition and the table is printed when all
// have run.
#ifndef QMV3_BENCH_RATIO_TABLE_H
#define QMV3_BENCH_RATIO_TABLE_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qmv3bench {

// A benchmark's value: time per iteration in seconds (CPU time of the benchmark's thread, or real
// time), or, when counter is set, that user counter; divided by divisor (to compare per-frame figures of
// runs of different lengths).
struct Measure {
    std::string benchmark;
    std::string counter;
    double divisor = 1.0;
};

inline Measure TimeOf(const std::string& benchmark, double divisor = 1.0) { return {benchmark, "", divisor}; }
inline Measure CounterOf(const std::string& benchmark, const std::string& counter) { return {benchmark, counter, 1.0}; }

struct RatioRow {
    int order;  // rows print sorted by it
    std::string label;
    Measure subject;
    Measure baseline;
    double goal;  // the largest ratio that meets the goal; 0 shows the ratio without a goal
};

// Registers a row; returns true so that files can register at static initialisation.
bool AddRatioRow(const RatioRow& row);

// Passes the summaries (aggregates, or a single run) on to the console and keeps every repetition.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Values of each repetition of a measure; empty when the benchmark did not run.
    std::vector<double> Values(const Measure& measure, bool realTime) const;
    std::string Error(const std::string& benchmark) const;

  private:
    std::map<std::string, std::vector<double>> cpuSeconds_;
    std::map<std::string, std::vector<double>> realSeconds_;
    std::map<std::string, std::map<std::string, std::vector<double>>> counters_;
    std::map<std::string, std::string> errors_;
};

void PrintRatioTable(std::FILE* out, const CollectingReporter& reporter);

}  // namespace qmv3bench

#endif
