// Layout constants of the IMC2/BKC2 image sequence file and the result codes of its writer and reader.
//
// A file is: a 14-byte header (two magic words, the count of global metadata sets, CR LF), the global
// metadata sets, then per image a 22-byte header (two 8-byte lengths, the count of its metadata sets,
// CR LF), its metadata sets and its pixel block. Integers are unsigned little-endian; a metadata set is
// a fixed 252-byte record holding one "key=value" text.
#ifndef QMV3_FILES_IMC2_FORMAT_H
#define QMV3_FILES_IMC2_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace imc2 {

constexpr uint32_t kMagic1 = 0;
constexpr uint32_t kMagic2 = 1;
constexpr unsigned char kCarriageReturn = 13;
constexpr unsigned char kLineFeed = 10;

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kImageHeaderSize = 22;

// One metadata set: 250 bytes of NUL-padded text (byte 249 always NUL), then CR and LF.
constexpr size_t kMetadataSetSize = 252;
constexpr size_t kMetadataTextSize = 250;
constexpr size_t kMetadataMaxTextLength = 249;
// Key and value together, without the "=".
constexpr size_t kMetadataMaxKeyValueLength = 248;

constexpr uint32_t kMaxGlobalMetadataSets = 100;
constexpr uint32_t kMinImageMetadataSets = 2;
constexpr uint32_t kMaxImageMetadataSets = 10;
constexpr uint32_t kMaxImagesWritten = 10000;
// Both length fields of an image are limited to the int32 range.
constexpr uint64_t kMaxBlockLength = 2147483647;

// Deflate cannot expand a stream by more than this factor; a longer len_uncompressed is a broken file.
constexpr uint64_t kMaxDeflateRatio = 1032;

// Size of the message buffers that the validation functions fill.
constexpr size_t kErrorTextSize = 200;

}  // namespace imc2

// Codes of qmSaveImagesToFileEx (besides the codes of the older savers).
enum Imc2SaveCode {
    kSaveOk = 0,
    kSaveOpenFailed = -4,
    kSaveWriteFailed = -5,
    kSaveOutOfMemory = -6,
    kSaveCompressionFailed = -7,
    kSaveInterrupted = -9,
    kSaveParameterError = -12,
    kSaveNotASequence = -13,
    kSaveFileExists = -14,
    kSaveMetadataError = -15,
    kSaveTranscodingFailed = -16,
};

// Codes of qmLoadImagesFromFileEx.
enum Imc2LoadCode {
    kLoadOk = 0,
    kLoadParameterError = -1,
    kLoadInvalidImage = -2,
    kLoadInvalidFile = -3,
    kLoadOpenFailed = -4,
    kLoadShortRead = -5,
    kLoadMalformedSet = -6,
    kLoadOutOfMemory = -7,
    kLoadDecompressionFailed = -8,
    kLoadInterrupted = -9,
    kLoadLengthTooLarge = -11,
    kLoadImmFailed = -12,
    kLoadBkgFailed = -13,
    kLoadImcBkcFailed = -14,
    kLoadTranscodingFailed = -15,
};

#endif
