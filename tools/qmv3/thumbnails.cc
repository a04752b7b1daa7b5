// Thumbnails are box averages over whole blocks of the frame, so noise does not alias into them and a
// 2048-pixel frame costs one read of its pixels. Grey values are stretched before the palette applies,
// so that a 12-bit frame does not come out nearly black.
#include "thumbnails.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "run_statistics.h"

namespace qmv3tool {

void Picture::Resize(uint32_t w, uint32_t h, int c, unsigned char fill) {
    width = w;
    height = h;
    channels = c;
    pixels.assign(static_cast<size_t>(w) * h * static_cast<size_t>(c), fill);
}

bool ParsePalette(const char* name, Palette& palette) {
    static const char* const kNames[] = {"gray", "false", "jet"};
    for (int i = 0; i < 3; ++i)
        if (std::strcmp(name, kNames[i]) == 0) {
            palette = static_cast<Palette>(i);
            return true;
        }
    return false;
}

std::vector<uint32_t> SampleIndices(uint32_t count, uint32_t wanted) {
    std::vector<uint32_t> indices;
    if (count == 0 || wanted == 0) return indices;
    if (wanted >= count || wanted == 1) {
        for (uint32_t i = 0; i < (wanted == 1 ? 1 : count); ++i) indices.push_back(i);
        return indices;
    }
    for (uint32_t k = 0; k < wanted; ++k)
        indices.push_back(
            static_cast<uint32_t>((static_cast<uint64_t>(k) * (count - 1) + (wanted - 1) / 2) / (wanted - 1)));
    return indices;
}

bool PixelLayoutOf(const DIMAGE& image, uint32_t position, PixelLayout& layout, std::string& message) {
    QMV3_PIXEL_LAYOUT pixels;
    const int result = qmGetPixelLayout(&image, &pixels);
    if (result == QMV3_LAYOUT_COMPRESSED || result == QMV3_LAYOUT_NO_ARRAY_FORM) {
        message = "image " + std::to_string(position) + " is " + FormatName(image.frameHeader.imageFormat) + " with " +
                  std::to_string(image.frameHeader.bytesPerPixel) +
                  " bytes per pixel; only 8- and 16-bit GRAY and 8-bit RGB frames can be shown";
        return false;
    }
    if (result != QMV3_LAYOUT_OK || image.frameBuffer == nullptr || pixels.frameBytes == 0) {
        message = "image " + std::to_string(position) + " holds fewer frame bytes than its geometry needs";
        return false;
    }
    layout.width = pixels.width;
    layout.height = pixels.height;
    layout.channels = static_cast<int>(pixels.channels);
    layout.bytesPerSample = static_cast<int>(pixels.bytesPerSample);
    layout.pixels = image.frameBuffer;
    return true;
}

namespace {

// The sums of the blocks of one channel of the frame, an output row at a time: emit(outY, sums) with
// one sum per block. Summing in integers, a row of blocks at a time, keeps the work to one read of
// each pixel and the memory to one row of sums.
template <typename Sample, typename Emit>
void SumBlocks(const PixelLayout& layout, int channel, uint32_t factor, uint32_t outWidth, uint32_t outHeight,
               Emit&& emit) {
    std::vector<uint64_t> sums(outWidth);
    const size_t step = static_cast<size_t>(layout.channels);  // samples from one pixel to the next
    const size_t rowSamples = step * layout.width;
    for (uint32_t outY = 0; outY < outHeight; ++outY) {
        std::fill(sums.begin(), sums.end(), 0);
        for (uint32_t y = outY * factor; y < (outY + 1) * factor; ++y) {
            const unsigned char* row =
                layout.pixels + (rowSamples * y + static_cast<size_t>(channel)) * sizeof(Sample);
            auto at = [row, step](size_t x) {
                Sample value;
                std::memcpy(&value, row + step * x * sizeof(Sample), sizeof value);
                return value;
            };
            if (step == 1 && factor == 2) {
                // The live view's common case, 2048 pixels shown as 1024: a loop the compiler vectorises.
                for (uint32_t outX = 0; outX < outWidth; ++outX)
                    sums[outX] += static_cast<uint32_t>(at(2 * size_t{outX})) + at(2 * size_t{outX} + 1);
                continue;
            }
            for (uint32_t outX = 0; outX < outWidth; ++outX) {
                uint64_t sum = 0;
                for (uint32_t x = outX * factor; x < (outX + 1) * factor; ++x) sum += at(x);
                sums[outX] += sum;
            }
        }
        emit(outY, sums.data());
    }
}

// SumBlocks for the frame's sample size.
template <typename Emit>
void SumBlocksOf(const PixelLayout& layout, int channel, uint32_t factor, uint32_t outWidth, uint32_t outHeight,
                 Emit&& emit) {
    if (layout.bytesPerSample == 2)
        SumBlocks<uint16_t>(layout, channel, factor, outWidth, outHeight, emit);
    else
        SumBlocks<uint8_t>(layout, channel, factor, outWidth, outHeight, emit);
}

unsigned char Stretch(double value, const ThumbnailStyle& style) {
    const double span = style.high > style.low ? static_cast<double>(style.high - style.low) : 1.0;
    const double scaled = (value - static_cast<double>(style.low)) * 255.0 / span + 0.5;
    return static_cast<unsigned char>(scaled <= 0.0 ? 0 : scaled >= 255.0 ? 255 : scaled);
}

// The library's colour table for 8-bit values: 4 bytes (red, green, blue, 0) per value.
std::vector<unsigned char> ColourTable(Palette palette) {
    std::vector<unsigned char> table(256 * 4);
    int bytes = static_cast<int>(table.size());
    if (qmCreateColourTable(table.data(), &bytes, static_cast<int>(palette), 1, 8) != 256)
        for (int value = 0; value < 256; ++value)
            std::memset(&table[static_cast<size_t>(value) * 4], value, 3);  // grey when no table is had
    return table;
}

}  // namespace

bool MakeThumbnail(const DIMAGE& image, uint32_t position, const ThumbnailStyle& style, Picture& thumbnail,
                   std::string& message) {
    PixelLayout layout;
    if (!PixelLayoutOf(image, position, layout, message)) return false;
    const uint32_t longest = std::max(layout.width, layout.height);
    const uint32_t factor = std::max<uint32_t>(1, (longest + style.maxSide - 1) / style.maxSide);
    const uint32_t width = std::max<uint32_t>(1, layout.width / factor);
    const uint32_t height = std::max<uint32_t>(1, layout.height / factor);
    const uint32_t blockFactor = std::min({factor, layout.width, layout.height});
    const double area = static_cast<double>(blockFactor) * blockFactor;
    if (layout.channels == 3) {
        thumbnail.Resize(width, height, 3, 0);
        for (int channel = 0; channel < 3; ++channel)
            SumBlocksOf(layout, channel, blockFactor, width, height, [&](uint32_t y, const uint64_t* sums) {
                unsigned char* out = &thumbnail.pixels[static_cast<size_t>(y) * width * 3 + static_cast<size_t>(channel)];
                for (uint32_t x = 0; x < width; ++x)
                    out[3 * size_t{x}] = static_cast<unsigned char>(std::min(255.0, static_cast<double>(sums[x]) / area + 0.5));
            });
        return true;
    }
    if (style.palette == Palette::kGray) {
        thumbnail.Resize(width, height, 1, 0);
        SumBlocksOf(layout, 0, blockFactor, width, height, [&](uint32_t y, const uint64_t* sums) {
            unsigned char* out = &thumbnail.pixels[static_cast<size_t>(y) * width];
            for (uint32_t x = 0; x < width; ++x) out[x] = Stretch(static_cast<double>(sums[x]) / area, style);
        });
        return true;
    }
    const std::vector<unsigned char> table = ColourTable(style.palette);
    thumbnail.Resize(width, height, 3, 0);
    SumBlocksOf(layout, 0, blockFactor, width, height, [&](uint32_t y, const uint64_t* sums) {
        unsigned char* out = &thumbnail.pixels[static_cast<size_t>(y) * width * 3];
        for (uint32_t x = 0; x < width; ++x)
            std::memcpy(out + 3 * size_t{x}, &table[4 * static_cast<size_t>(Stretch(static_cast<double>(sums[x]) / area, style))], 3);
    });
    return true;
}

// ---- labels ----

namespace {

struct Glyph {
    char character;
    unsigned char rows[kLabelHeight];  // five columns each, the leftmost in bit 4
};

const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
};

constexpr int kAdvance = 6;

const Glyph* FindGlyph(char character) {
    for (const Glyph& glyph : kGlyphs)
        if (glyph.character == character) return &glyph;
    return nullptr;
}

void SetShade(Picture& picture, int x, int y, unsigned char shade) {
    if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= picture.width || static_cast<uint32_t>(y) >= picture.height)
        return;
    const size_t at = (static_cast<size_t>(y) * picture.width + static_cast<size_t>(x)) * picture.channels;
    std::memset(&picture.pixels[at], shade, static_cast<size_t>(picture.channels));
}

}  // namespace

int LabelWidth(const std::string& text) { return text.empty() ? 0 : kAdvance * static_cast<int>(text.size()) - 1; }

void DrawLabel(Picture& picture, int x, int y, const std::string& text, unsigned char shade) {
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = FindGlyph(text[i]);
        if (glyph == nullptr) continue;  // spaces and characters without a glyph leave a gap
        const int left = x + kAdvance * static_cast<int>(i);
        for (int row = 0; row < kLabelHeight; ++row)
            for (int column = 0; column < 5; ++column)
                if (glyph->rows[row] & (0x10 >> column)) SetShade(picture, left + column, y + row, shade);
    }
}

Picture ComposeSheet(const std::vector<Picture>& thumbnails, const std::vector<std::string>& labels, uint32_t columns) {
    constexpr uint32_t kGap = 6, kLabelSpace = kLabelHeight + 4;
    constexpr unsigned char kBackground = 24, kInk = 230;
    uint32_t cellWidth = 0, cellHeight = 0;
    int channels = 1;
    for (size_t i = 0; i < thumbnails.size(); ++i) {
        cellWidth = std::max({cellWidth, thumbnails[i].width, static_cast<uint32_t>(LabelWidth(labels[i]))});
        cellHeight = std::max(cellHeight, thumbnails[i].height);
        if (thumbnails[i].channels == 3) channels = 3;
    }
    columns = std::max<uint32_t>(1, std::min<uint32_t>(columns, static_cast<uint32_t>(thumbnails.size())));
    const uint32_t rows = static_cast<uint32_t>((thumbnails.size() + columns - 1) / columns);
    Picture sheet;
    sheet.Resize(kGap + columns * (cellWidth + kGap), kGap + rows * (cellHeight + kLabelSpace + kGap), channels,
                 kBackground);
    for (size_t i = 0; i < thumbnails.size(); ++i) {
        const Picture& thumbnail = thumbnails[i];
        const uint32_t left = kGap + static_cast<uint32_t>(i % columns) * (cellWidth + kGap);
        const uint32_t top = kGap + static_cast<uint32_t>(i / columns) * (cellHeight + kLabelSpace + kGap);
        for (uint32_t y = 0; y < thumbnail.height; ++y)
            for (uint32_t x = 0; x < thumbnail.width; ++x) {
                unsigned char* to =
                    &sheet.pixels[((static_cast<size_t>(top) + y) * sheet.width + left + x) * sheet.channels];
                const unsigned char* from =
                    &thumbnail.pixels[(static_cast<size_t>(y) * thumbnail.width + x) * thumbnail.channels];
                for (int c = 0; c < sheet.channels; ++c) to[c] = from[thumbnail.channels == 3 ? c : 0];
            }
        DrawLabel(sheet, static_cast<int>(left), static_cast<int>(top + cellHeight + 2), labels[i], kInk);
    }
    return sheet;
}

bool PictureImage(const Picture& picture, DIMAGE& image) {
    std::memset(&image, 0, sizeof image);
    if (qmInitializeImageHeaderEx(&image, static_cast<int>(picture.width), static_cast<int>(picture.height),
                                  picture.channels, -1, picture.channels == 3 ? QMV3_FORMAT_RGB : QMV3_FORMAT_GRAY,
                                  QMV3_HEADER_FLAG_ANY_SIZE) != QMV3_HEADER_OK)
        return false;
    // The picture is frame 1 of its own, and every bit of its pixels counts (as its PNG metadata says).
    image.frameHeader.frameNumber = 1;
    image.frameHeader.effectiveBitsPerPixel = -1;
    image.frameBuffer = const_cast<unsigned char*>(picture.pixels.data());
    image.frameBufferSize = static_cast<uint32_t>(picture.pixels.size());
    return true;
}

bool EncodePicture(const Picture& picture, std::vector<unsigned char>& png, std::string& message) {
    DIMAGE image;
    if (!PictureImage(picture, image)) {
        message = "the picture is empty or too large";
        return false;
    }
    unsigned char* encoded = nullptr;
    size_t size = 0;
    char text[512] = "";
    if (qmEncodeImageAsPng(&image, QMV3_EXPORT_FLAG_COMPRESS, &encoded, &size, text, sizeof text) != QMV3_SAVE_OK) {
        message = text;
        return false;
    }
    png.assign(encoded, encoded + size);
    std::free(encoded);
    return true;
}

bool MakeThumbnailSet(const Sequence& sequence, uint32_t wanted, const ThumbnailStyle& style, ThumbnailSet& set,
                      std::string& message) {
    set = ThumbnailSet();
    set.indices = SampleIndices(sequence.size(), wanted);
    for (uint32_t index : set.indices) {
        Picture picture;
        if (!MakeThumbnail(sequence[index], index + 1, style, picture, message)) return false;
        set.pictures.push_back(std::move(picture));
        set.labels.push_back("#" + std::to_string(sequence[index].frameHeader.frameNumber) + " " +
                             ClockText(sequence[index]));
    }
    return true;
}

}  // namespace qmv3tool
