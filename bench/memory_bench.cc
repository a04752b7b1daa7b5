// Peak resident memory of a save and a load of a 1 GiB sequence, against the sequence's own size. Each
// measurement runs in a child process of its own, so that nothing the other benchmarks left in the heap
// counts, and resets the kernel's high-water mark just before the operation (/proc/self/clear_refs).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench_files.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"

namespace {

// 128 camera-like frames of 8 MiB: 1 GiB. They shrink to about two thirds, so the working buffers are
// well used; the fast engine keeps the run to seconds (both engines hold one working buffer alike).
const qmv3bench::FrameSpec& kSpec = qmv3bench::kGrey16;
constexpr uint32_t kFrames = 128;

// A field of /proc/self/status in bytes; -1 when it cannot be read.
double StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::atof(line.c_str() + length + 1) * 1024.0;
        }
    }
    return -1;
}

bool ResetPeak() {
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr) return false;
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

// Peak resident bytes of each operation above the process just before it, plus what it must hold: the
// sequence for a save (it exists before the save starts) and nothing more for a load (its result grows
// inside the measurement). Memory the heap kept from earlier frees is not charged to the operation.
struct Peaks {
    double save = -1;
    double load = -1;
};

Peaks MeasureInThisProcess() {
    Peaks peaks;
    const std::string path = qmv3bench::ScratchFile("one-gibibyte.imc2");
    qmv3bench::FastCompression fast(true);
    QMBUNCHOFIMAGES sequence = qmv3bench::MakeSequence(kSpec, kFrames);
    const double sequenceBytes = static_cast<double>(kSpec.bytes()) * kFrames;
    const double beforeSave = StatusBytes("VmRSS");
    if (!ResetPeak()) return peaks;
    const int saved = qmSaveImagesToFileEx(&sequence, path.c_str(), nullptr, 0, nullptr, nullptr);
    if (saved == QMV3_SAVE_OK) peaks.save = sequenceBytes + StatusBytes("VmHWM") - beforeSave;
    qmv3bench::FreeSequence(sequence);
    const double beforeLoad = StatusBytes("VmRSS");
    QMBUNCHOFIMAGES loaded{};
    if (saved == QMV3_SAVE_OK && ResetPeak() &&
        qmLoadImagesFromFileEx(path.c_str(), &loaded, nullptr, nullptr, nullptr, 0) == QMV3_LOAD_OK) {
        peaks.load = StatusBytes("VmHWM") - beforeLoad;
    }
    qmFreeBunch(&loaded);
    std::remove(path.c_str());
    return peaks;
}

void PeakMemory(benchmark::State& state) {
    Peaks peaks;
    for (auto _ : state) {
        int channel[2];
        if (pipe(channel) != 0) break;
        const pid_t child = fork();
        if (child == 0) {
            close(channel[0]);
            const Peaks measured = MeasureInThisProcess();
            const bool sent = write(channel[1], &measured, sizeof measured) == sizeof measured;
            _exit(sent ? 0 : 1);
        }
        close(channel[1]);
        if (child < 0 || read(channel[0], &peaks, sizeof peaks) != sizeof peaks) peaks = Peaks();
        close(channel[0]);
        if (child > 0) waitpid(child, nullptr, 0);
    }
    if (peaks.save < 0 || peaks.load < 0) {
        state.SkipWithError("peak memory could not be measured");
        return;
    }
    state.counters["save_peak_bytes"] = peaks.save;
    state.counters["load_peak_bytes"] = peaks.load;
    state.counters["sequence_bytes"] = static_cast<double>(kSpec.bytes()) * kFrames;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("memory/imc2_1GiB", PeakMemory)
        ->Iterations(1)
        ->Repetitions(1)
        ->Unit(benchmark::kSecond);
    // The sequence itself plus two frames.
    const double goal = 1.0 + 2.0 / kFrames;
    qmv3bench::AddRatioRow({600, "Peak memory, IMC2 save of 1 GiB (128 x 8 MiB) vs the sequence",
                            qmv3bench::CounterOf("memory/imc2_1GiB", "save_peak_bytes"),
                            qmv3bench::CounterOf("memory/imc2_1GiB", "sequence_bytes"), goal});
    qmv3bench::AddRatioRow({601, "Peak memory, IMC2 load of 1 GiB (128 x 8 MiB) vs the sequence",
                            qmv3bench::CounterOf("memory/imc2_1GiB", "load_peak_bytes"),
                            qmv3bench::CounterOf("memory/imc2_1GiB", "sequence_bytes"), goal});
    return true;
}();

}  // namespace
