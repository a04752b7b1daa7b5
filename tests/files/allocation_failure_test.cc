// The exported sequence file calls under failing C++ allocations: they answer with a code and a
// message instead of letting the exception cross the C interface, and leave no file and no sequence.
#include <gtest/gtest.h>

#include <string>

#include "common/failing_allocator.h"
#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::MakeSequence;
using filestest::SequenceGuard;
using qmv3test::TempDir;

// Names well beyond any short-string buffer, so that every message about them needs the heap.
std::string LongName(const TempDir& dir, const char* extension) { return dir.file(std::string(60, 'n') + extension); }

TEST(AllocationFailure, SaveReportsInsteadOfThrowing) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 16, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    for (const char* extension : {".imc2", ".imm"}) {
        const std::string path = LongName(dir, extension);
        char error[400] = {};
        qmv3test::g_failAllocations = true;
        const int code = qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, nullptr);
        qmv3test::g_failAllocations = false;
        EXPECT_NE(QMV3_SAVE_OK, code) << extension;
        EXPECT_EQ("File \"" + path + "\" save error: Memory allocation error.", std::string(error)) << extension;
        EXPECT_FALSE(qmv3test::FileExists(path)) << extension;
    }
}

TEST(AllocationFailure, LoadReportsInsteadOfThrowing) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 16, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    for (const char* extension : {".imc2", ".imm", ".imc"}) {
        const std::string path = LongName(dir, extension);
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str())) << extension;
        QMBUNCHOFIMAGES loaded = {nullptr, 0};
        SequenceGuard loadedGuard(loaded);
        char error[400] = {};
        qmv3test::g_failAllocations = true;
        const int code = qmLoadImagesFromFileEx(path.c_str(), &loaded, nullptr, nullptr, error, sizeof(error));
        qmv3test::g_failAllocations = false;
        // The C++ parts may fail at any point; a load that still completes is fine, a half one is not.
        if (code == QMV3_LOAD_OK) {
            EXPECT_EQ(images.numFrames, loaded.numFrames) << extension;
            continue;
        }
        EXPECT_EQ(QMV3_LOAD_OUT_OF_MEMORY, code) << extension << ": " << error;
        EXPECT_EQ("File \"" + path + "\" load error: Memory allocation error.", std::string(error)) << extension;
        EXPECT_EQ(nullptr, loaded.imageArray) << extension;
        EXPECT_EQ(0u, loaded.numFrames) << extension;
    }
}

}  // namespace
