// Spike filter: an interior pixel that is much brighter than more than three of its eight
// neighbours is replaced by their mean. Works in place, so pixels to the left and above have
// already been filtered when a pixel is looked at.
#include "legacy/pixel_access.h"

using namespace qmv3::legacy;

namespace {

void FilterFrame(unsigned char* frame, uint32_t width, uint32_t height, uint32_t bpp) {
    static const int kOffsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (uint32_t y = 1; y + 1 < height; ++y) {
        for (uint32_t x = 1; x + 1 < width; ++x) {
            const size_t index = static_cast<size_t>(y) * width + x;
            const uint32_t value = LoadPixel(frame, index, bpp);
            if (value == 0) continue;
            const uint32_t threshold = bpp == 32 ? 3u * (value / 2) : (2u * value) / 3;
            int darker = 0;
            uint32_t sum = 0;
            double wideSum = 0.0;
            for (const auto& offset : kOffsets) {
                size_t neighbour = static_cast<size_t>(y + offset[1]) * width + (x + offset[0]);
                uint32_t neighbourValue = LoadPixel(frame, neighbour, bpp);
                if (neighbourValue < threshold) ++darker;
                sum += neighbourValue;
                wideSum += neighbourValue;
            }
            if (darker <= 3) continue;
            StorePixel(frame, index, bpp, bpp == 32 ? static_cast<uint32_t>(wideSum * 0.125) : sum >> 3);
        }
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int xrayfilter(VIDINFHDR* rec) {
    if (rec == nullptr || rec->width < 4 || rec->height < 4) return QMV3_FILTER_REFUSED;
    if (rec->type == VIDINFHDR_TYPE_EMPTY) return QMV3_FILTER_REFUSED;
    if (rec->numframes < 1) return QMV3_FILTER_OK;
    if (!IsPixelWidth(rec->bpp) || !HasFrames(rec)) return QMV3_FILTER_REFUSED;
    for (int32_t f = 0; f < rec->numframes; ++f) FilterFrame(rec->framebits[f], rec->width, rec->height, rec->bpp);
    return QMV3_FILTER_OK;
}

}  // extern "C"
