// qmGrabFramesEx2 and its reduced forms: frames kept, repetitions dropped, every way a grab ends,
// environment overrides, the callback protocol and the links it leaves behind (none).
#include "client/multi_grab.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/grab_fixture.h"
#include "acquisition/test_clock.h"
#include "common/failing_allocator.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::CountContaining;
using qmv3test::GrabTest;
using qmv3test::LogCapture;
using qmv3test::PatternValue;
using qmv3test::TestClock;

const char* const kCam = ZANTSIM_DEFAULT_ADDRESS;

ZANTSIM_STEP Deliver(uint32_t frameNumber, int code = 0) { return {ZANTSIM_STEP_DELIVER, frameNumber, code, 0}; }
ZANTSIM_STEP Stop() { return {ZANTSIM_STEP_STOP, 0, 0, 0}; }

void Script(const std::vector<ZANTSIM_STEP>& steps) {
    ASSERT_EQ(0, zantsim_ScriptDeliveries(steps.data(), static_cast<int>(steps.size())));
}

class MultiGrab : public GrabTest {
  protected:
    void TearDown() override {
        qmFreeBunch(&images_);
        EXPECT_EQ(0, zantsim_OpenLinkCount());
        EXPECT_FALSE(_global_internal_bCallbackAllowed.load());
        EXPECT_FALSE(_global_internal_bCallbackRunning.load());
        GrabTest::TearDown();
    }
    // A grab of the default camera with a short rate; the results land in the members.
    int Grab(unsigned frames, const char* property = "Frame", DTYPE* outs = nullptr, int* interrupt = nullptr,
             int rate = 2, int mode = 3) {
        return qmGrabFramesEx2(&images_, outs, kCam, property, frames, rate, mode, &error_, &zantError_, interrupt,
                               &progress_);
    }
    std::vector<uint32_t> FrameNumbers() const {
        std::vector<uint32_t> numbers;
        for (uint32_t i = 0; i < images_.numFrames; ++i)
            numbers.push_back(images_.imageArray[i].frameHeader.frameNumber);
        return numbers;
    }
    TestClock clock_;
    QMBUNCHOFIMAGES images_{};
    int error_ = 99;
    int zantError_ = 99;
    double progress_ = -1.0;
};

TEST_F(MultiGrab, RepeatedFrameNumbersAreDroppedAndEachFrameCopiedOnce) {
    qmv3test::ServePatternCamera();
    Script({Deliver(10), Deliver(10), Deliver(11), Deliver(12)});
    EXPECT_EQ(3, Grab(3));
    EXPECT_EQ(0, error_);
    EXPECT_EQ(0, zantError_);
    EXPECT_DOUBLE_EQ(1.0, progress_);
    ASSERT_EQ((std::vector<uint32_t>{10, 11, 12}), FrameNumbers());
    for (uint32_t i = 0; i < 3; ++i) {
        const DIMAGE& image = images_.imageArray[i];
        EXPECT_EQ(307200u, image.frameBufferSize);
        EXPECT_EQ(QMV3_IMAGE_VALID, qmCheckImageValidity(&image, nullptr, 0));
        EXPECT_EQ(PatternValue(33, 44, 10 + i, 0, 0xFF), image.frameBuffer[44 * 640 + 33]);
    }
    EXPECT_EQ(QMV3_SEQUENCE_YES, qmIsCompleteSequence(&images_));
    const auto attach = Calls("AttachLinkEx2");
    ASSERT_EQ(1u, attach.size());
    EXPECT_EQ(307200u, attach[0].arrayLength);  // the frame-size estimate
    EXPECT_EQ(CF_IMAGE, attach[0].format);
    EXPECT_EQ(CA_READ, attach[0].access);
    EXPECT_EQ(2, attach[0].rate);
    EXPECT_EQ(3, attach[0].mode);
    EXPECT_EQ(50, Calls("SetSubscriptionRenewalThreshold").at(0).rate);
    EXPECT_EQ(attach[0].link, Calls("CloseLink").at(0).link);
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());  // CloseLink joined the delivery thread
}

TEST_F(MultiGrab, CompressedFramesGetBuffersOfTheirExactSize) {
    EXPECT_EQ(2, Grab(2, "FrameJpeg"));
    for (uint32_t i = 0; i < 2; ++i) {
        const DIMAGE& image = images_.imageArray[i];
        EXPECT_EQ(static_cast<uint32_t>(image.frameHeader.appendedFrameSize), image.frameBufferSize);
        EXPECT_LT(image.frameBufferSize, 307200u);
        EXPECT_EQ(0xD8, image.frameBuffer[1]);
    }
}

TEST_F(MultiGrab, ContainersOfEachDeliveryAreHandedBack) {
    DTYPE outs[2];
    std::memset(outs, 0xAB, sizeof outs);
    EXPECT_EQ(2, Grab(2, "Frame16", outs));
    for (const DTYPE& out : outs) {
        EXPECT_EQ(CF_IMAGE, out.dFormat);
        EXPECT_EQ(614400u, out.dArrayLength);
    }
    EXPECT_EQ(Calls("GetDataFromCallbackId").at(0).link, 1);  // the grab's callback id

    qmFreeBunch(&images_);
    zantsim_ScriptGetData(48);
    LogCapture log;
    EXPECT_EQ(2, Grab(2, "Frame", outs));
    for (const DTYPE& out : outs) {
        EXPECT_EQ(CF_DEFAULT, out.dFormat);  // cleared when the call fails
        EXPECT_EQ(0u, out.dArrayLength);
    }
    EXPECT_EQ(2, CountContaining(
                     log.End(), "qmGrabFrames(Ex,Ex2): Callback: Warning: GetDataFromCallbackId ZANT return code: 48"));
}

TEST_F(MultiGrab, DeliveryCodesAreLoggedAndNotStored) {
    Script({Deliver(0, 516), Deliver(0, 17), Deliver(5), Deliver(0, 517), Deliver(6)});
    LogCapture log;
    EXPECT_EQ(2, Grab(2));
    EXPECT_EQ(0, error_);
    EXPECT_EQ(517, zantError_);  // the last code seen
    EXPECT_EQ((std::vector<uint32_t>{5, 6}), FrameNumbers());
    const auto messages = log.End();
    EXPECT_EQ(1, CountContaining(messages, "qmGrabFrames(Ex,Ex2): Callback: Info: ZANT return code: 516"));
    EXPECT_EQ(1, CountContaining(messages, "qmGrabFrames(Ex,Ex2): Callback: Warning: ZANT return code: 17"));
    EXPECT_EQ(1, CountContaining(messages, "qmGrabFrames(Ex,Ex2): Callback: Info: ZANT return code: 517"));
}

TEST_F(MultiGrab, InterruptEndsTheGrabAndKeepsTheFrames) {
    Script({Deliver(1), Deliver(2), Stop()});
    int interrupt = 0;
    std::thread stopper([&] {
        for (double seen = 0.0; seen < 0.4; __atomic_load(&progress_, &seen, __ATOMIC_RELAXED))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        __atomic_store_n(&interrupt, 1, __ATOMIC_RELAXED);
    });
    EXPECT_EQ(2, Grab(5, "Frame", nullptr, &interrupt));
    stopper.join();
    EXPECT_EQ(-7, error_);
    EXPECT_DOUBLE_EQ(0.4, progress_);
    EXPECT_EQ((std::vector<uint32_t>{1, 2}), FrameNumbers());
}

TEST_F(MultiGrab, InactivityEndsTheGrabAfterFiveSeconds) {
    Script({Deliver(1), Deliver(2), Stop()});
    LogCapture log;
    // Once the two frames are in, six quiet seconds pass at once.
    std::atomic<bool> returned{false};
    std::thread quiet([&] {
        for (double seen = 0.0; seen < 0.5 && !returned; __atomic_load(&progress_, &seen, __ATOMIC_RELAXED))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        TestClock::Advance(6000);
    });
    const int64_t start = TestClock::NowMilliseconds();
    EXPECT_EQ(2, Grab(4));
    const int64_t elapsed = TestClock::NowMilliseconds() - start;
    returned = true;
    quiet.join();
    EXPECT_GT(elapsed, 5000);
    EXPECT_LT(elapsed, 8000);
    EXPECT_EQ(-2, error_);
    EXPECT_EQ((std::vector<uint32_t>{1, 2}), FrameNumbers());
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "qmGrabFrames(Ex,Ex2): Timeout occurred (5 seconds) (2 of 4 frames could be received "
                                 "up to then)."));
}

TEST_F(MultiGrab, RefusedRequestsTouchNothing) {
    const struct {
        QMBUNCHOFIMAGES* images;
        const char* address;
        const char* property;
        unsigned frames;
        bool errorOut;
    } table[] = {
        {&images_, kCam, "Frame", 0, true},       {&images_, kCam, "Frame", 2, false},
        {nullptr, kCam, "Frame", 2, true},        {&images_, "/C/S", "Frame", 2, true},
        {&images_, "/CTX/SRV", "Frame", 2, true}, {&images_, kCam, "Fr[ame", 2, true},
        {&images_, nullptr, "Frame", 2, true},
    };
    for (const auto& row : table) {
        error_ = 99;
        zantError_ = 99;
        EXPECT_EQ(0, qmGrabFramesEx2(row.images, nullptr, row.address, row.property, row.frames, 500, QMV3_CM_TIMER,
                                     row.errorOut ? &error_ : nullptr, &zantError_, nullptr, nullptr));
        EXPECT_EQ(row.errorOut ? -1 : 99, error_);
        EXPECT_EQ(0, zantError_);
    }
    EXPECT_EQ(nullptr, images_.imageArray);
    EXPECT_TRUE(Calls("AttachLinkEx2").empty());
}

// Frames above the largest the library keeps would be received and then lost: no subscription.
TEST_F(MultiGrab, PropertyWithFramesAboveTheLargestIsRefusedBeforeSubscribing) {
    zantsim_ScriptPropertyInfo(QMV3_MAX_TRANSPORT_SIZE + 1, CF_IMAGE);
    LogCapture log;
    EXPECT_EQ(0, Grab(2));
    EXPECT_EQ(QMV3_GRAB_REFUSED, error_);
    EXPECT_EQ(nullptr, images_.imageArray);
    EXPECT_TRUE(Calls("AttachLinkEx2").empty());
    EXPECT_EQ(1, CountContaining(log.End(), "delivers frames of up to 27262977 bytes, more than the largest frame"));
}

TEST_F(MultiGrab, FailedSubscriptionGivesMinusSixWithItsCode) {
    zantsim_ScriptAttach(-13);
    LogCapture log;
    EXPECT_EQ(0, Grab(2));
    EXPECT_EQ(-6, error_);
    EXPECT_EQ(-13, zantError_);
    EXPECT_EQ(nullptr, images_.imageArray);
    EXPECT_EQ(0u, images_.numFrames);
    const auto messages = log.End();
    EXPECT_EQ(1, CountContaining(messages, "qmGrabFrames(Ex,Ex2): AttachLinkEx2 unsuccessful return code (-13)."));
    EXPECT_EQ(1, CountContaining(messages, "Parameters passed: qmGrabFramesEx2(QMBUNCHOFIMAGES *aImages,"));
    EXPECT_EQ(QMV3_GRAB_FRAMES_SUBSCRIPTION_FAILED, qmGrabFrames(&images_, kCam, "Frame", 2, 500, QMV3_CM_TIMER));
}

TEST_F(MultiGrab, FramesHeldOnInputAreFreedFirst) {
    ASSERT_EQ(QMV3_BUNCH_OK, qmCreateBunchStructure(&images_, 3, 100));
    LogCapture log;
    EXPECT_EQ(1, Grab(1));
    EXPECT_EQ(1u, images_.numFrames);
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "qmGrabFramesEx2: Warning: aImages->numFrames=3, but must be zero on input, "
                                 "qmFreeBuch() will be performed."));
}

// A grab of "Frame" allocates its receive buffer and then one buffer per frame, each of this size.
constexpr size_t kFrameBytes = 640 * 480;

TEST_F(MultiGrab, ExhaustedMemoryEndsTheGrabAndKeepsTheFrames) {
    qmv3test::ArmLargeAllocation(4, kFrameBytes);  // the third frame's
    LogCapture log;
    EXPECT_EQ(2, Grab(5));
    qmv3test::DisarmLargeAllocation();
    EXPECT_EQ(-3, error_);
    EXPECT_EQ(2u, images_.numFrames);
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "qmGrabFrames(Ex,Ex2): Callback: malloc() failed (307200 bytes for 3 out "
                                 "of 5 frame)."));
}

TEST_F(MultiGrab, ReducedFormReturnsOneOrFreesTheFrames) {
    EXPECT_EQ(QMV3_GRAB_FRAMES_OK, qmGrabFrames(&images_, kCam, "Frame", 2, 2, QMV3_CM_TIMER));
    EXPECT_EQ(2u, images_.numFrames);
    qmFreeBunch(&images_);
    qmv3test::ArmLargeAllocation(2, kFrameBytes);  // the first frame's
    EXPECT_EQ(QMV3_GRAB_FRAMES_OUT_OF_MEMORY, qmGrabFrames(&images_, kCam, "Frame", 5, 2, QMV3_CM_TIMER));
    qmv3test::DisarmLargeAllocation();
    EXPECT_EQ(nullptr, images_.imageArray);
    EXPECT_EQ(0u, images_.numFrames);
    EXPECT_EQ(QMV3_GRAB_FRAMES_REFUSED, qmGrabFrames(&images_, kCam, "Frame", 0, 2, QMV3_CM_TIMER));
}

TEST_F(MultiGrab, EnvironmentOverridesRateAndMode) {
    const struct {
        const char* rate;
        const char* mode;
        int expectedRate, expectedMode;
        const char* message;
    } table[] = {
        {"1000", nullptr, 1000, 3,
         "Info: qmGrabFrames(Ex,Ex2): Environment variable "
         "\"ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_RATE_MILLISECONDS_FORCE=1000\" set. This forces change of ZANT "
         "access rate from '200' ms to '1000' ms."},
        {"abc", nullptr, 200, 3,
         "Warning: qmGrabFrames(Ex,Ex2): Environment variable "
         "\"ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_RATE_MILLISECONDS_FORCE=abc\" set. However, conversion of "
         "\"abc\" from string to int failed (E: 3). No Zant access rate forcing will be performed."},
        {nullptr, "TIMER|STREAM", 200, 131,
         "Info: qmGrabFrames(Ex,Ex2): Environment variable "
         "\"ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_MODE_FORCE=TIMER|STREAM\" set. This forces change of ZANT "
         "access mode from 3(TIMER) to 131(TIMER|STREAM)."},
        {nullptr, "STREAM", 200, 3,
         "Warning: qmGrabFrames(Ex,Ex2): Environment variable "
         "\"ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_MODE_FORCE=STREAM\" set. However, conversion of \"STREAM\" to "
         "integer Zant mode failed (E: -5). No Zant access mode forcing will be performed."},
    };
    for (const auto& row : table) {
        if (row.rate) setenv("ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_RATE_MILLISECONDS_FORCE", row.rate, 1);
        if (row.mode) setenv("ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_MODE_FORCE", row.mode, 1);
        zantsim_ClearJournal();
        qmFreeBunch(&images_);
        LogCapture log;
        EXPECT_EQ(1, Grab(1, "Frame", nullptr, nullptr, 200, 3));
        const auto messages = log.End();
        EXPECT_EQ(1, CountContaining(messages, row.message)) << row.message;
        EXPECT_EQ(row.expectedRate == 200 ? 1 : 0,
                  CountContaining(messages,
                                  "Warning: qmGrabFrames(Ex, Ex2): Parameter aZantTimeoutMilliseconds exceeds "
                                  "recommended interval range (300-4000)."));
        const auto attach = Calls("AttachLinkEx2");
        ASSERT_EQ(1u, attach.size());
        EXPECT_EQ(row.expectedRate, attach[0].rate);
        EXPECT_EQ(row.expectedMode, attach[0].mode);
        unsetenv("ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_RATE_MILLISECONDS_FORCE");
        unsetenv("ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_MODE_FORCE");
    }
}

TEST_F(MultiGrab, RenewalFailureIsWarnedAndTheGrabGoesOn) {
    zantsim_ScriptRenewalThreshold(47);
    LogCapture log;
    EXPECT_EQ(1, Grab(1));
    EXPECT_EQ(1, CountContaining(log.End(),
                                 "Warning: qmGrabFrames(Ex,Ex2): SetSubscriptionRenewalThreshold failed (zant error "
                                 "code: 47(subscription renewal failed))."));
}

TEST_F(MultiGrab, CloseLinkIsRepeatedUntilItSucceeds) {
    zantsim_ScriptCloseLink(4, 42);
    LogCapture log;
    EXPECT_EQ(1, Grab(1));
    EXPECT_EQ(0, error_);
    const auto messages = log.End();
    EXPECT_EQ(1, CountContaining(messages,
                                 "_internal_ZantCloseLink(aZantLinkID=1) needs to be repeated (try #2). Last "
                                 "return code from CloseLink was 42."));
    EXPECT_EQ(1, CountContaining(messages,
                                 "_internal_ZantCloseLink(aZantLinkID=1) needed to be repeated #5 times! "
                                 "Last return code from CloseLink was 0."));
    EXPECT_EQ(5u, Calls("CloseLink").size());
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());
}

TEST_F(MultiGrab, LinkThatNeverClosesLeavesTheFramesSafe) {
    zantsim_ScriptCloseLink(-1, 42);
    LogCapture log;
    const int64_t start = TestClock::NowMilliseconds();
    EXPECT_EQ(2, Grab(2));
    EXPECT_GT(TestClock::NowMilliseconds() - start, 3000);
    EXPECT_EQ(0, error_);
    EXPECT_EQ(1, CountContaining(log.End(), "qmGrabFrames(Ex,Ex2): CloseLink(1) failed (Zant Return Code: 42)."));
    // The link still delivers into the kept receive record; the callback ignores it.
    const uint32_t callbacks = zantsim_CallbackCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GT(zantsim_CallbackCount(), callbacks);
    EXPECT_EQ(2u, images_.numFrames);
    EXPECT_EQ(QMV3_SEQUENCE_YES, qmIsCompleteSequence(&images_));

    // A later grab closes the kept link once the control system lets it.
    zantsim_ScriptCloseLink(0, 0);
    qmFreeBunch(&images_);
    EXPECT_EQ(1, Grab(1));
    EXPECT_EQ(0, zantsim_OpenLinkCount());
}

// Stands for a delivery still being copied when the link gives up closing: it asks for the
// interrupt, waits until the calling thread has ended the grab and outlasts its close attempts.
std::atomic<int*> gInterruptOfSlowCopy{nullptr};
void AllocateAfterTheCloseAttempts() {
    __atomic_store_n(gInterruptOfSlowCopy.load(), 1, __ATOMIC_RELAXED);
    while (_global_internal_bCallbackAllowed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The close attempts give up after three seconds of the grab's clock.
    const int64_t start = TestClock::NowMilliseconds();
    while (TestClock::NowMilliseconds() - start < 3500) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST_F(MultiGrab, FrameStoredWhileTheLinkWouldNotCloseIsCounted) {
    zantsim_ScriptCloseLink(-1, 42);
    int interrupt = 0;
    gInterruptOfSlowCopy = &interrupt;
    qmv3test::ArmLargeAllocation(2, kFrameBytes, AllocateAfterTheCloseAttempts);  // the first frame's
    const int received = Grab(3, "Frame", nullptr, &interrupt);
    qmv3test::DisarmLargeAllocation();
    EXPECT_EQ(-7, error_);
    EXPECT_EQ(1u, images_.numFrames);
    EXPECT_EQ(static_cast<int>(images_.numFrames), received);
    // Close the kept link.
    zantsim_ScriptCloseLink(0, 0);
    qmFreeBunch(&images_);
    EXPECT_EQ(1, Grab(1));
}

TEST_F(MultiGrab, OnlyOneGrabRunsAtATime) {
    // The log frame is process-wide state without a lock: settle it before a second thread calls.
    EXPECT_EQ(1, Grab(1, "Frame", nullptr, nullptr, 1));
    qmFreeBunch(&images_);
    zantsim_ClearJournal();
    QMBUNCHOFIMAGES other{};
    int otherError = 99;
    std::thread second(
        [&] { qmGrabFramesEx(&other, kCam, "Frame", 20, 1, QMV3_CM_TIMER, &otherError, nullptr, nullptr, nullptr); });
    EXPECT_EQ(20, Grab(20, "Frame", nullptr, nullptr, 1));
    second.join();
    EXPECT_EQ(0, error_);
    EXPECT_EQ(QMV3_GRAB_OK, otherError);
    EXPECT_EQ(20u, other.numFrames);
    qmFreeBunch(&other);
    std::vector<std::string> subscriptions;
    for (const std::string& name : CallSequence())
        if (name == "AttachLinkEx2" || name == "CloseLink") subscriptions.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"AttachLinkEx2", "CloseLink", "AttachLinkEx2", "CloseLink"}), subscriptions);
}

TEST_F(MultiGrab, CallbackIgnoresDeliveriesOutsideAGrab) {
    LogCapture log;
    _internal_qmGrabFramesCallback(1, 0, nullptr);
    GrabContext context;
    _internal_qmGrabFramesCallback(1, 0, &context);  // not allowed: the context is not touched
    EXPECT_EQ(0u, context.numberReceived.load());
    const auto messages = log.End();
    EXPECT_EQ(
        1, CountContaining(messages,
                           "qmGrabFrames(Ex,Ex2): Callback: aRef=0x0 (NULL)! Do nothing, just exit. (aId=1 "
                           "aCC=0 _global_internal_bCallbackAllowed=false _global_internal_bCallbackRunning=false)"));
    EXPECT_EQ(1, CountContaining(messages,
                                 "qmGrabFrames(Ex,Ex2): Callback: _global_internal_bCallbackAllowed == false!! "
                                 "(aId=1, aCC=0, aRef=0x0x"));
}

}  // namespace
