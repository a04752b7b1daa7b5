// Export of 8-bit frames as Windows bitmaps, one file per frame, with a gray, false-colour or jet
// palette.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"

using namespace qmv3::legacy;

namespace {

constexpr uint32_t kPixelDataOffset = 1078;
constexpr size_t kFileNameCapacity = 256;

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

int Jet(int x) {
    if (x < 0) return 0;
    if (x <= 63) return 3 + 4 * x;
    if (x <= 127) return 255;
    if (x <= 190) return 251 - 4 * (x - 128);
    return 0;
}

// Fills red, green and blue of palette entry i.
void PaletteEntry(int palette, int i, int* red, int* green, int* blue) {
    if (palette == 0) {
        *red = *green = *blue = i;
    } else if (palette == 1) {
        *red = i > 170 ? 190 * (i - 170) / 85 + 65 : 0;
        *green = (i >= 86 && i <= 170) ? 190 * (i - 85) / 85 + 65 : 0;
        *blue = (i >= 1 && i <= 149) ? 255 * (151 - i) / 150 : 0;
    } else {
        *red = Jet(i - 96);
        *green = Jet(i - 32);
        *blue = Jet(i + 32);
        if (i == 0) *red = *green = *blue = 0;
    }
    if (i == 255 && palette != 0) *red = *green = *blue = 255;
}

void BuildPalette(int palette, unsigned char* table) {
    for (int i = 0; i < 256; ++i) {
        int red, green, blue;
        PaletteEntry(palette, i, &red, &green, &blue);
        table[4 * i] = static_cast<unsigned char>(blue);
        table[4 * i + 1] = static_cast<unsigned char>(green);
        table[4 * i + 2] = static_cast<unsigned char>(red);
        table[4 * i + 3] = 0;
    }
}

const char* const kNumberFormats[] = {"%d", "%02d", "%03d", "%04d"};

uint64_t RowStride(uint64_t width) { return (width * 8 + 31) / 32 * 4; }

// The bytes of a bitmap file: headers, palette and rows padded to four bytes.
uint64_t BitmapFileBytes(uint64_t width, uint64_t height) { return RowStride(width) * height + kPixelDataOffset; }

// prefix + the number with at least digits + 1 places + ".bmp"; false when it does not fit.
bool BitmapFileName(char* name, size_t size, const char* prefix, int number, int digits) {
    char format[16];
    std::snprintf(format, sizeof format, "%%s%s.bmp", kNumberFormats[digits]);
    const int needed = std::snprintf(name, size, format, prefix, number);
    return needed >= 0 && static_cast<size_t>(needed) < size;
}

// Writes the headers in the pieces the format names (2, 4, 2, 2, 4, 40 and 1024 bytes).
bool WriteHeaders(OutputFile& file, unsigned width, unsigned height, uint32_t imageSize, int palette) {
    unsigned char fileHeader[14] = {'B', 'M'};
    Store<uint32_t>(fileHeader + 2, imageSize + kPixelDataOffset);
    Store<uint32_t>(fileHeader + 10, kPixelDataOffset);
    unsigned char info[40] = {0};
    Store<uint32_t>(info, 40);
    Store<uint32_t>(info + 4, width);
    Store<uint32_t>(info + 8, height);
    Store<uint16_t>(info + 12, 1);
    Store<uint16_t>(info + 14, 8);
    Store<uint32_t>(info + 20, imageSize);
    unsigned char table[1024];
    BuildPalette(palette, table);
    return file.Write(fileHeader, 2) && file.Write(fileHeader + 2, 4) && file.Write(fileHeader + 6, 2) &&
           file.Write(fileHeader + 8, 2) && file.Write(fileHeader + 10, 4) && file.Write(info, sizeof info) &&
           file.Write(table, sizeof table);
}

// True when every file of the export has a size that the 32-bit header fields can hold.
bool FitsBitmapHeader(unsigned width, unsigned height) { return BitmapFileBytes(width, height) <= UINT32_MAX; }

}  // namespace

void vkl_internal_flipframe_with_adjustment(unsigned char* destination, const unsigned char* source, unsigned width,
                                            unsigned height, int bitsPerPixel) {
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) / 8;
    const size_t stride = RowStride(width);
    std::memset(destination, 0, stride * height);
    for (unsigned row = 0; row < height; ++row) {
        std::memcpy(destination + stride * (height - 1 - row), source + rowBytes * row, rowBytes);
    }
}

int vkl_internal_write_bmp_file(const char* name, unsigned width, unsigned height, void* pixels, int palette) {
    if (palette < 0 || palette > 2) return QMV3_LEGACY_SAVE_INTERRUPTED;
    if (!FitsBitmapHeader(width, height)) return QMV3_LEGACY_SAVE_WRITE_FAILED;
    OutputFile file;
    if (!CreateForSave(file, name)) return QMV3_LEGACY_SAVE_CREATE_FAILED;
    const uint32_t imageSize = static_cast<uint32_t>(RowStride(width) * height);
    std::unique_ptr<unsigned char, FreeDeleter> rows(
        static_cast<unsigned char*>(std::malloc(imageSize == 0 ? 1 : imageSize)));
    if (!rows) return QMV3_LEGACY_SAVE_WRITE_FAILED;
    vkl_internal_flipframe_with_adjustment(rows.get(), static_cast<const unsigned char*>(pixels), width, height, 8);
    if (!WriteHeaders(file, width, height, imageSize, palette) || !file.Write(rows.get(), imageSize)) {
        return QMV3_LEGACY_SAVE_WRITE_FAILED;
    }
    return file.Commit() ? QMV3_LEGACY_SAVE_OK : QMV3_LEGACY_SAVE_WRITE_FAILED;
}

extern "C" {

QMV3_EXPORT int save_bmp_files(const char* prefix, VIDINFHDR* rec, int palette, int digits) {
    return qmv3::Guarded<int>(QMV3_LEGACY_SAVE_OUT_OF_MEMORY, QMV3_LEGACY_SAVE_OUT_OF_MEMORY, [&]() -> int {
        if (rec == nullptr) return QMV3_LEGACY_SAVE_NO_FRAMES;
        if (digits < 0 || digits > 3 || palette < 0 || palette > 2 || prefix == nullptr || prefix[0] == '\0') {
            return QMV3_LEGACY_SAVE_INTERRUPTED;
        }
        if (!IsSavableType(rec->type)) return QMV3_LEGACY_SAVE_BAD_TYPE;
        if (rec->numframes == 0) return QMV3_LEGACY_SAVE_NO_FRAMES;
        if (rec->bpp != 8) return QMV3_LEGACY_SAVE_NOT_8_BIT;
        if (rec->numframes < 0) return QMV3_LEGACY_SAVE_OK;
        if (rec->framebits == nullptr) return QMV3_LEGACY_SAVE_NO_FRAMES;
        // The widest name is the last frame's; refuse a prefix that would not fit before writing anything.
        char name[kFileNameCapacity];
        if (!BitmapFileName(name, sizeof name, prefix, rec->numframes, digits)) return QMV3_LEGACY_SAVE_INTERRUPTED;
        if (!FitsBitmapHeader(rec->width, rec->height)) return QMV3_LEGACY_SAVE_INTERRUPTED;
        for (int32_t i = 0; i < rec->numframes; ++i) {
            if (rec->framebits[i] == nullptr) return QMV3_LEGACY_SAVE_NO_FRAMES;
            BitmapFileName(name, sizeof name, prefix, i + 1, digits);
            if (vkl_internal_write_bmp_file(name, rec->width, rec->height, rec->framebits[i], palette) !=
                QMV3_LEGACY_SAVE_OK) {
                return QMV3_LEGACY_SAVE_WRITE_FAILED;
            }
        }
        return QMV3_LEGACY_SAVE_OK;
    });
}

QMV3_EXPORT int qmGetBitmapFileName(const char* prefix, int number, int digits, char* name, size_t nameSize) {
    if (prefix == nullptr || name == nullptr || nameSize == 0 || number < 0 || digits < 0 || digits > 3) return -1;
    return BitmapFileName(name, nameSize, prefix, number, digits) ? 0 : -1;
}

QMV3_EXPORT uint64_t qmGetBitmapFileSize(unsigned int width, unsigned int height) {
    return FitsBitmapHeader(width, height) ? BitmapFileBytes(width, height) : 0;
}

QMV3_EXPORT const char* qmGetBitmapSaveText(int code) {
    static const char kOther[] = "export failed";
    return qmv3::Guarded<const char*>(kOther, kOther, [&]() -> const char* {
        switch (code) {
            case QMV3_LEGACY_SAVE_BAD_TYPE:
                return "the frames are of a kind that cannot be exported";
            case QMV3_LEGACY_SAVE_NO_FRAMES:
                return "no frames";
            case QMV3_LEGACY_SAVE_CREATE_FAILED:
                return "a file could not be created";
            case QMV3_LEGACY_SAVE_WRITE_FAILED:
                return "a file could not be written";
            case QMV3_BMP_PARAMETER_ERROR:
                return "the prefix is empty or too long";
            case QMV3_LEGACY_SAVE_NOT_8_BIT:
                return "the frames do not have 8 bits per pixel";
            default:
                return kOther;
        }
    });
}

}  // extern "C"
