// Per-frame normalisation: the pixels inside a rectangle are stretched so that the largest of them
// reaches the largest value of the record's effective bits.
#include <algorithm>
#include <utility>

#include "legacy/pixel_access.h"
#include "util/c_boundary.h"

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

template <typename T>
void NormalizeFrame(unsigned char* frame, size_t width, const Rectangle& area, uint32_t target) {
    uint32_t largest = 0;
    for (size_t y = area.y1; y <= area.y2; ++y) {
        const size_t row = y * width;
        for (size_t x = area.x1; x <= area.x2; ++x) largest = std::max<uint32_t>(largest, Load<T>(frame, row + x));
    }
    const double factor = largest == 0 ? target / 1.0 : static_cast<double>(target) / largest;
    const double top = target;
    for (size_t y = area.y1; y <= area.y2; ++y) {
        const size_t row = y * width;
        for (size_t x = area.x1; x <= area.x2; ++x) {
            const double scaled = std::min(Load<T>(frame, row + x) * factor, top);
            Store<T>(frame, row + x, static_cast<T>(static_cast<uint32_t>(scaled)));
        }
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int normalizeframes_rect(VIDINFHDR* rec, unsigned x1, unsigned y1, unsigned x2, unsigned y2) {
    return qmv3::Guarded<int>(QMV3_FILTER_REFUSED, QMV3_FILTER_REFUSED, [&]() -> int {
        if (rec == nullptr || rec->type == VIDINFHDR_TYPE_EMPTY) return QMV3_FILTER_REFUSED;
        if (x1 > x2) std::swap(x1, x2);
        if (y1 > y2) std::swap(y1, y2);
        if (rec->numframes < 1) return QMV3_FILTER_OK;
        // A rectangle reaching outside the frame would touch memory beyond it.
        if (x2 >= rec->width || y2 >= rec->height) return QMV3_FILTER_REFUSED;
        if (!IsPixelWidth(rec->bpp) || !HasFrames(rec)) return QMV3_FILTER_REFUSED;
        const Rectangle area = {x1, y1, x2, y2};
        const uint32_t target = TargetMaximum(*rec);
        ByPixelWidth(rec->bpp, [&](auto zero) {
            for (int32_t f = 0; f < rec->numframes; ++f)
                NormalizeFrame<decltype(zero)>(rec->framebits[f], rec->width, area, target);
        });
        return QMV3_FILTER_OK;
    });
}

QMV3_EXPORT int normalizeframes(VIDINFHDR* rec) {
    return qmv3::Guarded<int>(-1, -1, [&]() -> int {
        if (rec == nullptr) return QMV3_FILTER_REFUSED;
        return normalizeframes_rect(rec, 0, 0, rec->width - 1, rec->height - 1);
    });
}

}  // extern "C"
