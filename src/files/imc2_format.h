// Layout constants of the IMC2/BKC2 image sequence file (its writer and reader return the QMV3_SAVE_* and
// QMV3_LOAD_* codes of the public header).
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

// The smallest image section a file can hold: its header, two sets and one pixel byte. Used to bound
// the image count read from a file before anything is allocated for it.
constexpr uint64_t kMinImageSectionSize = kImageHeaderSize + kMinImageMetadataSets * kMetadataSetSize + 1;

// Deflate cannot expand a stream by more than this factor; a longer len_uncompressed is a broken file.
constexpr uint64_t kMaxDeflateRatio = 1032;

// Size of the message buffers that the validation functions fill.
constexpr size_t kErrorTextSize = 200;

}  // namespace imc2

#endif
