// Frame words, save checks and the pending record of the older file formats.
#include "legacy/legacy_io.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "util/load_limit.h"

namespace qmv3::legacy {

bool FrameBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel, uint32_t* bytes) {
    // Each factor is at most 32 bits, so the product of the first two cannot overflow 64 bits.
    uint64_t pixels = width * height;
    if (bitsPerPixel != 0 && pixels > std::numeric_limits<uint64_t>::max() / bitsPerPixel) return false;
    uint64_t total = pixels * bitsPerPixel / 8;
    if (total > std::numeric_limits<uint32_t>::max()) return false;
    *bytes = static_cast<uint32_t>(total);
    return true;
}

namespace {
thread_local uint64_t t_lastRefusedBytes = 0;
}  // namespace

int CheckFramesToLoad(uint64_t count, uint32_t frameBytes) {
    if (frameBytes > static_cast<uint32_t>(QMV3_MAX_TRANSPORT_SIZE)) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    // Both factors are at most 32 bits wide.
    const uint64_t total = count * frameBytes;
    load_limit::Budget budget;
    if (budget.Take(total)) return QMV3_LEGACY_LOAD_OK;
    t_lastRefusedBytes = total;
    return QMV3_LEGACY_LOAD_LIMIT_EXCEEDED;
}

uint64_t LastRefusedBytes() { return t_lastRefusedBytes; }

FrameWords DecodeFrameWords(const unsigned char* eightBytes) {
    uint32_t first = Load<uint32_t>(eightBytes);
    uint32_t second = Load<uint32_t>(eightBytes + 4);
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
    Store<uint32_t>(eightBytes, (rec.width & 0xFFFF) | bits << 16);
    Store<uint32_t>(eightBytes + 4, (rec.height & 0xFFFF) | effective << 16);
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

int OpenFrameWordsFile(const char* path, const VIDINFHDR* rec, ByteReader& file, FrameWords& words,
                       uint32_t& frameBytes) {
    if (rec == nullptr || !IsEmptyRecord(rec)) return QMV3_LEGACY_LOAD_NOT_EMPTY;
    if (!OpenForLoad(file, path)) return QMV3_LEGACY_LOAD_OPEN_FAILED;
    unsigned char bytes[kFrameWordsBytes];
    if (!file.ReadBytes(bytes, sizeof bytes)) return QMV3_LEGACY_LOAD_SHORT_READ;
    words = DecodeFrameWords(bytes);
    if (!FrameBytes(words.width, words.height, words.bitsPerPixel, &frameBytes) || frameBytes == 0) {
        return QMV3_LEGACY_LOAD_BAD_CONTENT;
    }
    return QMV3_LEGACY_LOAD_OK;
}

int CreateFrameWordsFile(const char* path, const VIDINFHDR* rec, OutputFile& file, unsigned char* words,
                         uint32_t& frameBytes) {
    if (rec == nullptr) return QMV3_LEGACY_SAVE_NO_FRAMES;
    if (!IsSavableType(rec->type)) return QMV3_LEGACY_SAVE_BAD_TYPE;
    const int code = CheckRecordForSave(rec, true, &frameBytes);
    if (code != QMV3_LEGACY_SAVE_OK) return code;
    EncodeFrameWords(*rec, words);
    return CreateForSave(file, path) ? QMV3_LEGACY_SAVE_OK : QMV3_LEGACY_SAVE_CREATE_FAILED;
}

bool OpenForLoad(ByteReader& file, const char* path) {
    return file.Open(path) && file.IsRegularFile() && file.MeasureLength();
}

bool CreateForSave(OutputFile& file, const char* path) {
    try {
        return file.Create(path, OutputFile::Mode::kReplace) == OutputFile::Created::kOk;
    } catch (const std::bad_alloc&) {
        return false;
    }
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
