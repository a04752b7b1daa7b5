// Multi-frame grabs under load, meant for the ThreadSanitizer build as much as the plain one: ten
// thousand frames at the fastest rate with scripted repetitions, error codes and pauses must arrive
// exactly once each and in order, and an interrupt raised from another thread at any moment must end
// a grab cleanly with the frames received so far.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"
#include "zantsim.h"

namespace {

const char* const kCamera = "/SIM/STRESSSRV/CAM1";
const char* const kProperty = "Small";
constexpr int kWidth = 32;
constexpr int kHeight = 8;

ZANTSIM_STEP Deliver(uint32_t frameNumber, int code = 0) { return {ZANTSIM_STEP_DELIVER, frameNumber, code, 0}; }
ZANTSIM_STEP Pause(int milliseconds) { return {ZANTSIM_STEP_PAUSE, 0, 0, milliseconds}; }

class GrabStress : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string config = dir.file("stress.xml");
        const std::string text = std::string("<zantsim><device address=\"") + kCamera + "\"><property name=\"" +
                                 kProperty +
                                 "\" source=\"pattern\" width=\"32\" height=\"8\" minRateMs=\"1\"/></device></zantsim>";
        qmv3test::WriteFileBytes(config, std::vector<unsigned char>(text.begin(), text.end()));
        setenv(ZANTSIM_CONFIG_ENV, config.c_str(), 1);
        zantsim_Reset();
    }
    void TearDown() override {
        qmFreeBunch(&images);
        EXPECT_EQ(0, zantsim_OpenLinkCount());
        EXPECT_EQ(0, zantsim_DeliveryThreadCount());
        zantsim_Reset();
        unsetenv(ZANTSIM_CONFIG_ENV);
    }
    int Grab(unsigned frames, int* interrupt) {
        qmFreeBunch(&images);
        return qmGrabFramesEx2(&images, nullptr, kCamera, kProperty, frames, 1, 3, &error, &zantError, interrupt,
                               &progress);
    }
    // Every stored frame carries the test pattern of its own number and numbers rise by one from first.
    void ExpectConsecutiveFrames(uint32_t first) {
        for (uint32_t i = 0; i < images.numFrames; ++i) {
            const DIMAGE& image = images.imageArray[i];
            ASSERT_EQ(first + i, image.frameHeader.frameNumber) << "frame " << i;
            ASSERT_EQ(kWidth * kHeight, image.frameHeader.appendedFrameSize);
            for (int y = 0; y < kHeight; y += 7)
                for (int x = 0; x < kWidth; x += 5)
                    ASSERT_EQ((x + 2 * y + 3 * (first + i)) & 0xFF, image.frameBuffer[y * kWidth + x]) << "frame " << i;
        }
    }
    qmv3test::TempDir dir;
    QMBUNCHOFIMAGES images{};
    int error = 99;
    int zantError = 99;
    double progress = -1.0;
};

TEST_F(GrabStress, TenThousandFramesArriveOnceEachAndInOrder) {
    // A script of repetitions, failed deliveries and short pauses between frames 1 .. n; the simulated
    // camera then goes on with n + 1, n + 2, ...
    std::mt19937 random(1000);
    std::vector<ZANTSIM_STEP> steps;
    uint32_t number = 0;
    while (steps.size() < 4090) {
        switch (random() % 8) {
            case 0:
                steps.push_back(Deliver(number == 0 ? 1 : number));
                break;  // a repetition
            case 1:
                steps.push_back(Deliver(0, 17));
                break;
            case 2:
                steps.push_back(Pause(1 + random() % 3));
                break;
            default:
                steps.push_back(Deliver(++number));
                break;
        }
    }
    ASSERT_EQ(0, zantsim_ScriptDeliveries(steps.data(), static_cast<int>(steps.size())));
    EXPECT_EQ(10000, Grab(10000, nullptr));
    EXPECT_EQ(0, error);
    EXPECT_DOUBLE_EQ(1.0, progress);
    ASSERT_EQ(10000u, images.numFrames);
    ExpectConsecutiveFrames(1);
    EXPECT_EQ(1, qmIsCompleteSequence(&images));
}

TEST_F(GrabStress, InterruptAtRandomMomentsEndsTheGrabWithItsFrames) {
    std::mt19937 random(2000);
    uint32_t nextFirst = 1;
    for (int round = 0; round < 20; ++round) {
        int interrupt = 0;
        const int delayMicroseconds = static_cast<int>(random() % 600000);
        std::thread interrupter([&interrupt, delayMicroseconds] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds));
            __atomic_store_n(&interrupt, 1, __ATOMIC_RELAXED);
        });
        const int stored = Grab(500, &interrupt);
        interrupter.join();
        ASSERT_GE(stored, 0) << "round " << round;
        ASSERT_EQ(static_cast<uint32_t>(stored), images.numFrames);
        EXPECT_TRUE(error == -7 || (error == 0 && stored == 500)) << "round " << round << ", error " << error;
        if (stored > 0) {
            // The camera's numbers run on between grabs; within one grab none is lost.
            ASSERT_GE(images.imageArray[0].frameHeader.frameNumber, nextFirst);
            ExpectConsecutiveFrames(images.imageArray[0].frameHeader.frameNumber);
            nextFirst = images.imageArray[stored - 1].frameHeader.frameNumber + 1;
        }
        EXPECT_EQ(0, zantsim_OpenLinkCount()) << "round " << round;
    }
}

}  // namespace
