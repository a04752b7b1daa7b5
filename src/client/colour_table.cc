// Display helpers: a colour table that maps grey values of 8 to 16 significant bits to colours, and
// the conversion of grey pixels through such a table into 24-bit RGB. They work on plain arrays and
// only on their arguments, so they may run on any thread.
#include <climits>
#include <cstdint>
#include <cstring>

#include "qmv3/qmv3.h"

namespace {

constexpr int kEntryBytes = 4;

// Colour components are computed in double precision and truncated toward zero.
inline unsigned char toByte(double component) { return static_cast<unsigned char>(static_cast<int>(component)); }

void setEntry(unsigned char* table, int index, double red, double green, double blue) {
    unsigned char* entry = table + static_cast<size_t>(index) * kEntryBytes;
    entry[0] = toByte(red);
    entry[1] = toByte(green);
    entry[2] = toByte(blue);
    entry[3] = 0;
}

void fillGrey(unsigned char* table, int levels) {
    const int maxLevel = levels - 1;
    for (int i = 0; i <= maxLevel; ++i) {
        const double value = i * 255.0 / (levels - 1.0);
        setEntry(table, i, value, value, value);
    }
}

// Black, blue, blue-green, green, red, white.
void fillBlueGreenRed(unsigned char* table, int levels) {
    const int maxLevel = levels - 1;
    const double n = levels;
    const double a = n / 3.0, b = 293.0 * n / 500.0, c = 2.0 * n / 3.0;
    const int ia = static_cast<int>(a), ib = static_cast<int>(b), ic = static_cast<int>(c);
    setEntry(table, 0, 0, 0, 0);
    const double s1 = -0.5608 / (a - 1.0);
    for (int i = 1; i <= ia; ++i) setEntry(table, i, 0, 0, (i * s1 + (1.0 - s1)) * 255.0);
    const double s2 = 0.561 / (b - a), s3 = -0.4314 / (b - a);
    for (int i = ia + 1; i <= ib; ++i) {
        setEntry(table, i, 0, (i * s2 + (0.263 - a * s2)) * 255.0, (i * s3 - b * s3) * 255.0);
    }
    const double s4 = 0.176 / (c - b);
    for (int i = ib + 1; i <= ic; ++i) setEntry(table, i, 0, (i * s4 + (1.0 - c * s4)) * 255.0, 0);
    const double s5 = 0.737 / (n - c);
    for (int i = ic + 1; i <= maxLevel - 1; ++i) setEntry(table, i, (i * s5 + (1.0 - n * s5)) * 255.0, 0, 0);
    setEntry(table, maxLevel, 255, 255, 255);
}

// Dark blue, blue, cyan, yellow, red, dark red, white at the top.
void fillRainbow(unsigned char* table, int levels) {
    const int maxLevel = levels - 1;
    const int q = levels / 8, q3 = 3 * levels / 8, q5 = 5 * levels / 8, q7 = 7 * levels / 8;
    const double d = 2.0 * q;
    for (int i = 0; i < q; ++i) setEntry(table, i, 0, 0, (i * 0.5 / q + 0.5) * 255.0);
    for (int i = q; i < q3; ++i) setEntry(table, i, 0, (i / d - 0.5) * 255.0, 255);
    for (int i = q3; i < q5; ++i) {
        const double u = i / d - 1.5;
        setEntry(table, i, u * 255.0, 255, (1.0 - u) * 255.0);
    }
    for (int i = q5; i < q7; ++i) setEntry(table, i, 255, (-i / d + 3.5) * 255.0, 0);
    for (int i = q7; i <= maxLevel - 1; ++i) setEntry(table, i, (-i / d + 4.5) * 255.0, 0, 0);
    setEntry(table, maxLevel, 255, 255, 255);
}

int createColourTable(unsigned char* table, int* tableBytes, int mode, int bytesPerPixel, int effectiveBits) {
    if (table == nullptr || tableBytes == nullptr) return QMV3_COLOUR_BAD_ARGUMENT;
    if (mode < 0 || mode > 2 || (bytesPerPixel != 1 && bytesPerPixel != 2)) return QMV3_COLOUR_BAD_ARGUMENT;
    if (effectiveBits < 8 || effectiveBits > 16 || effectiveBits > 8 * bytesPerPixel) return QMV3_COLOUR_BAD_ARGUMENT;
    const int entries = 1 << (8 * bytesPerPixel);
    const int levels = 1 << effectiveBits;
    const int requiredBytes = kEntryBytes * entries;
    if (*tableBytes < requiredBytes) {
        *tableBytes = requiredBytes;
        return QMV3_COLOUR_TOO_SMALL;
    }
    // Values that cannot occur with the stated bits stay magenta.
    for (int i = 0; i < entries; ++i) setEntry(table, i, 255, 0, 255);
    if (mode == 0) fillGrey(table, levels);
    if (mode == 1) fillBlueGreenRed(table, levels);
    if (mode == 2) fillRainbow(table, levels);
    *tableBytes = requiredBytes;
    return entries;
}

int grayToRgb24(const void* gray, int grayBytes, unsigned char* rgb, int* rgbBytes, const unsigned char* table,
                int bytesPerPixel, int pixelCount) {
    if (gray == nullptr || rgb == nullptr || rgbBytes == nullptr || table == nullptr) return QMV3_COLOUR_BAD_ARGUMENT;
    if ((bytesPerPixel != 1 && bytesPerPixel != 2) || pixelCount < 1) return QMV3_COLOUR_BAD_ARGUMENT;
    if (static_cast<int64_t>(bytesPerPixel) * pixelCount > grayBytes) return QMV3_COLOUR_BAD_ARGUMENT;
    // An output size that an int cannot state is refused like any other impossible request.
    if (pixelCount > INT_MAX / 3) return QMV3_COLOUR_BAD_ARGUMENT;
    const int requiredBytes = 3 * pixelCount;
    if (*rgbBytes < requiredBytes) {
        *rgbBytes = requiredBytes;
        return QMV3_COLOUR_TOO_SMALL;
    }
    const auto* pixels = static_cast<const unsigned char*>(gray);
    for (int i = 0; i < pixelCount; ++i) {
        unsigned value;
        if (bytesPerPixel == 2) {
            uint16_t word;  // host byte order; the pixels need not be aligned
            std::memcpy(&word, pixels + 2 * static_cast<size_t>(i), sizeof word);
            value = word;
        } else {
            value = pixels[i];
        }
        std::memcpy(rgb + 3 * static_cast<size_t>(i), table + static_cast<size_t>(value) * kEntryBytes, 3);
    }
    *rgbBytes = requiredBytes;
    return QMV3_COLOUR_OK;
}

}  // namespace

extern "C" {

QMV3_EXPORT int QMV3_INTERNAL_qmCreateColourTable(unsigned char* table, int* tableBytes, int mode, int bytesPerPixel,
                                                  int effectiveBits) {
    return createColourTable(table, tableBytes, mode, bytesPerPixel, effectiveBits);
}

QMV3_EXPORT int QMV3_INTERNAL_qmGrayToRGB24(const void* gray, int grayBytes, unsigned char* rgb, int* rgbBytes,
                                            const unsigned char* table, int bytesPerPixel, int pixelCount) {
    return grayToRgb24(gray, grayBytes, rgb, rgbBytes, table, bytesPerPixel, pixelCount);
}

}  // extern "C"
