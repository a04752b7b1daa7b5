// Per-frame normalisation: the pixels inside a rectangle are stretched so that the largest of them
// reaches the largest value of the record's effective bits.
#include <algorithm>
#include <utility>

#include "legacy/pixel_access.h"

using namespace qmv3::legacy;

namespace {

struct Rectangle {
    uint32_t x1, y1, x2, y2;
};

// The largest value of the effective bits, never more than a pixel can hold; 0 effective bits
// stands for the full pixel width, as in the files.
uint32_t TargetMaximum(const VIDINFHDR& rec) {
    const uint32_t effective = rec.ebitpp != 0 ? rec.ebitpp : rec.bpp;
    const uint32_t wanted = effective >= 32 ? UINT32_MAX : (1u << effective) - 1;
    return std::min(wanted, LargestPixelValue(rec.bpp));
}

void NormalizeFrame(unsigned char* frame, const VIDINFHDR& rec, const Rectangle& area, uint32_t target) {
    uint32_t largest = 0;
    for (uint32_t y = area.y1; y <= area.y2; ++y) {
        for (uint32_t x = area.x1; x <= area.x2; ++x) {
            largest = std::max(largest, LoadPixel(frame, static_cast<size_t>(y) * rec.width + x, rec.bpp));
        }
    }
    const double factor = largest == 0 ? target / 1.0 : static_cast<double>(target) / largest;
    for (uint32_t y = area.y1; y <= area.y2; ++y) {
        for (uint32_t x = area.x1; x <= area.x2; ++x) {
            const size_t index = static_cast<size_t>(y) * rec.width + x;
            const double scaled = std::min(LoadPixel(frame, index, rec.bpp) * factor, static_cast<double>(target));
            StorePixel(frame, index, rec.bpp, static_cast<uint32_t>(scaled));
        }
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int normalizeframes_rect(VIDINFHDR* rec, unsigned x1, unsigned y1, unsigned x2, unsigned y2) {
    if (rec == nullptr || rec->type == VIDINFHDR_TYPE_EMPTY) return QMV3_FILTER_REFUSED;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (rec->numframes < 1) return QMV3_FILTER_OK;
    // A rectangle reaching outside the frame would touch memory beyond it.
    if (x2 >= rec->width || y2 >= rec->height) return QMV3_FILTER_REFUSED;
    if (!IsPixelWidth(rec->bpp) || !HasFrames(rec)) return QMV3_FILTER_REFUSED;
    const Rectangle area = {x1, y1, x2, y2};
    const uint32_t target = TargetMaximum(*rec);
    for (int32_t f = 0; f < rec->numframes; ++f) NormalizeFrame(rec->framebits[f], *rec, area, target);
    return QMV3_FILTER_OK;
}

QMV3_EXPORT int normalizeframes(VIDINFHDR* rec) {
    if (rec == nullptr) return QMV3_FILTER_REFUSED;
    return normalizeframes_rect(rec, 0, 0, rec->width - 1, rec->height - 1);
}

}  // extern "C"
