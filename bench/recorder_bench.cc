// The recorder with 2048 x 2048 16-bit scene frames: its throughput against the same number of workers
// compressing the same frames without any file, frames dropped when they come at 25 per second, and its
// peak memory over a long run against its queue (and against what a multi-frame grab of the same run
// holds: every frame). The recorder's work runs on its own threads, so the rows compare wall-clock time
// per frame, kept as counters.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_files.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"
#include "util/deflate_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
const qmv3bench::FrameSpec& kSpec = qmv3bench::kGrey16;
// More distinct frames than the processor's caches hold: a camera's frames arrive fresh, never cached,
// so the workers compress cold frames in both rows.
constexpr uint32_t kDistinct = 16;
// A run long enough that opening and completing the file (its buffers' first use, the final sync) weigh
// as little as they do in a recording of minutes: the rows compare rates.
constexpr uint32_t kFramesPerRun = 96;
constexpr uint32_t kPacedFrames = 75;       // three seconds at 25 frames per second
constexpr uint32_t kMemoryFrames = 20000;   // a long run: 168 GB of frames through the queue
constexpr unsigned kMemorySplit = 200;      // images per file of the long run, each removed once closed
constexpr unsigned kStreamQueue = 16;       // the frames the tool's stream adds in front of the recorder

struct Frames {
    std::vector<std::vector<unsigned char>> pixels;
    std::vector<DIMAGE> images;
    Frames() {
        for (uint32_t i = 0; i < kDistinct; ++i) pixels.push_back(qmv3bench::MakePixels(kSpec, i));
        for (uint32_t i = 0; i < kDistinct; ++i) images.push_back(qmv3bench::MakeImage(kSpec, i, pixels[i]));
    }
    ~Frames() {
        for (DIMAGE& image : images) std::free(image.frameBuffer);
    }
    DIMAGE& Frame(uint32_t number) {
        DIMAGE& image = images[number % kDistinct];
        image.frameHeader.frameNumber = number + 1;
        return image;
    }
};

Frames& SharedFrames() {
    static Frames frames;
    return frames;
}

unsigned Workers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void RemoveRecording(const std::string& path, unsigned files) {
    std::remove(path.c_str());
    for (unsigned i = 2; i <= files + 1; ++i) {
        std::string name = path.substr(0, path.size() - 5);
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), "-%04u.imc2", i);
        std::remove((name + suffix).c_str());
    }
}

// Opens a recorder on a fresh scratch file; null after SkipWithError.
QMV3_RECORDER* OpenRecorder(benchmark::State& state, const std::string& path, unsigned flags, unsigned queue) {
    RemoveRecording(path, 4);
    QMV3_RECORDER_OPTIONS options{};
    options.size = sizeof(options);
    options.flags = flags;
    options.queueFrames = queue;
    QMV3_RECORDER* recorder = nullptr;
    char text[400] = "";
    if (qmRecorderOpen(&recorder, path.c_str(), &options, text, sizeof(text)) != QMV3_RECORDER_OK) {
        state.SkipWithError(text);
        return nullptr;
    }
    return recorder;
}

void RecordToImc2(benchmark::State& state) {
    Frames& frames = SharedFrames();
    const std::string path = qmv3bench::ScratchFile("recording.imc2");
    double seconds = 0;
    uint64_t count = 0;
    for (auto _ : state) {
        QMV3_RECORDER* recorder = OpenRecorder(state, path, 0, 0);
        if (recorder == nullptr) return;
        const auto start = Clock::now();
        for (uint32_t i = 0; i < kFramesPerRun; ++i) qmRecorderWrite(recorder, &frames.Frame(i));
        const int closed = qmRecorderClose(recorder, nullptr, nullptr, 0);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        count += kFramesPerRun;
        if (closed != QMV3_RECORDER_OK) state.SkipWithError("the recording failed");
    }
    RemoveRecording(path, 1);
    state.counters["seconds_per_frame"] = seconds / static_cast<double>(count);
}

// The same frames through as many threads as the recorder has workers, each deflating with the fast
// engine's level 1, nothing written.
void CompressOnly(benchmark::State& state) {
    Frames& frames = SharedFrames();
    const unsigned workers = Workers();
    std::vector<std::unique_ptr<deflate_engine::Compressor>> compressors;
    for (unsigned i = 0; i < workers; ++i) {
        compressors.push_back(std::make_unique<deflate_engine::Compressor>(deflate_engine::Engine::kLibdeflate,
                                                                           deflate_engine::kDefaultFastLevel));
    }
    double seconds = 0;
    uint64_t count = 0;
    for (auto _ : state) {
        std::atomic<uint32_t> next{0};
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (unsigned w = 0; w < workers; ++w) {
            threads.emplace_back([&, w] {
                for (uint32_t i; (i = next++) < kFramesPerRun;) {
                    const DIMAGE& image = frames.images[i % kDistinct];
                    const unsigned char* stream = nullptr;
                    size_t length = 0;
                    compressors[w]->Compress(image.frameBuffer, kSpec.bytes(), &stream, &length);
                    benchmark::DoNotOptimize(stream);
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        count += kFramesPerRun;
    }
    state.counters["seconds_per_frame"] = seconds / static_cast<double>(count);
}

// Frames at 25 per second into a recorder that drops rather than waits once its queue and the stream's
// queue in front of it are full: every drop is a frame the camera's run would lose.
void PacedRecording(benchmark::State& state) {
    Frames& frames = SharedFrames();
    const std::string path = qmv3bench::ScratchFile("paced.imc2");
    double dropped = 0;
    for (auto _ : state) {
        QMV3_RECORDER* recorder =
            OpenRecorder(state, path, QMV3_RECORDER_FLAG_DROP_WHEN_FULL, Workers() + 2 + kStreamQueue);
        if (recorder == nullptr) return;
        const auto start = Clock::now();
        for (uint32_t i = 0; i < kPacedFrames; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * i));
            qmRecorderWrite(recorder, &frames.Frame(i));
        }
        QMV3_RECORDER_STATISTICS statistics{};
        statistics.size = sizeof(statistics);
        qmRecorderClose(recorder, &statistics, nullptr, 0);
        dropped += static_cast<double>(statistics.dropped);
    }
    RemoveRecording(path, 1);
    state.counters["dropped_plus_one"] = dropped + 1;
    state.counters["one"] = 1;
}

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

// The frames of the long run: QMV3_BENCH_RECORD_FRAMES shortens it for a quick look.
uint32_t MemoryFrames() {
    static const uint32_t frames = [] {
        const char* text = std::getenv("QMV3_BENCH_RECORD_FRAMES");
        const long value = text != nullptr ? std::atol(text) : 0;
        return value > 0 && value <= static_cast<long>(kMemoryFrames) ? static_cast<uint32_t>(value) : kMemoryFrames;
    }();
    return frames;
}

// The name of file `index` of a recording, or empty.
std::string RecordingFile(QMV3_RECORDER* recorder, unsigned index) {
    char name[4096];
    size_t size = sizeof(name);
    return qmRecorderGetFileName(recorder, index, name, &size) == QMV3_RECORDER_OK ? std::string(name) : std::string();
}

bool Exists(const std::string& path) { return !path.empty() && access(path.c_str(), F_OK) == 0; }

// Peak resident bytes of a long recording above the process before it, measured in a child process
// whose high-water mark is reset just before the recording starts. The run's frames would not fit on
// the disk: it is split into small files, and each file is removed once the next one exists (the
// recorder has then closed it), which changes nothing the recorder holds in memory.
double MeasurePeak() {
    Frames& frames = SharedFrames();
    const std::string path = qmv3bench::ScratchFile("long.imc2");
    std::remove(path.c_str());
    std::FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (clear == nullptr) return -1;
    QMV3_RECORDER_OPTIONS options{};
    options.size = sizeof(options);
    options.split = kMemorySplit;
    QMV3_RECORDER* recorder = nullptr;
    const double before = StatusBytes("VmRSS");
    const bool reset = std::fputs("5", clear) >= 0 && std::fclose(clear) == 0;
    if (!reset || qmRecorderOpen(&recorder, path.c_str(), &options, nullptr, 0) != QMV3_RECORDER_OK) return -1;
    unsigned removed = 0;  // files 1 .. removed are gone
    auto removeClosed = [&](bool all) {
        for (;;) {
            const std::string next = RecordingFile(recorder, removed + 2);
            if (!all && !Exists(next)) return;
            const std::string closed = RecordingFile(recorder, removed + 1);
            if (!Exists(closed)) return;
            std::remove(closed.c_str());
            ++removed;
        }
    };
    for (uint32_t i = 0; i < MemoryFrames(); ++i) {
        qmRecorderWrite(recorder, &frames.Frame(i));
        if (i % 16 == 0) removeClosed(false);
    }
    const bool finished = qmRecorderFinish(recorder, nullptr, 0) == QMV3_RECORDER_OK;
    const double peak = StatusBytes("VmHWM") - before;
    removeClosed(true);
    qmRecorderClose(recorder, nullptr, nullptr, 0);
    return finished ? peak : -1;
}

void LongRecordingMemory(benchmark::State& state) {
    SharedFrames();  // made before the child forks, outside the measurement
    double peak = -1;
    for (auto _ : state) {
        int channel[2];
        if (pipe(channel) != 0) break;
        const pid_t child = fork();
        if (child == 0) {
            close(channel[0]);
            const double measured = MeasurePeak();
            _exit(write(channel[1], &measured, sizeof measured) == sizeof measured ? 0 : 1);
        }
        close(channel[1]);
        if (child < 0 || read(channel[0], &peak, sizeof peak) != sizeof peak) peak = -1;
        close(channel[0]);
        if (child > 0) waitpid(child, nullptr, 0);
    }
    if (peak < 0) {
        state.SkipWithError("peak memory could not be measured");
        return;
    }
    const double frameBytes = static_cast<double>(kSpec.bytes());
    state.counters["peak_bytes"] = peak;
    // The recorder's queue of frames (workers + 2 by default), plus 64 MiB.
    state.counters["queue_plus_64MiB"] = (Workers() + 2) * frameBytes + 64.0 * 1024 * 1024;
    // A multi-frame grab of the same run holds every frame until it ends.
    state.counters["grab_bytes"] = MemoryFrames() * frameBytes;
}

const bool registered = [] {
    auto add = [](const char* name, void (*function)(benchmark::State&)) {
        return benchmark::RegisterBenchmark(name, function)->Unit(benchmark::kMillisecond);
    };
    add("record/imc2_fast", RecordToImc2)->Iterations(2);
    add("record/compress_only", CompressOnly)->Iterations(2);
    add("record/paced_25fps", PacedRecording)->Iterations(1)->Repetitions(1);
    add("record/long_run_memory", LongRecordingMemory)->Iterations(1)->Repetitions(1);
    const std::string frames = ", 2048 x 2048 16-bit scene frames";
    qmv3bench::AddRatioRow({700, "Recording to IMC2 (fast)" + frames + ", wall time per frame vs compressing only",
                            qmv3bench::CounterOf("record/imc2_fast", "seconds_per_frame"),
                            qmv3bench::CounterOf("record/compress_only", "seconds_per_frame"), 1.0 / 0.9});
    qmv3bench::AddRatioRow({701, "Recording at 25 frames per second" + frames + ", frames dropped + 1 (none: 1)",
                            qmv3bench::CounterOf("record/paced_25fps", "dropped_plus_one"),
                            qmv3bench::CounterOf("record/paced_25fps", "one"), 1.0});
    const double runGigabytes = MemoryFrames() * static_cast<double>(kSpec.bytes()) / 1e9;
    char run[64];
    std::snprintf(run, sizeof(run), "recording %u frames (%.0f GB)", MemoryFrames(), runGigabytes);
    qmv3bench::AddRatioRow({702, "Peak memory, " + std::string(run) + " vs the queue's frames + 64 MiB",
                            qmv3bench::CounterOf("record/long_run_memory", "peak_bytes"),
                            qmv3bench::CounterOf("record/long_run_memory", "queue_plus_64MiB"), 1.0});
    qmv3bench::AddRatioRow({703, "Peak memory, " + std::string(run) + " vs a multi-frame grab of them (every frame)",
                            qmv3bench::CounterOf("record/long_run_memory", "peak_bytes"),
                            qmv3bench::CounterOf("record/long_run_memory", "grab_bytes"), 0});
    return true;
}();

}  // namespace
