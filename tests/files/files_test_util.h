// Builders shared by the sequence file tests: valid images and sequences, little-endian byte writers
// for crafted files, and the release of sequences built here or loaded.
#ifndef QMV3_TESTS_FILES_FILES_TEST_UTIL_H
#define QMV3_TESTS_FILES_FILES_TEST_UTIL_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"

namespace filestest {

// A valid GRAY (bytesPerPixel 1 or 2) or RGB image with a pattern in its frame bytes.
inline DIMAGE MakeImage(int width, int height, int bytesPerPixel, int format, uint32_t frameNumber, int seed = 0) {
    DIMAGE image;
    std::memset(&image, 0, sizeof(image));
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.versionTag = 1;
    image.sourceHeader.timestampSeconds = 1690470245;  // 2023-07-27 15:04:05 UTC
    image.sourceHeader.timestampMicroseconds = 123;
    DIMAGE_FRAMEHEADER& h = image.frameHeader;
    h.sourceWidth = width;
    h.sourceHeight = height;
    h.aoiWidth = -1;
    h.aoiHeight = -1;
    h.bytesPerPixel = bytesPerPixel;
    h.effectiveBitsPerPixel = bytesPerPixel == 2 ? 12 : 8 * bytesPerPixel;
    h.horizontalBinning = 1;
    h.verticalBinning = 1;
    h.sourceFormat = format;
    h.imageFormat = format;
    h.frameNumber = frameNumber;
    h.xScale = 0.0125f;
    h.yScale = 0.0125f;
    h.scale_x_offset = -1.0f;
    h.scale_y_offset = -1.0f;
    h.fspare3 = -1.0f;
    h.imageFlags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER | QMV3_FLAG_IMAGE_LOSSLESS;
    h.ispare1 = h.ispare2 = h.ispare3 = -1;
    const int size = width * height * bytesPerPixel;
    h.appendedFrameSize = size;
    image.sourceHeader.totalLength = static_cast<uint32_t>(size + QMV3_IMAGE_HEADER_SIZE);
    image.frameBufferSize = static_cast<uint32_t>(size);
    image.frameBuffer = static_cast<unsigned char*>(std::malloc(size));
    for (int i = 0; i < size; ++i)
        image.frameBuffer[i] = static_cast<unsigned char>((i / 7 + seed * 31 + i % 5) & 0xFF);
    return image;
}

// A sequence of count images made by MakeImage with frame numbers first, first + 1, ...
inline QMBUNCHOFIMAGES MakeSequence(unsigned count, int width, int height, int bytesPerPixel, int format,
                                    uint32_t firstFrameNumber = 1) {
    QMBUNCHOFIMAGES images;
    images.numFrames = count;
    images.imageArray = static_cast<DIMAGE*>(std::malloc(sizeof(DIMAGE) * (count ? count : 1)));
    for (unsigned i = 0; i < count; ++i) {
        images.imageArray[i] =
            MakeImage(width, height, bytesPerPixel, format, firstFrameNumber ? firstFrameNumber + i : 0, i);
    }
    return images;
}

inline void FreeSequence(QMBUNCHOFIMAGES& images) {
    if (images.imageArray != nullptr) {
        for (unsigned i = 0; i < images.numFrames; ++i) std::free(images.imageArray[i].frameBuffer);
        std::free(images.imageArray);
    }
    images.imageArray = nullptr;
    images.numFrames = 0;
}

// Frees a sequence when the test ends.
class SequenceGuard {
  public:
    explicit SequenceGuard(QMBUNCHOFIMAGES& images) : images_(images) {}
    ~SequenceGuard() { FreeSequence(images_); }
    SequenceGuard(const SequenceGuard&) = delete;
    SequenceGuard& operator=(const SequenceGuard&) = delete;

  private:
    QMBUNCHOFIMAGES& images_;
};

// Little-endian byte writers for crafted files.
inline void PutLE(std::vector<unsigned char>& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

inline void PutText(std::vector<unsigned char>& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// One 252-byte metadata set.
inline void PutSet(std::vector<unsigned char>& bytes, const std::string& text) {
    std::vector<unsigned char> set(252, 0);
    std::memcpy(set.data(), text.data(), std::min<size_t>(text.size(), 250));
    set[250] = 13;
    set[251] = 10;
    bytes.insert(bytes.end(), set.begin(), set.end());
}

inline void PutLE(std::vector<unsigned char>& bytes, size_t offset, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Offsets in a file with 20 global sets.
constexpr size_t kFirstImageOffset = 14 + 20 * 252;
constexpr size_t kFirstImageSetsOffset = kFirstImageOffset + 22;

// The twenty global sets the writer produces for MakeImage(width, height, 1, GRAY) with count images.
inline std::vector<std::string> GlobalSetTexts(unsigned count, int width, int height) {
    return {"number_of_images=" + std::to_string(count),
            "width_px=" + std::to_string(width),
            "height_px=" + std::to_string(height),
            "scale_x_mm/px=0.012500",
            "scale_y_mm/px=0.012500",
            "source_width_px=" + std::to_string(width),
            "source_height_px=" + std::to_string(height),
            "aoi_width_px=-1",
            "aoi_height_px=-1",
            "x_start_px=0",
            "y_start_px=0",
            "bytes_per_pixel=1",
            "effective_bits_per_pixel=8",
            "horizontal_binning=1",
            "vertical_binning=1",
            "source_format=GRAY",
            "image_format=GRAY",
            "image_rotation=0.000000",
            "scale_x_offset=-1.000000",
            "scale_y_offset=-1.000000"};
}

}  // namespace filestest

#endif
