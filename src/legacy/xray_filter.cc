// Spike filter: an interior pixel that is much brighter than more than three of its eight
// neighbours is replaced by their mean. Works in place, so pixels to the left and above have
// already been filtered when a pixel is looked at.
#include "legacy/pixel_access.h"
#include "util/c_boundary.h"

using namespace qmv3::legacy;

namespace {

template <typename T>
void FilterFrame(unsigned char* frame, size_t width, size_t height) {
    constexpr bool kWide = sizeof(T) == 4;
    for (size_t y = 1; y + 1 < height; ++y) {
        const size_t above = (y - 1) * width, row = y * width, below = (y + 1) * width;
        for (size_t x = 1; x + 1 < width; ++x) {
            const uint32_t value = Load<T>(frame, row + x);
            if (value == 0) continue;
            const uint32_t threshold = kWide ? 3u * (value / 2) : (2u * value) / 3;
            const uint32_t neighbours[8] = {Load<T>(frame, above + x - 1), Load<T>(frame, above + x),
                                            Load<T>(frame, above + x + 1), Load<T>(frame, row + x - 1),
                                            Load<T>(frame, row + x + 1),   Load<T>(frame, below + x - 1),
                                            Load<T>(frame, below + x),     Load<T>(frame, below + x + 1)};
            int darker = 0;
            for (uint32_t neighbour : neighbours) darker += neighbour < threshold;
            if (darker <= 3) continue;
            if (kWide) {
                double sum = 0.0;
                for (uint32_t neighbour : neighbours) sum += neighbour;
                Store<T>(frame, row + x, static_cast<T>(static_cast<uint32_t>(sum * 0.125)));
            } else {
                uint32_t sum = 0;
                for (uint32_t neighbour : neighbours) sum += neighbour;
                Store<T>(frame, row + x, static_cast<T>(sum >> 3));
            }
        }
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int xrayfilter(VIDINFHDR* rec) {
    return qmv3::Guarded<int>(QMV3_FILTER_REFUSED, QMV3_FILTER_REFUSED, [&]() -> int {
        if (rec == nullptr || rec->width < 4 || rec->height < 4) return QMV3_FILTER_REFUSED;
        if (rec->type == VIDINFHDR_TYPE_EMPTY) return QMV3_FILTER_REFUSED;
        if (rec->numframes < 1) return QMV3_FILTER_OK;
        if (!IsPixelWidth(rec->bpp) || !HasFrames(rec)) return QMV3_FILTER_REFUSED;
        ByPixelWidth(rec->bpp, [rec](auto zero) {
            for (int32_t f = 0; f < rec->numframes; ++f)
                FilterFrame<decltype(zero)>(rec->framebits[f], rec->width, rec->height);
        });
        return QMV3_FILTER_OK;
    });
}

}  // extern "C"
