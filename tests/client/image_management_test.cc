// Creation and release of images and sequences.
#include "client/image_management.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/cdimage.h"
#include "image_fixtures.h"
#include "util/library_log.h"

namespace {

using qmv3test::LogCapture;
using qmv3test::MakeRawImage;
using testing::HasSubstr;
using testing::Not;

TEST(ImageManagement, InitializeImageHasATransportSizedBuffer) {
    DIMAGE* image = qmInitializeImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->frameBufferSize, 27262976u);
    ASSERT_NE(image->frameBuffer, nullptr);
    image->frameBuffer[27262975] = 1;  // the whole size is usable
    EXPECT_EQ(qmFreeImage(image), QMV3_IMAGE_FREED);
}

TEST(ImageManagement, InitializeImageExRefusesSizesBelowOne) {
    LogCapture log;
    EXPECT_EQ(qmInitializeImageEx(0), nullptr);
    EXPECT_EQ(qmInitializeImageEx(-5), nullptr);
    const std::string text = log.End();
    EXPECT_THAT(text, HasSubstr("qmInitializeImageEx(): Error: invalid parameter aiFrameBufferSizeBytes=0.\n"));
    EXPECT_THAT(text, HasSubstr("qmInitializeImageEx(): Error: invalid parameter aiFrameBufferSizeBytes=-5.\n"));
    DIMAGE* image = qmInitializeImageEx(1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->frameBufferSize, 1u);
    EXPECT_EQ(qmFreeImage(image), QMV3_IMAGE_FREED);
}

TEST(ImageManagement, CallTracesOnlyAtLogLevelTwo) {
    setenv("ORSEL_CLIENTLIB_LOGLEVEL", "2", 1);
    if (_internal_getLogLevel() != 2) GTEST_SKIP() << "this log frame has no log level 2";
    LogCapture log;
    EXPECT_EQ(qmFreeImage(qmInitializeImage()), QMV3_IMAGE_FREED);
    const std::string text = log.End();
    const size_t outer = text.find("qmInitializeImage() called.\n");
    const size_t inner = text.find("qmInitializeImageEx() called.\n");
    ASSERT_NE(outer, std::string::npos);
    ASSERT_NE(inner, std::string::npos);
    EXPECT_LT(outer, inner);
    EXPECT_THAT(text, HasSubstr("qmFreeImage() called.\n"));
}

TEST(ImageManagement, FreeImageWarnsOnNullAndStillReleasesTheRecord) {
    LogCapture log;
    EXPECT_EQ(qmFreeImage(nullptr), QMV3_IMAGE_NULL);
    DIMAGE* image = qmInitializeImageEx(8);
    ASSERT_NE(image, nullptr);
    std::free(image->frameBuffer);
    image->frameBuffer = nullptr;
    EXPECT_EQ(qmFreeImage(image), QMV3_IMAGE_FREED_WITHOUT_BUFFER);  // the leak check proves the record went too
    const std::string text = log.End();
    EXPECT_THAT(text, Not(HasSubstr("qmFreeImage() called.")));  // no call trace at the default log level
    EXPECT_THAT(text, HasSubstr("qmFreeImage(): Warning: qmFreeImage(NULL) called.\n"));
    EXPECT_THAT(text, HasSubstr("qmFreeImage(): Warning: qmFreeImage called with DIMAGE.frameBuffer==NULL.\n"));
}

TEST(ImageManagement, CreateBunchWithoutBuffers) {
    QMBUNCHOFIMAGES bunch;
    ASSERT_EQ(qmInitializeBunchStructure(&bunch), QMV3_BUNCH_OK);
    EXPECT_EQ(bunch.imageArray, nullptr);
    EXPECT_EQ(bunch.numFrames, 0u);
    ASSERT_EQ(qmCreateBunchStructure(&bunch, 3, 0), QMV3_BUNCH_OK);
    ASSERT_NE(bunch.imageArray, nullptr);
    EXPECT_EQ(bunch.numFrames, 3u);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(bunch.imageArray[i].frameBuffer, nullptr);
        EXPECT_EQ(bunch.imageArray[i].frameBufferSize, 0u);
    }
    EXPECT_EQ(qmFreeBunch(&bunch), QMV3_BUNCH_OK);
    EXPECT_EQ(bunch.imageArray, nullptr);
    EXPECT_EQ(bunch.numFrames, 0u);
}

TEST(ImageManagement, CreateBunchWithBuffersAndEdgeArguments) {
    QMBUNCHOFIMAGES bunch{nullptr, 0};
    ASSERT_EQ(qmCreateBunchStructure(&bunch, 4, 100), QMV3_BUNCH_OK);
    for (unsigned i = 0; i < 4; ++i) {
        ASSERT_NE(bunch.imageArray[i].frameBuffer, nullptr);
        EXPECT_EQ(bunch.imageArray[i].frameBufferSize, 100u);
        std::memset(bunch.imageArray[i].frameBuffer, static_cast<int>(i), 100);  // separate blocks
    }
    EXPECT_EQ(qmFreeBunch(&bunch), QMV3_BUNCH_OK);
    EXPECT_EQ(qmCreateBunchStructure(nullptr, 1, 1), QMV3_BUNCH_FAILED);
    EXPECT_EQ(qmInitializeBunchStructure(nullptr), QMV3_BUNCH_FAILED);
    EXPECT_EQ(qmFreeBunch(nullptr), QMV3_BUNCH_FAILED);
    DIMAGE marker;
    QMBUNCHOFIMAGES untouched{&marker, 7};
    EXPECT_EQ(qmCreateBunchStructure(&untouched, 0, 100), QMV3_BUNCH_OK);
    EXPECT_EQ(untouched.imageArray, &marker);
    EXPECT_EQ(untouched.numFrames, 7u);
}

TEST(ImageManagement, FreeBunchOfInconsistentStructuresReleasesNothingForeign) {
    DIMAGE notOwned;
    QMBUNCHOFIMAGES countless{&notOwned, 0};
    EXPECT_EQ(qmFreeBunch(&countless), QMV3_BUNCH_OK);
    EXPECT_EQ(countless.imageArray, nullptr);
    QMBUNCHOFIMAGES arrayless{nullptr, 5};
    EXPECT_EQ(qmFreeBunch(&arrayless), QMV3_BUNCH_OK);
    EXPECT_EQ(arrayless.numFrames, 0u);
}

}  // namespace
