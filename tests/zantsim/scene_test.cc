// The scene model of the simulated cameras: deterministic frames, the statistics of a camera image, and
// the configuration attributes that choose and tune it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"
#include "zant.h"
#include "zantsim.h"

namespace {

class SceneTest : public ::testing::Test {
  protected:
    void SetUp() override { zantsim_Reset(); }
    void TearDown() override { zantsim_Reset(); }
};

ZANTSIM_SCENE Scene(int bytesPerPixel = 1, int noise = ZANTSIM_NOISE_NORMAL) {
    ZANTSIM_SCENE scene;
    zantsim_DefaultScene(&scene);
    scene.bytesPerPixel = bytesPerPixel;
    scene.effectiveBits = bytesPerPixel == 2 ? 12 : 8;
    scene.noise = noise;
    return scene;
}

std::vector<unsigned char> Render(const ZANTSIM_SCENE& scene, uint32_t number) {
    std::vector<unsigned char> bytes(static_cast<size_t>(scene.width) * scene.height * scene.bytesPerPixel);
    EXPECT_EQ(0, zantsim_RenderScene(&scene, number, bytes.data(), bytes.size()));
    return bytes;
}

std::vector<double> Samples(const ZANTSIM_SCENE& scene, const std::vector<unsigned char>& bytes) {
    std::vector<double> values(bytes.size() / scene.bytesPerPixel);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = scene.bytesPerPixel == 2 ? bytes[2 * i] | bytes[2 * i + 1] << 8 : bytes[i];
    return values;
}

double CompressionRatio(const std::vector<unsigned char>& bytes) {
    uLongf size = compressBound(bytes.size());
    std::vector<unsigned char> packed(size);
    EXPECT_EQ(Z_OK, compress(packed.data(), &size, bytes.data(), bytes.size()));
    return static_cast<double>(bytes.size()) / size;
}

TEST_F(SceneTest, SameSeedAndNumberGiveTheSameFrameInAnyOrder) {
    ZANTSIM_SCENE scene = Scene(2);
    const std::vector<unsigned char> five = Render(scene, 5);
    const std::vector<unsigned char> three = Render(scene, 3);
    EXPECT_EQ(five, Render(scene, 5));
    EXPECT_NE(five, three);
    scene.seed = 2;
    EXPECT_NE(five, Render(scene, 5));
    scene.width = 0;
    EXPECT_EQ(ZANTSIM_CC_INVALID_ARGUMENT, zantsim_RenderScene(&scene, 1, nullptr, 0));
}

// Mean, temporal noise (from the difference of two frames on a quiet patch), saturated pixels, the
// spot's place and peak, and the zlib ratio at the default level.
TEST_F(SceneTest, FramesHaveTheStatisticsOfACameraImage) {
    const struct {
        int bytesPerPixel;
        double meanLow, meanHigh, noiseLow, noiseHigh;
    } table[] = {{1, 15, 24, 0.7, 1.6}, {2, 240, 380, 12, 25}};
    for (const auto& row : table) {
        const ZANTSIM_SCENE scene = Scene(row.bytesPerPixel);
        const double full = row.bytesPerPixel == 2 ? 4095 : 255;
        for (uint32_t number : {1u, 400u}) {
            const std::vector<unsigned char> bytes = Render(scene, number);
            const std::vector<double> frame = Samples(scene, bytes), next = Samples(scene, Render(scene, number + 1));
            double sum = 0.0, differences = 0.0;
            int saturated = 0, patch = 0;
            for (double value : frame) {
                sum += value;
                saturated += value >= full;
            }
            for (int y = 60; y < 100; ++y)
                for (int x = 200; x < 260; ++x, ++patch)
                    differences += std::pow(frame[y * 640 + x] - next[y * 640 + x], 2);
            const double noise = std::sqrt(differences / patch / 2);
            SCOPED_TRACE(testing::Message() << row.bytesPerPixel << " bytes, frame " << number);
            EXPECT_GT(sum / frame.size(), row.meanLow);
            EXPECT_LT(sum / frame.size(), row.meanHigh);
            EXPECT_GT(noise, row.noiseLow);
            EXPECT_LT(noise, row.noiseHigh);
            EXPECT_GE(saturated, 3);
            EXPECT_LE(saturated, 80);
            EXPECT_GE(CompressionRatio(bytes), 1.3);
            EXPECT_LE(CompressionRatio(bytes), 4.0);

            double x = 0, y = 0, peak = 0;
            ASSERT_EQ(0, zantsim_SceneSpot(&scene, number, &x, &y, &peak));
            EXPECT_GT(peak, 0.95 * full);
            // Without noise (and hot pixels) the spot's centroid above the background lies at the model's
            // centre and its core is clipped.
            const std::vector<double> clean =
                Samples(scene, Render(Scene(row.bytesPerPixel, ZANTSIM_NOISE_NONE), number));
            double weight = 0, cx = 0, cy = 0, brightest = 0;
            for (int py = static_cast<int>(y) - 40; py <= static_cast<int>(y) + 40; ++py)
                for (int px = static_cast<int>(x) - 40; px <= static_cast<int>(x) + 40; ++px) {
                    const double above = clean[py * 640 + px] - 0.1 * full;
                    if (above <= 0) continue;
                    weight += above;
                    cx += above * (px + 0.5);
                    cy += above * (py + 0.5);
                    brightest = std::max(brightest, clean[py * 640 + px]);
                }
            EXPECT_NEAR(x, cx / weight, 1.0);
            EXPECT_NEAR(y, cy / weight, 1.0);
            EXPECT_EQ(full, brightest);
        }
    }
}

TEST_F(SceneTest, NoiseLevelsOrderTheTemporalNoise) {
    double previous = -1.0;
    for (int level : {ZANTSIM_NOISE_NONE, ZANTSIM_NOISE_LOW, ZANTSIM_NOISE_NORMAL, ZANTSIM_NOISE_HIGH}) {
        const ZANTSIM_SCENE scene = Scene(2, level);
        const std::vector<double> a = Samples(scene, Render(scene, 7)), b = Samples(scene, Render(scene, 8));
        double differences = 0.0;
        for (int i = 0; i < 640 * 40; ++i) differences += std::pow(a[i] - b[i], 2);
        if (level == ZANTSIM_NOISE_NONE) {
            EXPECT_EQ(0.0, differences);
        } else {
            EXPECT_GT(differences, 1.5 * previous) << "noise level " << level;
        }
        previous = differences;
    }
}

// A read of the default camera gives the scene of the default settings; configured attributes tune it.
TEST_F(SceneTest, DefaultCameraAndConfiguredPropertiesServeTheScene) {
    auto read = [](const char* address, const char* property, size_t size) {
        std::vector<unsigned char> bytes(size);
        DIMAGE image{};
        image.frameBuffer = bytes.data();
        image.frameBufferSize = static_cast<uint32_t>(size);
        DTYPE out{};
        out.dArrayLength = static_cast<uint32_t>(size);
        out.dFormat = CF_IMAGE;
        out.data = &image;
        EXPECT_EQ(0, alsnExecLinkEx(address, property, &out, nullptr, 1, 100, nullptr));
        return bytes;
    };
    EXPECT_EQ(Render(Scene(1), 1), read(ZANTSIM_DEFAULT_ADDRESS, "Frame", 307200));
    EXPECT_EQ(Render(Scene(2), 1), read(ZANTSIM_DEFAULT_ADDRESS, "Frame16", 614400));

    qmv3test::TempDir dir;
    const std::string path = dir.file("scene.xml");
    const std::string text =
        "<zantsim><device address=\"/LAB/SCREEN/CAM2\"><property name=\"Beam\" width=\"200\" height=\"100\" "
        "bytesPerPixel=\"2\" effectiveBits=\"10\" source=\"scene\" seed=\"7\" spotSigma=\"5.5\" spotPeak=\"0.5\" "
        "noise=\"high\"/></device></zantsim>";
    qmv3test::WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    ASSERT_EQ(0, zantsim_LoadConfiguration(path.c_str()));
    ZANTSIM_SCENE scene = Scene(2, ZANTSIM_NOISE_HIGH);
    scene.width = 200;
    scene.height = 100;
    scene.effectiveBits = 10;
    scene.seed = 7;
    scene.spotSigma = 5.5;
    scene.spotPeak = 0.5;
    EXPECT_EQ(Render(scene, 1), read("/LAB/SCREEN/CAM2", "Beam", 40000));

    const char* const malformed[] = {
        "source=\"film\"", "noise=\"loud\"",        "spotPeak=\"-1\"",       "spotSigma=\"0\"",
        "seed=\"x\"",      "jitterMs=\"-5\"",       "dropProbability=\"2\"", "repeatProbability=\"a\"",
        "loop=\"yes\"",    "frameNumbers=\"both\"", "source=\"replay\""};
    for (const char* attribute : malformed) {
        const std::string bad = "<zantsim><device address=\"/A/B/C\"><property name=\"P\" " + std::string(attribute) +
                                "/></device></zantsim>";
        qmv3test::WriteFileBytes(path, std::vector<unsigned char>(bad.begin(), bad.end()));
        qmv3test::StreamCapture capture(2);
        EXPECT_EQ(-1, zantsim_LoadConfiguration(path.c_str())) << attribute;
        capture.End();
    }
}

}  // namespace

namespace {

// Served frames above 1 MiB come from a ring of exact frames with a cheap dither: within the dither's two
// low bits of the exact frame of their ring place, the same for the same number after a reset, and
// different from frame to frame.
TEST_F(SceneTest, LargeServedFramesAreDitheredRingFramesDeterministicFromTheSeed) {
    qmv3test::TempDir dir;
    const std::string path = dir.file("large.xml");
    const std::string text =
        "<zantsim><device address=\"/LAB/BIG/CAM1\"><property name=\"Big\" width=\"1024\" height=\"1024\" "
        "bytesPerPixel=\"2\" effectiveBits=\"12\" seed=\"5\"/></device></zantsim>";
    qmv3test::WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    const auto serve = [&](int count) {
        EXPECT_EQ(0, zantsim_LoadConfiguration(path.c_str()));  // numbering starts again at 1
        std::vector<std::vector<unsigned char>> frames;
        for (int i = 0; i < count; ++i) {
            std::vector<unsigned char> bytes(1024 * 1024 * 2);
            DIMAGE image{};
            image.frameBuffer = bytes.data();
            image.frameBufferSize = static_cast<uint32_t>(bytes.size());
            DTYPE out{};
            out.dArrayLength = image.frameBufferSize;
            out.dFormat = CF_IMAGE;
            out.data = &image;
            EXPECT_EQ(0, alsnExecLinkEx("/LAB/BIG/CAM1", "Big", &out, nullptr, 1, 100, nullptr));
            frames.push_back(bytes);
        }
        return frames;
    };
    const std::vector<std::vector<unsigned char>> first = serve(9), again = serve(1);
    EXPECT_EQ(first[0], again[0]);
    EXPECT_NE(first[0], first[8]);
    ZANTSIM_SCENE scene = Scene(2);
    scene.width = scene.height = 1024;
    scene.seed = 5;
    for (int n : {1, 9}) {
        const std::vector<double> exact = Samples(scene, Render(scene, 1));
        const std::vector<double> served = Samples(scene, first[n - 1]);
        double largest = 0;
        for (size_t i = 0; i < exact.size(); ++i) largest = std::max(largest, std::fabs(served[i] - exact[i]));
        EXPECT_LE(largest, 3.0) << "frame " << n;
        EXPECT_GE(largest, 1.0) << "frame " << n;
    }
}

}  // namespace
