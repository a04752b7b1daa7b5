// The grey pass written once over a vector type S (S::V a register of S::kBytes bytes and the handful of
// integer operations the pass needs). Included only by the units that instantiate it for one instruction
// set; everything here has internal linkage and uses no library templates, so code built for AVX2 is never
// shared with the baseline.
//
// Each row is read in segments of at most kSegmentSteps vectors, whose sums fit narrow lanes; at a
// segment's end the lanes are reduced into 64-bit row sums. Column sums live in narrow arrays flushed into
// 64-bit totals every few hundred rows. A row's positional sum (the weight times the column) needs no
// multiplication per pixel: with A the running sum of a lane's weights and R the sum of A after each of
// the N steps, the weights times their step number add up to N·A − R.
#ifndef QMV3_ANALYSIS_REGION_GRAY_KERNEL_H
#define QMV3_ANALYSIS_REGION_GRAY_KERNEL_H

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "analysis/region_gray_pass.h"

namespace qmv3::analysis {
namespace {

constexpr int kSegmentSteps = 128;

// A row's sums, gathered from its segments and its scalar tail.
struct RowTotals {
    int64_t values = 0, weights = 0, columnWeights = 0, counts = 0, columnCounts = 0;
    unsigned __int128 squares = 0;
    uint64_t saturated = 0;
};

template <typename Unit>
Unit UnitAt(const unsigned char* row, int i) {
    Unit unit;
    std::memcpy(&unit, row + static_cast<size_t>(i) * sizeof(Unit), sizeof(Unit));
    return unit;
}

// The lanes of a register as an array of T.
template <class S, typename T>
struct Spilled {
    explicit Spilled(typename S::V v) { S::Store(lane, v); }
    static constexpr int kCount = S::kBytes / static_cast<int>(sizeof(T));
    T lane[S::kBytes / sizeof(T)];
};

// Sums of all lanes: of 64-bit lanes, of 32-bit lanes below 2^32 (zero-extended to 64 bits), and of
// 16-bit lanes below 2^15 (paired by madd).
template <class S>
int64_t Sum32(typename S::V v) {
    return S::Sum64(S::Add64(S::UnpackLow32(v, S::Zero()), S::UnpackHigh32(v, S::Zero())));
}

template <class S>
int64_t Sum16(typename S::V v) {
    return Sum32<S>(S::Madd(v, S::Shorts(1)));
}

// Sum over lanes of (first + l) * lane[l] for the 32-bit lanes of low then high, the columns they stand
// for; once a segment, so done plainly.
template <class S>
int64_t PlacedSum32(typename S::V low, typename S::V high, int64_t first) {
    const Spilled<S, uint32_t> lows(low), highs(high);
    int64_t sum = 0;
    for (int l = 0; l < lows.kCount; ++l) sum += (first + l) * static_cast<int64_t>(lows.lane[l]);
    for (int l = 0; l < highs.kCount; ++l) sum += (first + lows.kCount + l) * static_cast<int64_t>(highs.lane[l]);
    return sum;
}

// The lanes' column numbers within a step as 16-bit lanes, from first.
template <class S>
typename S::V ColumnNumbers(int first) {
    uint16_t numbers[S::kBytes / 2];
    for (int l = 0; l < S::kBytes / 2; ++l) numbers[l] = static_cast<uint16_t>(first + l);
    return S::Load(numbers);
}

// Moves lowest and highest to a segment's extremes where they are strictly better, telling which moved;
// lows and highs are the segment's lanes, lowest and highest as they would be compared in lanes (lanes
// of type T). The lanes are reduced only when some lane is better, which after the first rows is rare.
template <class S, typename T, typename Min, typename Max>
void MoveExtremes(typename S::V lows, typename S::V highs, typename S::V lowestLanes, typename S::V highestLanes,
                  Min&& min, Max&& max, bool first, int64_t& lowest, int64_t& highest, bool& lowMoved,
                  bool& highMoved) {
    lowMoved = first || !S::Same(min(lows, lowestLanes), lowestLanes);
    highMoved = first || !S::Same(max(highs, highestLanes), highestLanes);
    if (lowMoved) {
        const Spilled<S, T> lanes(lows);
        int64_t low = lanes.lane[0];
        for (int l = 1; l < lanes.kCount; ++l) low = lanes.lane[l] < low ? lanes.lane[l] : low;
        lowMoved = first || low < lowest;
        if (lowMoved) lowest = low;
    }
    if (highMoved) {
        const Spilled<S, T> lanes(highs);
        int64_t high = lanes.lane[0];
        for (int l = 1; l < lanes.kCount; ++l) high = lanes.lane[l] > high ? lanes.lane[l] : high;
        highMoved = first || high > highest;
        if (highMoved) highest = high;
    }
}

// 8-bit pixels, S::kBytes per step. Lane limits per segment: byte counters reach kSegmentSteps (< 256),
// 16-bit lane weights 255 * kSegmentSteps, 32-bit squares 4 * 255^2 * kSegmentSteps.
template <class S, bool kCounted>
struct Lanes8 {
    using Unit = uint8_t;
    using NarrowWeight = uint16_t;
    using NarrowCount = uint8_t;
    using V = typename S::V;
    static constexpr bool kCount = kCounted;
    static constexpr int kPixels = S::kBytes;
    static constexpr int kFlushRows = 255;  // byte column counts

    explicit Lanes8(const GrayPass& pass)
        : zero(S::Zero()),
          cut(S::Bytes(static_cast<int>(pass.cut < 0 ? 0 : pass.cut > 255 ? 255 : pass.cut))),
          saturation(S::Bytes(static_cast<int>(pass.saturation))),
          enable(pass.cut > 255 ? zero : S::Bytes(0xFF)),
          columnsLow(ColumnNumbers<S>(0)),
          columnsHigh(ColumnNumbers<S>(kPixels / 2)) {}

    void Begin() {
        low = S::Bytes(0xFF);
        high = values = squares = saturated = weights = weightRuns = laneLow = laneHigh = zero;
        counts = countSums = countRuns = zero;
    }

    void Step(const unsigned char* pixels, NarrowWeight* columnWeights, NarrowCount* columnCounts) {
        const V v = S::Load(pixels);
        low = S::MinU8(low, v);
        high = S::MaxU8(high, v);
        values = S::Add64(values, S::Sad(v, zero));
        V lo, hi;
        S::WidenBytes(v, lo, hi);
        squares = S::Add32(squares, S::Add32(S::Madd(lo, lo), S::Madd(hi, hi)));
        saturated = S::Sub8(saturated, S::CmpEq8(S::MaxU8(v, saturation), v));
        // v >= cut where v = max(v, cut).
        const V mask = S::And(S::CmpEq8(S::MaxU8(v, cut), v), enable);
        const V w = S::And(v, mask);
        weights = S::Add64(weights, S::Sad(w, zero));
        weightRuns = S::Add64(weightRuns, weights);
        S::WidenBytes(w, lo, hi);
        laneLow = S::Add16(laneLow, lo);
        laneHigh = S::Add16(laneHigh, hi);
        S::Store(columnWeights, S::Add16(S::Load(columnWeights), lo));
        S::Store(columnWeights + kPixels / 2, S::Add16(S::Load(columnWeights + kPixels / 2), hi));
        if (kCount) {
            // mask bytes are 0xFF: subtracting counts one, and their byte sums are 255 per pixel.
            counts = S::Sub8(counts, mask);
            countSums = S::Add64(countSums, S::Sad(mask, zero));
            countRuns = S::Add64(countRuns, countSums);
            S::Store(columnCounts, S::Sub8(S::Load(columnCounts), mask));
        }
    }

    // Adds the segment's sums to the row's, and moves the extremes (in units) where it betters them.
    void Finish(int start, int steps, RowTotals& row, bool first, int64_t& lowest, int64_t& highest, bool& lowMoved,
                bool& highMoved) const {
        row.values += S::Sum64(values);
        row.squares += static_cast<uint64_t>(Sum32<S>(squares));
        row.saturated += static_cast<uint64_t>(S::Sum64(S::Sad(saturated, zero)));
        // The lanes' weights times their column in the step, by madd against the column numbers.
        const int64_t w = S::Sum64(weights), runs = S::Sum64(weightRuns);
        const int64_t placed = Sum32<S>(S::Add32(S::Madd(laneLow, columnsLow), S::Madd(laneHigh, columnsHigh)));
        row.weights += w;
        row.columnWeights += start * w + placed + kPixels * (steps * w - runs);
        if (kCount) {
            const int64_t n = S::Sum64(countSums) / 255, nRuns = S::Sum64(countRuns) / 255;
            V lo, hi;
            S::WidenBytes(counts, lo, hi);
            const int64_t placedCounts = Sum32<S>(S::Add32(S::Madd(lo, columnsLow), S::Madd(hi, columnsHigh)));
            row.counts += n;
            row.columnCounts += start * n + placedCounts + kPixels * (steps * n - nRuns);
        }
        const int bestLow = static_cast<int>(first ? 255 : lowest), bestHigh = static_cast<int>(first ? 0 : highest);
        MoveExtremes<S, uint8_t>(
            low, high, S::Bytes(bestLow), S::Bytes(bestHigh), [](V a, V b) { return S::MinU8(a, b); },
            [](V a, V b) { return S::MaxU8(a, b); }, first, lowest, highest, lowMoved, highMoved);
    }

    const V zero, cut, saturation, enable, columnsLow, columnsHigh;
    V low, high, values, squares, saturated, weights, weightRuns, laneLow, laneHigh, counts, countSums, countRuns;
};

// 16-bit pixels, S::kBytes / 2 per step, compared and squared as signed x = v - 32768 (SSE2 has no unsigned
// 16-bit comparison; madd multiplies signed), with v^2 = x^2 + 65536 v - 2^30. Lane limits per segment:
// 16-bit counters reach kSegmentSteps, 32-bit lane weights 65535 * kSegmentSteps and their runs
// 65535 * kSegmentSteps * (kSegmentSteps + 1) / 2 < 2^32.
template <class S, bool kCounted>
struct Lanes16 {
    using Unit = uint16_t;
    using NarrowWeight = uint32_t;
    using NarrowCount = uint16_t;
    using V = typename S::V;
    static constexpr bool kCount = kCounted;
    static constexpr int kPixels = S::kBytes / 2;
    static constexpr int kFlushRows = 65535;  // 16-bit column counts

    static int Signed(int64_t units) { return static_cast<int>(units) - 32768; }

    explicit Lanes16(const GrayPass& pass)
        : zero(S::Zero()),
          bias(S::Shorts(-32768)),
          ones(S::Shorts(1)),
          lowHalves(S::Ints(0xFFFF)),
          cut(S::Shorts(Signed(pass.cut < 0 ? 0 : pass.cut > 65535 ? 65535 : pass.cut))),
          saturation(S::Shorts(Signed(pass.saturation) - 1)),
          enable(pass.cut > 65535 ? zero : S::Shorts(-1)),
          columns(ColumnNumbers<S>(0)) {}

    void Begin() {
        low = S::Shorts(32767);
        high = S::Shorts(-32768);
        values = squareHighs = squareLows = saturated = laneLow = laneHigh = runLow = runHigh = zero;
        counts = countRuns = zero;
    }

    void Step(const unsigned char* pixels, NarrowWeight* columnWeights, NarrowCount* columnCounts) {
        const V v = S::Load(pixels);
        const V x = S::Xor(v, bias);
        low = S::Min16(low, x);
        high = S::Max16(high, x);
        values = S::Add32(values, S::Madd(x, ones));
        // A pair of squares reaches 2^31: exact as unsigned, summed in 16-bit halves.
        const V square = S::Madd(x, x);
        squareHighs = S::Add32(squareHighs, S::ShiftRight32By16(square));
        squareLows = S::Add32(squareLows, S::And(square, lowHalves));
        saturated = S::Sub16(saturated, S::CmpGt16(x, saturation));
        // x >= cut where not cut > x.
        const V mask = S::AndNot(S::CmpGt16(cut, x), enable);
        V lo, hi;
        S::WidenShorts(S::And(v, mask), lo, hi);
        laneLow = S::Add32(laneLow, lo);
        laneHigh = S::Add32(laneHigh, hi);
        runLow = S::Add32(runLow, laneLow);
        runHigh = S::Add32(runHigh, laneHigh);
        S::Store(columnWeights, S::Add32(S::Load(columnWeights), lo));
        S::Store(columnWeights + kPixels / 2, S::Add32(S::Load(columnWeights + kPixels / 2), hi));
        if (kCount) {
            counts = S::Sub16(counts, mask);
            countRuns = S::Add16(countRuns, counts);
            S::Store(columnCounts, S::Sub16(S::Load(columnCounts), mask));
        }
    }

    void Finish(int start, int steps, RowTotals& row, bool first, int64_t& lowest, int64_t& highest, bool& lowMoved,
                bool& highMoved) const {
        const int64_t pixels = int64_t{steps} * kPixels;
        // Each lane of values holds the signed pairs of steps steps: adding 65536 a step makes it their
        // sum of v, never negative.
        const int64_t value = Sum32<S>(S::Add32(values, S::Ints(65536 * steps)));
        const int64_t signedSquares = 65536 * Sum32<S>(squareHighs) + Sum32<S>(squareLows);
        row.values += value;
        row.squares += static_cast<uint64_t>(signedSquares + 65536 * value - (pixels << 30));
        row.saturated += static_cast<uint64_t>(Sum16<S>(saturated));
        // Per lane: sum of w (column start + l + kPixels t) = (start + l) A + kPixels (steps A - R).
        const int64_t w = Sum32<S>(S::Add32(laneLow, laneHigh));
        const int64_t runs = Sum32<S>(runLow) + Sum32<S>(runHigh);
        row.weights += w;
        row.columnWeights += PlacedSum32<S>(laneLow, laneHigh, start) + kPixels * (steps * w - runs);
        if (kCount) {
            const int64_t n = Sum16<S>(counts), nRuns = Sum16<S>(countRuns);
            row.counts += n;
            row.columnCounts += start * n + Sum32<S>(S::Madd(counts, columns)) + kPixels * (steps * n - nRuns);
        }
        const int bestLow = first ? 32767 : Signed(lowest), bestHigh = first ? -32768 : Signed(highest);
        int64_t low = lowest - 32768, high = highest - 32768;
        MoveExtremes<S, int16_t>(
            this->low, this->high, S::Shorts(bestLow), S::Shorts(bestHigh), [](V a, V b) { return S::Min16(a, b); },
            [](V a, V b) { return S::Max16(a, b); }, first, low, high, lowMoved, highMoved);
        lowest = low + 32768;
        highest = high + 32768;
    }

    const V zero, bias, ones, lowHalves, cut, saturation, enable, columns;
    V low, high, values, squareHighs, squareLows, saturated, laneLow, laneHigh, runLow, runHigh, counts, countRuns;
};

// The column of the first unit equal to value in row[begin, end); the caller knows there is one.
template <typename Unit>
int FirstAt(const unsigned char* row, int begin, int end, int64_t value) {
    int i = begin;
    while (i < end - 1 && UnitAt<Unit>(row, i) != value) ++i;
    return i;
}

template <class Lanes>
void FlushColumns(GrayPass& pass, typename Lanes::NarrowWeight* weights, typename Lanes::NarrowCount* counts) {
    for (int i = 0; i < pass.width; ++i) {
        pass.columnWeights[i] += weights[i];
        weights[i] = 0;
    }
    if (counts == nullptr) return;
    for (int i = 0; i < pass.width; ++i) {
        pass.columnCounts[i] += counts[i];
        counts[i] = 0;
    }
}

// The extremes so far (in units) and where they are. Only a strictly better stretch of a row moves an
// extreme, to its first position there: the first in row order stays.
struct Extremes {
    int64_t lowest = 0, highest = 0;
    bool first = true;  // no extreme yet

    template <typename Unit>
    void Place(GrayPass& pass, const unsigned char* row, int j, int begin, int end, bool lowMoved, bool highMoved) {
        if (lowMoved) {
            pass.minimumX = FirstAt<Unit>(row, begin, end, lowest);
            pass.minimumY = j;
        }
        if (highMoved) {
            pass.maximumX = FirstAt<Unit>(row, begin, end, highest);
            pass.maximumY = j;
        }
        first = false;
    }
};

// The columns of row j from begin (past the last whole vector) one by one, with the same rules.
template <class Lanes>
void MeasureTail(GrayPass& pass, const unsigned char* row, int j, int begin, RowTotals& totals,
                 Extremes& extremes) {
    using Unit = typename Lanes::Unit;
    auto* narrowWeights = static_cast<typename Lanes::NarrowWeight*>(pass.narrowWeights);
    auto* narrowCounts = static_cast<typename Lanes::NarrowCount*>(pass.narrowCounts);
    for (int i = begin; i < pass.width; ++i) {
        const int64_t u = UnitAt<Unit>(row, i);
        totals.values += u;
        totals.squares += static_cast<uint64_t>(u * u);
        totals.saturated += u >= pass.saturation ? 1 : 0;
        const bool lowMoved = extremes.first || u < extremes.lowest;
        const bool highMoved = extremes.first || u > extremes.highest;
        if (lowMoved) extremes.lowest = u;
        if (highMoved) extremes.highest = u;
        extremes.Place<Unit>(pass, row, j, i, i + 1, lowMoved, highMoved);
        if (u < pass.cut) continue;
        totals.weights += u;
        totals.columnWeights += i * u;
        narrowWeights[i] += static_cast<typename Lanes::NarrowWeight>(u);
        if (Lanes::kCount) {
            totals.counts += 1;
            totals.columnCounts += i;
            narrowCounts[i] += 1;
        }
    }
}

template <class Lanes>
void StoreRow(GrayPass& pass, int j, const RowTotals& totals) {
    pass.valueUnits += totals.values;
    pass.squareUnits += totals.squares;
    pass.saturated += totals.saturated;
    pass.rowWeights[j] = totals.weights;
    pass.rowColumnWeights[j] = totals.columnWeights;
    if (Lanes::kCount) {
        pass.rowCounts[j] = totals.counts;
        pass.rowColumnCounts[j] = totals.columnCounts;
    }
}

template <class Lanes>
void PassGray(GrayPass& pass) {
    using Unit = typename Lanes::Unit;
    constexpr int kPixels = Lanes::kPixels;
    constexpr bool kCount = Lanes::kCount;
    auto* narrowWeights = static_cast<typename Lanes::NarrowWeight*>(pass.narrowWeights);
    auto* narrowCounts = static_cast<typename Lanes::NarrowCount*>(pass.narrowCounts);
    const int vectorEnd = pass.width - pass.width % kPixels;
    Lanes lanes(pass);
    Extremes extremes;
    for (int j = 0; j < pass.height; ++j) {
        const unsigned char* row = pass.pixels + static_cast<size_t>(j) * pass.stride;
        RowTotals totals;
        for (int start = 0; start < vectorEnd; start += kSegmentSteps * kPixels) {
            const int remaining = (vectorEnd - start) / kPixels;
            const int steps = remaining < kSegmentSteps ? remaining : kSegmentSteps;
            lanes.Begin();
            for (int t = 0; t < steps; ++t) {
                const int column = start + t * kPixels;
                lanes.Step(row + static_cast<size_t>(column) * sizeof(Unit), narrowWeights + column,
                           kCount ? narrowCounts + column : nullptr);
            }
            bool lowMoved, highMoved;
            lanes.Finish(start, steps, totals, extremes.first, extremes.lowest, extremes.highest, lowMoved,
                         highMoved);
            extremes.Place<Unit>(pass, row, j, start, start + steps * kPixels, lowMoved, highMoved);
        }
        MeasureTail<Lanes>(pass, row, j, vectorEnd, totals, extremes);
        StoreRow<Lanes>(pass, j, totals);
        if ((j + 1) % Lanes::kFlushRows == 0) FlushColumns<Lanes>(pass, narrowWeights, kCount ? narrowCounts : nullptr);
    }
    FlushColumns<Lanes>(pass, narrowWeights, kCount ? narrowCounts : nullptr);
    pass.minimum = extremes.lowest;
    pass.maximum = extremes.highest;
}

// Counts are gathered only when asked for (a background constant other than zero).
template <class S>
void PassGray8(GrayPass& pass) {
    if (pass.narrowCounts != nullptr)
        PassGray<Lanes8<S, true>>(pass);
    else
        PassGray<Lanes8<S, false>>(pass);
}

template <class S>
void PassGray16(GrayPass& pass) {
    if (pass.narrowCounts != nullptr)
        PassGray<Lanes16<S, true>>(pass);
    else
        PassGray<Lanes16<S, false>>(pass);
}

}  // namespace
}  // namespace qmv3::analysis

#endif
