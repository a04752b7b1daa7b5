// Small images for the image tests: a valid record over a vector of pixel bytes that the test keeps.
#ifndef QMV3_TESTS_IMAGE_IMAGE_FIXTURE_H
#define QMV3_TESTS_IMAGE_IMAGE_FIXTURE_H

#include <cstring>
#include <vector>

#include "image/cdimage.h"

namespace imagetest {

// A valid uncompressed record of width x height pixels whose frame buffer is bytes (not owned).
inline DIMAGE MakeRecord(int format, int width, int height, int bytesPerPixel, std::vector<unsigned char>& bytes) {
    CDIMAGE fresh;
    DIMAGE record = fresh.m_Img;
    record.frameHeader.sourceFormat = record.frameHeader.imageFormat = format;
    record.frameHeader.sourceWidth = width;
    record.frameHeader.sourceHeight = height;
    record.frameHeader.xStart = record.frameHeader.yStart = 0;
    record.frameHeader.bytesPerPixel = bytesPerPixel;
    record.frameHeader.appendedFrameSize = static_cast<int>(bytes.size());
    record.sourceHeader.totalLength = static_cast<uint32_t>(bytes.size()) + 188;
    record.frameBufferSize = static_cast<uint32_t>(bytes.size());
    record.frameBuffer = bytes.data();
    return record;
}

inline std::vector<unsigned char> Words(const std::vector<uint16_t>& values) {
    std::vector<unsigned char> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

inline std::vector<uint16_t> WordsOf(const unsigned char* bytes, size_t count) {
    std::vector<uint16_t> values(count);
    std::memcpy(values.data(), bytes, count * 2);
    return values;
}

}  // namespace imagetest

#endif
