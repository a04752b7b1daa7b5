// qmGrabFrame: its results table, retries, size reduction, warnings and what it hands back.
#include <chrono>
#include <cstdlib>
#include <string>

#include "acquisition/grab_fixture.h"
#include "client/image_management.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::CountContaining;
using qmv3test::GrabTest;
using qmv3test::LogCapture;
using qmv3test::PatternValue;

const char* const kCam = ZANTSIM_DEFAULT_ADDRESS;

class SingleGrab : public GrabTest {
  protected:
    void SetUp() override {
        GrabTest::SetUp();
        image_ = qmInitializeImageEx(1 << 20);
        ASSERT_NE(nullptr, image_);
    }
    void TearDown() override {
        qmFreeImage(image_);
        GrabTest::TearDown();
    }
    DIMAGE* image_ = nullptr;
};

TEST_F(SingleGrab, FrameArrivesValidWithTheRequestHandedBack) {
    qmv3test::ServePatternCamera();
    DTYPE out{};
    int code = -1;
    LogCapture log;
    ASSERT_EQ(1, qmGrabFrame(image_, &out, kCam, "Frame16", 1000, 3, &code));
    EXPECT_TRUE(log.End().empty());
    EXPECT_EQ(0, code);
    EXPECT_EQ(614400, image_->frameHeader.appendedFrameSize);
    const unsigned char* pixel = image_->frameBuffer + (10 * 640 + 20) * 2;
    EXPECT_EQ(PatternValue(20, 10, image_->frameHeader.frameNumber, 0, 0xFFF), pixel[0] | (pixel[1] << 8));
    EXPECT_EQ(614400u, out.dArrayLength);
    EXPECT_EQ(CF_IMAGE, out.dFormat);
    EXPECT_EQ(image_, out.data);
    const auto reads = Calls("alsnExecLinkEx");
    ASSERT_EQ(1u, reads.size());
    EXPECT_EQ(3, reads[0].access);
    EXPECT_EQ(1000, reads[0].rate);
    EXPECT_EQ(614400u, reads[0].arrayLength);
}

TEST_F(SingleGrab, RefusalsOfTheResultsTable) {
    DIMAGE noBuffer = *image_;
    noBuffer.frameBuffer = nullptr;
    const struct {
        DIMAGE* image;
        const char* address;
        const char* property;
        int result;
        const char* message;
    } table[] = {
        {nullptr, kCam, "Frame", 0, nullptr},
        {image_, nullptr, "Frame", 0, nullptr},
        {image_, kCam, nullptr, 0, nullptr},
        {&noBuffer, kCam, "Frame", 0, nullptr},
        {image_, kCam, "Fra/me", 0, "must not contain '/'"},
        {image_, "/C/S", "Frame", -4, "is too short (4 characters)"},
        {image_, "/CTX//DEV", "Frame", 0, "Internal Reference: 2."},
    };
    for (const auto& row : table) {
        int code = 77;
        LogCapture log;
        EXPECT_EQ(row.result, qmGrabFrame(row.image, nullptr, row.address, row.property, 100, 1, &code));
        EXPECT_EQ(77, code);
        const auto messages = log.End();
        if (row.message != nullptr) {
            ASSERT_EQ(3u, messages.size());
            EXPECT_EQ(1, CountContaining(messages, row.message));
            EXPECT_EQ(0u, messages[1].find("Parameters passed: qmGrabFrame(DIMAGE *apInOutImage, DTYPE *apDOut, "
                                           "const char *asZantAddress, const char *asZantPropertyName, int "
                                           "aiZantTimeoutMilliseconds, int aiZantMode, int *apiOutZantReturnCode) "
                                           "called."));
            EXPECT_NE(std::string::npos,
                      messages[2].find(std::string("\"") + row.address + "\", \"" + row.property + "\", 100, 1, 0x"));
        } else {
            EXPECT_TRUE(messages.empty());
        }
    }
    EXPECT_TRUE(Calls("alsnExecLinkEx").empty());  // the control system is never asked
    EXPECT_TRUE(Calls("SystemStartCycleTimer").empty());
}

TEST_F(SingleGrab, CharacteristicsFailureGivesMinusThreeWithTheCode) {
    zantsim_ScriptPropertyQuery(5, 12, 0);
    int code = 0;
    LogCapture log;
    EXPECT_EQ(-3, qmGrabFrame(image_, nullptr, kCam, "Frame", 100, 1, &code));
    EXPECT_EQ(12, code);
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "Error: qmGrabFrame: _internal_zantReadPropertyCharacteristics() returned not "
                                 "successful: cc=12"));
    EXPECT_EQ(-3, qmGrabFrame(image_, nullptr, kCam, "Frame", 100, 1, nullptr));
}

TEST_F(SingleGrab, TwoFailuresWithTheSameCodeGiveOneWarning) {
    zantsim_ScriptReads(2, 5);
    int code = -1;
    LogCapture log;
    EXPECT_EQ(1, qmGrabFrame(image_, nullptr, kCam, "Frame", 2000, 1, &code));
    EXPECT_EQ(0, code);
    const auto messages = log.End();
    ASSERT_EQ(1u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].find("qmGrabFrame() Warning: alsnExecLinkEx returned 5."));
    EXPECT_EQ(3u, Calls("alsnExecLinkEx").size());
}

TEST_F(SingleGrab, AlwaysFailingServerEndsAfterTheTimeLimit) {
    zantsim_ScriptReads(-1, 17);
    int code = 0;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, qmGrabFrame(image_, nullptr, kCam, "Frame", 100, 1, &code));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(100));
    EXPECT_LT(elapsed, std::chrono::milliseconds(600));
    EXPECT_EQ(17, code);
    const auto messages = log.End();
    EXPECT_EQ(2, CountContaining(messages, "qmGrabFrame() Warning: alsnExecLinkEx returned 17."));
    EXPECT_EQ(1, CountContaining(messages, "Unsuccessful in timeout period: qmGrabFrame(DIMAGE *apInOutImage"));
}

TEST_F(SingleGrab, OversizedPropertyIsReducedToTheImageBuffer) {
    DIMAGE* big = qmInitializeImage();
    ASSERT_NE(nullptr, big);
    zantsim_ScriptPropertyInfo(30000000, CF_IMAGE);
    LogCapture log;
    EXPECT_EQ(1, qmGrabFrame(big, nullptr, kCam, "Frame", 1000, 1, nullptr));
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "Warning: _internal_readPropertyCharacteristics iZantPropertySize(30000000) exeeds "
                                 "apInOutImage->frameBufferSize(27262976). iZantPropertySize will be reduced to "
                                 "apInOutImage->frameBufferSize."));
    EXPECT_EQ(27262976u, Calls("alsnExecLinkEx").at(0).arrayLength);
    qmFreeImage(big);
}

TEST_F(SingleGrab, OtherFormatIsWarnedAndStillAttempted) {
    zantsim_ScriptPropertyInfo(307200, CF_STRUCT);
    LogCapture log;
    EXPECT_EQ(1, qmGrabFrame(image_, nullptr, kCam, "Frame", 1000, 1, nullptr));
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "Warning: iZantPropertyFormat(519) != CF_IMAGE(567). Even though, the call will be "
                                 "attempted."));
}

TEST_F(SingleGrab, InvalidFrameGivesMinusTwoAndStaysInTheImage) {
    unsigned char bytes[4] = {1, 2, 3, 4};
    DIMAGE recorded{};
    std::memcpy(recorded.sourceHeader.baseTag, "QMV3", 4);
    recorded.frameHeader.sourceWidth = 0;  // breaks the rules
    recorded.frameHeader.frameNumber = 99;
    recorded.frameHeader.appendedFrameSize = 4;
    recorded.frameBufferSize = 4;
    recorded.frameBuffer = bytes;
    ASSERT_EQ(0, zantsim_QueueFrame(&recorded));
    int code = -1;
    DTYPE out{};
    LogCapture log;
    EXPECT_EQ(-2, qmGrabFrame(image_, &out, kCam, "Frame", 1000, 1, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(99u, image_->frameHeader.frameNumber);
    EXPECT_EQ(0u, out.dArrayLength);  // not handed back
    const auto messages = log.End();
    EXPECT_EQ(
        1, CountContaining(messages, "qmGrabFrame() Warning: _internal_qmCheckImageValidity(image) returned false!"));
    EXPECT_EQ(1, CountContaining(messages, "sourceWidth=0 is invalid"));
}

TEST_F(SingleGrab, AddressWithoutLeadingSlashIsCorrected) {
    LogCapture log;
    EXPECT_EQ(1, qmGrabFrame(image_, nullptr, "SIM/CAMSERVER/CAM0", "FrameJpeg", 1000, 1, nullptr));
    const auto messages = log.End();
    EXPECT_EQ(2u, messages.size());
    EXPECT_EQ(1, CountContaining(messages, "will be prepended with a '/'"));
    EXPECT_STREQ(kCam, Calls("alsnExecLinkEx").at(0).address);
    EXPECT_EQ(QMV3_FORMAT_JPEG, image_->frameHeader.imageFormat);
}

TEST(SingleGrabTrace, LogLevelTwoWritesTheParameterLines) {
    setenv("ORSEL_CLIENTLIB_LOGLEVEL", "2", 1);  // read once per process, before the first log line
    zantsim_Reset();
    DIMAGE* image = qmInitializeImageEx(307200);
    LogCapture log;
    EXPECT_EQ(1, qmGrabFrame(image, nullptr, kCam, "Frame", 1000, 1, nullptr));
    qmFreeImage(image);
    const auto messages = log.End();
    EXPECT_EQ(1, CountContaining(messages, "qmGrabFrame(DIMAGE *apInOutImage, DTYPE *apDOut,"));
    EXPECT_EQ(1, CountContaining(messages, "qmGrabFrame(0x"));
    EXPECT_EQ(1, CountContaining(messages, ", 0h, \"/SIM/CAMSERVER/CAM0\", \"Frame\", 1000, 1, 0h);"));
}

}  // namespace
