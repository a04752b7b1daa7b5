// Records of random small headers over buffers exactly as large as they claim: every operation either
// refuses an invalid image or leaves a valid one, and none reads or writes outside the buffer (the
// sanitizer build checks the latter).
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/cdimage.h"

namespace {

template <typename T>
T Pick(std::mt19937& random, std::initializer_list<T> values) {
    std::uniform_int_distribution<size_t> index(0, values.size() - 1);
    return *(values.begin() + index(random));
}

DIMAGE RandomRecord(std::mt19937& random, std::vector<unsigned char>& buffer) {
    CDIMAGE fresh;
    DIMAGE d = fresh.m_Img;
    DIMAGE_FRAMEHEADER& fh = d.frameHeader;
    fh.sourceWidth = Pick(random, {0, 1, 2, 3, 5});
    fh.sourceHeight = Pick(random, {0, 1, 2, 4});
    fh.aoiWidth = Pick(random, {-1, -1, 0, 1, 2, 3});
    fh.aoiHeight = Pick(random, {-1, -1, 0, 1, 2});
    fh.xStart = Pick(random, {0, 0, 1, 2});
    fh.yStart = Pick(random, {0, 0, 1, 2});
    fh.bytesPerPixel = Pick(random, {1, 2, 3, 4});
    fh.effectiveBitsPerPixel = Pick(random, {-1, 8, 12, 16, 24});
    fh.imageFormat = fh.sourceFormat = Pick(random, {0, 0, 1, 5});
    fh.imageFlags = Pick(random, {0, 0, 0x10});
    buffer.assign(std::uniform_int_distribution<size_t>(0, 64)(random), 0);
    for (unsigned char& byte : buffer) byte = static_cast<unsigned char>(random());
    fh.appendedFrameSize = std::uniform_int_distribution<int>(-1, static_cast<int>(buffer.size()))(random);
    d.sourceHeader.totalLength = fh.appendedFrameSize > 0 ? fh.appendedFrameSize + 188u : 188u;
    d.frameBufferSize = static_cast<uint32_t>(buffer.size());
    d.frameBuffer = buffer.empty() ? nullptr : buffer.data();
    return d;
}

using Operation = std::function<bool(CDIMAGE&, std::mt19937&)>;

TEST(ImageRobustness, OperationsRefuseInvalidImagesAndKeepValidOnesValid) {
    unsigned char scratch[64];
    const std::vector<std::pair<const char*, Operation>> operations = {
        {"binning", [](CDIMAGE& i, std::mt19937& r) { return i.performFastBinning(r() % 4, r() % 4); }},
        {"older normalisation",
         [](CDIMAGE& i, std::mt19937& r) {
             return i.performNormalisationBuggy(static_cast<tNormalisationMode>(r() % 2));
         }},
        {"normalisation",
         [](CDIMAGE& i, std::mt19937& r) { return i.performNormalisationLimitImproved(r() % 3, 255); }},
        {"grey to one byte", [](CDIMAGE& i, std::mt19937&) { return i.performGrayscaleDownscaleTo1BytePerPixel(); }},
        {"colour to grey", [](CDIMAGE& i, std::mt19937& r) { return i.performRGB24DownscaleToGrayN(1 + r() % 16); }},
        {"cut-out",
         [](CDIMAGE& i, std::mt19937& r) {
             auto value = [&r] { return Pick(r, {-1, 0, 1, 2}); };
             return i.cutoutAreaOfInterest(value(), value(), value(), value());
         }},
        {"intensity",
         [](CDIMAGE& i, std::mt19937&) {
             unsigned long long sum;
             return i.performIntensityCalculation(sum);
         }},
        {"expand", [&scratch](CDIMAGE& i, std::mt19937& r) { return i.expandAoi(scratch, sizeof(scratch), r() % 2); }},
    };
    std::mt19937 random(20231114);
    int validSeen = 0, changedSeen = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<unsigned char> buffer;
        const DIMAGE record = RandomRecord(random, buffer);
        std::string message;
        const bool valid = CDIMAGE::checkValidity(record, message);
        validSeen += valid;
        for (const auto& operation : operations) {
            CDIMAGE image(record);
            const bool done = operation.second(image, random);
            if (!valid) {
                ASSERT_FALSE(done) << operation.first << ": " << message;
                continue;
            }
            changedSeen += done;
            if (done) {
                ASSERT_TRUE(CDIMAGE::checkValidity(image.m_Img, message)) << operation.first << ": " << message;
            }
        }
    }
    EXPECT_GT(validSeen, 100);
    EXPECT_GT(changedSeen, 100);
}

}  // namespace
