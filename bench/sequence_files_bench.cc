// Saving and loading IMC2 sequences compared with zlib's own compress and uncompress of the same frames
// in the same run. The counters save_ratio and load_ratio are the library's time divided by zlib's;
// the aim is at most 1.10. Loading must hand out a new buffer per frame, so load_ratio_fresh_buffers
// also compares it with uncompress into newly allocated buffers, which pays the same page faults.
// QMV3_BENCH_FRAMES overrides the number of frames (default 100).
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"

namespace {

unsigned FrameCount() {
    const char* text = std::getenv("QMV3_BENCH_FRAMES");
    const int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? static_cast<unsigned>(count) : 100;
}

// Camera-like frames: a gradient plus noise, in the significant bits of each pixel.
QMBUNCHOFIMAGES MakeFrames(unsigned count, int width, int height, int bytesPerPixel) {
    QMBUNCHOFIMAGES images{static_cast<DIMAGE*>(std::calloc(count, sizeof(DIMAGE))), count};
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, bytesPerPixel == 2 ? 12.0 : 2.0);
    const int size = width * height * bytesPerPixel;
    const double top = bytesPerPixel == 2 ? 4095.0 : 255.0;
    for (unsigned k = 0; k < count; ++k) {
        DIMAGE& image = images.imageArray[k];
        std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
        image.sourceHeader.versionTag = 1;
        image.sourceHeader.totalLength = static_cast<uint32_t>(size + QMV3_IMAGE_HEADER_SIZE);
        image.sourceHeader.timestampSeconds = 1690470245 + k;
        DIMAGE_FRAMEHEADER& h = image.frameHeader;
        h.sourceWidth = width;
        h.sourceHeight = height;
        h.aoiWidth = h.aoiHeight = -1;
        h.bytesPerPixel = bytesPerPixel;
        h.effectiveBitsPerPixel = bytesPerPixel == 2 ? 12 : 8;
        h.horizontalBinning = h.verticalBinning = 1;
        h.frameNumber = k + 1;
        h.xScale = h.yScale = 0.0125f;
        h.imageFlags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER | QMV3_FLAG_IMAGE_LOSSLESS;
        h.appendedFrameSize = size;
        image.frameBufferSize = static_cast<uint32_t>(size);
        image.frameBuffer = static_cast<unsigned char*>(std::malloc(size));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                double value = (x + y + static_cast<int>(k)) * top / (width + height) + noise(random);
                value = value < 0 ? 0 : (value > top ? top : value);
                const unsigned pixel = static_cast<unsigned>(value);
                unsigned char* at = image.frameBuffer + (static_cast<size_t>(y) * width + x) * bytesPerPixel;
                at[0] = static_cast<unsigned char>(pixel);
                if (bytesPerPixel == 2) at[1] = static_cast<unsigned char>(pixel >> 8);
            }
        }
    }
    return images;
}

void FreeFrames(QMBUNCHOFIMAGES& images) {
    for (unsigned k = 0; k < images.numFrames; ++k) std::free(images.imageArray[k].frameBuffer);
    std::free(images.imageArray);
    images.imageArray = nullptr;
    images.numFrames = 0;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SaveAndLoad(benchmark::State& state, int width, int height, int bytesPerPixel) {
    QMBUNCHOFIMAGES images = MakeFrames(FrameCount(), width, height, bytesPerPixel);
    const std::string path = "/tmp/qmv3-bench-" + std::to_string(getpid()) + ".imc2";
    std::vector<std::vector<unsigned char>> compressed(images.numFrames);
    std::vector<unsigned char> inflated(images.imageArray[0].frameBufferSize);
    double zlibCompress = 0, zlibUncompress = 0, zlibUncompressFresh = 0, librarySave = 0, libraryLoad = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (unsigned k = 0; k < images.numFrames; ++k) {
            const DIMAGE& image = images.imageArray[k];
            uLongf length = compressBound(image.frameBufferSize);
            compressed[k].resize(length);
            compress(compressed[k].data(), &length, image.frameBuffer, image.frameBufferSize);
            compressed[k].resize(length);
        }
        zlibCompress += Seconds(start);
        start = std::chrono::steady_clock::now();
        for (unsigned k = 0; k < images.numFrames; ++k) {
            uLongf length = inflated.size();
            uncompress(inflated.data(), &length, compressed[k].data(), compressed[k].size());
        }
        zlibUncompress += Seconds(start);
        std::vector<unsigned char*> fresh(images.numFrames);
        start = std::chrono::steady_clock::now();
        for (unsigned k = 0; k < images.numFrames; ++k) {
            uLongf length = images.imageArray[k].frameBufferSize;
            fresh[k] = static_cast<unsigned char*>(std::malloc(length));
            uncompress(fresh[k], &length, compressed[k].data(), compressed[k].size());
        }
        zlibUncompressFresh += Seconds(start);
        for (unsigned char* block : fresh) std::free(block);

        std::remove(path.c_str());
        start = std::chrono::steady_clock::now();
        if (qmSaveImagesToFile(&images, path.c_str()) != 0) state.SkipWithError("save failed");
        librarySave += Seconds(start);
        QMBUNCHOFIMAGES loaded{nullptr, 0};
        start = std::chrono::steady_clock::now();
        if (qmLoadImagesFromFile(path.c_str(), &loaded) != 0) state.SkipWithError("load failed");
        libraryLoad += Seconds(start);
        FreeFrames(loaded);
    }
    std::remove(path.c_str());
    state.counters["save_ratio"] = librarySave / zlibCompress;
    state.counters["load_ratio"] = libraryLoad / zlibUncompress;
    state.counters["load_ratio_fresh_buffers"] = libraryLoad / zlibUncompressFresh;
    state.counters["zlib_compress_s"] = zlibCompress / state.iterations();
    state.counters["zlib_uncompress_s"] = zlibUncompress / state.iterations();
    FreeFrames(images);
}

void BM_Gray16_2048x2048(benchmark::State& state) { SaveAndLoad(state, 2048, 2048, 2); }
void BM_Gray8_640x480(benchmark::State& state) { SaveAndLoad(state, 640, 480, 1); }

BENCHMARK(BM_Gray16_2048x2048)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Gray8_640x480)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
