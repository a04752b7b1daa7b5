// Fuzzes JPEG decompression: arbitrary bytes as the compressed frame of a record whose geometry the
// input also chooses. Both the copying and the in-place form must refuse or decode without touching
// memory outside the buffers, and a decoded record must be valid and own exactly its new buffer.
//
// Input: width (2 bytes), height (2 bytes), bytes per pixel selector, then the compressed bytes.
#include <cstdlib>

#include "fuzz_support.h"
#include "image/cdimage.h"
#include "qmv3/qmv3.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Decoded frames above this size are not asked for: the decoder's memory use, not its logic, would grow.
constexpr uint64_t kLargestFrame = 16u << 20;

DIMAGE jpegRecord(int width, int height, int bytesPerPixel, unsigned char* bytes, uint32_t size, uint32_t capacity) {
    CDIMAGE fresh;
    DIMAGE record = fresh.m_Img;
    record.frameHeader.sourceFormat = record.frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    record.frameHeader.sourceWidth = width;
    record.frameHeader.sourceHeight = height;
    record.frameHeader.xStart = record.frameHeader.yStart = 0;
    record.frameHeader.bytesPerPixel = bytesPerPixel;
    record.frameHeader.appendedFrameSize = static_cast<int32_t>(size);
    record.sourceHeader.totalLength = size + 188;
    record.frameBufferSize = capacity;
    record.frameBuffer = bytes;
    return record;
}

void decodeCopy(const DIMAGE& input) {
    DIMAGE output;
    std::memset(&output, 0, sizeof output);
    int result = qmDecompressImage(&output, &input);
    require(result >= -4 && result <= 1);
    if (result != 1) return;
    std::string message;
    require(output.frameBuffer != nullptr && output.frameBuffer != input.frameBuffer);
    require(CDIMAGE::checkValidity(output, message));
    std::free(output.frameBuffer);
}

void decodeInPlace(const DIMAGE& model, const uint8_t* bytes, uint32_t size, uint64_t rawSize) {
    uint32_t capacity = static_cast<uint32_t>(rawSize > size ? rawSize : size);
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(capacity ? capacity : 1));
    std::memcpy(buffer, bytes, size);
    DIMAGE image = model;
    image.frameBuffer = buffer;
    image.frameBufferSize = capacity;
    int result = qmDecompressImageInPlace(&image);
    require(result >= -4 && result <= 1);
    require(image.frameBuffer == buffer);
    // A refused frame keeps its compressed bytes.
    if (result != 1) require(size == 0 || std::memcmp(buffer, bytes, size) == 0);
    std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5 || size > (4u << 20)) return 0;
    qmv3fuzz::ByteReader reader(data, size);
    int width = reader.take<uint16_t>();
    int height = reader.take<uint16_t>();
    int bytesPerPixel = 1 + reader.take<uint8_t>() % 4;
    uint64_t rawSize = static_cast<uint64_t>(width) * height * bytesPerPixel;
    if (rawSize > kLargestFrame) return 0;
    uint32_t jpegSize = static_cast<uint32_t>(reader.size());
    // An exact-size copy, so that reads past the compressed bytes are caught.
    unsigned char* jpeg = static_cast<unsigned char*>(std::malloc(jpegSize ? jpegSize : 1));
    std::memcpy(jpeg, reader.data(), jpegSize);
    DIMAGE record = jpegRecord(width, height, bytesPerPixel, jpeg, jpegSize, jpegSize);
    decodeCopy(record);
    decodeInPlace(record, reader.data(), jpegSize, rawSize);
    std::free(jpeg);
    return 0;
}
