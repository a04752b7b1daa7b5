// Fixed-seed synthetic frames for the benchmarks: camera-like pixels from the stand-in's scene model (the
// frames its simulated cameras serve) in the sizes the cameras deliver, incompressible random bytes, and
// sequences of such frames as the library builds them (a malloc'ed array of records, each with its own
// malloc'ed frame buffer).
#ifndef QMV3_BENCH_SYNTHETIC_DATA_H
#define QMV3_BENCH_SYNTHETIC_DATA_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qmv3/qmv3.h"

namespace qmv3bench {

enum class Pattern {
    kScene,   // the stand-in's scene: a noisy beam spot on a dim screen, as a camera delivers
    kRandom,  // every byte random: DEFLATE cannot shrink it
};

struct FrameSpec {
    const char* name;
    int width;
    int height;
    int bytesPerPixel;
    int effectiveBits;
    int format;  // QMV3_FORMAT_GRAY or QMV3_FORMAT_RGB
    Pattern pattern;

    size_t bytes() const { return static_cast<size_t>(width) * height * bytesPerPixel; }
};

extern const FrameSpec kGrey8;        // 640 x 480, 8-bit
extern const FrameSpec kGrey16;       // 2048 x 2048, 16-bit with 12 significant bits
extern const FrameSpec kRandomBytes;  // 640 x 480 bytes of noise
extern const FrameSpec kColour24;     // 640 x 480 RGB

// The pixels of frame number index; the same shape and index always give the same bytes.
std::vector<unsigned char> MakePixels(const FrameSpec& shape, uint32_t index);

// A valid uncompressed record of the shape over a malloc'ed copy of pixels; frame number index + 1.
DIMAGE MakeImage(const FrameSpec& shape, uint32_t index, const std::vector<unsigned char>& pixels);

// count records of the shape forming one sequence; frames cycle through `distinct` different pixel sets
// so that large sequences are quick to build.
QMBUNCHOFIMAGES MakeSequence(const FrameSpec& shape, uint32_t count, uint32_t distinct = 8);
void FreeSequence(QMBUNCHOFIMAGES& sequence);

}  // namespace qmv3bench

#endif
