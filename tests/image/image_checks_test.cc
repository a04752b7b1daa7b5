// Whether an image is valid, whether images form a (complete) sequence, the field order of the comparison,
// and the header dump.
#include "image/image_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "client/image_fixtures.h"
#include "image/cdimage.h"
#include "util/library_log.h"

namespace {

using qmv3test::LogCapture;
using qmv3test::MakeRawImage;
using testing::HasSubstr;
using testing::Not;

// Two images of one sequence, each with its own frame buffer; released with the object.
struct Sequence {
    std::vector<DIMAGE> images;
    explicit Sequence(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            images.push_back(MakeRawImage(16, 8, 1));
            images.back().frameHeader.frameNumber = static_cast<uint32_t>(5 + i);
        }
    }
    ~Sequence() {
        for (DIMAGE& image : images) std::free(image.frameBuffer);
    }
    QMBUNCHOFIMAGES bunch() { return {images.data(), static_cast<uint32_t>(images.size())}; }
};

// Row k changes the field compared k-th; the comparison must report the first changed field only.
const std::vector<std::function<void(DIMAGE&)>> kFieldChanges = {
    [](DIMAGE& i) { i.sourceHeader.cameraPortId += 1; },
    [](DIMAGE& i) { i.sourceHeader.cameraPortName[2] = 'X'; },
    [](DIMAGE& i) { i.frameHeader.sourceWidth += 1; },
    [](DIMAGE& i) { i.frameHeader.sourceHeight += 1; },
    [](DIMAGE& i) { i.frameHeader.aoiWidth = 4; },
    [](DIMAGE& i) { i.frameHeader.aoiHeight = 4; },
    [](DIMAGE& i) { i.frameHeader.xStart = 2; },
    [](DIMAGE& i) { i.frameHeader.yStart = 2; },
    [](DIMAGE& i) { i.frameHeader.bytesPerPixel = 2; },
    [](DIMAGE& i) { i.frameHeader.effectiveBitsPerPixel = 12; },
    [](DIMAGE& i) { i.frameHeader.sourceFormat = QMV3_FORMAT_JPEG; },
    [](DIMAGE& i) { i.frameHeader.imageFormat = QMV3_FORMAT_RGB; },
    [](DIMAGE& i) { i.frameHeader.xScale += 0.001f; },
    [](DIMAGE& i) { i.frameHeader.yScale += 0.001f; },
    [](DIMAGE& i) { i.frameHeader.imageRotation = 0.0000001f; },
};

TEST(SequenceChecks, ComparisonReportsTheFirstDifferingFieldInTableOrder) {
    DIMAGE first = MakeRawImage(16, 8, 1);
    for (size_t row = 0; row < kFieldChanges.size(); ++row) {
        DIMAGE second = first;
        for (size_t later = row; later < kFieldChanges.size(); ++later) kFieldChanges[later](second);
        EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, second), -static_cast<int>(row + 1)) << "row " << row;
        DIMAGE only = first;
        kFieldChanges[row](only);
        EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, only), -static_cast<int>(row + 1)) << "row " << row;
        EXPECT_FALSE(_internal_qmcompareTwoValidImages(first, only));
    }
    // Names that fill all 64 bytes have no NUL: the last byte still counts, nothing beyond it.
    DIMAGE second = first;
    std::memset(first.sourceHeader.cameraPortName, 'N', 64);
    std::memset(second.sourceHeader.cameraPortName, 'N', 64);
    EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, second), 1);
    second.sourceHeader.cameraPortName[63] = 'M';
    EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, second), -2);
    std::free(first.frameBuffer);
}

TEST(SequenceChecks, FieldsOutsideTheComparisonAreIgnored) {
    DIMAGE first = MakeRawImage(16, 8, 1);
    DIMAGE second = first;
    second.sourceHeader.versionTag = 9;
    second.sourceHeader.totalLength = 1;
    second.sourceHeader.timestampSeconds += 100;
    second.frameHeader.horizontalBinning = 4;
    second.frameHeader.frameNumber = 99;
    second.frameHeader.eventNumber = 98;
    second.frameHeader.scale_x_offset = 3.0f;
    second.frameHeader.fspare3 = 7.0f;
    second.frameHeader.imageFlags = 0x3FF;
    second.frameHeader.ispare2 = 5;
    second.frameHeader.appendedFrameSize = 1;
    second.frameBuffer = nullptr;
    second.sourceHeader.cameraPortName[5] = 'z';  // after the NUL: not part of the name
    EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, second), 1);
    EXPECT_TRUE(_internal_qmcompareTwoValidImages(first, second));
    std::free(first.frameBuffer);
}

TEST(SequenceChecks, ScalesCompareWithinTheTolerance) {
    struct Case {
        float delta;
        int expected;
    } cases[] = {{0.000005f, 1}, {-0.000005f, 1}, {0.00002f, -13}, {-0.00002f, -13}, {NAN, -13}};
    DIMAGE first = MakeRawImage(16, 8, 1);
    for (const Case& c : cases) {
        DIMAGE second = first;
        second.frameHeader.xScale = first.frameHeader.xScale + c.delta;
        EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, second), c.expected) << c.delta;
        second = first;
        second.frameHeader.yScale = first.frameHeader.yScale + c.delta;
        EXPECT_EQ(_internal_qmcompareTwoValidImagesINT(first, second), c.expected == 1 ? 1 : -14) << c.delta;
    }
    EXPECT_FALSE(_internal_qmisApproximately(1.0f, NAN));
    EXPECT_FALSE(_internal_qmisApproximately(NAN, NAN));
    std::free(first.frameBuffer);
}

TEST(SequenceChecks, IsSequenceExplainsEveryNegativeDecision) {
    LogCapture log;
    EXPECT_EQ(qmIsSequence(nullptr), QMV3_SEQUENCE_INVALID);
    QMBUNCHOFIMAGES empty{nullptr, 0};
    EXPECT_EQ(qmIsSequence(&empty), QMV3_SEQUENCE_NO);
    QMBUNCHOFIMAGES arrayless{nullptr, 2};
    EXPECT_EQ(qmIsSequence(&arrayless), QMV3_SEQUENCE_INVALID);
    const std::string text = log.End();
    EXPECT_THAT(text, HasSubstr("qmIsSequence: Error: First parameter (aImages) is NULL. -1 will be returned.\n"));
    EXPECT_THAT(text, HasSubstr("qmIsSequence: aImages->numFrames is 0. Zero will be returned.\n"));
    EXPECT_THAT(text, HasSubstr("qmIsSequence: aImages->imageArray is NULL. -1 will be returned.\n"));
}

TEST(SequenceChecks, InvalidImageIsReportedWithItsIndex) {
    Sequence sequence(3);
    std::memcpy(sequence.images[1].sourceHeader.baseTag, "XMV3", 4);
    sequence.images[2].frameHeader.sourceWidth = 0;  // later faults are not reached
    QMBUNCHOFIMAGES bunch = sequence.bunch();
    LogCapture log;
    EXPECT_EQ(qmIsSequence(&bunch), QMV3_SEQUENCE_INVALID);
    const std::string text = log.End();
    EXPECT_THAT(text, HasSubstr("qmIsSequence: _internal_qmCheckImageValidity( aImages->imageArray[1] ) returned "
                                "false. aImages->numFrames=3. -1 will be returned.\n"));
    EXPECT_THAT(text, Not(HasSubstr("imageArray[2]")));
}

// The header of the invalid image is dumped only at log level 2 (the level is read once per process).
TEST(SequenceChecks, InvalidImageHeaderIsNotDumpedAtLogLevelOne) {
    unsetenv("ORSEL_CLIENTLIB_LOGLEVEL");
    ASSERT_EQ(_internal_getLogLevel(), 1);
    Sequence sequence(2);
    sequence.images[1].frameHeader.sourceWidth = 0;
    QMBUNCHOFIMAGES bunch = sequence.bunch();
    LogCapture log;
    EXPECT_EQ(qmIsSequence(&bunch), QMV3_SEQUENCE_INVALID);
    EXPECT_THAT(log.End(), Not(HasSubstr("Dumping qmv3 image header START")));
}

TEST(SequenceChecks, InvalidImageHeaderIsDumpedAtLogLevelTwo) {
    setenv("ORSEL_CLIENTLIB_LOGLEVEL", "2", 1);
    if (_internal_getLogLevel() != 2) GTEST_SKIP() << "this log frame has no log level 2";
    Sequence sequence(2);
    sequence.images[1].frameHeader.sourceWidth = 0;
    QMBUNCHOFIMAGES bunch = sequence.bunch();
    LogCapture log;
    EXPECT_EQ(qmIsSequence(&bunch), QMV3_SEQUENCE_INVALID);
    const std::string text = log.End();
    EXPECT_THAT(text, HasSubstr("Dumping qmv3 image header START"));
    EXPECT_THAT(text, HasSubstr("   sourceWidth  = 0 (pixels)"));
}

TEST(SequenceChecks, DifferingImagesAreNoSequence) {
    Sequence sequence(3);
    sequence.images[2].frameHeader.xScale += 0.00002f;
    QMBUNCHOFIMAGES bunch = sequence.bunch();
    LogCapture log;
    EXPECT_EQ(qmIsSequence(&bunch), QMV3_SEQUENCE_NO);
    EXPECT_EQ(qmIsCompleteSequence(&bunch), QMV3_SEQUENCE_NO);
    EXPECT_THAT(log.End(), HasSubstr("qmIsSequence: _internal_qmcompareTwoValidImagesINT( aImages->imageArray[0], "
                                     "aImages->imageArray[2] ) returned -13. aImages->numFrames=3. Zero will be "
                                     "returned.\n"));
}

TEST(SequenceChecks, ImagesDifferingOnlyInNumberTimeAndFlagsFormASequence) {
    Sequence sequence(2);
    sequence.images[1].sourceHeader.timestampSeconds += 1;
    sequence.images[1].frameHeader.imageFlags = QMV3_FLAG_TIMESTAMP_IS_EXTRAPOLATED;
    sequence.images[1].frameHeader.xScale += 0.000005f;
    QMBUNCHOFIMAGES bunch = sequence.bunch();
    EXPECT_EQ(qmIsSequence(&bunch), QMV3_SEQUENCE_YES);
    QMBUNCHOFIMAGES single{sequence.images.data(), 1};
    EXPECT_EQ(qmIsSequence(&single), QMV3_SEQUENCE_YES);
}

TEST(SequenceChecks, CompleteSequencesRunWithoutGaps) {
    Sequence sequence(3);  // frame numbers 5, 6, 7
    QMBUNCHOFIMAGES bunch = sequence.bunch();
    EXPECT_EQ(qmIsCompleteSequence(&bunch), QMV3_SEQUENCE_YES);
    QMBUNCHOFIMAGES single{sequence.images.data(), 1};
    sequence.images[0].frameHeader.frameNumber = 0;
    EXPECT_EQ(qmIsCompleteSequence(&single), QMV3_SEQUENCE_YES);  // one image needs no numbers
    EXPECT_EQ(qmIsCompleteSequence(nullptr), QMV3_SEQUENCE_INVALID);
    QMBUNCHOFIMAGES arrayless{nullptr, 2};
    EXPECT_EQ(qmIsCompleteSequence(&arrayless), QMV3_SEQUENCE_INVALID);
}

TEST(SequenceChecks, IncompleteSequencesAreExplained) {
    struct Case {
        std::vector<uint32_t> numbers;
        const char* message;
    } cases[] = {
        {{5, 7}, "qmIsCompleteSequence: No complete sequence because img(2/2).fno=7 != img(1/2).fno=5 + 1 .\n"},
        {{6, 5}, "qmIsCompleteSequence: No complete sequence because img(2/2).fno=5 != img(1/2).fno=6 + 1 .\n"},
        {{0, 1}, "qmIsCompleteSequence: No complete sequence because frameNumber of image#1 of 2 is zero.\n"},
        {{8, 9, 0}, "qmIsCompleteSequence: No complete sequence because frameNumber of image#3 of 3 is zero.\n"},
        {{1, 2, 3, 3}, "qmIsCompleteSequence: No complete sequence because img(4/4).fno=3 != img(3/4).fno=3 + 1 .\n"},
    };
    for (const Case& c : cases) {
        Sequence sequence(c.numbers.size());
        for (size_t i = 0; i < c.numbers.size(); ++i) sequence.images[i].frameHeader.frameNumber = c.numbers[i];
        QMBUNCHOFIMAGES bunch = sequence.bunch();
        LogCapture log;
        EXPECT_EQ(qmIsCompleteSequence(&bunch), QMV3_SEQUENCE_NO) << c.message;
        EXPECT_THAT(log.End(), HasSubstr(c.message));
    }
}

// A headers-only load leaves every frame buffer null: judged as its full load would be only when asked.
TEST(SequenceChecks, VerdictJudgesHeadersOnlySequencesWhenAsked) {
    struct Case {
        std::vector<uint32_t> numbers;
        bool pixels;
        unsigned int flags;
        int verdict;
    } cases[] = {
        {{5, 6, 7}, true, 0, QMV3_VERDICT_COMPLETE},
        {{5, 6, 7}, false, 0, QMV3_VERDICT_INVALID},
        {{5, 6, 7}, false, QMV3_CHECK_FLAG_HEADERS_ONLY, QMV3_VERDICT_COMPLETE},
        {{5, 7, 7}, false, QMV3_CHECK_FLAG_HEADERS_ONLY, QMV3_VERDICT_GAPS},
        {{0, 1}, true, QMV3_CHECK_FLAG_HEADERS_ONLY, QMV3_VERDICT_GAPS},
        {{}, true, QMV3_CHECK_FLAG_HEADERS_ONLY, QMV3_VERDICT_NOT_ONE},
        {{5, 6}, true, 0x2, QMV3_VERDICT_INVALID},
    };
    for (const Case& c : cases) {
        Sequence sequence(c.numbers.size());
        for (size_t i = 0; i < c.numbers.size(); ++i) {
            DIMAGE& image = sequence.images[i];
            image.frameHeader.frameNumber = c.numbers[i];
            if (c.pixels) continue;
            std::free(image.frameBuffer);
            image.frameBuffer = nullptr;
            image.frameBufferSize = 0;
            char reason[256] = "";
            EXPECT_EQ(qmCheckImageValidityEx(&image, 0, reason, sizeof reason), QMV3_IMAGE_INVALID);
            EXPECT_THAT(std::string(reason), HasSubstr("frameBufferSize"));
            EXPECT_EQ(qmCheckImageValidityEx(&image, QMV3_CHECK_FLAG_HEADERS_ONLY, reason, sizeof reason), QMV3_IMAGE_VALID);
        }
        QMBUNCHOFIMAGES bunch = sequence.bunch();
        EXPECT_EQ(qmGetSequenceVerdict(&bunch, c.flags), c.verdict) << c.numbers.size() << " flags " << c.flags;
    }
    Sequence different(2);
    different.images[1].frameHeader.bytesPerPixel = 2;
    QMBUNCHOFIMAGES bunch = different.bunch();
    EXPECT_EQ(qmGetSequenceVerdict(&bunch, QMV3_CHECK_FLAG_HEADERS_ONLY), QMV3_VERDICT_INVALID);  // too few bytes
    different.images[1].frameHeader.bytesPerPixel = 1;
    different.images[1].frameHeader.xScale = 0.5f;
    EXPECT_EQ(qmGetSequenceVerdict(&bunch, 0), QMV3_VERDICT_NOT_ONE);
    EXPECT_EQ(qmGetSequenceVerdict(nullptr, 0), QMV3_VERDICT_INVALID);
    EXPECT_EQ(qmCheckImageValidityEx(nullptr, QMV3_CHECK_FLAG_HEADERS_ONLY, nullptr, 0), QMV3_IMAGE_NULL);
    EXPECT_EQ(qmCheckImageValidityEx(&different.images[0], 0x2, nullptr, 0), QMV3_IMAGE_INVALID);
}

TEST(SequenceChecks, HeaderDumpWritesTheFieldsInOrder) {
    DIMAGE image = MakeRawImage(640, 480, 2);
    image.frameHeader.effectiveBitsPerPixel = 12;
    image.frameHeader.imageFlags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER | QMV3_FLAG_IMAGE_LOSSLESS;
    image.frameHeader.imageFormat = INT32_MIN;                // its text does not fit in the dump's buffer
    std::memset(image.sourceHeader.cameraPortName, 'N', 64);  // no NUL of its own
    LogCapture log;
    _internal_LOG_dumpImageHeader(image);
    const std::string text = log.End();
    const std::string inOrder[] = {
        "Dumping qmv3 image header START\n",
        "===============================\n",
        "DIMAGE.sourceHeader\n",
        "   baseTag='QMV3' (33564d51h)\n",
        "   cameraPortId=3\n",
        "   totalLength=614588 (bytes)\n",
        "   timestampMicroseconds=250000 (usec offset, 0 <= value < 1.000.000)\n",
        "   =timestamp [",
        ":250 LTM]\n",
        "   cameraPortName=\"" + std::string(64, 'N') + "\"\n",
        "DIMAGE.frameHeader\n",
        "   sourceWidth  = 640 (pixels)\n",
        "   effectiveBPP = 12 (bits per pixel)\n",
        "   horizontalBinning = 1 (1 to 1 pixel merged)\n",
        "   sourceFormat = 0 (=CF_IMAGE_FORMAT_GRAY)\n",
        "   imageFormat = -2147483648 (=(Error converting to string))\n",
        "   frameNumber = 1\n",
        "   xScale = 0.250000 (pixel per millimetre)\n",
        "   imageFlags = 3h (=LITTLE_ENDIAN LOSSLESS XYSTART_ZERO_BASED LOCAL_TIMESTAMP)\n",
        "   appendedFrameSize = 614400 (bytes)\n",
        "DIMAGE.frameBufferSize=614400 (bytes)\n",
        "DIMAGE.frameBuffer=0x0x",
        "Dumping qmv3 image header end\n",
        "=============================\n",
    };
    size_t position = 0;
    for (const std::string& line : inOrder) {
        const size_t found = text.find(line, position);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << position << ": " << line;
        position = found + line.size();
    }
    std::free(image.frameBuffer);
}

TEST(ImageValidity, ValidityOfNullValidAndInvalidImages) {
    std::string text = "kept";
    LogCapture log;
    EXPECT_EQ(_internal_internal_qmCheckImageValidity(nullptr, text), 0);
    EXPECT_EQ(text, "Parameter apImg must not be NULL.");
    DIMAGE image = MakeRawImage(64, 48, 1);
    text = "kept";
    EXPECT_EQ(_internal_internal_qmCheckImageValidity(&image, text), 1);
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(_internal_qmCheckImageValidity(image));
    image.frameHeader.sourceWidth = 0;
    std::string expected;
    ASSERT_FALSE(CDIMAGE::checkValidity(image, expected));
    EXPECT_EQ(_internal_internal_qmCheckImageValidity(&image, text), -1);
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(_internal_qmCheckImageValidity(image));
    const std::string logged = log.End();
    EXPECT_THAT(logged, HasSubstr("CDIMAGE::checkValidity error: Parameter apImg must not be NULL.\n"));
    EXPECT_THAT(logged, HasSubstr("CDIMAGE::checkValidity error: " + expected + "\n"));
    std::free(image.frameBuffer);
}

TEST(ImageValidity, CheckImageValidityCopiesTheMessageTruncated) {
    DIMAGE image = MakeRawImage(8, 8, 1);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(qmCheckImageValidity(&image, buffer, sizeof buffer), QMV3_IMAGE_VALID);
    EXPECT_EQ(buffer[0], '#');  // written only on failure
    EXPECT_EQ(qmCheckImageValidity(nullptr, buffer, 10), QMV3_IMAGE_NULL);
    EXPECT_EQ(std::string(buffer), "Paramete");  // size - 2 characters, terminated
    EXPECT_EQ(buffer[9], '\0');
    EXPECT_EQ(buffer[10], '#');
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(qmCheckImageValidity(nullptr, buffer, 1), QMV3_IMAGE_NULL);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(qmCheckImageValidity(nullptr, nullptr, 100), QMV3_IMAGE_NULL);
    std::memcpy(image.sourceHeader.baseTag, "QMV2", 4);
    char large[400];
    EXPECT_EQ(qmCheckImageValidity(&image, large, sizeof large), QMV3_IMAGE_INVALID);
    EXPECT_THAT(std::string(large), HasSubstr("baseTag invalid"));
    std::free(image.frameBuffer);
}

// A valid image may hold fewer bytes than its pixels need where the rules let its pixel width pass.
TEST(ImageValidity, ShortFramesOfEveryPixelWidthAreFound) {
    const struct {
        int format, bytesPerPixel, appended, expect;
    } cases[] = {
        {QMV3_FORMAT_GRAY, 4, 100, 1},  // 8 x 8 x 4 = 256 bytes needed
        {QMV3_FORMAT_RGB, 1, 0, 1},
        {QMV3_FORMAT_GRAY, 1, 64, 0},
        {QMV3_FORMAT_JPEG, 3, 100, 0},
    };
    for (const auto& c : cases) {
        DIMAGE image = MakeRawImage(8, 8, 1);
        image.frameHeader.imageFormat = c.format;
        image.frameHeader.bytesPerPixel = c.bytesPerPixel;
        image.frameHeader.appendedFrameSize = c.appended;
        uint64_t held = 7, needed = 7;
        EXPECT_EQ(c.expect, qmIsShortFrame(&image, &held, &needed)) << c.format << " " << c.bytesPerPixel;
        EXPECT_EQ(c.expect ? uint64_t(c.appended) : 7u, held);
        EXPECT_EQ(c.expect ? 64u * c.bytesPerPixel : 7u, needed);
        std::free(image.frameBuffer);
    }
    EXPECT_EQ(-1, qmIsShortFrame(nullptr, nullptr, nullptr));
}

}  // namespace
