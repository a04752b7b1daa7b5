// Import of an 8- or 24-bit Windows bitmap as a one-frame 8-bit gray record. Every size read from
// the file is checked against the bytes the file really holds before anything is allocated.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"
#include "util/library_log.h"

using namespace qmv3::legacy;

namespace {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
using Buffer = std::unique_ptr<unsigned char, FreeDeleter>;

Buffer Allocate(uint64_t bytes) {
    if (bytes > SIZE_MAX) return Buffer();
    return Buffer(static_cast<unsigned char*>(std::malloc(bytes == 0 ? 1 : static_cast<size_t>(bytes))));
}

void Trace(int step) {
    if (_internal_getLogLevel() >= 2) _internal_LOG("v2videofileload load_bmp_file #%d.", step);
}

struct BitmapInfo {
    uint32_t pixelOffset;
    uint32_t infoSize;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t imageSize;
    uint32_t coloursUsed;
};

int ReadHeaders(ByteReader& file, BitmapInfo* info) {
    // The file header in the pieces the format names: magic, file size, two reserved words, pixel offset.
    unsigned char magic[2];
    uint32_t fileSize = 0;
    uint16_t reserved[2] = {};
    if (!file.ReadBytes(magic, sizeof magic) || !file.Read(fileSize) || !file.Read(reserved[0]) ||
        !file.Read(reserved[1]) || !file.Read(info->pixelOffset)) {
        return QMV3_LEGACY_LOAD_SHORT_READ;
    }
    if (magic[0] != 'B' || magic[1] != 'M') return QMV3_LEGACY_LOAD_BAD_CONTENT;
    unsigned char infoHeader[40];
    if (!file.ReadBytes(infoHeader, sizeof infoHeader)) return QMV3_LEGACY_LOAD_SHORT_READ;
    // The info header is read whole first, so its fields cannot come up short.
    ByteReader fields(infoHeader, sizeof infoHeader);
    uint32_t width = 0;
    uint32_t height = 0;
    fields.Read(info->infoSize);
    fields.Read(width);
    fields.Read(height);
    fields.Read(info->planes);
    fields.Read(info->bitCount);
    fields.Read(info->compression);
    fields.Read(info->imageSize);
    fields.Skip(8);  // resolution
    fields.Read(info->coloursUsed);
    info->width = static_cast<int32_t>(width);
    info->height = static_cast<int32_t>(height);
    if (info->compression != 0) return QMV3_LEGACY_LOAD_DECOMPRESSION_FAILED;
    if (info->planes != 1) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    if (info->infoSize < 40 || (info->bitCount != 8 && info->bitCount != 24))
        return QMV3_LEGACY_LOAD_DECOMPRESSION_FAILED;
    return QMV3_LEGACY_LOAD_OK;
}

// Entries not given by the file stay magenta.
int ReadPalette(ByteReader& file, const BitmapInfo& info, unsigned char* palette) {
    uint32_t count = (info.coloursUsed == 0 || info.coloursUsed > 256) ? 256 : info.coloursUsed;
    for (int i = 0; i < 256; ++i) {
        palette[4 * i] = 255;
        palette[4 * i + 1] = 0;
        palette[4 * i + 2] = 255;
        palette[4 * i + 3] = 0;
    }
    if (!file.Seek(14 + static_cast<uint64_t>(info.infoSize))) return QMV3_LEGACY_LOAD_SHORT_READ;
    return file.ReadBytes(palette, 4 * count) ? QMV3_LEGACY_LOAD_OK : QMV3_LEGACY_LOAD_SHORT_READ;
}

// Gray value of a blue, green, red pixel, in this order of terms.
unsigned char Gray(const unsigned char* bgr) {
    return static_cast<unsigned char>(0.299 * bgr[2] + 0.587 * bgr[1] + 0.114 * bgr[0]);
}

struct ImportState {
    BitmapInfo info;
    unsigned char palette[1024];
    bool usePalette;
    uint64_t rows;
};

int ReadTopDownRows(ByteReader& file, const ImportState& state, Buffer* topDown) {
    const BitmapInfo& info = state.info;
    if (!file.Seek(info.pixelOffset)) return QMV3_LEGACY_LOAD_SHORT_READ;
    Trace(4);
    if (info.imageSize == 0 || info.imageSize > file.Remaining()) return QMV3_LEGACY_LOAD_SHORT_READ;
    Buffer raw = Allocate(info.imageSize);
    if (!raw) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    if (!file.ReadBytes(raw.get(), info.imageSize)) return QMV3_LEGACY_LOAD_SHORT_READ;
    const uint64_t stride = (static_cast<uint64_t>(info.bitCount) * static_cast<uint32_t>(info.width) + 31) / 32 * 4;
    if (stride * state.rows > info.imageSize) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    Trace(5);
    const uint64_t rowBytes = static_cast<uint64_t>(info.bitCount) * static_cast<uint32_t>(info.width) / 8;
    *topDown = Allocate(rowBytes * state.rows);
    if (!*topDown) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    for (uint64_t row = 0; row < state.rows; ++row) {
        uint64_t fileRow = info.height > 0 ? state.rows - 1 - row : row;
        std::memcpy(topDown->get() + rowBytes * row, raw.get() + stride * fileRow, rowBytes);
    }
    Trace(6);
    return QMV3_LEGACY_LOAD_OK;
}

int MakeGrayFrame(const ImportState& state, Buffer pixels, Buffer* gray) {
    const uint64_t count = static_cast<uint64_t>(static_cast<uint32_t>(state.info.width)) * state.rows;
    bool rgb = state.info.bitCount == 24;
    if (state.usePalette) {
        Buffer expanded = Allocate(count * 3);
        if (!expanded) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
        for (uint64_t p = 0; p < count; ++p)
            std::memcpy(expanded.get() + 3 * p, state.palette + 4 * pixels.get()[p], 3);
        pixels = std::move(expanded);
        rgb = true;
    }
    Trace(7);
    *gray = Allocate(count);
    if (!*gray) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    Trace(8);
    for (uint64_t p = 0; p < count; ++p) gray->get()[p] = rgb ? Gray(pixels.get() + 3 * p) : pixels.get()[p];
    return QMV3_LEGACY_LOAD_OK;
}

int ImportBitmap(const char* path, VIDINFHDR* rec, int grayIndices) {
    if (rec == nullptr || path == nullptr) return QMV3_LEGACY_LOAD_NULL_ARGUMENT;
    if (!IsEmptyRecord(rec)) return QMV3_LEGACY_LOAD_NOT_EMPTY;
    ByteReader file;
    if (!OpenForLoad(file, path)) return QMV3_LEGACY_LOAD_OPEN_FAILED;
    Trace(2);
    ImportState state;
    int code = ReadHeaders(file, &state.info);
    if (code != QMV3_LEGACY_LOAD_OK) return code;
    Trace(3);
    state.usePalette = state.info.bitCount == 8 && grayIndices == 0;
    if (state.usePalette && (code = ReadPalette(file, state.info, state.palette)) != QMV3_LEGACY_LOAD_OK) return code;
    if (state.info.width < 1 || state.info.height == 0) return QMV3_LEGACY_LOAD_BAD_CONTENT;
    state.rows = state.info.height > 0 ? static_cast<uint64_t>(state.info.height)
                                       : static_cast<uint64_t>(-static_cast<int64_t>(state.info.height));
    Buffer pixels;
    if ((code = ReadTopDownRows(file, state, &pixels)) != QMV3_LEGACY_LOAD_OK) return code;
    Buffer gray;
    if ((code = MakeGrayFrame(state, std::move(pixels), &gray)) != QMV3_LEGACY_LOAD_OK) return code;
    PendingRecord pending;
    if (!pending.AllocateArrays(1)) return QMV3_LEGACY_LOAD_OUT_OF_MEMORY;
    VIDINFHDR& built = pending.record();
    built.framebits[0] = gray.release();
    built.framescales[0] = 1.0;
    built.width = static_cast<uint32_t>(state.info.width);
    built.height = static_cast<uint32_t>(state.rows);
    built.bpp = 8;
    built.ebitpp = 8;
    built.scale = 1.0;
    built.type = VIDINFHDR_TYPE_BMP;
    *rec = pending.Release();
    return QMV3_LEGACY_LOAD_OK;
}

}  // namespace

extern "C" {

QMV3_EXPORT int load_bmp_file(const char* path, VIDINFHDR* rec, int grayIndices) {
    Trace(1);
    const int code = qmv3::Guarded<int>(QMV3_LEGACY_LOAD_OUT_OF_MEMORY, QMV3_LEGACY_LOAD_OUT_OF_MEMORY,
                                        [&] { return ImportBitmap(path, rec, grayIndices); });
    Trace(9);
    Trace(10);
    return code;
}

}  // extern "C"
