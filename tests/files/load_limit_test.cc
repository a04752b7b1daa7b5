// The load memory limit: files whose frames decode to more than the limit are refused before the
// memory is taken, whatever their kind. Every load runs in a child process under an address-space
// limit, so a fault shows as a failed allocation there and never as pressure on the machine.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;  // it reserves terabytes of address space up front
#else
constexpr bool kAddressSanitizer = false;
#endif

constexpr int kLargestSide16 = 3328;                        // 4096 x 3328 x 2 bytes: the largest frame
constexpr unsigned long long kTestLimit = 100ull << 20;     // four largest frames pass it
constexpr rlim_t kAddressSpace = 2ull << 30;                // far below the frames the files claim

// Runs `check` in a child process under the address-space limit; true when it returned true.
bool InChild(const std::function<bool()>& check) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!kAddressSanitizer) {
            const rlimit limit = {kAddressSpace, kAddressSpace};
            setrlimit(RLIMIT_AS, &limit);
        }
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// An IMC2 file of `count` largest frames of zeros: a few kilobytes of deflate each.
void WriteImc2Bomb(const std::string& path, unsigned count) {
    DIMAGE frame = filestest::MakeImage(4096, kLargestSide16, 2, QMV3_FORMAT_GRAY, 1);
    std::memset(frame.frameBuffer, 0, frame.frameBufferSize);
    std::vector<DIMAGE> images(count, frame);
    for (unsigned i = 0; i < count; ++i) images[i].frameHeader.frameNumber = i + 1;  // one shared buffer
    QMBUNCHOFIMAGES sequence = {images.data(), count};
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&sequence, path.c_str()));
    std::free(frame.frameBuffer);
}

// An IMC file header claiming `count` frames of width x height at 16 bits, and one frame header each.
void WriteImcHeaders(const std::string& path, uint32_t width, uint32_t height, uint32_t count) {
    std::vector<unsigned char> bytes;
    filestest::PutLE(bytes, width, 4);
    filestest::PutLE(bytes, height, 4);
    filestest::PutLE(bytes, 16, 4);
    filestest::PutLE(bytes, count, 4);
    bytes.resize(bytes.size() + 16 * count, 0);
    qmv3test::WriteFileBytes(path, bytes);
}

TEST(LoadLimit, FilesDecodingBeyondTheLimitAreRefusedBeforeAllocating) {
    qmv3test::TempDir dir;
    const std::string imc2 = dir.file("bomb.imc2"), huge = dir.file("huge.imc"), many = dir.file("many.imc");
    WriteImc2Bomb(imc2, 12);
    WriteImcHeaders(huge, 60000, 30000, 1);
    WriteImcHeaders(many, 4096, kLargestSide16, 10);
    const std::string refusal = "File \"" + imc2 +
                                "\" load error: decoding it needs at least 109051904 bytes, more than the load "
                                "memory limit of 104857600 bytes (QMV3_LOAD_MEMORY_LIMIT).";
    struct Bomb {
        const char* what;
        std::function<bool()> refused;
    };
    const Bomb bombs[] = {
        {"IMC2 of twelve largest frames", [&] {
             QMBUNCHOFIMAGES images = {nullptr, 0};
             char text[512] = "";
             const int code = qmLoadImagesFromFileEx(imc2.c_str(), &images, nullptr, nullptr, text, sizeof text);
             if (code != QMV3_LOAD_LIMIT_EXCEEDED || refusal != text) std::fprintf(stderr, "%d %s\n", code, text);
             return code == QMV3_LOAD_LIMIT_EXCEEDED && refusal == text && images.imageArray == nullptr;
         }},
        {"IMC frame beyond the largest", [&] {
             VIDINFHDR record;
             initialize_vidinfhdr(&record);
             return load_imc_file(huge.c_str(), &record) == QMV3_LEGACY_LOAD_BAD_CONTENT;
         }},
        {"IMC of ten largest frames", [&] {
             VIDINFHDR record;
             initialize_vidinfhdr(&record);
             return load_imc_file(many.c_str(), &record) == QMV3_LEGACY_LOAD_LIMIT_EXCEEDED;
         }},
    };
    for (const Bomb& bomb : bombs) {
        EXPECT_TRUE(InChild([&] {
            qmSetLoadMemoryLimit(kTestLimit);
            return bomb.refused();
        })) << bomb.what;
    }
    // The same IMC2 file loads once the limit is raised.
    EXPECT_TRUE(InChild([&] {
        qmSetLoadMemoryLimit(400ull << 20);
        QMBUNCHOFIMAGES images = {nullptr, 0};
        const bool loaded = qmLoadImagesFromFile(imc2.c_str(), &images) == QMV3_LOAD_OK && images.numFrames == 12;
        qmFreeBunch(&images);
        return loaded;
    }));
    // 0 restores the limit the library started with.
    const unsigned long long initial = qmGetLoadMemoryLimit();
    qmSetLoadMemoryLimit(kTestLimit);
    EXPECT_EQ(kTestLimit, qmGetLoadMemoryLimit());
    EXPECT_EQ(0, qmSetLoadMemoryLimit(0));
    EXPECT_EQ(initial, qmGetLoadMemoryLimit());
}

}  // namespace
