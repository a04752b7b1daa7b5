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

template <class S, typename T>
int64_t SumOf(typename S::V v) {
    const Spilled<S, T> spilled(v);
    int64_t sum = 0;
    for (int l = 0; l < spilled.kCount; ++l) sum += spilled.lane[l];
    return sum;
}

// Sum over lanes of (first + l) * lane[l] for the lanes of low then high, the columns they stand for.
template <class S, typename T>
int64_t PlacedSumOf(typename S::V low, typename S::V high, int64_t first) {
    const Spilled<S, T> lows(low), highs(high);
    int64_t sum = 0;
    for (int l = 0; l < lows.kCount; ++l) sum += (first + l) * static_cast<int64_t>(lows.lane[l]);
    for (int l = 0; l < highs.kCount; ++l) sum += (first + lows.kCount + l) * static_cast<int64_t>(highs.lane[l]);
    return sum;
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
          enable(pass.cut > 255 ? zero : S::Bytes(0xFF)) {}

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

    void Finish(int start, int steps, RowTotals& row, int64_t& lowest, int64_t& highest) const {
        row.values += SumOf<S, uint64_t>(values);
        row.squares += static_cast<uint64_t>(SumOf<S, uint32_t>(squares));
        row.saturated += static_cast<uint64_t>(SumOf<S, uint8_t>(saturated));
        const int64_t w = SumOf<S, uint64_t>(weights), runs = SumOf<S, uint64_t>(weightRuns);
        row.weights += w;
        row.columnWeights += PlacedSumOf<S, uint16_t>(laneLow, laneHigh, start) + kPixels * (steps * w - runs);
        if (kCount) {
            const int64_t n = SumOf<S, uint64_t>(countSums) / 255, nRuns = SumOf<S, uint64_t>(countRuns) / 255;
            row.counts += n;
            const Spilled<S, uint8_t> lanes(counts);
            int64_t placed = 0;
            for (int l = 0; l < lanes.kCount; ++l) placed += (start + l) * static_cast<int64_t>(lanes.lane[l]);
            row.columnCounts += placed + kPixels * (steps * n - nRuns);
        }
        const Spilled<S, uint8_t> lows(low), highs(high);
        lowest = lows.lane[0];
        highest = highs.lane[0];
        for (int l = 1; l < lows.kCount; ++l) {
            if (lows.lane[l] < lowest) lowest = lows.lane[l];
            if (highs.lane[l] > highest) highest = highs.lane[l];
        }
    }

    const V zero, cut, saturation, enable;
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
          enable(pass.cut > 65535 ? zero : S::Shorts(-1)) {}

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

    void Finish(int start, int steps, RowTotals& row, int64_t& lowest, int64_t& highest) const {
        const int64_t pixels = int64_t{steps} * kPixels;
        const int64_t value = SumOf<S, int32_t>(values) + 32768 * pixels;
        const int64_t signedSquares = 65536 * SumOf<S, uint32_t>(squareHighs) + SumOf<S, uint32_t>(squareLows);
        row.values += value;
        row.squares += static_cast<uint64_t>(signedSquares + 65536 * value - (pixels << 30));
        row.saturated += static_cast<uint64_t>(SumOf<S, uint16_t>(saturated));
        // Per lane: sum of w (column start + l + kPixels t) = (start + l) A + kPixels (steps A - R).
        const int64_t w = SumOf<S, uint32_t>(laneLow) + SumOf<S, uint32_t>(laneHigh);
        const int64_t runs = SumOf<S, uint32_t>(runLow) + SumOf<S, uint32_t>(runHigh);
        row.weights += w;
        row.columnWeights += PlacedSumOf<S, uint32_t>(laneLow, laneHigh, start) + kPixels * (steps * w - runs);
        if (kCount) {
            const int64_t n = SumOf<S, uint16_t>(counts), nRuns = SumOf<S, uint16_t>(countRuns);
            row.counts += n;
            const Spilled<S, uint16_t> lanes(counts);
            int64_t placed = 0;
            for (int l = 0; l < lanes.kCount; ++l) placed += (start + l) * static_cast<int64_t>(lanes.lane[l]);
            row.columnCounts += placed + kPixels * (steps * n - nRuns);
        }
        const Spilled<S, int16_t> lows(low), highs(high);
        lowest = lows.lane[0];
        highest = highs.lane[0];
        for (int l = 1; l < lows.kCount; ++l) {
            if (lows.lane[l] < lowest) lowest = lows.lane[l];
            if (highs.lane[l] > highest) highest = highs.lane[l];
        }
        lowest += 32768;
        highest += 32768;
    }

    const V zero, bias, ones, lowHalves, cut, saturation, enable;
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

template <class Lanes>
void PassGray(GrayPass& pass) {
    using Unit = typename Lanes::Unit;
    constexpr int kPixels = Lanes::kPixels;
    constexpr bool kCount = Lanes::kCount;
    auto* narrowWeights = static_cast<typename Lanes::NarrowWeight*>(pass.narrowWeights);
    auto* narrowCounts = static_cast<typename Lanes::NarrowCount*>(pass.narrowCounts);
    const int width = pass.width, vectorEnd = width - width % kPixels;
    Lanes lanes(pass);
    int64_t lowest = INT64_MAX, highest = INT64_MIN;
    auto extremes = [&](const unsigned char* row, int j, int begin, int end, int64_t low, int64_t high) {
        // Only a strictly better segment moves an extreme: the first in row order stays.
        if (low < lowest) {
            lowest = low;
            pass.minimumX = FirstAt<Unit>(row, begin, end, low);
            pass.minimumY = j;
        }
        if (high > highest) {
            highest = high;
            pass.maximumX = FirstAt<Unit>(row, begin, end, high);
            pass.maximumY = j;
        }
    };
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
            int64_t low, high;
            lanes.Finish(start, steps, totals, low, high);
            extremes(row, j, start, start + steps * kPixels, low, high);
        }
        // The columns past the last whole vector, one by one with the same rules.
        for (int i = vectorEnd; i < width; ++i) {
            const int64_t u = UnitAt<Unit>(row, i);
            totals.values += u;
            totals.squares += static_cast<uint64_t>(u * u);
            totals.saturated += u >= pass.saturation ? 1 : 0;
            extremes(row, j, i, i + 1, u, u);
            if (u < pass.cut) continue;
            totals.weights += u;
            totals.columnWeights += i * u;
            narrowWeights[i] += static_cast<typename Lanes::NarrowWeight>(u);
            if (kCount) {
                totals.counts += 1;
                totals.columnCounts += i;
                narrowCounts[i] += 1;
            }
        }
        pass.valueUnits += totals.values;
        pass.squareUnits += totals.squares;
        pass.saturated += totals.saturated;
        pass.rowWeights[j] = totals.weights;
        pass.rowColumnWeights[j] = totals.columnWeights;
        if (kCount) {
            pass.rowCounts[j] = totals.counts;
            pass.rowColumnCounts[j] = totals.columnCounts;
        }
        if ((j + 1) % Lanes::kFlushRows == 0) FlushColumns<Lanes>(pass, narrowWeights, kCount ? narrowCounts : nullptr);
    }
    FlushColumns<Lanes>(pass, narrowWeights, kCount ? narrowCounts : nullptr);
    pass.minimum = lowest;
    pass.maximum = highest;
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
