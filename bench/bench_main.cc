// The benchmark program: Google Benchmark's command line, with defaults suited to a small shared machine
// (repetitions interleaved at random, so that a burst of outside load hits subject and baseline alike),
// then the ratio table.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "ratio_table.h"

namespace {

bool Given(int argc, char** argv, const char* flag) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> defaults = {"--benchmark_repetitions=5", "--benchmark_enable_random_interleaving=true",
                                         "--benchmark_min_time=0.2"};
    std::vector<char*> arguments = {argv[0]};
    for (std::string& flag : defaults) {
        if (!Given(argc, argv, flag.substr(0, flag.find('=')).c_str())) arguments.push_back(flag.data());
    }
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    qmv3bench::CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    qmv3bench::PrintRatioTable(stdout, reporter);
    benchmark::Shutdown();
    return 0;
}
