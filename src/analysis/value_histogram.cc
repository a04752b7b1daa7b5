// The value histogram of an image and percentiles read off a histogram: what a contrast stretch, a
// plot of values or a saturation count starts from, counted once for every face.
#include "image/value_histogram.h"

#include <cmath>
#include <cstring>

#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

using qmv3::image::CountSamples;
using qmv3::image::ValueAtRank;

extern "C" {

QMV3_EXPORT int qmImageHistogram(const DIMAGE* image, unsigned int step, uint32_t* counts, size_t countsSize,
                                 uint64_t* counted) {
    return qmv3::Guarded<int>(QMV3_STATISTICS_OUT_OF_MEMORY, QMV3_STATISTICS_FAILED, [&]() -> int {
        if (image == nullptr || counts == nullptr || step == 0) return QMV3_STATISTICS_BAD_ARGUMENT;
        QMV3_PIXEL_LAYOUT layout;
        if (qmGetPixelLayout(image, &layout) != QMV3_LAYOUT_OK || image->frameBuffer == nullptr)
            return QMV3_STATISTICS_UNSUPPORTED_IMAGE;
        if (countsSize < (layout.bytesPerSample == 2 ? 65536u : 256u)) return QMV3_STATISTICS_BAD_ARGUMENT;
        std::memset(counts, 0, countsSize * sizeof *counts);
        const uint64_t samples = CountSamples(image->frameBuffer, layout.frameBytes / layout.bytesPerSample,
                                              layout.bytesPerSample, step, counts);
        if (counted != nullptr) *counted = samples;
        return QMV3_STATISTICS_OK;
    });
}

QMV3_EXPORT uint32_t qmHistogramPercentile(const uint64_t* counts, size_t countsSize, double fraction) {
    return qmv3::Guarded<uint32_t>(0, 0, [&]() -> uint32_t {
        if (counts == nullptr) return 0;
        uint64_t total = 0;
        for (size_t value = 0; value < countsSize; ++value) total += counts[value];
        if (total == 0) return 0;
        // The nearest rank: the sample at ceil(fraction * total), counting from 1, and at least the first.
        const double wanted = fraction * static_cast<double>(total);
        const uint64_t rank = !(wanted > 1.0)                        ? 0
                              : wanted >= static_cast<double>(total) ? total - 1
                                                                     : static_cast<uint64_t>(std::ceil(wanted)) - 1;
        return ValueAtRank(counts, countsSize, rank);
    });
}

}  // extern "C"
