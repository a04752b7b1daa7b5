// Conversion of older records into sequences, and the shortening of paths into the port name field.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "files/sequence_files.h"

namespace {

using filestest::SequenceGuard;

// An older record of gray frames whose bytes count up from the frame index.
class OlderRecord {
  public:
    OlderRecord(uint32_t width, uint32_t height, uint32_t bpp, uint32_t ebitpp, int frames) {
        initialize_vidinfhdr(&record_);
        record_.width = width;
        record_.height = height;
        record_.bpp = bpp;
        record_.ebitpp = ebitpp;
        record_.numframes = frames;
        record_.type = VIDINFHDR_TYPE_IMM;
        record_.framebits = static_cast<unsigned char**>(std::calloc(frames, sizeof(unsigned char*)));
        record_.framescales = static_cast<double*>(std::calloc(frames, sizeof(double)));
        const size_t size = static_cast<size_t>(width) * height * (bpp / 8 ? bpp / 8 : 1);
        for (int i = 0; i < frames; ++i) {
            record_.framebits[i] = static_cast<unsigned char*>(std::malloc(size));
            for (size_t b = 0; b < size; ++b) record_.framebits[i][b] = static_cast<unsigned char>(b + i);
            record_.framescales[i] = 1.0 + i;
        }
        record_.scale = 1.0;
    }
    ~OlderRecord() { free_vidinfhdr(&record_); }
    OlderRecord(const OlderRecord&) = delete;
    OlderRecord& operator=(const OlderRecord&) = delete;
    VIDINFHDR* get() { return &record_; }

  private:
    VIDINFHDR record_;
};

TEST(Transcode, OneBackgroundFrame) {
    qmv3test::TempDir dir;
    const std::string path = dir.file("background.bkg");
    qmv3test::WriteFileBytes(path, {0});
    OlderRecord record(640, 480, 8, 8, 1);
    QMBUNCHOFIMAGES images = {nullptr, 0};
    SequenceGuard guard(images);
    std::string error;
    ASSERT_TRUE(internal_transcode_vidinfhdr_to_qmbunchofimages(path.c_str(), record.get(), &images, nullptr, nullptr,
                                                                0.5, error))
        << error;
    ASSERT_EQ(1u, images.numFrames);
    const DIMAGE& image = images.imageArray[0];
    struct stat info;
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0, std::memcmp(image.sourceHeader.baseTag, "QMV3", 4));
    EXPECT_EQ(static_cast<uint32_t>(info.st_mtim.tv_sec), image.sourceHeader.timestampSeconds);
    EXPECT_EQ(static_cast<uint32_t>(info.st_mtim.tv_nsec / 1000000 * 1000), image.sourceHeader.timestampMicroseconds);
    EXPECT_EQ(path, image.sourceHeader.cameraPortName);
    EXPECT_EQ(1, image.frameHeader.bytesPerPixel);
    EXPECT_EQ(8, image.frameHeader.effectiveBitsPerPixel);
    EXPECT_EQ(1.0f, image.frameHeader.xScale);
    EXPECT_EQ(1.0f, image.frameHeader.yScale);
    EXPECT_EQ(1u, image.frameHeader.frameNumber);
    EXPECT_EQ(3, image.frameHeader.imageFlags);
    EXPECT_EQ(-1, image.frameHeader.horizontalBinning);
    EXPECT_EQ(-1.0f, image.frameHeader.imageRotation);
    EXPECT_EQ(307200, image.frameHeader.appendedFrameSize);
    EXPECT_EQ(307200u + 188u, image.sourceHeader.totalLength);
    EXPECT_EQ(0, std::memcmp(record.get()->framebits[0], image.frameBuffer, 307200));
}

TEST(Transcode, EffectiveBitsProgressAndNullPath) {
    struct Case {
        uint32_t ebitpp;
        int expected;
    } cases[] = {{12, 12}, {20, 16}};
    for (const Case& c : cases) {
        OlderRecord record(4, 3, 16, c.ebitpp, 4);
        QMBUNCHOFIMAGES images = {nullptr, 0};
        SequenceGuard guard(images);
        double percent = 0.0;
        std::string error;
        ASSERT_TRUE(internal_transcode_vidinfhdr_to_qmbunchofimages(nullptr, record.get(), &images, nullptr, &percent,
                                                                    0.5, error));
        EXPECT_DOUBLE_EQ(1.0, percent);
        ASSERT_EQ(4u, images.numFrames);
        EXPECT_EQ(2, images.imageArray[0].frameHeader.bytesPerPixel);
        EXPECT_EQ(c.expected, images.imageArray[0].frameHeader.effectiveBitsPerPixel);
        EXPECT_EQ(4.0f, images.imageArray[3].frameHeader.xScale);
        EXPECT_EQ(0u, images.imageArray[3].sourceHeader.timestampSeconds);
        EXPECT_EQ('\0', images.imageArray[3].sourceHeader.cameraPortName[0]);
        EXPECT_EQ(0, std::memcmp(record.get()->framebits[3], images.imageArray[3].frameBuffer, 24));
    }
}

TEST(Transcode, ChecksLeaveTheOutputEmpty) {
    OlderRecord good(4, 4, 8, 8, 2);
    OlderRecord deep(4, 4, 32, 32, 1);
    VIDINFHDR noFrames = *good.get();
    noFrames.numframes = 0;
    VIDINFHDR noBits = *good.get();
    noBits.framebits = nullptr;
    VIDINFHDR noScales = *good.get();
    noScales.framescales = nullptr;
    VIDINFHDR noWidth = *good.get();
    noWidth.width = 0;
    VIDINFHDR noHeight = *good.get();
    noHeight.height = 0;
    QMBUNCHOFIMAGES empty = {nullptr, 0};
    DIMAGE one;
    QMBUNCHOFIMAGES counted = {nullptr, 1};
    QMBUNCHOFIMAGES pointed = {&one, 0};
    struct Case {
        VIDINFHDR* record;
        QMBUNCHOFIMAGES* images;
        const char* message;
    } cases[] = {
        {nullptr, &empty, "Parameter apInVinf must not be NULL."},
        {&noFrames, &empty, "Parameter apInVinf->numframes must be greater zero."},
        {&noBits, &empty, "Parameter apInVinf->framebits must be greater zero."},
        {&noScales, &empty, "Parameter apInVinf->framescales must be greater zero."},
        {deep.get(), &empty, "Parameter apInVinf->bpp must be either 8 or 16."},
        {&noWidth, &empty, "Parameter apInVinf->width must be greater zero."},
        {&noHeight, &empty, "Parameter apInVinf->height must be greater zero."},
        {good.get(), nullptr, "Parameter apOutImages must not be NULL."},
        {good.get(), &counted, "Parameter apOutImages->numFrames must be zero."},
        {good.get(), &pointed, "Parameter apOutImages->imageArray must be zero."},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(
            internal_transcode_vidinfhdr_to_qmbunchofimages(nullptr, c.record, c.images, nullptr, nullptr, 0.5, error));
        EXPECT_EQ(c.message, error);
    }
    EXPECT_EQ(nullptr, empty.imageArray);
    int interrupt = 1;
    std::string error;
    EXPECT_FALSE(
        internal_transcode_vidinfhdr_to_qmbunchofimages(nullptr, good.get(), &empty, &interrupt, nullptr, 0.5, error));
    EXPECT_EQ("Interrupted by user.", error);
    EXPECT_EQ(nullptr, empty.imageArray);
    EXPECT_EQ(0u, empty.numFrames);
}

TEST(Transcode, FrameBeyondTheTransportLimitIsRefused) {
    OlderRecord record(1, 1, 8, 8, 1);
    record.get()->width = 8192;  // 8192 x 8192 x 1 > 26 MiB; the frame bytes are never read
    record.get()->height = 8192;
    QMBUNCHOFIMAGES images = {nullptr, 0};
    std::string error;
    EXPECT_FALSE(
        internal_transcode_vidinfhdr_to_qmbunchofimages(nullptr, record.get(), &images, nullptr, nullptr, 0.0, error));
    EXPECT_EQ("_internal_qmCheckImageValidity failed at image 1 of 1.", error);
    EXPECT_EQ(nullptr, images.imageArray);
}

TEST(Transcode, TakenFramesMoveWithoutACopyAndAFailureFreesThem) {
    OlderRecord record(4, 3, 16, 12, 3);
    unsigned char* const second = record.get()->framebits[1];
    QMBUNCHOFIMAGES images = {nullptr, 0};
    SequenceGuard guard(images);
    std::string error;
    ASSERT_TRUE(internal_transcode_vidinfhdr_to_qmbunchofimages(nullptr, record.get(), &images, nullptr, nullptr, 0.0,
                                                                error, FrameHandover::kTake));
    ASSERT_EQ(3u, images.numFrames);
    EXPECT_EQ(second, images.imageArray[1].frameBuffer);
    EXPECT_EQ(nullptr, record.get()->framebits[1]);
    EXPECT_EQ(static_cast<unsigned char>(5 + 1), images.imageArray[1].frameBuffer[5]);

    // The third frame is missing: the two taken before it are freed with the images (the sanitizer build
    // would report a leak or a double free).
    OlderRecord bad(4, 3, 16, 12, 3);
    std::free(bad.get()->framebits[2]);
    bad.get()->framebits[2] = nullptr;
    QMBUNCHOFIMAGES none = {nullptr, 0};
    EXPECT_FALSE(internal_transcode_vidinfhdr_to_qmbunchofimages(nullptr, bad.get(), &none, nullptr, nullptr, 0.0,
                                                                 error, FrameHandover::kTake));
    EXPECT_EQ(nullptr, none.imageArray);
    EXPECT_EQ(nullptr, bad.get()->framebits[0]);
}

TEST(CompactPathTest, KeepsShortPathsAndJoinsLongOnes) {
    char field[64];
    CompactPath(field, sizeof(field), nullptr);
    EXPECT_EQ(std::string(64, '\0'), std::string(field, 64));
    const std::string fits(63, 'a');
    CompactPath(field, sizeof(field), fits.c_str());
    EXPECT_EQ(fits, field);
    const std::string longer = std::string(40, 'b') + "/" + std::string(40, 'c') + ".imm";
    CompactPath(field, sizeof(field), longer.c_str());
    EXPECT_EQ(std::string(30, 'b') + "..." + std::string(26, 'c') + ".imm", field);
    char tiny[3];
    CompactPath(tiny, sizeof(tiny), "abcdef");
    EXPECT_STREQ("ef", tiny);
}

}  // namespace
