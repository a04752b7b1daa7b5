// Saves and loads of different files on several threads at once: every thread gets back exactly the
// sequence it saved, in each file kind. Run under the thread sanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "faults/fault_fixtures.h"

namespace {

// Saves a sequence of its own in `kind`, loads it back and compares; the number of mismatches.
int SaveAndLoad(const qmv3test::TempDir& dir, int thread, int round, const char* kind) {
    QMBUNCHOFIMAGES images = qmv3faults::MakeSequence(kind[1] == 'b' ? 1 : 3, 20 + thread, 12, 1, QMV3_FORMAT_GRAY);
    for (uint32_t f = 0; f < images.numFrames; ++f)
        for (uint32_t i = 0; i < images.imageArray[f].frameBufferSize; ++i)
            images.imageArray[f].frameBuffer[i] = static_cast<unsigned char>(i * (thread + 1) + f * 31 + round);
    const std::string path = dir.file("t" + std::to_string(thread) + "r" + std::to_string(round) + kind);
    int mismatches = 0;
    if (qmSaveImagesToFile(&images, path.c_str()) != QMV3_SAVE_OK) ++mismatches;
    QMBUNCHOFIMAGES loaded{};
    if (qmLoadImagesFromFile(path.c_str(), &loaded) != QMV3_LOAD_OK || loaded.numFrames != images.numFrames) {
        ++mismatches;
    } else {
        for (uint32_t f = 0; f < images.numFrames; ++f) {
            const DIMAGE& a = images.imageArray[f];
            const DIMAGE& b = loaded.imageArray[f];
            if (a.frameHeader.appendedFrameSize != b.frameHeader.appendedFrameSize ||
                std::memcmp(a.frameBuffer, b.frameBuffer, a.frameHeader.appendedFrameSize) != 0)
                ++mismatches;
        }
    }
    qmFreeBunch(&loaded);
    qmFreeBunch(&images);
    return mismatches;
}

TEST(FileThreads, SavesAndLoadsOfDifferentFilesAtOnceGiveCorrectFiles) {
    qmSetVerbose(0);
    qmv3test::TempDir dir;
    const char* const kinds[] = {".imc2", ".bkc2", ".imm", ".imc", ".bkc", ".bkg"};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&, thread] {
            for (int round = 0; round < 12; ++round)
                mismatches += SaveAndLoad(dir, thread, round, kinds[(thread + round) % 6]);
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(0, mismatches.load());
}

}  // namespace
