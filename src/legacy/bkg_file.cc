// BKG files: one background frame (two header words and the pixels, no scale), and the variant
// that repeats that frame layout for any number of 8-bit frames.
#include <cstdlib>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"
#include "util/frame_memory.h"

using namespace qmv3::legacy;

namespace {

// Allocates a frame of frameBytes and reads it; the size is checked against the file first, so a
// short file cannot make us allocate what it does not hold.
int ReadFrame(ByteReader& file, uint32_t frameBytes, unsigned char** frame) {
    if (frameBytes > file.Remaining()) return QMV3_LEGACY_LOAD_SHORT_READ;
    *frame = static_cast<unsigned char*>(frame_memory::AllocateFrame(frameBytes));
    if (*frame == nullptr) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    return file.ReadBytes(*frame, frameBytes) ? QMV3_LEGACY_LOAD_OK : QMV3_LEGACY_LOAD_SHORT_READ;
}

// Geometry of the multi-frame layout: only the first word is decoded, the second is the height.
struct ArbitraryWords {
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerPixel;
};

ArbitraryWords DecodeArbitraryWords(const unsigned char* eightBytes) {
    uint32_t first = Load<uint32_t>(eightBytes);
    ArbitraryWords words;
    words.width = first & 0xFFFF;
    words.bitsPerPixel = (first >> 16) & 0xFF;
    if (words.bitsPerPixel == 0) words.bitsPerPixel = 8;
    words.height = Load<uint32_t>(eightBytes + 4);
    return words;
}

int ReadArbitraryFrames(ByteReader& file, PendingRecord& pending, const ArbitraryWords& first, uint32_t frameBytes) {
    VIDINFHDR& rec = pending.record();
    for (int32_t i = 0; i < rec.numframes; ++i) {
        unsigned char bytes[kFrameWordsBytes];
        if (!file.ReadBytes(bytes, sizeof bytes)) return QMV3_LEGACY_LOAD_SHORT_READ;
        ArbitraryWords words = DecodeArbitraryWords(bytes);
        if (words.width != first.width || words.height != first.height || words.bitsPerPixel != first.bitsPerPixel) {
            return QMV3_LEGACY_LOAD_BAD_CONTENT;
        }
        int code = ReadFrame(file, frameBytes, &rec.framebits[i]);
        if (code != QMV3_LEGACY_LOAD_OK) return code;
        rec.framescales[i] = 1.0;
    }
    return QMV3_LEGACY_LOAD_OK;
}

}  // namespace

int _internal_load_bkg_file(const char* path, VIDINFHDR* rec, double* progress, double progressScale,
                            bool headersOnly) {
    ByteReader file;
    FrameWords words;
    uint32_t frameBytes = 0;
    const int opened = OpenFrameWordsFile(path, rec, file, words, frameBytes);
    if (opened != QMV3_LEGACY_LOAD_OK) return opened;
    // A frame the file cannot hold stays a short read, as it always was.
    const int checked =
        frameBytes <= file.Remaining() ? CheckFramesToLoad(headersOnly ? 0 : 1, frameBytes) : QMV3_LEGACY_LOAD_OK;
    if (checked != QMV3_LEGACY_LOAD_OK) return checked;
    PendingRecord pending;
    if (!pending.AllocateArrays(1)) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    VIDINFHDR& built = pending.record();
    built.framescales[0] = 1.0;
    if (headersOnly && frameBytes > file.Remaining()) return QMV3_LEGACY_LOAD_SHORT_READ;
    const int code = headersOnly ? QMV3_LEGACY_LOAD_OK : ReadFrame(file, frameBytes, &built.framebits[0]);
    if (code != QMV3_LEGACY_LOAD_OK) return code;
    built.bpp = words.bitsPerPixel;
    built.ebitpp = words.effectiveBits;
    built.height = words.height;
    built.width = words.width;
    built.scale = 1.0;
    built.type = VIDINFHDR_TYPE_BKG;
    *rec = pending.Release();
    Report(progress, progressScale);
    return QMV3_LEGACY_LOAD_OK;
}

extern "C" {

QMV3_EXPORT int load_bkg_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_LOAD_OUT_OF_MEMORY, QMV3_LEGACY_LOAD_OUT_OF_MEMORY,
                              [&]() -> int { return _internal_load_bkg_file(path, rec, nullptr, 1.0); });
}

QMV3_EXPORT int load_bkg_file_arb(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_LOAD_OUT_OF_MEMORY, QMV3_LEGACY_LOAD_OUT_OF_MEMORY, [&]() -> int {
        if (rec == nullptr || !IsEmptyRecord(rec)) return QMV3_LEGACY_LOAD_NOT_EMPTY;
        ByteReader file;
        if (!OpenForLoad(file, path)) return QMV3_LEGACY_LOAD_OPEN_FAILED;
        unsigned char bytes[kFrameWordsBytes];
        if (!file.ReadBytes(bytes, sizeof bytes)) return QMV3_LEGACY_LOAD_SHORT_READ;
        const ArbitraryWords first = DecodeArbitraryWords(bytes);
        const uint64_t stride = static_cast<uint64_t>(first.width) * first.height + kFrameWordsBytes;
        uint32_t frameBytes = 0;
        if (stride > UINT32_MAX || !FrameBytes(first.width, first.height, first.bitsPerPixel, &frameBytes) ||
            frameBytes == 0) {
            return QMV3_LEGACY_LOAD_BAD_CONTENT;
        }
        const uint64_t count = file.Length() / stride;
        if (count == 0) return QMV3_LEGACY_LOAD_BAD_CONTENT;
        const int checked = CheckFramesToLoad(count, frameBytes);
        if (checked != QMV3_LEGACY_LOAD_OK) return checked;
        if (!file.Seek(0)) return QMV3_LEGACY_LOAD_SHORT_READ;
        PendingRecord pending;
        if (!pending.AllocateArrays(static_cast<uint32_t>(count))) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
        int code = ReadArbitraryFrames(file, pending, first, frameBytes);
        if (code != QMV3_LEGACY_LOAD_OK) return code;
        // The effective bits are not stored in this layout, so the caller's value stays.
        const VIDINFHDR built = pending.Release();
        rec->width = first.width;
        rec->height = first.height;
        rec->bpp = first.bitsPerPixel;
        rec->numframes = built.numframes;
        rec->scale = 1.0;
        rec->type = VIDINFHDR_TYPE_BKC;
        rec->framebits = built.framebits;
        rec->framescales = built.framescales;
        return QMV3_LEGACY_LOAD_OK;
    });
}

QMV3_EXPORT int save_bkg_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY, [&]() -> int {
        if (rec != nullptr && rec->numframes != 1) return QMV3_LEGACY_SAVE_FRAME_COUNT;
        unsigned char words[kFrameWordsBytes];
        uint32_t frameBytes = 0;
        OutputFile file;
        const int created = CreateFrameWordsFile(path, rec, file, words, frameBytes);
        if (created != QMV3_LEGACY_SAVE_OK) return created;
        if (!file.Write(words, sizeof words) || !file.Write(rec->framebits[0], frameBytes))
            return QMV3_LEGACY_SAVE_WRITE_FAILED;
        return file.Commit() ? QMV3_LEGACY_SAVE_OK : QMV3_LEGACY_SAVE_WRITE_FAILED;
    });
}

}  // extern "C"
