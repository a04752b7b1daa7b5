// Spot and region statistics inside the library: a request checked against its image, the one pass
// over the region that gathers exact integer sums, and the figures and profiles made of those sums.
//
// Thread rules: none; every call works on its own request and sums.
#ifndef QMV3_ANALYSIS_REGION_STATISTICS_H
#define QMV3_ANALYSIS_REGION_STATISTICS_H

#include <cstdint>
#include <vector>

#include "qmv3/qmv3.h"

namespace qmv3::analysis {

// A frame's pixels as the pass reads them.
struct FrameView {
    const unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;  // 1, 2 (GRAY) or 3 (RGB)
};

// Everything the pass needs, checked: values are read in units, value = units / scale (scale 1000 for
// the luminance of RGB pixels, else 1).
struct Request {
    FrameView frame;
    FrameView background;  // pixels null unless the background is a frame
    int x = 0, y = 0, width = 0, height = 0;
    int channel = QMV3_CHANNEL_LUMINANCE;
    int scale = 1;
    int64_t saturationUnits = 0;  // units at or above which a value is saturated
    int backgroundKind = QMV3_BACKGROUND_NONE;
    int border = 0;
    double constant = 0.0;  // b of a constant or border background, found by the pass for the border
    double threshold = 0.0;
    double xScale = 0.0, yScale = 0.0;  // millimetres per pixel, <= 0 unset
};

// Checks the options against the image; QMV3_STATISTICS_OK or the code of the first broken rule.
int PrepareRequest(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options, Request& request);

// The exact sums of one pass. Column and row sums hold the units of the weights before the background
// is taken off (w + b where a pixel counts) and the counts of pixels that count, so that a fractional
// background leaves the integers exact.
struct RegionSums {
    int64_t pixels = 0;
    int64_t valueUnits = 0;
    unsigned __int128 squareUnits = 0;
    int64_t minimumUnits = 0, maximumUnits = 0;
    int minimumX = 0, minimumY = 0, maximumX = 0, maximumY = 0;  // region-relative
    uint64_t saturated = 0;
    std::vector<int64_t> columnWeights, columnCounts;  // per column of the region
    std::vector<int64_t> rowWeights, rowCounts;        // per row
    std::vector<int64_t> rowColumnWeights, rowColumnCounts;  // per row: sums of weight and count times column
};

// The border median, when asked for, into request.constant; then the pass, in vector registers where
// the pixels allow unless vectors is false (the tests compare the two). Memory running out throws
// std::bad_alloc for the caller's guard.
void MeasureRegion(Request& request, RegionSums& sums, bool vectors = true);

// The figures of the sums.
void FinishStatistics(const Request& request, const RegionSums& sums, QMV3_STATISTICS& result);

// The column and row sums of w.
void FinishProfiles(const Request& request, const RegionSums& sums, double* columns, double* rows);

}  // namespace qmv3::analysis

#endif
