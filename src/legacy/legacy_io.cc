// Little-endian codecs, checked files and the pending record of the older file formats.
#include "legacy/legacy_io.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace qmv3::legacy {

uint32_t GetU32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint16_t GetU16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | static_cast<unsigned>(bytes[1]) << 8);
}

double GetDouble(const unsigned char* bytes) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | bytes[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void PutU32(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

void PutU16(unsigned char* bytes, uint16_t value) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

void PutDouble(unsigned char* bytes, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

bool FrameBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel, uint32_t* bytes) {
    // Each factor is at most 32 bits, so the product of the first two cannot overflow 64 bits.
    uint64_t pixels = width * height;
    if (bitsPerPixel != 0 && pixels > std::numeric_limits<uint64_t>::max() / bitsPerPixel) return false;
    uint64_t total = pixels * bitsPerPixel / 8;
    if (total > std::numeric_limits<uint32_t>::max()) return false;
    *bytes = static_cast<uint32_t>(total);
    return true;
}

FrameWords DecodeFrameWords(const unsigned char* eightBytes) {
    uint32_t first = GetU32(eightBytes);
    uint32_t second = GetU32(eightBytes + 4);
    FrameWords words;
    words.width = first & 0xFFFF;
    words.height = second & 0xFFFF;
    words.bitsPerPixel = (first >> 16) & 0xFF;
    words.effectiveBits = (second >> 16) & 0xFF;
    if (words.bitsPerPixel == 0) words.bitsPerPixel = 8;
    if (words.effectiveBits == 0) words.effectiveBits = 8;
    return words;
}

void EncodeFrameWords(const VIDINFHDR& rec, unsigned char* eightBytes) {
    uint32_t bits = 0;
    uint32_t effective = 0;
    if (rec.bpp != 8) {
        bits = rec.bpp & 0xFF;
        effective = (rec.ebitpp != 0 ? rec.ebitpp : rec.bpp) & 0xFF;
    }
    PutU32(eightBytes, (rec.width & 0xFFFF) | bits << 16);
    PutU32(eightBytes + 4, (rec.height & 0xFFFF) | effective << 16);
}

int CheckRecordForSave(const VIDINFHDR* rec, bool sixteenBitGeometry, uint32_t* frameBytes) {
    if (rec->numframes < 1 || rec->framebits == nullptr || rec->framescales == nullptr)
        return QMV3_LEGACY_SAVE_NO_FRAMES;
    if (sixteenBitGeometry && (rec->width > 0xFFFF || rec->height > 0xFFFF)) return QMV3_LEGACY_SAVE_NO_FRAMES;
    if (!FrameBytes(rec->width, rec->height, rec->bpp, frameBytes)) return QMV3_LEGACY_SAVE_NO_FRAMES;
    for (int32_t i = 0; i < rec->numframes; ++i) {
        if (rec->framebits[i] == nullptr && *frameBytes != 0) return QMV3_LEGACY_SAVE_NO_FRAMES;
    }
    return QMV3_LEGACY_SAVE_OK;
}

InputFile::~InputFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool InputFile::Open(const char* path) {
    if (path == nullptr) return false;
    file_ = std::fopen(path, "rb");
    if (file_ == nullptr) return false;
    // Only regular files have a length worth trusting (a folder may report any size).
    struct stat status;
    if (fstat(fileno(file_), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    if (fseeko(file_, 0, SEEK_END) != 0) return false;
    off_t end = ftello(file_);
    if (end < 0 || fseeko(file_, 0, SEEK_SET) != 0) return false;
    length_ = static_cast<uint64_t>(end);
    return true;
}

uint64_t InputFile::Remaining() const {
    off_t position = ftello(file_);
    if (position < 0 || static_cast<uint64_t>(position) > length_) return 0;
    return length_ - static_cast<uint64_t>(position);
}

bool InputFile::Read(void* destination, size_t count) { return std::fread(destination, 1, count, file_) == count; }

bool InputFile::Seek(uint64_t offset) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
}

OutputFile::~OutputFile() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    std::remove(path_.c_str());
}

bool OutputFile::Create(const char* path) {
    if (path == nullptr) return false;
    // The name is taken before the file exists: copying it may throw, and no exception may reach the
    // exported savers, nor may a file be left behind that nobody would remove.
    try {
        path_ = path;
    } catch (...) {
        return false;
    }
    file_ = std::fopen(path, "wb");
    return file_ != nullptr;
}

bool OutputFile::Write(const void* source, size_t count) {
    return count == 0 || std::fwrite(source, 1, count, file_) == count;
}

bool OutputFile::Commit() {
    FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) == 0) return true;
    std::remove(path_.c_str());
    return false;
}

PendingRecord::PendingRecord() {
    std::memset(&record_, 0, sizeof record_);
    initialize_vidinfhdr(&record_);
}

PendingRecord::~PendingRecord() { ReleaseFrames(&record_); }

bool PendingRecord::AllocateArrays(uint32_t count) {
    if (count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
    record_.framescales = static_cast<double*>(std::calloc(count, sizeof(double)));
    record_.framebits = static_cast<unsigned char**>(std::calloc(count, sizeof(unsigned char*)));
    record_.numframes = static_cast<int32_t>(count);
    return record_.framescales != nullptr && record_.framebits != nullptr;
}

VIDINFHDR PendingRecord::Release() {
    VIDINFHDR result = record_;
    record_.framebits = nullptr;
    record_.framescales = nullptr;
    return result;
}

void ReleaseFrames(VIDINFHDR* rec) {
    if (rec->framebits != nullptr) {
        for (int32_t i = 0; i < rec->numframes; ++i) std::free(rec->framebits[i]);
    }
    std::free(rec->framebits);
    std::free(rec->framescales);
    rec->framebits = nullptr;
    rec->framescales = nullptr;
    rec->type = VIDINFHDR_TYPE_EMPTY;
}

}  // namespace qmv3::legacy
