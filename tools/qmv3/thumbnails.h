// Small pictures of a run's frames for the report and the contact sheet: frames sampled evenly over
// the run, reduced by averaging, grey values stretched onto 0..255 and coloured by a palette, labels
// drawn with a small built-in font, and a grid of them encoded as a PNG.
#ifndef QMV3_TOOL_THUMBNAILS_H
#define QMV3_TOOL_THUMBNAILS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sequence_io.h"

namespace qmv3tool {

// An 8-bit picture: 1 channel (grey) or 3 (red, green, blue), rows without padding.
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 1;
    std::vector<unsigned char> pixels;
    void Resize(uint32_t w, uint32_t h, int c, unsigned char fill);
};

// The palettes of the tool's picture outputs, named as export-bmp names them.
enum class Palette { kGray = 0, kFalse = 1, kJet = 2 };
// False for a name other than gray, false or jet.
bool ParsePalette(const char* name, Palette& palette);

struct ThumbnailStyle {
    Palette palette = Palette::kGray;
    uint32_t low = 0;     // grey values at or below: the palette's first colour
    uint32_t high = 255;  // at or above: its last colour
    uint32_t maxSide = 192;
};

// The pixels of an uncompressed 8- or 16-bit GRAY or 8-bit RGB frame.
struct PixelLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 1;
    int bytesPerSample = 1;
    const unsigned char* pixels = nullptr;
};
// The layout of image (position counts from 1, for the message); false with a message for a frame that
// is no uncompressed GRAY or RGB frame or holds fewer bytes than its geometry needs.
bool PixelLayoutOf(const DIMAGE& image, uint32_t position, PixelLayout& layout, std::string& message);

// The positions (0-based) of up to wanted frames spread evenly from the first to the last.
std::vector<uint32_t> SampleIndices(uint32_t count, uint32_t wanted);

// The frame reduced to fit maxSide; false with a message for a frame that is no uncompressed GRAY or
// RGB frame.
bool MakeThumbnail(const DIMAGE& image, uint32_t position, const ThumbnailStyle& style, Picture& thumbnail,
                   std::string& message);

// Draws text (digits, letters and ". : - # /") with its top left corner at x, y, clipped to the picture.
void DrawLabel(Picture& picture, int x, int y, const std::string& text, unsigned char shade);
// Width in pixels of a label.
int LabelWidth(const std::string& text);
constexpr int kLabelHeight = 7;

// The grid of thumbnails, each with its label below it, columns wide.
Picture ComposeSheet(const std::vector<Picture>& thumbnails, const std::vector<std::string>& labels, uint32_t columns);

// An image record over the picture's pixels (which it does not own), for the library's writers; false
// for an empty picture or one of more than INT32_MAX bytes.
bool PictureImage(const Picture& picture, DIMAGE& image);

// The picture as a PNG in memory; false with a message.
bool EncodePicture(const Picture& picture, std::vector<unsigned char>& png, std::string& message);

// Everything the report and the contact sheet share: the sampled thumbnails of a sequence and their
// labels ("#123 15:04:10.250"). The contrast of grey frames comes from the run's histogram.
struct ThumbnailSet {
    std::vector<uint32_t> indices;
    std::vector<Picture> pictures;
    std::vector<std::string> labels;
};
bool MakeThumbnailSet(const Sequence& sequence, uint32_t wanted, const ThumbnailStyle& style, ThumbnailSet& set,
                      std::string& message);

}  // namespace qmv3tool

#endif
