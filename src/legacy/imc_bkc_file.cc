// IMC and BKC files: a 16-byte header (width, height, bits word, frame count) and per frame its
// scale, both lengths and a zlib stream of the pixels. The two kinds differ only in name and type.
// Streams go through the deflate seam: a save allocates one working buffer for all its frames, a load
// one buffer for the compressed blocks beside the frames it hands out.
#include <cstdlib>
#include <memory>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"
#include "util/deflate_engine.h"
#include "util/frame_memory.h"

using namespace qmv3::legacy;

namespace {

// deflate cannot expand data by more than this factor, so a frame that claims more pixel bytes
// than its stream could ever give is refused before its buffer is allocated.
constexpr uint64_t kMaxInflateRatio = 1032;

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

void DecodeBitsWord(uint32_t word, uint32_t* bits, uint32_t* effectiveBits) {
    if (word <= 0xFFFF) {
        *bits = word;
        *effectiveBits = word;
    } else {
        *bits = word & 0xFFFF;
        *effectiveBits = word >> 16;
    }
}

// The compressed blocks of one load pass through a single buffer, grown to the largest block.
struct BlockBuffer {
    std::unique_ptr<unsigned char, FreeDeleter> bytes;
    size_t capacity = 0;

    bool Reserve(size_t size) {
        if (size <= capacity) return true;
        bytes.reset(static_cast<unsigned char*>(std::malloc(size)));
        capacity = bytes ? size : 0;
        return bytes != nullptr;
    }
};

// Reads one frame; with frame null only its header, the stream passed over by its length.
int ReadImcFrame(ByteReader& file, uint32_t frameBytes, BlockBuffer& block, deflate_engine::Inflater& inflater,
                 unsigned char** frame, double* scale) {
    double frameScale = 0.0;
    uint32_t compressedBytes = 0;
    uint32_t pixelBytes = 0;
    if (!file.Read(frameScale) || !file.Read(compressedBytes) || !file.Read(pixelBytes))
        return QMV3_LEGACY_LOAD_SHORT_READ;
    if (pixelBytes != frameBytes) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    if (compressedBytes > file.Remaining()) return QMV3_LEGACY_LOAD_SHORT_READ;
    if (static_cast<uint64_t>(compressedBytes) * kMaxInflateRatio + 64 < pixelBytes)
        return QMV3_LEGACY_LOAD_BAD_CONTENT;
    if (frame == nullptr) {
        *scale = frameScale;
        return file.Skip(compressedBytes) ? QMV3_LEGACY_LOAD_OK : QMV3_LEGACY_LOAD_SHORT_READ;
    }
    if (!block.Reserve(compressedBytes == 0 ? 1 : compressedBytes)) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    if (!file.ReadBytes(block.bytes.get(), compressedBytes)) return QMV3_LEGACY_LOAD_SHORT_READ;
    *scale = frameScale;
    std::unique_ptr<unsigned char, FreeDeleter> pixels(
        static_cast<unsigned char*>(frame_memory::AllocateFrame(pixelBytes)));
    if (!pixels) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    // A stream that gives fewer bytes than announced would leave part of the frame undefined.
    if (!inflater.Inflate(block.bytes.get(), compressedBytes, pixels.get(), pixelBytes))
        return QMV3_LEGACY_LOAD_DECOMPRESSION_FAILED;
    *frame = pixels.release();
    return QMV3_LEGACY_LOAD_OK;
}

int ReadImcFrames(ByteReader& file, VIDINFHDR& rec, uint32_t frameBytes, int* cancel, double* progress,
                  double progressScale, bool headersOnly) {
    BlockBuffer block;
    deflate_engine::Inflater inflater;
    for (int32_t i = 0; i < rec.numframes; ++i) {
        if (Cancelled(cancel)) return QMV3_LEGACY_LOAD_INTERRUPTED;
        int code = ReadImcFrame(file, frameBytes, block, inflater, headersOnly ? nullptr : &rec.framebits[i],
                                &rec.framescales[i]);
        if (code != QMV3_LEGACY_LOAD_OK) return code;
        Report(progress, static_cast<double>(i + 1) / rec.numframes * progressScale);
    }
    return QMV3_LEGACY_LOAD_OK;
}

int WriteImcFrame(OutputFile& file, deflate_engine::Compressor& compressor, const unsigned char* pixels,
                  uint32_t frameBytes, double scale) {
    if (!compressor.Reserve(frameBytes)) return QMV3_LEGACY_SAVE_OUT_OF_MEMORY;
    const unsigned char* stream = nullptr;
    size_t compressedBytes = 0;
    if (!compressor.Compress(pixels, frameBytes, &stream, &compressedBytes) || compressedBytes > UINT32_MAX) {
        return QMV3_LEGACY_SAVE_COMPRESSION_FAILED;
    }
    unsigned char header[kImcFrameHeaderBytes];
    Store<double>(header, scale);
    Store<uint32_t>(header + 8, static_cast<uint32_t>(compressedBytes));
    Store<uint32_t>(header + 12, frameBytes);
    if (!file.Write(header, sizeof header) || !file.Write(stream, compressedBytes))
        return QMV3_LEGACY_SAVE_WRITE_FAILED;
    return QMV3_LEGACY_SAVE_OK;
}

}  // namespace

int _internal_load_imc_bkc_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale,
                                int type, bool headersOnly) {
    // Any other type would make a record that free_vidinfhdr does not release.
    if (type != VIDINFHDR_TYPE_IMC && type != VIDINFHDR_TYPE_BKC) return QMV3_LEGACY_LOAD_UNKNOWN_TYPE;
    if (rec == nullptr || !IsEmptyRecord(rec)) return QMV3_LEGACY_LOAD_NOT_EMPTY;
    ByteReader file;
    if (!OpenForLoad(file, path)) return QMV3_LEGACY_LOAD_OPEN_FAILED;
    unsigned char header[kImcFileHeaderBytes];
    if (!file.ReadBytes(header, sizeof header)) return QMV3_LEGACY_LOAD_SHORT_READ;
    PendingRecord pending;
    VIDINFHDR& built = pending.record();
    built.width = Load<uint32_t>(header);
    built.height = Load<uint32_t>(header + 4);
    DecodeBitsWord(Load<uint32_t>(header + 8), &built.bpp, &built.ebitpp);
    const uint32_t count = Load<uint32_t>(header + 12);
    if (built.bpp != 8 && built.bpp != 16) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    uint32_t frameBytes = 0;
    if (count == 0 || !FrameBytes(built.width, built.height, built.bpp, &frameBytes) || frameBytes == 0) {
        return QMV3_LEGACY_LOAD_BAD_CONTENT;
    }
    // Every frame needs at least its 16-byte header, so the count is bounded by the file.
    if (static_cast<uint64_t>(count) * kImcFrameHeaderBytes > file.Remaining()) return QMV3_LEGACY_LOAD_SHORT_READ;
    // Without pixels nothing is decoded: only the frame's own size is checked.
    const int checked = CheckFramesToLoad(headersOnly ? 0 : count, frameBytes);
    if (checked != QMV3_LEGACY_LOAD_OK) return checked;
    if (!pending.AllocateArrays(count)) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    int code = ReadImcFrames(file, built, frameBytes, cancel, progress, progressScale, headersOnly);
    if (code != QMV3_LEGACY_LOAD_OK) return code;
    built.scale = built.framescales[0];
    built.type = type;
    *rec = pending.Release();
    return QMV3_LEGACY_LOAD_OK;
}

int _internal_load_imc_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale,
                            bool headersOnly) {
    return _internal_load_imc_bkc_file(path, rec, cancel, progress, progressScale, VIDINFHDR_TYPE_IMC, headersOnly);
}

int save_imc_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    if (rec == nullptr) return QMV3_LEGACY_SAVE_NO_FRAMES;
    if (!IsSavableType(rec->type)) return QMV3_LEGACY_SAVE_BAD_TYPE;
    uint32_t frameBytes = 0;
    int code = CheckRecordForSave(rec, false, &frameBytes);
    if (code != QMV3_LEGACY_SAVE_OK) return code;
    const uint32_t effective = rec->ebitpp != 0 ? rec->ebitpp : rec->bpp;
    unsigned char header[kImcFileHeaderBytes];
    Store<uint32_t>(header, rec->width);
    Store<uint32_t>(header + 4, rec->height);
    Store<uint32_t>(header + 8, rec->bpp + (rec->bpp == 8 ? 0 : effective << 16));
    Store<uint32_t>(header + 12, static_cast<uint32_t>(rec->numframes));
    OutputFile file;
    if (!CreateForSave(file, path)) return QMV3_LEGACY_SAVE_CREATE_FAILED;
    if (!file.Write(header, sizeof header)) return QMV3_LEGACY_SAVE_WRITE_FAILED;
    // The engine is chosen once per save; one compressor serves every frame.
    deflate_engine::Compressor compressor(deflate_engine::WriteEngineFromEnvironment());
    for (int32_t i = 0; i < rec->numframes; ++i) {
        Report(progress, static_cast<double>(i) / rec->numframes);
        if (Cancelled(cancel)) return QMV3_LEGACY_SAVE_INTERRUPTED;
        code = WriteImcFrame(file, compressor, rec->framebits[i], frameBytes, rec->framescales[i]);
        if (code != QMV3_LEGACY_SAVE_OK) return code;
    }
    Report(progress, static_cast<double>(rec->numframes) / rec->numframes);
    return file.Commit() ? QMV3_LEGACY_SAVE_OK : QMV3_LEGACY_SAVE_WRITE_FAILED;
}

int save_bkc_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    return save_imc_file_internal(path, rec, cancel, progress);
}

extern "C" {

QMV3_EXPORT int load_imc_bkc_file(const char* path, VIDINFHDR* rec, int type) {
    return qmv3::Guarded<int>(QMV3_LEGACY_LOAD_OUT_OF_MEMORY, QMV3_LEGACY_LOAD_OUT_OF_MEMORY, [&]() -> int {
        return _internal_load_imc_bkc_file(path, rec, nullptr, nullptr, 1.0, type);
    });
}

QMV3_EXPORT int load_imc_file(const char* path, VIDINFHDR* rec) {
    return load_imc_bkc_file(path, rec, VIDINFHDR_TYPE_IMC);
}

QMV3_EXPORT int load_bkc_file(const char* path, VIDINFHDR* rec) {
    return load_imc_bkc_file(path, rec, VIDINFHDR_TYPE_BKC);
}

QMV3_EXPORT int save_imc_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY,
                              [&]() -> int { return save_imc_file_internal(path, rec, nullptr, nullptr); });
}

QMV3_EXPORT int save_bkc_file(const char* path, VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY,
                              [&]() -> int { return save_imc_file_internal(path, rec, nullptr, nullptr); });
}

QMV3_EXPORT int save_imc_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY,
                              [&]() -> int { return save_imc_file_internal(path, rec, cancel, progress); });
}

QMV3_EXPORT int save_bkc_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY,
                              [&]() -> int { return save_bkc_file_internal(path, rec, cancel, progress); });
}

}  // extern "C"
