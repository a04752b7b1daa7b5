// Building blocks shared by the older file formats: little-endian codecs, a read-only file that
// knows how many bytes remain (so that sizes taken from a file are checked before anything is
// allocated), a written file that removes itself unless committed, and a record under
// construction that releases its frames unless handed over.
#ifndef QMV3_LEGACY_LEGACY_IO_H
#define QMV3_LEGACY_LEGACY_IO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "qmv3/qmv3.h"

namespace qmv3::legacy {

uint32_t GetU32(const unsigned char* bytes);
uint16_t GetU16(const unsigned char* bytes);
double GetDouble(const unsigned char* bytes);
void PutU32(unsigned char* bytes, uint32_t value);
void PutU16(unsigned char* bytes, uint16_t value);
void PutDouble(unsigned char* bytes, double value);

// Bytes of one frame, w * h * bits / 8; false when the product does not fit 32 bits.
bool FrameBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel, uint32_t* bytes);

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

class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens for binary reading and learns the length; false when either fails.
    bool Open(const char* path);
    uint64_t Length() const { return length_; }
    // Bytes between the read position and the end of the file.
    uint64_t Remaining() const;
    // Reads exactly count bytes; false on a short read.
    bool Read(void* destination, size_t count);
    bool Seek(uint64_t offset);

  private:
    FILE* file_ = nullptr;
    uint64_t length_ = 0;
};

// A file being written; removed on destruction unless Commit succeeded.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Create(const char* path);
    bool Write(const void* source, size_t count);
    // Closes the file; false (and the file removed) when buffered data could not be written.
    bool Commit();

  private:
    FILE* file_ = nullptr;
    std::string path_;
};

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
