// The one pass over a region. Each row is read in segments of at most kSegment pixels whose sums fit
// narrow integers, so that the compiler keeps many pixels in one vector register; segment sums are
// added into 64-bit row sums, and the per-column sums are flushed into 64-bit totals before they could
// overflow. Every sum is exact: the figures are made of integers only at the end.
//
// A pixel counts (has a weight) where its value minus the background exceeds the threshold; for a
// constant background that is the same as its units reaching a cut, an integer found once, so the pass
// never compares floating-point numbers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "analysis/region_gray_pass.h"
#include "analysis/region_statistics.h"

namespace qmv3::analysis {

namespace {

constexpr int kSegment = 128;

// The value in value units of an integer number of units, as the definitions compute it.
double ValueOf(int64_t units, int scale) {
    return scale == 1 ? static_cast<double>(units) : static_cast<double>(units) / scale;
}

// The smallest number of units u with u / scale - b > threshold, kept within +-limit (beyond it no
// pixel, or every pixel, counts).
int64_t CutOf(double b, double threshold, int scale, int64_t limit) {
    const double guess = std::floor((b + threshold) * scale);
    if (!(guess < static_cast<double>(limit))) return limit;
    if (!(guess > -static_cast<double>(limit))) return -limit;
    int64_t cut = static_cast<int64_t>(guess) - 2;
    while (!(ValueOf(cut, scale) - b > threshold)) ++cut;
    while (ValueOf(cut - 1, scale) - b > threshold) --cut;
    return cut;
}

// Sums of one segment; Narrow holds sums of up to kSegment values and of values times their column in
// the segment, Wide the squares.
template <typename Narrow, typename Wide>
struct SegmentSums {
    Narrow values = 0, weights = 0, counts = 0, columnWeights = 0, columnCounts = 0;
    Wide squares = 0;
    uint32_t saturated = 0;
};

// One segment of a row: value units in values[0..n), background units in backgrounds (frame
// backgrounds only). Adds the weights (w + b where a pixel counts) and counts into the columns.
template <typename Unit, typename Narrow, typename Wide, bool kFrame, bool kCount>
__attribute__((always_inline)) inline void MeasureSegment(const Unit* __restrict values,
                                                          const Unit* __restrict backgrounds, int n, Narrow cut,
                                                          Narrow saturation, Narrow* __restrict columnWeights,
                                                          Narrow* __restrict columnCounts,
                                                          SegmentSums<Narrow, Wide>& sums, Unit& low, Unit& high) {
    Narrow valueSum = 0, weightSum = 0, countSum = 0, columnWeightSum = 0, columnCountSum = 0;
    Wide squareSum = 0;
    Narrow saturated = 0;
    Unit lowest = values[0], highest = values[0];
    for (int k = 0; k < n; ++k) {
        const Narrow value = static_cast<Narrow>(values[k]);
        valueSum += value;
        squareSum += static_cast<Wide>(value) * static_cast<Wide>(value);
        lowest = std::min(lowest, values[k]);
        highest = std::max(highest, values[k]);
        saturated += value >= saturation ? 1 : 0;
        const Narrow difference = kFrame ? value - static_cast<Narrow>(backgrounds[k]) : value;
        const Narrow counts = difference >= cut ? 1 : 0;
        const Narrow weight = counts != 0 ? difference : 0;
        weightSum += weight;
        columnWeightSum += weight * k;
        columnWeights[k] += weight;
        if (kCount) {
            countSum += counts;
            columnCountSum += counts * k;
            columnCounts[k] += counts;
        }
    }
    sums.values = valueSum;
    sums.squares = squareSum;
    sums.saturated = static_cast<uint32_t>(saturated);
    sums.weights = weightSum;
    sums.columnWeights = columnWeightSum;
    sums.counts = countSum;
    sums.columnCounts = columnCountSum;
    low = lowest;
    high = highest;
}

// The rows of the region for one unit type. RowSource(j, values, backgrounds) yields pointers to row j's
// units (from the frame itself, or from a scratch row it converted).
template <typename Unit, typename Narrow, typename Wide, bool kFrame, bool kCount, typename RowSource>
void PassRows(const Request& request, int64_t cut, RowSource&& rowSource, RegionSums& sums) {
    const int width = request.width, height = request.height;
    std::vector<Narrow> columnWeights(static_cast<size_t>(width)), columnCounts(kCount ? width : 0);
    const int64_t largest = std::numeric_limits<Unit>::max();
    // Column sums grow by at most the largest unit per row.
    const int64_t flushRows = std::max<int64_t>(1, (std::numeric_limits<Narrow>::max() / largest) - 1);
    const Narrow narrowCut = static_cast<Narrow>(cut);
    const Narrow saturation = static_cast<Narrow>(std::min<int64_t>(request.saturationUnits, largest + 1));
    int64_t lowest = std::numeric_limits<int64_t>::max(), highest = std::numeric_limits<int64_t>::min();
    auto flush = [&] {
        for (int i = 0; i < width; ++i) {
            sums.columnWeights[i] += columnWeights[i];
            columnWeights[i] = 0;
            if (kCount) {
                sums.columnCounts[i] += columnCounts[i];
                columnCounts[i] = 0;
            }
        }
    };
    for (int j = 0; j < height; ++j) {
        const Unit* values = nullptr;
        const Unit* backgrounds = nullptr;
        rowSource(j, values, backgrounds);
        int64_t rowValues = 0, rowWeights = 0, rowCounts = 0, rowColumnWeights = 0, rowColumnCounts = 0;
        for (int start = 0; start < width; start += kSegment) {
            const int n = std::min(kSegment, width - start);
            SegmentSums<Narrow, Wide> segment;
            Unit low, high;
            MeasureSegment<Unit, Narrow, Wide, kFrame, kCount>(values + start, kFrame ? backgrounds + start : nullptr,
                                                               n, narrowCut, saturation, columnWeights.data() + start,
                                                               kCount ? columnCounts.data() + start : nullptr,
                                                               segment, low, high);
            rowValues += segment.values;
            sums.squareUnits += static_cast<unsigned __int128>(segment.squares);
            sums.saturated += segment.saturated;
            rowWeights += segment.weights;
            rowColumnWeights += static_cast<int64_t>(segment.columnWeights) + int64_t{start} * segment.weights;
            rowCounts += segment.counts;
            rowColumnCounts += static_cast<int64_t>(segment.columnCounts) + int64_t{start} * segment.counts;
            // Extremes are searched for their first position only when a segment improves on them.
            if (low < lowest) {
                lowest = low;
                sums.minimumX = start + static_cast<int>(std::find(values + start, values + start + n, low) -
                                                         (values + start));
                sums.minimumY = j;
            }
            if (high > highest) {
                highest = high;
                sums.maximumX = start + static_cast<int>(std::find(values + start, values + start + n, high) -
                                                         (values + start));
                sums.maximumY = j;
            }
        }
        sums.valueUnits += rowValues;
        sums.rowWeights[j] = rowWeights;
        sums.rowColumnWeights[j] = rowColumnWeights;
        if (kCount) {
            sums.rowCounts[j] = rowCounts;
            sums.rowColumnCounts[j] = rowColumnCounts;
        }
        if ((j + 1) % flushRows == 0) flush();
    }
    flush();
    sums.minimumUnits = lowest;
    sums.maximumUnits = highest;
}

// Chooses the narrow sums by the unit type: 8- and 16-bit units sum over a segment in 32 bits (16-bit
// squares in 64), the scaled units of RGB in 64.
template <typename Unit, bool kFrame, bool kCount, typename RowSource>
void PassByUnit(const Request& request, int64_t cut, RowSource&& rowSource, RegionSums& sums) {
    if constexpr (std::is_same_v<Unit, uint8_t>)
        PassRows<Unit, int32_t, int32_t, kFrame, kCount>(request, cut, rowSource, sums);
    else if constexpr (std::is_same_v<Unit, uint16_t>)
        PassRows<Unit, int32_t, int64_t, kFrame, kCount>(request, cut, rowSource, sums);
    else
        PassRows<Unit, int64_t, int64_t, kFrame, kCount>(request, cut, rowSource, sums);
}

template <typename Unit, typename RowSource>
void PassWithBackground(const Request& request, RowSource&& rowSource, RegionSums& sums) {
    // Beyond +-limit no difference of two units can reach: every pixel, or none, counts.
    const int64_t limit = int64_t{std::numeric_limits<Unit>::max()} + 2;
    if (request.backgroundKind == QMV3_BACKGROUND_FRAME) {
        const int64_t cut = CutOf(0.0, request.threshold, request.scale, limit);
        PassByUnit<Unit, true, false>(request, cut, rowSource, sums);
        return;
    }
    const int64_t cut = CutOf(request.constant, request.threshold, request.scale, limit);
    if (request.constant == 0.0)
        PassByUnit<Unit, false, false>(request, cut, rowSource, sums);
    else
        PassByUnit<Unit, false, true>(request, cut, rowSource, sums);
}

// Row j of the region (frame row request.y + j) as the frame stores it.
const unsigned char* RowBytes(const FrameView& frame, const Request& request, int j) {
    return frame.pixels + (static_cast<size_t>(request.y + j) * frame.width + request.x) * frame.bytesPerPixel;
}

// Units of an RGB row: the luminance in thousandths, or one channel.
void RgbUnits(const unsigned char* rgb, int n, int channel, uint32_t* units) {
    if (channel == QMV3_CHANNEL_LUMINANCE) {
        for (int i = 0; i < n; ++i)
            units[i] = 299u * rgb[3 * i] + 587u * rgb[3 * i + 1] + 114u * rgb[3 * i + 2];
        return;
    }
    const int offset = channel - QMV3_CHANNEL_RED;
    for (int i = 0; i < n; ++i) units[i] = rgb[3 * i + offset];
}

// 16-bit rows are read in place when aligned, else through a copy.
const uint16_t* WideRow(const unsigned char* bytes, int n, std::vector<uint16_t>& scratch) {
    if (reinterpret_cast<uintptr_t>(bytes) % alignof(uint16_t) == 0) return reinterpret_cast<const uint16_t*>(bytes);
    std::memcpy(scratch.data(), bytes, static_cast<size_t>(n) * 2);
    return scratch.data();
}

// The units of the region's outer ring, border pixels wide; readUnits(j, begin, n, units) converts n
// units of row j from column begin. Only the ring is read.
template <typename Unit, typename ReadUnits>
std::vector<Unit> RingUnits(const Request& request, ReadUnits&& readUnits) {
    const int width = request.width, height = request.height, border = request.border;
    const size_t wholeRows = static_cast<size_t>(2 * border >= width ? height : std::min(height, 2 * border));
    std::vector<Unit> ring(wholeRows * static_cast<size_t>(width) +
                           (static_cast<size_t>(height) - wholeRows) * 2 * static_cast<size_t>(border));
    Unit* at = ring.data();
    for (int j = 0; j < height; ++j) {
        if (j < border || j >= height - border || 2 * border >= width) {
            readUnits(j, 0, width, at);
            at += width;
        } else {
            readUnits(j, 0, border, at);
            readUnits(j, width - border, border, at + border);
            at += 2 * border;
        }
    }
    return ring;
}

// How many units are at most top: counted in blocks whose count fits the units' own width, so that the
// compiler keeps as many units per vector compare and sum as the width allows.
template <typename Unit>
size_t CountAtMost(const std::vector<Unit>& units, Unit top) {
    constexpr size_t kBlock = std::numeric_limits<Unit>::max();
    size_t count = 0;
    for (size_t start = 0; start < units.size(); start += kBlock) {
        const size_t end = std::min(units.size(), start + kBlock);
        Unit block = 0;
        for (size_t k = start; k < end; ++k) block = static_cast<Unit>(block + (units[k] <= top ? 1 : 0));
        count += block;
    }
    return count;
}

// The median in value units, as the mean of the two middle units for an even count. The unit at a rank
// is found by halving the range between the smallest and largest unit, each step a vector count over the
// ring: a border's narrow spread takes few steps, and no step waits on a busy counter as a table would.
template <typename Unit>
double MedianOf(const std::vector<Unit>& units, int scale) {
    const size_t rank = (units.size() - 1) / 2;  // the middle, or the lower of the two
    Unit low = std::numeric_limits<Unit>::max(), high = 0;
    for (const Unit unit : units) {
        low = std::min(low, unit);
        high = std::max(high, unit);
    }
    const Unit largest = high;
    size_t atMostHigh = units.size();
    while (low < high) {
        const Unit middle = static_cast<Unit>(low + (high - low) / 2);
        const size_t atMost = CountAtMost(units, middle);
        if (atMost > rank) {
            high = middle;
            atMostHigh = atMost;
        } else {
            low = static_cast<Unit>(middle + 1);
        }
    }
    if (units.size() % 2 == 1) {
        const double upper = high;
        return upper / scale;
    }
    Unit upperUnit = high;
    if (atMostHigh <= rank + 1) {  // rank + 1 holds the next unit up
        upperUnit = largest;
        for (const Unit unit : units)
            if (unit > high && unit < upperUnit) upperUnit = unit;
    }
    const double lower = high, upper = upperUnit;
    return (lower + upper) / 2.0 / scale;
}

#if defined(__x86_64__)
// 8- and 16-bit grey regions without a background frame take the vector pass, on the widest vectors
// the processor has. False: the portable pass must run.
bool MeasureGray(const Request& request, RegionSums& sums) {
    const FrameView& frame = request.frame;
    if (request.backgroundKind == QMV3_BACKGROUND_FRAME || frame.bytesPerPixel > 2) return false;
    const bool wide = frame.bytesPerPixel == 2;
    const int64_t largest = wide ? 65535 : 255;
    const size_t width = static_cast<size_t>(request.width);
    // Big enough for either width's narrow sums.
    std::vector<uint32_t> narrowWeights(width);
    std::vector<uint16_t> narrowCounts(width);
    GrayPass pass;
    pass.pixels = RowBytes(frame, request, 0);
    pass.stride = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.bytesPerPixel);
    pass.width = request.width;
    pass.height = request.height;
    pass.cut = CutOf(request.constant, request.threshold, request.scale, largest + 2);
    pass.saturation = std::min(request.saturationUnits, largest);
    pass.narrowWeights = narrowWeights.data();
    pass.narrowCounts = request.constant != 0.0 ? narrowCounts.data() : nullptr;
    pass.columnWeights = sums.columnWeights.data();
    pass.columnCounts = sums.columnCounts.data();
    pass.rowWeights = sums.rowWeights.data();
    pass.rowCounts = sums.rowCounts.data();
    pass.rowColumnWeights = sums.rowColumnWeights.data();
    pass.rowColumnCounts = sums.rowColumnCounts.data();
    if (__builtin_cpu_supports("avx512bw"))
        wide ? PassGray16Avx512(pass) : PassGray8Avx512(pass);
    else if (__builtin_cpu_supports("avx2"))
        wide ? PassGray16Avx2(pass) : PassGray8Avx2(pass);
    else
        wide ? PassGray16Sse2(pass) : PassGray8Sse2(pass);
    sums.valueUnits = pass.valueUnits;
    sums.squareUnits = pass.squareUnits;
    sums.saturated = pass.saturated;
    sums.minimumUnits = pass.minimum;
    sums.maximumUnits = pass.maximum;
    sums.minimumX = pass.minimumX;
    sums.minimumY = pass.minimumY;
    sums.maximumX = pass.maximumX;
    sums.maximumY = pass.maximumY;
    return true;
}
#else
bool MeasureGray(const Request&, RegionSums&) { return false; }
#endif

}  // namespace

void MeasureRegion(Request& request, RegionSums& sums, bool vectors) {
    const size_t width = static_cast<size_t>(request.width), height = static_cast<size_t>(request.height);
    sums = RegionSums();
    sums.pixels = static_cast<int64_t>(width * height);
    sums.columnWeights.assign(width, 0);
    sums.columnCounts.assign(width, 0);
    sums.rowWeights.assign(height, 0);
    sums.rowCounts.assign(height, 0);
    sums.rowColumnWeights.assign(height, 0);
    sums.rowColumnCounts.assign(height, 0);
    const FrameView& frame = request.frame;
    const FrameView& background = request.background;

    if (frame.bytesPerPixel == 1) {
        auto rows = [&](int j, const uint8_t*& values, const uint8_t*& backgrounds) {
            values = RowBytes(frame, request, j);
            if (background.pixels != nullptr) backgrounds = RowBytes(background, request, j);
        };
        if (request.backgroundKind == QMV3_BACKGROUND_BORDER) {
            const std::vector<uint8_t> ring = RingUnits<uint8_t>(request, [&](int j, int begin, int n, uint8_t* units) {
                std::memcpy(units, RowBytes(frame, request, j) + begin, static_cast<size_t>(n));
            });
            request.constant = MedianOf(ring, request.scale);
        }
        if (!vectors || !MeasureGray(request, sums)) PassWithBackground<uint8_t>(request, rows, sums);
    } else if (frame.bytesPerPixel == 2) {
        std::vector<uint16_t> valueScratch(width), backgroundScratch(width);
        auto rows = [&](int j, const uint16_t*& values, const uint16_t*& backgrounds) {
            values = WideRow(RowBytes(frame, request, j), request.width, valueScratch);
            if (background.pixels != nullptr)
                backgrounds = WideRow(RowBytes(background, request, j), request.width, backgroundScratch);
        };
        if (request.backgroundKind == QMV3_BACKGROUND_BORDER) {
            const std::vector<uint16_t> ring = RingUnits<uint16_t>(request, [&](int j, int begin, int n, uint16_t* units) {
                std::memcpy(units, RowBytes(frame, request, j) + 2 * static_cast<size_t>(begin), 2 * static_cast<size_t>(n));
            });
            request.constant = MedianOf(ring, request.scale);
        }
        if (!vectors || !MeasureGray(request, sums)) PassWithBackground<uint16_t>(request, rows, sums);
    } else {
        std::vector<uint32_t> valueUnits(width), backgroundUnits(width);
        auto rows = [&](int j, const uint32_t*& values, const uint32_t*& backgrounds) {
            RgbUnits(RowBytes(frame, request, j), request.width, request.channel, valueUnits.data());
            values = valueUnits.data();
            if (background.pixels != nullptr) {
                RgbUnits(RowBytes(background, request, j), request.width, request.channel, backgroundUnits.data());
                backgrounds = backgroundUnits.data();
            }
        };
        if (request.backgroundKind == QMV3_BACKGROUND_BORDER) {
            const std::vector<uint32_t> ring = RingUnits<uint32_t>(request, [&](int j, int begin, int n, uint32_t* units) {
                RgbUnits(RowBytes(frame, request, j) + 3 * static_cast<size_t>(begin), n, request.channel, units);
            });
            request.constant = MedianOf(ring, request.scale);
        }
        PassWithBackground<uint32_t>(request, rows, sums);
    }
}

}  // namespace qmv3::analysis
