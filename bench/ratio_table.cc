// Medians carry the ratios; the spread column gives the larger half-range (max - min) / 2 of the
// subject's and the baseline's repetitions relative to their medians, as a measure of the run's noise;
// the last column is the ratio of the real-time medians.
#include "ratio_table.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace qmv3bench {

namespace {

std::vector<RatioRow>& Rows() {
    static std::vector<RatioRow> rows;
    return rows;
}

struct Summary {
    double median = NAN;
    double spread = NAN;  // (max - min) / 2 / median
    size_t count = 0;
};

Summary Summarise(std::vector<double> values) {
    Summary summary;
    summary.count = values.size();
    if (values.empty()) return summary;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    summary.median = values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    summary.spread = summary.median > 0 ? (values.back() - values.front()) / 2 / summary.median : 0;
    return summary;
}

std::string FormatValue(double value, const Measure& measure) {
    char text[32];
    if (std::isnan(value)) return "-";
    if (!measure.counter.empty()) {
        const bool bytes = measure.counter.size() > 6 && measure.counter.rfind("_bytes") == measure.counter.size() - 6;
        if (bytes) std::snprintf(text, sizeof text, "%.1f MiB", value / 1048576.0);
        if (!bytes) std::snprintf(text, sizeof text, "%.3g", value);
        return text;
    }
    if (value >= 1) std::snprintf(text, sizeof text, "%.3f s", value);
    if (value < 1) std::snprintf(text, sizeof text, "%.2f ms", value * 1e3);
    if (value < 1e-3) std::snprintf(text, sizeof text, "%.2f us", value * 1e6);
    if (value < 1e-6) std::snprintf(text, sizeof text, "%.1f ns", value * 1e9);
    return text;
}

std::string FirstLineOf(const char* path, const std::string& key) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        const size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        return value;
    }
    return "unknown";
}

double LoadAverage() {
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    return load[0];
}

// Taken when the program starts, before any benchmark runs.
const double kLoadAtStart = LoadAverage();

void PrintMachine(std::FILE* out) {
    utsname names{};
    uname(&names);
    std::fprintf(
        out,
        "Machine: %s, %ld cores, %s memory, Linux %s; load average %.2f at the start of the run, %.2f at its end\n",
        FirstLineOf("/proc/cpuinfo", "model name").c_str(), sysconf(_SC_NPROCESSORS_ONLN),
        FirstLineOf("/proc/meminfo", "MemTotal").c_str(), names.release, kLoadAtStart, LoadAverage());
}

}  // namespace

bool AddRatioRow(const RatioRow& row) {
    Rows().push_back(row);
    return true;
}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
    std::vector<Run> shown;
    for (const Run& run : runs) {
        const std::string name =
            run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
        if (run.error_occurred) {
            errors_[name] = run.error_message;
            shown.push_back(run);
            continue;
        }
        if (run.run_type == Run::RT_Aggregate) {
            shown.push_back(run);
            continue;
        }
        if (run.repetitions <= 1) shown.push_back(run);  // a single run is its own summary
        const double iterations = run.iterations > 0 ? static_cast<double>(run.iterations) : 1.0;
        cpuSeconds_[name].push_back(run.cpu_accumulated_time / iterations);
        realSeconds_[name].push_back(run.real_accumulated_time / iterations);
        for (const auto& counter : run.counters) counters_[name][counter.first].push_back(counter.second.value);
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
}

std::vector<double> CollectingReporter::Values(const Measure& measure, bool realTime) const {
    std::vector<double> values;
    if (measure.counter.empty()) {
        const auto& seconds = realTime ? realSeconds_ : cpuSeconds_;
        auto found = seconds.find(measure.benchmark);
        if (found != seconds.end()) values = found->second;
    } else {
        auto found = counters_.find(measure.benchmark);
        if (found != counters_.end() && found->second.count(measure.counter) != 0) {
            values = found->second.at(measure.counter);
        }
    }
    for (double& value : values) value /= measure.divisor;
    return values;
}

std::string CollectingReporter::Error(const std::string& benchmark) const {
    auto found = errors_.find(benchmark);
    return found == errors_.end() ? std::string() : found->second;
}

void PrintRatioTable(std::FILE* out, const CollectingReporter& reporter) {
    std::vector<RatioRow> rows = Rows();
    std::stable_sort(rows.begin(), rows.end(), [](const RatioRow& a, const RatioRow& b) { return a.order < b.order; });
    std::fprintf(out, "\nRatios measured in this run: medians of the repetitions, CPU time of the benchmark thread\n");
    std::fprintf(out, "%-76s %12s %12s %7s %7s %4s %7s %7s\n", "measurement (subject / baseline)", "subject",
                 "baseline", "ratio", "goal", "met", "spread", "real");
    size_t shown = 0, met = 0, withGoal = 0;
    for (const RatioRow& row : rows) {
        const Summary subject = Summarise(reporter.Values(row.subject, false));
        const Summary baseline = Summarise(reporter.Values(row.baseline, false));
        const double realRatio = Summarise(reporter.Values(row.subject, true)).median /
                                 Summarise(reporter.Values(row.baseline, true)).median;
        if (subject.count == 0 && baseline.count == 0) continue;  // filtered out of this run
        ++shown;
        std::string error = reporter.Error(row.subject.benchmark) + reporter.Error(row.baseline.benchmark);
        if (!error.empty() || subject.count == 0 || baseline.count == 0) {
            std::fprintf(out, "%-76s  not measured: %s\n", row.label.c_str(),
                         error.empty() ? "missing" : error.c_str());
            continue;
        }
        const double ratio = subject.median / baseline.median;
        char goal[16] = "-", pass[8] = "";
        if (row.goal > 0) {
            ++withGoal;
            std::snprintf(goal, sizeof goal, "<=%.4g", row.goal);
            std::snprintf(pass, sizeof pass, "%s", ratio <= row.goal ? "yes" : "NO");
            if (ratio <= row.goal) ++met;
        }
        std::fprintf(out, "%-76s %12s %12s %7.3f %7s %4s %6.1f%% %7.3f\n", row.label.c_str(),
                     FormatValue(subject.median, row.subject).c_str(),
                     FormatValue(baseline.median, row.baseline).c_str(), ratio, goal, pass,
                     100 * std::max(subject.spread, baseline.spread), realRatio);
    }
    std::fprintf(out, "%zu rows, %zu of %zu goals met.\n", shown, met, withGoal);
    PrintMachine(out);
}

}  // namespace qmv3bench
