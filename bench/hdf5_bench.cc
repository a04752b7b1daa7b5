// IMC2 files against what users would store the same frames in instead: an HDF5 file written and read
// through the HDF5 C library, one chunk per frame, deflate level 6 (zlib's default level, as the IMC2
// file has). The read gives the frames as one array, as HDF5 users get them. Minor page faults per load
// or read are counted as well: on virtual machines fresh memory costs about as much as inflating it.
#include <benchmark/benchmark.h>

#ifdef QMV3_BENCH_HDF5
#include <hdf5.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_files.h"
#include "ratio_table.h"
#include "synthetic_data.h"

namespace {

using qmv3bench::FrameSpec;
using qmv3bench::TimeOf;

constexpr uint32_t kFrames = 100;

const QMBUNCHOFIMAGES& Sequence() {
    static const QMBUNCHOFIMAGES sequence = qmv3bench::MakeSequence(qmv3bench::kGrey8, kFrames);
    return sequence;
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

bool WriteHdf5(const std::string& path, const QMBUNCHOFIMAGES& sequence) {
    const FrameSpec& shape = qmv3bench::kGrey8;
    const hsize_t dims[3] = {sequence.numFrames, static_cast<hsize_t>(shape.height), static_cast<hsize_t>(shape.width)};
    const hsize_t chunk[3] = {1, dims[1], dims[2]};
    hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    hid_t space = H5Screate_simple(3, dims, nullptr);
    hid_t properties = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(properties, 3, chunk);
    H5Pset_deflate(properties, 6);
    hid_t data = H5Dcreate2(file, "frames", H5T_NATIVE_UCHAR, space, H5P_DEFAULT, properties, H5P_DEFAULT);
    hid_t memory = H5Screate_simple(3, chunk, nullptr);
    bool written = file >= 0 && data >= 0;
    for (uint32_t i = 0; written && i < sequence.numFrames; ++i) {
        const hsize_t start[3] = {i, 0, 0};
        H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, chunk, nullptr);
        written = H5Dwrite(data, H5T_NATIVE_UCHAR, memory, space, H5P_DEFAULT, sequence.imageArray[i].frameBuffer) >= 0;
    }
    H5Sclose(memory);
    H5Dclose(data);
    H5Pclose(properties);
    H5Sclose(space);
    return H5Fclose(file) >= 0 && written;
}

void Hdf5Write(benchmark::State& state) {
    const std::string path = qmv3bench::ScratchFile("frames.h5");
    for (auto _ : state) {
        if (!WriteHdf5(path, Sequence())) state.SkipWithError("HDF5 write failed");
    }
    std::remove(path.c_str());
}

void Hdf5Read(benchmark::State& state) {
    const std::string path = qmv3bench::ScratchFile("frames-read.h5");
    if (!WriteHdf5(path, Sequence())) state.SkipWithError("HDF5 write failed");
    const size_t bytes = static_cast<size_t>(kFrames) * qmv3bench::kGrey8.bytes();
    long faults = 0;
    for (auto _ : state) {
        const long before = MinorFaults();
        unsigned char* frames = static_cast<unsigned char*>(std::malloc(bytes));
        hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        hid_t data = H5Dopen2(file, "frames", H5P_DEFAULT);
        if (H5Dread(data, H5T_NATIVE_UCHAR, H5S_ALL, H5S_ALL, H5P_DEFAULT, frames) < 0) state.SkipWithError("failed");
        H5Dclose(data);
        H5Fclose(file);
        benchmark::DoNotOptimize(frames);
        faults += MinorFaults() - before;
        state.PauseTiming();
        std::free(frames);
        qmv3bench::ReleaseFreedMemory();
        state.ResumeTiming();
    }
    state.counters["minor_faults"] =
        benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
    std::remove(path.c_str());
}

void ImcLoad(benchmark::State& state) {
    const std::string path = qmv3bench::ScratchFile("frames-read.imc2");
    std::remove(path.c_str());
    {
        qmv3bench::FastCompression off(false);
        QMBUNCHOFIMAGES sequence = Sequence();
        if (qmSaveImagesToFileEx(&sequence, path.c_str(), nullptr, 0, nullptr, nullptr) != 0) {
            state.SkipWithError("save failed");
        }
    }
    long faults = 0;
    for (auto _ : state) {
        const long before = MinorFaults();
        QMBUNCHOFIMAGES loaded{};
        if (qmLoadImagesFromFileEx(path.c_str(), &loaded, nullptr, nullptr, nullptr, 0) != 0) {
            state.SkipWithError("load failed");
        }
        faults += MinorFaults() - before;
        state.PauseTiming();
        qmFreeBunch(&loaded);
        qmv3bench::ReleaseFreedMemory();
        state.ResumeTiming();
    }
    state.counters["minor_faults"] =
        benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
    std::remove(path.c_str());
}

const bool registered = [] {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    benchmark::RegisterBenchmark("hdf5/grey8/write", Hdf5Write)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("hdf5/grey8/read", Hdf5Read)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("hdf5/grey8/imc2_load", ImcLoad)->Unit(benchmark::kMillisecond);
    const std::string text = "100 x 640x480 8-bit";
    qmv3bench::AddRatioRow({160, "IMC2 load " + text + " vs HDF5 read (chunk per frame, deflate 6)",
                            TimeOf("hdf5/grey8/imc2_load"), TimeOf("hdf5/grey8/read"), 0.8});
    qmv3bench::AddRatioRow({161, "IMC2 save " + text + ", default, vs HDF5 write", TimeOf("imc2/grey8/save_default"),
                            TimeOf("hdf5/grey8/write"), 1.0});
    qmv3bench::AddRatioRow({162, "IMC2 save " + text + ", fast, vs HDF5 write", TimeOf("imc2/grey8/save_fast"),
                            TimeOf("hdf5/grey8/write"), 0.5});
    qmv3bench::AddRatioRow({163, "Minor page faults per IMC2 load " + text + " vs per HDF5 read",
                            qmv3bench::CounterOf("hdf5/grey8/imc2_load", "minor_faults"),
                            qmv3bench::CounterOf("hdf5/grey8/read", "minor_faults"), 0});
    return true;
}();

}  // namespace
#endif
