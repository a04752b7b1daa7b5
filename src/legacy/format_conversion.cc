// Type conversion of older records; a multi-frame record that becomes a background is first
// reduced to one frame, the per-pixel average or the per-pixel maximum of its frames.
#include <algorithm>
#include <cstdlib>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "legacy/pixel_access.h"
#include "util/c_boundary.h"
#include "util/frame_memory.h"

using namespace qmv3::legacy;

namespace {

enum class Reduction { kAverage, kEnvelope };

// The reduced values of every pixel, block by block so that the accumulators stay in the first-level
// cache while each frame passes: the sum in double precision and frame order divided by the frame
// count and truncated, or the largest value.
template <typename T>
void ReduceFrames(const VIDINFHDR& rec, Reduction reduction, unsigned char* out) {
    const size_t pixels = static_cast<size_t>(rec.width) * rec.height;
    for (size_t start = 0; start < pixels; start += kPixelBlock) {
        const size_t n = std::min(kPixelBlock, pixels - start);
        if (reduction == Reduction::kEnvelope) {
            uint32_t largest[kPixelBlock] = {};
            for (int32_t f = 0; f < rec.numframes; ++f) {
                for (size_t k = 0; k < n; ++k)
                    largest[k] = std::max<uint32_t>(largest[k], Load<T>(rec.framebits[f], start + k));
            }
            for (size_t k = 0; k < n; ++k) Store<T>(out, start + k, static_cast<T>(largest[k]));
            continue;
        }
        double sum[kPixelBlock] = {};
        for (int32_t f = 0; f < rec.numframes; ++f) {
            for (size_t k = 0; k < n; ++k) sum[k] += Load<T>(rec.framebits[f], start + k);
        }
        for (size_t k = 0; k < n; ++k)
            Store<T>(out, start + k, static_cast<T>(static_cast<uint32_t>(sum[k] / rec.numframes)));
    }
}

// Builds the reduced frame completely before the record is changed, so a failure leaves it as it was.
int Downscale(VIDINFHDR* rec, Reduction reduction) {
    if (rec == nullptr || !IsPixelWidth(rec->bpp)) return QMV3_CONVERT_FORMAT_BAD_BITS;
    if (!HasFrames(rec)) return QMV3_CONVERT_FORMAT_OUT_OF_MEMORY;
    uint32_t frameBytes = 0;
    if (!FrameBytes(rec->width, rec->height, rec->bpp, &frameBytes)) return QMV3_CONVERT_FORMAT_OUT_OF_MEMORY;
    double* scales = static_cast<double*>(std::malloc(sizeof(double)));
    unsigned char** bits = static_cast<unsigned char**>(std::malloc(sizeof(unsigned char*)));
    unsigned char* frame = static_cast<unsigned char*>(frame_memory::AllocateFrame(frameBytes == 0 ? 1 : frameBytes));
    if (scales == nullptr || bits == nullptr || frame == nullptr) {
        std::free(scales);
        std::free(bits);
        std::free(frame);
        return QMV3_CONVERT_FORMAT_OUT_OF_MEMORY;
    }
    ByPixelWidth(rec->bpp, [&](auto zero) { ReduceFrames<decltype(zero)>(*rec, reduction, frame); });
    const double scale = rec->scale;
    const int32_t type = rec->type;
    ReleaseFrames(rec);
    rec->type = type;
    rec->numframes = 1;
    scales[0] = scale;
    bits[0] = frame;
    rec->framescales = scales;
    rec->framebits = bits;
    return QMV3_CONVERT_FORMAT_OK;
}

int ReduceToBackground(VIDINFHDR* rec, int method) {
    if (rec->numframes <= 1) return QMV3_CONVERT_FORMAT_OK;
    switch (method) {
        case 1:
            return downscale_average_function(rec);
        case 2:
            return downscale_envelope_function(rec);
        case 0:
            return QMV3_CONVERT_FORMAT_NEEDS_METHOD;
        default:
            return QMV3_CONVERT_FORMAT_BAD_METHOD;
    }
}

}  // namespace

int downscale_average_function(VIDINFHDR* rec) { return Downscale(rec, Reduction::kAverage); }

int downscale_envelope_function(VIDINFHDR* rec) { return Downscale(rec, Reduction::kEnvelope); }

extern "C" {

QMV3_EXPORT int convert_format(VIDINFHDR* rec, int newType, int reductionMethod) {
    return qmv3::Guarded<int>(QMV3_CONVERT_FORMAT_OUT_OF_MEMORY, QMV3_CONVERT_FORMAT_OUT_OF_MEMORY, [&]() -> int {
        if (rec == nullptr || rec->type < VIDINFHDR_TYPE_IMM || rec->type > VIDINFHDR_TYPE_BKC)
            return QMV3_CONVERT_FORMAT_BAD_TYPE;
        if (newType == VIDINFHDR_TYPE_BKG) {
            int code = ReduceToBackground(rec, reductionMethod);
            if (code != QMV3_CONVERT_FORMAT_OK) return code;
        } else if (newType == VIDINFHDR_TYPE_IMM || newType == VIDINFHDR_TYPE_IMC || newType == VIDINFHDR_TYPE_BKC) {
            if (reductionMethod != QMV3_REDUCE_NONE) return QMV3_CONVERT_FORMAT_BAD_METHOD;
        } else {
            return QMV3_CONVERT_FORMAT_BAD_NEW_TYPE;
        }
        rec->type = newType;
        return QMV3_CONVERT_FORMAT_OK;
    });
}

}  // extern "C"
