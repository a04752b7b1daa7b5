// Building blocks shared by the older file formats: their layout constants, the frame words, the
// checks before a save and a record under construction that releases its frames unless handed over.
// Fields are read and written with byte_io (sizes taken from a file are checked against what remains
// before anything is allocated), files are written through OutputFile.
#ifndef QMV3_LEGACY_LEGACY_IO_H
#define QMV3_LEGACY_LEGACY_IO_H

#include <cstddef>
#include <cstdint>

#include "platform/output_file.h"
#include "qmv3/qmv3.h"
#include "util/byte_io.h"

namespace qmv3::legacy {

using byte_io::ByteReader;
using byte_io::Load;
using byte_io::Store;

// Layout of the frame records, shared by the loaders, the savers and the detectors. IMM and BKG: two
// header words, the pixels and (IMM only) the frame's scale. IMC and BKC: a file header (width,
// height, bits word, frame count) and per frame its scale and both lengths before the stream.
constexpr size_t kFrameWordsBytes = 8;
constexpr size_t kScaleBytes = 8;
constexpr size_t kImcFileHeaderBytes = 16;
constexpr size_t kImcFrameHeaderBytes = 16;

// Bytes of one frame, w * h * bits / 8; false when the product does not fit 32 bits.
bool FrameBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel, uint32_t* bytes);

// The frames an older file claims, before anything is allocated for them: each within the library's
// largest frame (QMV3_LEGACY_LOAD_BAD_CONTENT otherwise) and all together within the load memory limit
// (QMV3_LEGACY_LOAD_LIMIT_EXCEEDED; LastRefusedBytes() then tells the calling thread what they needed).
int CheckFramesToLoad(uint64_t count, uint32_t frameBytes);
uint64_t LastRefusedBytes();

// The two header words of IMM and BKG frames: width and height in bits 0-15, bits per pixel and
// effective bits in bits 16-23 (0 standing for 8).
struct FrameWords {
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerPixel;
    uint32_t effectiveBits;
};
FrameWords DecodeFrameWords(const unsigned char* eightBytes);
void EncodeFrameWords(const VIDINFHDR& rec, unsigned char* eightBytes);

// The first steps of an IMM or BKG load: the record must be empty, the file opens, its first frame
// words are read and give a frame size within 32 bits other than 0. Returns 0 or the load code.
int OpenFrameWordsFile(const char* path, const VIDINFHDR* rec, ByteReader& file, FrameWords& words,
                       uint32_t& frameBytes);
// The first steps of an IMM or BKG save: the record is checked (16-bit geometry), its frame words are
// encoded into words and the file is created. Returns 0 or the save code.
int CreateFrameWordsFile(const char* path, const VIDINFHDR* rec, OutputFile& file, unsigned char* words,
                         uint32_t& frameBytes);

// Checks a record before a file is created: arrays and frames present, at least one frame, the
// frame size within 32 bits (and width and height within 16 bits when the format stores them so).
// Returns 0 or -3 and the bytes of one frame.
int CheckRecordForSave(const VIDINFHDR* rec, bool sixteenBitGeometry, uint32_t* frameBytes);

// Stores value into progress when progress is set.
inline void Report(double* progress, double value) {
    if (progress != nullptr) *progress = value;
}

// True when the cancel flag is set and holds 1.
inline bool Cancelled(const int* cancel) { return cancel != nullptr && *cancel == 1; }

// Opens a file for a loader and takes its length; false when it cannot be opened or is no regular file.
bool OpenForLoad(ByteReader& file, const char* path);

// Creates a file for a saver, replacing an existing one as these formats always did; false also when
// there is no memory to remember its name.
bool CreateForSave(OutputFile& file, const char* path);

// A record being loaded: type stays -1 and its arrays are released on destruction until Release
// hands it over.
class PendingRecord {
  public:
    PendingRecord();
    ~PendingRecord();
    PendingRecord(const PendingRecord&) = delete;
    PendingRecord& operator=(const PendingRecord&) = delete;

    // Allocates framescales and zeroed framebits for count frames; false when out of memory.
    bool AllocateArrays(uint32_t count);
    VIDINFHDR& record() { return record_; }
    // Returns the record and forgets it.
    VIDINFHDR Release();

  private:
    VIDINFHDR record_;
};

// Releases the arrays and frames of a record whatever its type and leaves it empty.
void ReleaseFrames(VIDINFHDR* rec);

// A record is empty for the loaders when both arrays are null.
inline bool IsEmptyRecord(const VIDINFHDR* rec) { return rec->framebits == nullptr && rec->framescales == nullptr; }

// Types the savers accept: 1 to 4 and 6.
inline bool IsSavableType(int type) { return (type >= 1 && type <= 4) || type == 6; }

}  // namespace qmv3::legacy

#endif
