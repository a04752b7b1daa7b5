// IMM files: a plain run of frame records (two header words, the pixels, the frame's scale), no
// file header. The loader builds the record privately and hands it over only when complete.
#include <cstdlib>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"
#include "util/frame_memory.h"

using namespace qmv3::legacy;

namespace {

bool SameGeometry(const FrameWords& a, const FrameWords& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
           a.effectiveBits == b.effectiveBits;
}

int ReadImmFrames(ByteReader& file, PendingRecord& pending, const FrameWords& first, uint32_t frameBytes, int* cancel,
                  double* progress, double progressScale, bool headersOnly) {
    VIDINFHDR& rec = pending.record();
    for (int32_t i = 0; i < rec.numframes; ++i) {
        if (Cancelled(cancel)) return QMV3_LEGACY_LOAD_INTERRUPTED;
        unsigned char words[kFrameWordsBytes];
        if (!file.ReadBytes(words, sizeof words)) return QMV3_LEGACY_LOAD_SHORT_READ;
        if (!SameGeometry(DecodeFrameWords(words), first)) return QMV3_LEGACY_LOAD_BAD_CONTENT;
        if (headersOnly) {
            if (frameBytes > file.Remaining() || !file.Skip(frameBytes)) return QMV3_LEGACY_LOAD_SHORT_READ;
        } else {
            rec.framebits[i] = static_cast<unsigned char*>(frame_memory::AllocateFrame(frameBytes));
            if (rec.framebits[i] == nullptr) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
            if (!file.ReadBytes(rec.framebits[i], frameBytes)) return QMV3_LEGACY_LOAD_SHORT_READ;
        }
        unsigned char scale[kScaleBytes];
        if (!file.ReadBytes(scale, sizeof scale)) return QMV3_LEGACY_LOAD_SHORT_READ;
        rec.framescales[i] = Load<double>(scale);
        Report(progress, static_cast<double>(i + 1) / rec.numframes * progressScale);
    }
    return QMV3_LEGACY_LOAD_OK;
}

}  // namespace

int _internal_load_imm_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale,
                            bool headersOnly) {
    ByteReader file;
    FrameWords first;
    uint32_t frameBytes = 0;
    const int opened = OpenFrameWordsFile(path, rec, file, first, frameBytes);
    if (opened != QMV3_LEGACY_LOAD_OK) return opened;
    const uint64_t recordLength = static_cast<uint64_t>(frameBytes) + kFrameWordsBytes + kScaleBytes;
    if (file.Length() < recordLength) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    const uint64_t count = file.Length() / recordLength;
    // Without pixels nothing is decoded: only the frame's own size is checked.
    const int checked = CheckFramesToLoad(headersOnly ? 0 : count, frameBytes);
    if (checked != QMV3_LEGACY_LOAD_OK) return checked;
    if (!file.Seek(0)) return QMV3_LEGACY_LOAD_SHORT_READ;
    PendingRecord pending;
    if (count > UINT32_MAX || !pending.AllocateArrays(static_cast<uint32_t>(count)))
        return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    int code = ReadImmFrames(file, pending, first, frameBytes, cancel, progress, progressScale, headersOnly);
    if (code != QMV3_LEGACY_LOAD_OK) return code;
    VIDINFHDR& built = pending.record();
    built.width = first.width;
    built.height = first.height;
    built.bpp = first.bitsPerPixel;
    built.ebitpp = first.effectiveBits;
    built.type = VIDINFHDR_TYPE_IMM;
    built.scale = built.framescales[0];
    *rec = pending.Release();
    return QMV3_LEGACY_LOAD_OK;
}

int save_imm_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    unsigned char words[kFrameWordsBytes];
    uint32_t frameBytes = 0;
    OutputFile file;
    const int created = CreateFrameWordsFile(path, rec, file, words, frameBytes);
    if (created != QMV3_LEGACY_SAVE_OK) return created;
    for (int32_t i = 0; i < rec->numframes; ++i) {
        Report(progress, static_cast<double>(i) / rec->numframes);
        if (Cancelled(cancel)) return QMV3_LEGACY_SAVE_INTERRUPTED;
        unsigned char scale[kScaleBytes];
        Store<double>(scale, rec->framescales[i]);
        if (!file.Write(words, sizeof words) || !file.Write(rec->framebits[i], frameBytes) ||
            !file.Write(scale, sizeof scale)) {
            return QMV3_LEGACY_SAVE_WRITE_FAILED;
        }
    }
    Report(progress, static_cast<double>(rec->numframes) / rec->numframes);
    return file.Commit() ? QMV3_LEGACY_SAVE_OK : QMV3_LEGACY_SAVE_WRITE_FAILED;
}

extern "C" {

QMV3_EXPORT int load_imm_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_LOAD_OUT_OF_MEMORY, QMV3_LEGACY_LOAD_OUT_OF_MEMORY,
                              [&]() -> int { return _internal_load_imm_file(path, rec, nullptr, nullptr, 1.0); });
}

QMV3_EXPORT int save_imm_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY,
                              [&]() -> int { return save_imm_file_internal(path, rec, nullptr, nullptr); });
}

QMV3_EXPORT int save_imm_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY,
                              [&]() -> int { return save_imm_file_internal(path, rec, cancel, progress); });
}

}  // extern "C"
