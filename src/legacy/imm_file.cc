// IMM files: a plain run of frame records (two header words, the pixels, the frame's scale), no
// file header. The loader builds the record privately and hands it over only when complete.
#include <cstdlib>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"

using namespace qmv3::legacy;

namespace {

bool SameGeometry(const FrameWords& a, const FrameWords& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
           a.effectiveBits == b.effectiveBits;
}

int ReadImmFrames(ByteReader& file, PendingRecord& pending, const FrameWords& first, uint32_t frameBytes, int* cancel,
                  double* progress, double progressScale) {
    VIDINFHDR& rec = pending.record();
    for (int32_t i = 0; i < rec.numframes; ++i) {
        if (Cancelled(cancel)) return kLoadUserBreak;
        unsigned char words[kFrameWordsBytes];
        if (!file.ReadBytes(words, sizeof words)) return kLoadRead;
        if (!SameGeometry(DecodeFrameWords(words), first)) return kLoadContent;
        rec.framebits[i] = static_cast<unsigned char*>(std::malloc(frameBytes));
        if (rec.framebits[i] == nullptr) return kLoadMemory;
        unsigned char scale[kScaleBytes];
        if (!file.ReadBytes(rec.framebits[i], frameBytes) || !file.ReadBytes(scale, sizeof scale)) return kLoadRead;
        rec.framescales[i] = Load<double>(scale);
        Report(progress, static_cast<double>(i + 1) / rec.numframes * progressScale);
    }
    return kLoadOk;
}

}  // namespace

int _internal_load_imm_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale) {
    ByteReader file;
    FrameWords first;
    uint32_t frameBytes = 0;
    const int opened = OpenFrameWordsFile(path, rec, file, first, frameBytes);
    if (opened != kLoadOk) return opened;
    const uint64_t recordLength = static_cast<uint64_t>(frameBytes) + kFrameWordsBytes + kScaleBytes;
    if (file.Length() < recordLength) return kLoadContent;
    const uint64_t count = file.Length() / recordLength;
    if (!file.Seek(0)) return kLoadRead;
    PendingRecord pending;
    if (count > UINT32_MAX || !pending.AllocateArrays(static_cast<uint32_t>(count))) return kLoadMemory;
    int code = ReadImmFrames(file, pending, first, frameBytes, cancel, progress, progressScale);
    if (code != kLoadOk) return code;
    VIDINFHDR& built = pending.record();
    built.width = first.width;
    built.height = first.height;
    built.bpp = first.bitsPerPixel;
    built.ebitpp = first.effectiveBits;
    built.type = VIDINFHDR_TYPE_IMM;
    built.scale = built.framescales[0];
    *rec = pending.Release();
    return kLoadOk;
}

int save_imm_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    unsigned char words[kFrameWordsBytes];
    uint32_t frameBytes = 0;
    OutputFile file;
    const int created = CreateFrameWordsFile(path, rec, file, words, frameBytes);
    if (created != kSaveOk) return created;
    for (int32_t i = 0; i < rec->numframes; ++i) {
        Report(progress, static_cast<double>(i) / rec->numframes);
        if (Cancelled(cancel)) return kSaveUserBreak;
        unsigned char scale[kScaleBytes];
        Store<double>(scale, rec->framescales[i]);
        if (!file.Write(words, sizeof words) || !file.Write(rec->framebits[i], frameBytes) ||
            !file.Write(scale, sizeof scale)) {
            return kSaveWrite;
        }
    }
    Report(progress, static_cast<double>(rec->numframes) / rec->numframes);
    return file.Commit() ? kSaveOk : kSaveWrite;
}

extern "C" {

QMV3_EXPORT int load_imm_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(kLoadMemory, kLoadMemory,
                              [&]() -> int { return _internal_load_imm_file(path, rec, nullptr, nullptr, 1.0); });
}

QMV3_EXPORT int save_imm_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(kSaveMemory, kSaveMemory,
                              [&]() -> int { return save_imm_file_internal(path, rec, nullptr, nullptr); });
}

QMV3_EXPORT int save_imm_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    return qmv3::Guarded<int>(kSaveMemory, kSaveMemory,
                              [&]() -> int { return save_imm_file_internal(path, rec, cancel, progress); });
}

}  // extern "C"
