// Fuzzes the tool's import of TIFF and PNG images (multi-page, planar, tiled, compressed, palette, alpha):
// any input must become valid uncompressed frames or be refused with a reason, and a frame read in must
// encode as a PNG that reads back to the same pixels and facts.
//
// Input: the file itself.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "interchange.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Frames of hostile files stay small enough for the fuzzer's memory limit.
const uint64_t kMaxBytes = 64ull << 20;

void checkReencode(const DIMAGE& image) {
    std::vector<unsigned char> png;
    std::string message;
    require(qmv3tool::EncodePng(image, false, png, message));
    qmv3tool::Sequence again;
    qmv3tool::ImportLimits limits;
    limits.maxTotalBytes = kMaxBytes;
    require(qmv3tool::ImportImageMemory(png.data(), png.size(), again, limits, message));
    require(again.size() == 1);
    const DIMAGE& back = again[0];
    require(back.frameHeader.appendedFrameSize == image.frameHeader.appendedFrameSize);
    require(std::memcmp(back.frameBuffer, image.frameBuffer, image.frameHeader.appendedFrameSize) == 0);
    require(back.frameHeader.frameNumber == image.frameHeader.frameNumber);
    require(back.sourceHeader.timestampSeconds == image.sourceHeader.timestampSeconds);
    require(back.frameHeader.imageFormat == image.frameHeader.imageFormat);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qmv3tool::Sequence sequence;
    qmv3tool::ImportLimits limits;
    limits.maxTotalBytes = kMaxBytes;
    std::string message;
    if (!qmv3tool::ImportImageMemory(data, size, sequence, limits, message)) {
        require(!message.empty() && sequence.size() == 0);
        return 0;
    }
    require(sequence.size() >= 1);
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        const DIMAGE& image = sequence[i];
        require(qmCheckImageValidity(&image, nullptr, 0) == 1);
        require(image.frameHeader.imageFormat == QMV3_FORMAT_GRAY || image.frameHeader.imageFormat == QMV3_FORMAT_RGB);
    }
    checkReencode(sequence[0]);
    return 0;
}
