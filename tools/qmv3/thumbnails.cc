// Thumbnails are the library's display pictures (box averages, grey values stretched, a palette);
// here they are sampled, labelled and laid out.
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

bool MakeThumbnail(const DIMAGE& image, uint32_t position, const ThumbnailStyle& style, Picture& thumbnail,
                   std::string& message) {
    PixelLayout layout;
    if (!PixelLayoutOf(image, position, layout, message)) return false;
    const int palette = static_cast<int>(style.palette);
    QMV3_PICTURE_SIZE size;
    if (qmGetDisplayPictureSize(&image, style.maxSide, palette, &size) == QMV3_PICTURE_OK) {
        thumbnail.Resize(size.width, size.height, static_cast<int>(size.channels), 0);
        if (qmMakeDisplayPicture(&image, style.maxSide, style.low, style.high, palette, thumbnail.pixels.data(),
                                 thumbnail.pixels.size()) == QMV3_PICTURE_OK)
            return true;
    }
    message = "image " + std::to_string(position) + " cannot be shown";
    return false;
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
