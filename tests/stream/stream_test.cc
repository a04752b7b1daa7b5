// Streams through the public interface: the results of qmStreamNext, the two queue policies counted
// exactly against a consumer that reads only after the deliveries, lost links reported and recovered,
// borrowed frames after close and misuse, decompression, and a stream beside a multi-frame grab.
#include <cstring>
#include <thread>

#include "stream/stream_fixture.h"

namespace qmv3test {
namespace {

// Every frame carries the test pattern of its own number.
void ExpectPattern(const DIMAGE& frame) {
    ASSERT_EQ(kSmallWidth * kSmallHeight, frame.frameHeader.appendedFrameSize);
    ASSERT_EQ(static_cast<uint32_t>(frame.frameHeader.appendedFrameSize), frame.frameBufferSize);
    const uint32_t n = frame.frameHeader.frameNumber;
    for (int y = 0; y < kSmallHeight; ++y)
        for (int x = 0; x < kSmallWidth; ++x)
            ASSERT_EQ((x + 2 * y + 3 * n) & 0xFF, frame.frameBuffer[y * kSmallWidth + x]) << "frame " << n;
}

TEST_F(StreamTest, NextReportsEachStateByItsOwnResult) {
    QMV3_STREAM_OPTIONS options = Options();
    options.silenceMilliseconds = 100000;
    const ZANTSIM_STEP frames[] = {Deliver(5), Deliver(6), Stop()};
    const ZANTSIM_STEP failing[] = {Deliver(5), Deliver(0, ZANTSIM_CC_LINK_ERROR), Stop()};
    const struct Case {
        const char* name;
        const ZANTSIM_STEP* steps;
        int count;
        bool closeFirst;
        int expected[3];  // results of three calls with a 300 ms limit
    } cases[] = {
        {"frames, then quiet", frames, 3, false, {QMV3_STREAM_OK, QMV3_STREAM_OK, QMV3_STREAM_TIMEOUT}},
        {"a failing delivery", failing, 3, false, {QMV3_STREAM_OK, QMV3_STREAM_LINK_LOST, QMV3_STREAM_LINK_LOST}},
        {"closed", frames, 3, true, {QMV3_STREAM_CLOSED, QMV3_STREAM_CLOSED, QMV3_STREAM_CLOSED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zantsim_ScriptDeliveries(c.steps, c.count);
        QMV3_STREAM* stream = Open(options);
        WaitForDeliveries(stream, 1);
        if (c.closeFirst) {
            EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
        }
        for (int expected : c.expected) {
            DIMAGE* frame = reinterpret_cast<DIMAGE*>(&options);  // must be cleared when no frame comes
            EXPECT_EQ(expected, qmStreamNext(stream, 300, &frame));
            EXPECT_EQ(expected == QMV3_STREAM_OK, frame != nullptr);
            if (frame != nullptr) {
                ExpectPattern(*frame);
                EXPECT_EQ(QMV3_STREAM_OK, qmStreamRelease(stream, frame));
            }
        }
        if (!c.closeFirst) {
            EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
        }
    }
    DIMAGE* frame = nullptr;
    EXPECT_EQ(QMV3_STREAM_REFUSED, qmStreamNext(nullptr, 0, &frame));
    EXPECT_EQ(QMV3_STREAM_REFUSED, qmStreamNext(reinterpret_cast<QMV3_STREAM*>(0x12345), 0, &frame));
    EXPECT_EQ(QMV3_STREAM_REFUSED, qmStreamNext(reinterpret_cast<QMV3_STREAM*>(0x7fff0000), 0, &frame));
}

TEST_F(StreamTest, PoliciesDropExactlyTheFramesTheyPromise) {
    std::vector<ZANTSIM_STEP> steps;
    for (uint32_t n = 1; n <= 10; ++n) steps.push_back(Deliver(n));
    steps.push_back(Deliver(10));  // a repetition, dropped before the queue
    steps.push_back(Deliver(13));  // two numbers skipped
    steps.push_back(Stop());
    const struct Case {
        int policy;
        uint32_t expected[4];
    } cases[] = {{QMV3_STREAM_KEEP_NEWEST, {8, 9, 10, 13}}, {QMV3_STREAM_KEEP_OLDEST, {1, 2, 3, 4}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        zantsim_ScriptDeliveries(steps.data(), static_cast<int>(steps.size()));
        QMV3_STREAM* stream = Open(Options(c.policy, 4));
        WaitForDeliveries(stream, 12);
        for (uint32_t number : c.expected) {
            DIMAGE* frame = nullptr;
            ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(stream, 1000, &frame));
            EXPECT_EQ(number, frame->frameHeader.frameNumber);
            ExpectPattern(*frame);
            EXPECT_EQ(QMV3_STREAM_OK, qmStreamRelease(stream, frame));
        }
        const QMV3_STREAM_STATISTICS stats = Stats(stream);
        EXPECT_EQ(12u, stats.delivered);
        EXPECT_EQ(4u, stats.handedOut);
        EXPECT_EQ(7u, stats.droppedQueueFull);
        EXPECT_EQ(1u, stats.repeats);
        EXPECT_EQ(2u, stats.gaps);
        EXPECT_EQ(4u, stats.queueHighWater);
        EXPECT_EQ(0u, stats.queued);
        EXPECT_EQ(13u, stats.lastFrameNumber);
        EXPECT_EQ(0u, stats.linkLosses);
        EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
    }
}

TEST_F(StreamTest, FramesTheCallerHoldsAreNotOverwrittenWhenThePoolRunsDry) {
    // One spare buffer: while the caller holds two frames, the queue of two has only one buffer left.
    QMV3_STREAM_OPTIONS options = Options(QMV3_STREAM_KEEP_NEWEST, 2);
    options.spareBuffers = 1;
    const ZANTSIM_STEP first[] = {Deliver(1), Deliver(2), Stop()};
    zantsim_ScriptDeliveries(first, 3);
    QMV3_STREAM* stream = Open(options);
    WaitForDeliveries(stream, 2);
    DIMAGE *a = nullptr, *b = nullptr;
    ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(stream, 1000, &a));
    ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(stream, 1000, &b));
    EXPECT_EQ(2u, Stats(stream).borrowed);
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
    // Lent frames outlive the close until given back; giving one back twice is refused.
    ExpectPattern(*a);
    ExpectPattern(*b);
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamRelease(stream, a));
    EXPECT_EQ(QMV3_STREAM_NOT_BORROWED, qmStreamRelease(stream, a));
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamRelease(stream, b));
    EXPECT_EQ(QMV3_STREAM_CLOSED, qmStreamRelease(stream, b));
    EXPECT_EQ(QMV3_STREAM_CLOSED, qmStreamClose(stream));
}

TEST_F(StreamTest, MisuseIsRefusedWithoutHarm) {
    zantsim_ScriptDeliveries(nullptr, 0);
    QMV3_STREAM* one = Open(Options());
    QMV3_STREAM* two = Open(Options(), 1);
    DIMAGE* frame = nullptr;
    ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(one, 5000, &frame));
    DIMAGE stranger{};
    EXPECT_EQ(QMV3_STREAM_NOT_BORROWED, qmStreamRelease(two, frame));  // lent by the other stream
    EXPECT_EQ(QMV3_STREAM_NOT_BORROWED, qmStreamRelease(one, &stranger));
    EXPECT_EQ(QMV3_STREAM_NOT_BORROWED,
              qmStreamRelease(one, reinterpret_cast<DIMAGE*>(reinterpret_cast<char*>(frame) + 8)));
    // The caller's changes to the record do not reach the pool.
    frame->frameBuffer = stranger.frameBuffer;
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamRelease(one, frame));
    EXPECT_EQ(QMV3_STREAM_REFUSED, qmStreamRelease(one, nullptr));
    EXPECT_EQ(QMV3_STREAM_REFUSED, qmStreamGetStatistics(one, nullptr));
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(one, 5000, &frame));
        ExpectPattern(*frame);
        ASSERT_EQ(QMV3_STREAM_OK, qmStreamRelease(one, frame));
    }
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(one));
    EXPECT_EQ(QMV3_STREAM_CLOSED, qmStreamClose(one));
    EXPECT_EQ(QMV3_STREAM_CLOSED, qmStreamNext(one, 0, &frame));
    QMV3_STREAM_STATISTICS stats{};
    stats.size = sizeof stats;
    EXPECT_EQ(QMV3_STREAM_CLOSED, qmStreamGetStatistics(one, &stats));
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(two));

    const std::string camera = Camera(0);
    const struct Case {
        const char* name;
        const char* address;
        const char* property;
        QMV3_STREAM_OPTIONS options;
    } refused[] = {
        {"null address", nullptr, "Small", Options()},
        {"malformed address", "CAM", "Small", Options()},
        {"bad property", camera.c_str(), "Sm/all", Options()},
        {"queue too long", camera.c_str(), "Small", Options(QMV3_STREAM_KEEP_NEWEST, 5000)},
        {"unknown policy", camera.c_str(), "Small", Options(7)},
        {"no size", camera.c_str(), "Small", QMV3_STREAM_OPTIONS{}},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        QMV3_STREAM* stream = reinterpret_cast<QMV3_STREAM*>(&stats);
        EXPECT_EQ(QMV3_STREAM_REFUSED, qmStreamOpen(&stream, c.address, c.property, &c.options, nullptr));
        EXPECT_EQ(nullptr, stream);
    }
    QMV3_STREAM* stream = nullptr;
    int code = 0;
    EXPECT_EQ(QMV3_STREAM_SUBSCRIPTION_FAILED, qmStreamOpen(&stream, Camera(0).c_str(), "Absent", nullptr, &code));
    EXPECT_EQ(-ZANTSIM_CC_ILLEGAL_PROPERTY, code);
    EXPECT_EQ(nullptr, stream);
}

TEST_F(StreamTest, LostLinksAreReportedAndResubscribed) {
    const ZANTSIM_STEP failing[] = {Deliver(1), Deliver(2), Deliver(0, ZANTSIM_CC_LINK_ERROR), Stop()};
    const ZANTSIM_STEP silent[] = {Deliver(1), Deliver(2), Stop()};
    const struct Case {
        const char* name;
        const ZANTSIM_STEP* steps;
        int count;
        int lastCode;
    } cases[] = {{"failing delivery", failing, 4, ZANTSIM_CC_LINK_ERROR}, {"silent camera", silent, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zantsim_ScriptDeliveries(c.steps, c.count);
        QMV3_STREAM_OPTIONS options = Options();
        options.silenceMilliseconds = 200;
        QMV3_STREAM* stream = Open(options);
        DIMAGE* frame = nullptr;
        for (uint32_t n = 1; n <= 2; ++n) {
            ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(stream, 5000, &frame));
            EXPECT_EQ(n, frame->frameHeader.frameNumber);
            qmStreamRelease(stream, frame);
        }
        ASSERT_EQ(QMV3_STREAM_LINK_LOST, qmStreamNext(stream, 5000, &frame));
        EXPECT_EQ(c.lastCode, Stats(stream).lastZantCode);
        EXPECT_EQ(0, Stats(stream).linkUp);
        // The new subscription delivers normally.
        zantsim_ScriptDeliveries(nullptr, 0);
        int result = QMV3_STREAM_LINK_LOST;
        for (int i = 0; i < 50 && result != QMV3_STREAM_OK; ++i) result = qmStreamNext(stream, 100, &frame);
        ASSERT_EQ(QMV3_STREAM_OK, result);
        EXPECT_GT(frame->frameHeader.frameNumber, 2u);
        qmStreamRelease(stream, frame);
        const QMV3_STREAM_STATISTICS stats = Stats(stream);
        EXPECT_EQ(1u, stats.linkLosses);
        EXPECT_EQ(1u, stats.resubscriptions);
        EXPECT_EQ(1, stats.linkUp);
        EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
        EXPECT_EQ(0, zantsim_OpenLinkCount());
    }
}

TEST_F(StreamTest, ResubscriptionsThatFailWaitLongerEachTime) {
    const ZANTSIM_STEP failing[] = {Deliver(0, ZANTSIM_CC_LINK_ERROR), Stop()};
    zantsim_ScriptDeliveries(failing, 2);
    QMV3_STREAM* stream = Open(Options());
    // Pauses of 100, 100, 200 and 400 ms before the four attempts.
    DIMAGE* frame = nullptr;
    const auto start = std::chrono::steady_clock::now();
    while (Stats(stream).resubscriptions < 4) ASSERT_NE(QMV3_STREAM_OK, qmStreamNext(stream, 50, &frame));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(750));
    EXPECT_GE(Stats(stream).linkLosses, 4u);
    int attaches = 0;
    for (int i = zantsim_JournalFind("AttachLinkEx2", 0); i >= 0; i = zantsim_JournalFind("AttachLinkEx2", i + 1))
        ++attaches;
    EXPECT_EQ(5, attaches);
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
}

TEST_F(StreamTest, JpegFramesAreDecompressedUnlessAskedNotTo) {
    for (int decompress : {1, 0}) {
        SCOPED_TRACE(decompress);
        QMV3_STREAM_OPTIONS options = Options();
        options.decompress = decompress;
        QMV3_STREAM* stream = Open(options, 0, "Jpeg");
        DIMAGE* frame = nullptr;
        ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(stream, 5000, &frame));
        EXPECT_EQ(decompress == 1 ? QMV3_FORMAT_GRAY : QMV3_FORMAT_JPEG, frame->frameHeader.imageFormat);
        if (decompress == 1) {
            EXPECT_EQ(64 * 64, frame->frameHeader.appendedFrameSize);
        }
        EXPECT_EQ(1, qmCheckImageValidity(frame, nullptr, 0));
        EXPECT_EQ(0u, Stats(stream).decodeFailures);
        qmStreamRelease(stream, frame);
        EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
    }
}

TEST_F(StreamTest, StreamsRunBesideAMultiFrameGrab) {
    QMV3_STREAM* stream = Open(Options(QMV3_STREAM_KEEP_OLDEST, 64));
    QMV3_STREAM* same = Open(Options(QMV3_STREAM_KEEP_OLDEST, 64), 1);
    QMBUNCHOFIMAGES images{};
    int error = 1;
    std::thread grab([&] {
        qmGrabFramesEx(&images, Camera(2).c_str(), "Small", 50, 1, QMV3_CM_TIMER, &error, nullptr, nullptr, nullptr);
    });
    for (QMV3_STREAM* s : {stream, same})
        for (int i = 0; i < 50; ++i) {
            DIMAGE* frame = nullptr;
            ASSERT_EQ(QMV3_STREAM_OK, qmStreamNext(s, 5000, &frame));
            ExpectPattern(*frame);
            qmStreamRelease(s, frame);
        }
    grab.join();
    EXPECT_EQ(QMV3_GRAB_OK, error);
    EXPECT_EQ(50u, images.numFrames);
    qmFreeBunch(&images);
    EXPECT_EQ(0u, Stats(stream).gaps);
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(stream));
    EXPECT_EQ(QMV3_STREAM_OK, qmStreamClose(same));
}

}  // namespace
}  // namespace qmv3test
