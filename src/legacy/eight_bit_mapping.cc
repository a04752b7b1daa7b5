// The frames of an older record mapped onto 8 bits, as the bitmaps need them: the effective bits spread
// over 0..255, or an automatic contrast from all frames together. Each frame is mapped in place (its
// 8-bit values never overtake the wider values still to be read), so nothing is allocated once the
// first frame changes and a failure leaves the record as it was. The frames keep their blocks (a
// 16-bit frame's second half goes unused), whoever allocated them.
#include <vector>

#include "image/value_histogram.h"
#include "legacy/pixel_access.h"
#include "util/c_boundary.h"

using qmv3::image::CountSamples;
using qmv3::image::StretchTo8Bits;
using qmv3::image::ValueAtRank;

namespace {

// The map of every stored value onto 0..255: low onto 0, high onto 255, linear between.
std::vector<unsigned char> LinearMap(size_t values, double low, double high) {
    std::vector<unsigned char> map(values);
    for (size_t value = 0; value < values; ++value) map[value] = StretchTo8Bits(static_cast<double>(value), low, high);
    return map;
}

// The limits of the automatic contrast: the values left at either end once total / 200 of the values
// (0.5 %) are set aside at each.
void AutomaticLimits(const VIDINFHDR& rec, size_t values, size_t pixels, double& low, double& high) {
    std::vector<uint64_t> histogram(values, 0);
    for (int32_t frame = 0; frame < rec.numframes; ++frame)
        CountSamples(rec.framebits[frame], pixels, rec.bpp / 8, 1, histogram.data());
    const uint64_t total = static_cast<uint64_t>(pixels) * static_cast<uint64_t>(rec.numframes);
    low = ValueAtRank(histogram.data(), values, total / 200);
    high = ValueAtRank(histogram.data(), values, total - total / 200 - 1);
    if (high <= low) high = low + 1.0;  // a flat frame stays black instead of dividing by zero
}

template <typename Sample>
void MapFrame(unsigned char* frame, size_t pixels, const std::vector<unsigned char>& map) {
    for (size_t i = 0; i < pixels; ++i) frame[i] = map[qmv3::legacy::Load<Sample>(frame, i)];
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmMapFramesTo8Bits(VIDINFHDR* rec, int contrast) {
    return qmv3::Guarded<int>(QMV3_MAP_OUT_OF_MEMORY, QMV3_MAP_REFUSED, [&]() -> int {
        if (rec == nullptr || (contrast != QMV3_CONTRAST_BITS && contrast != QMV3_CONTRAST_AUTOMATIC))
            return QMV3_MAP_REFUSED;
        if (rec->type == VIDINFHDR_TYPE_EMPTY || (rec->bpp != 8 && rec->bpp != 16)) return QMV3_MAP_REFUSED;
        if (rec->width == 0 || rec->height == 0 || !qmv3::legacy::HasFrames(rec)) return QMV3_MAP_REFUSED;
        const size_t values = rec->bpp == 16 ? 65536 : 256;
        const size_t pixels = static_cast<size_t>(rec->width) * rec->height;
        const uint32_t bits = rec->ebitpp >= 1 && rec->ebitpp <= rec->bpp ? rec->ebitpp : rec->bpp;
        double low = 0.0, high = static_cast<double>((1u << bits) - 1);
        if (contrast == QMV3_CONTRAST_AUTOMATIC) AutomaticLimits(*rec, values, pixels, low, high);
        const std::vector<unsigned char> map = LinearMap(values, low, high);
        for (int32_t frame = 0; frame < rec->numframes; ++frame) {
            if (rec->bpp == 8)
                MapFrame<uint8_t>(rec->framebits[frame], pixels, map);
            else
                MapFrame<uint16_t>(rec->framebits[frame], pixels, map);
        }
        rec->bpp = 8;
        rec->ebitpp = 8;
        return QMV3_MAP_OK;
    });
}

}  // extern "C"
