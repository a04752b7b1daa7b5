// The exported decompression calls: a JPEG image into a new buffer, in place, or a whole sequence.
// JPEG is the only compressed format decoded; every other image is left as it is (result 0).
//
// The calls keep no shared state and may run on several threads, each with its own images.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "client/frame_blocks.h"
#include "client/image_management.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

namespace {

// No valid image holds more decoded bytes than this: a record claiming a larger geometry is refused as
// undecodable before anything is allocated for it.
constexpr uint64_t kLargestRawSize = QMV3_MAX_TRANSPORT_SIZE;

// Appended width x height x bytesPerPixel in 64 bits, so that no header can wrap it into a small size.
// Zero when a factor is not positive.
uint64_t rawFrameSize(const DIMAGE& image) {
    const DIMAGE_FRAMEHEADER& header = image.frameHeader;
    const int64_t width = header.aoiWidth > 0 ? header.aoiWidth : header.sourceWidth;
    const int64_t height = header.aoiHeight > 0 ? header.aoiHeight : header.sourceHeight;
    if (width < 1 || height < 1 || header.bytesPerPixel < 1) return 0;
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(header.bytesPerPixel);
}

// The compressed bytes must lie inside the buffer the record describes.
bool hasCompressedBytes(const DIMAGE& image) {
    const int32_t compressedSize = image.frameHeader.appendedFrameSize;
    return image.frameBuffer != nullptr && compressedSize > 0 &&
           static_cast<uint32_t>(compressedSize) <= image.frameBufferSize;
}

// The decoder writes width x height x components bytes; a JPEG smaller than the record's geometry
// leaves a tail that would otherwise hold stale heap bytes.
void clearTail(unsigned char* buffer, uint64_t rawSize, int width, int height, int format) {
    const uint64_t written =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * (format == QMV3_FORMAT_RGB ? 3u : 1u);
    if (written < rawSize) std::memset(buffer + written, 0, rawSize - written);
}

void describeDecodedFrame(DIMAGE& image, uint32_t rawSize, int format) {
    image.frameHeader.imageFormat = format;
    image.frameHeader.appendedFrameSize = static_cast<int32_t>(rawSize);
    image.frameHeader.imageFlags &= ~QMV3_FLAG_IMAGE_LOSSLESS;
    image.sourceHeader.totalLength = rawSize + QMV3_IMAGE_HEADER_SIZE;
}

int decompressImage(DIMAGE* outImage, const DIMAGE* inImage) {
    if (outImage == nullptr || inImage == nullptr) return QMV3_DECOMPRESS_NULL_ARGUMENT;
    if (inImage->frameHeader.imageFormat != QMV3_FORMAT_JPEG) return QMV3_DECOMPRESS_NOT_JPEG;
    const uint64_t rawSize = rawFrameSize(*inImage);
    if (rawSize == 0 || rawSize > kLargestRawSize || !hasCompressedBytes(*inImage))
        return QMV3_DECOMPRESS_DECODE_FAILED;
    auto* pixels = static_cast<unsigned char*>(std::malloc(rawSize));
    if (pixels == nullptr) return QMV3_DECOMPRESS_OUT_OF_MEMORY;
    int width = 0, height = 0, format = 0;
    if (!_internal_DecompressJPEG(inImage->frameBuffer, inImage->frameHeader.appendedFrameSize, pixels,
                                  static_cast<unsigned>(rawSize), width, height, format)) {
        std::free(pixels);
        return QMV3_DECOMPRESS_DECODE_FAILED;
    }
    clearTail(pixels, rawSize, width, height, format);
    *outImage = *inImage;
    describeDecodedFrame(*outImage, static_cast<uint32_t>(rawSize), format);
    outImage->frameBuffer = pixels;
    // The capacity is the allocation: never more, and never less than the appendedFrameSize it holds
    // (a stream smaller than the record's geometry would otherwise give an invalid record).
    outImage->frameBufferSize = static_cast<uint32_t>(rawSize);
    return QMV3_DECOMPRESS_DONE;
}

int decompressImageInPlace(DIMAGE* image) {
    if (image == nullptr) return QMV3_DECOMPRESS_NULL_ARGUMENT;
    if (image->frameHeader.imageFormat != QMV3_FORMAT_JPEG) return QMV3_DECOMPRESS_NOT_JPEG;
    const uint64_t rawSize = rawFrameSize(*image);
    if (rawSize > kLargestRawSize) return QMV3_DECOMPRESS_DECODE_FAILED;
    if (static_cast<int32_t>(image->frameBufferSize) < static_cast<int64_t>(rawSize))
        return QMV3_DECOMPRESS_BUFFER_TOO_SMALL;
    if (rawSize == 0 || !hasCompressedBytes(*image)) return QMV3_DECOMPRESS_DECODE_FAILED;
    const size_t compressedSize = static_cast<size_t>(image->frameHeader.appendedFrameSize);
    auto* scratch = static_cast<unsigned char*>(std::malloc(compressedSize));
    if (scratch == nullptr) return QMV3_DECOMPRESS_OUT_OF_MEMORY;
    std::memcpy(scratch, image->frameBuffer, compressedSize);
    int width = 0, height = 0, format = 0;
    if (!_internal_DecompressJPEG(scratch, static_cast<int>(compressedSize), image->frameBuffer,
                                  static_cast<unsigned>(rawSize), width, height, format)) {
        // The decoder may have written rows already: put the compressed bytes back.
        std::memcpy(image->frameBuffer, scratch, compressedSize);
        std::free(scratch);
        return QMV3_DECOMPRESS_DECODE_FAILED;
    }
    std::free(scratch);
    clearTail(image->frameBuffer, rawSize, width, height, format);
    describeDecodedFrame(*image, static_cast<uint32_t>(rawSize), format);
    return QMV3_DECOMPRESS_DONE;
}

int decompressSequence(QMBUNCHOFIMAGES* sequence, int freeCompressedBuffers) {
    if (sequence == nullptr || sequence->numFrames == 0 || sequence->imageArray == nullptr)
        return QMV3_DECOMPRESS_NOT_JPEG;
    for (uint32_t index = 0; index < sequence->numFrames; ++index) {
        const DIMAGE input = sequence->imageArray[index];
        DIMAGE output;
        const int result = decompressImage(&output, &input);
        if (result < 0) return QMV3_DECOMPRESS_OUT_OF_MEMORY;
        if (result == QMV3_DECOMPRESS_NOT_JPEG) continue;
        sequence->imageArray[index] = output;
        if (freeCompressedBuffers == 1) frame_blocks::ReleaseFrameBuffer(input.frameBuffer);
    }
    return QMV3_DECOMPRESS_DONE;
}

}  // namespace

int _internal_DecompressImageInto(const DIMAGE& in, unsigned char* out, uint32_t capacity, DIMAGE& decoded,
                                  uint32_t& needed) {
    needed = 0;
    if (out == nullptr) return QMV3_DECOMPRESS_NULL_ARGUMENT;
    if (in.frameHeader.imageFormat != QMV3_FORMAT_JPEG) return QMV3_DECOMPRESS_NOT_JPEG;
    const uint64_t rawSize = rawFrameSize(in);
    if (rawSize == 0 || rawSize > kLargestRawSize || !hasCompressedBytes(in)) return QMV3_DECOMPRESS_DECODE_FAILED;
    needed = static_cast<uint32_t>(rawSize);
    if (rawSize > capacity) return QMV3_DECOMPRESS_BUFFER_TOO_SMALL;
    int width = 0, height = 0, format = 0;
    if (!_internal_DecompressJPEG(in.frameBuffer, in.frameHeader.appendedFrameSize, out, capacity, width, height,
                                  format))
        return QMV3_DECOMPRESS_DECODE_FAILED;
    clearTail(out, rawSize, width, height, format);
    decoded = in;
    describeDecodedFrame(decoded, needed, format);
    decoded.frameBuffer = out;
    decoded.frameBufferSize = needed;
    return QMV3_DECOMPRESS_DONE;
}

extern "C" {

QMV3_EXPORT int qmDecompressImage(DIMAGE* outImage, const DIMAGE* inImage) {
    return qmv3::Guarded<int>(-1, -1, [&]() -> int { return decompressImage(outImage, inImage); });
}

QMV3_EXPORT int qmDecompressImageInPlace(DIMAGE* image) {
    return qmv3::Guarded<int>(-1, -1, [&]() -> int { return decompressImageInPlace(image); });
}

QMV3_EXPORT int qmDecompressSequence(QMBUNCHOFIMAGES* sequence, int freeCompressedBuffers) {
    return qmv3::Guarded<int>(-1, -1, [&]() -> int { return decompressSequence(sequence, freeCompressedBuffers); });
}

}  // extern "C"
