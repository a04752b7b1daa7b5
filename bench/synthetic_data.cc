// Camera-like frames are rendered by the stand-in's scene model (zantsim_RenderScene) with a fixed seed,
// random bytes come from a small xorshift generator: every run sees the same bytes.
#include "synthetic_data.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "image/cdimage.h"
#include "zantsim.h"

namespace qmv3bench {

const FrameSpec kGrey8 = {"640x480 8-bit", 640, 480, 1, 8, QMV3_FORMAT_GRAY, Pattern::kScene};
const FrameSpec kGrey16 = {"2048x2048 16-bit", 2048, 2048, 2, 12, QMV3_FORMAT_GRAY, Pattern::kScene};
const FrameSpec kRandomBytes = {"640x480 random", 640, 480, 1, 8, QMV3_FORMAT_GRAY, Pattern::kRandom};
const FrameSpec kColour24 = {"640x480 RGB", 640, 480, 3, 8, QMV3_FORMAT_RGB, Pattern::kScene};

namespace {

constexpr uint32_t kSeed = 0x9E3779B9u;

struct XorShift {
    uint32_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

}  // namespace

std::vector<unsigned char> MakePixels(const FrameSpec& shape, uint32_t index) {
    std::vector<unsigned char> pixels(shape.bytes());
    XorShift random{kSeed ^ (index * 2654435761u) ^ 1u};
    if (shape.pattern == Pattern::kRandom) {
        for (unsigned char& byte : pixels) byte = static_cast<unsigned char>(random.Next() >> 24);
        return pixels;
    }
    ZANTSIM_SCENE scene;
    zantsim_DefaultScene(&scene);
    scene.width = shape.width;
    scene.height = shape.height;
    scene.format = shape.format == QMV3_FORMAT_RGB ? 1 : 0;
    scene.bytesPerPixel = shape.format == QMV3_FORMAT_RGB ? 3 : shape.bytesPerPixel;
    scene.effectiveBits = shape.format == QMV3_FORMAT_RGB ? 24 : shape.effectiveBits;
    scene.seed = kSeed;
    if (zantsim_RenderScene(&scene, index + 1, pixels.data(), pixels.size()) != 0) throw std::bad_alloc();
    return pixels;
}

DIMAGE MakeImage(const FrameSpec& shape, uint32_t index, const std::vector<unsigned char>& pixels) {
    CDIMAGE fresh;
    DIMAGE image = fresh.m_Img;
    DIMAGE_FRAMEHEADER& frame = image.frameHeader;
    frame.sourceFormat = frame.imageFormat = shape.format;
    frame.sourceWidth = shape.width;
    frame.sourceHeight = shape.height;
    frame.xStart = frame.yStart = 0;
    frame.bytesPerPixel = shape.format == QMV3_FORMAT_RGB ? 3 : shape.bytesPerPixel;
    frame.effectiveBitsPerPixel = shape.format == QMV3_FORMAT_RGB ? 24 : shape.effectiveBits;
    frame.frameNumber = index + 1;
    frame.eventNumber = index + 1;
    frame.appendedFrameSize = static_cast<int32_t>(pixels.size());
    std::strncpy(image.sourceHeader.cameraPortName, "/SIM/CAMSERVER/CAM0", sizeof image.sourceHeader.cameraPortName);
    image.sourceHeader.timestampSeconds = 1700000000u + index / 25;
    image.sourceHeader.timestampMicroseconds = (index % 25) * 40000;
    image.sourceHeader.totalLength = static_cast<uint32_t>(pixels.size()) + QMV3_IMAGE_HEADER_SIZE;
    image.frameBufferSize = static_cast<uint32_t>(pixels.size());
    image.frameBuffer = static_cast<unsigned char*>(std::malloc(pixels.size()));
    if (image.frameBuffer == nullptr) throw std::bad_alloc();
    std::memcpy(image.frameBuffer, pixels.data(), pixels.size());
    return image;
}

QMBUNCHOFIMAGES MakeSequence(const FrameSpec& shape, uint32_t count, uint32_t distinct) {
    std::vector<std::vector<unsigned char>> sets;
    for (uint32_t i = 0; i < distinct && i < count; ++i) sets.push_back(MakePixels(shape, i));
    QMBUNCHOFIMAGES sequence{};
    sequence.imageArray = static_cast<DIMAGE*>(std::calloc(count == 0 ? 1 : count, sizeof(DIMAGE)));
    if (sequence.imageArray == nullptr) throw std::bad_alloc();
    for (uint32_t i = 0; i < count; ++i) {
        sequence.imageArray[i] = MakeImage(shape, i, sets[i % sets.size()]);
        sequence.numFrames = i + 1;
    }
    return sequence;
}

void FreeSequence(QMBUNCHOFIMAGES& sequence) {
    for (uint32_t i = 0; i < sequence.numFrames; ++i) std::free(sequence.imageArray[i].frameBuffer);
    std::free(sequence.imageArray);
    sequence = QMBUNCHOFIMAGES{};
}

}  // namespace qmv3bench
