// Helpers for the older-record tests: records built from pixel values, little-endian byte
// builders for hand-made files, and a guard that frees a record at the end of a test.
#ifndef QMV3_TESTS_LEGACY_LEGACY_FIXTURE_H
#define QMV3_TESTS_LEGACY_LEGACY_FIXTURE_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qmv3/qmv3.h"

namespace qmv3test {

class Bytes {
  public:
    Bytes& U8(unsigned value) {
        data.push_back(static_cast<unsigned char>(value));
        return *this;
    }
    Bytes& U16(unsigned value) { return U8(value & 0xFF).U8((value >> 8) & 0xFF); }
    Bytes& U32(uint32_t value) { return U16(value & 0xFFFF).U16(value >> 16); }
    Bytes& Double(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 8; ++i) U8(static_cast<unsigned>(bits >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes& Raw(const std::vector<unsigned char>& more) {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
    std::vector<unsigned char> data;
};

// An empty record that is freed when the guard goes out of scope.
struct RecordGuard {
    RecordGuard() {
        std::memset(&rec, 0, sizeof rec);
        initialize_vidinfhdr(&rec);
    }
    ~RecordGuard() { free_vidinfhdr(&rec); }
    RecordGuard(const RecordGuard&) = delete;
    RecordGuard& operator=(const RecordGuard&) = delete;
    VIDINFHDR rec;
};

// Fills an empty record with frames given as raw bytes (all of the same length).
inline void FillRecord(VIDINFHDR* rec, uint32_t width, uint32_t height, uint32_t bpp, uint32_t ebitpp, int type,
                       const std::vector<std::vector<unsigned char>>& frames, const std::vector<double>& scales) {
    rec->width = width;
    rec->height = height;
    rec->bpp = bpp;
    rec->ebitpp = ebitpp;
    rec->type = type;
    rec->numframes = static_cast<int32_t>(frames.size());
    rec->framebits = static_cast<unsigned char**>(std::calloc(frames.size(), sizeof(unsigned char*)));
    rec->framescales = static_cast<double*>(std::calloc(frames.size(), sizeof(double)));
    for (size_t i = 0; i < frames.size(); ++i) {
        rec->framebits[i] = static_cast<unsigned char*>(std::malloc(frames[i].size() + 1));
        std::memcpy(rec->framebits[i], frames[i].data(), frames[i].size());
        rec->framescales[i] = scales.empty() ? 1.0 : scales[i];
    }
    rec->scale = rec->framescales[0];
}

inline std::vector<unsigned char> Frame(const VIDINFHDR& rec, int index) {
    size_t bytes = static_cast<size_t>(rec.width) * rec.height * rec.bpp / 8;
    return std::vector<unsigned char>(rec.framebits[index], rec.framebits[index] + bytes);
}

// Pixels of 16- or 32-bit frames as little-endian bytes.
inline std::vector<unsigned char> Wide(const std::vector<uint32_t>& values, int bytesPerValue) {
    Bytes bytes;
    for (uint32_t value : values) {
        for (int i = 0; i < bytesPerValue; ++i) bytes.U8((value >> (8 * i)) & 0xFF);
    }
    return bytes.data;
}

}  // namespace qmv3test

#endif
