// Analysis algorithms on small frames whose results are worked out by hand.
#include <gtest/gtest.h>

#include "legacy/legacy.h"
#include "legacy_fixture.h"

using qmv3test::RecordGuard;
using qmv3test::Wide;

namespace {

std::vector<unsigned char> Uniform(size_t count, unsigned char value) {
    return std::vector<unsigned char>(count, value);
}

TEST(SignificanceMap, MarksPixelsWithinFactorTimesDeviation) {
    RecordGuard first, second, map;
    // Pixel 0: means 10 and 1 (difference 9 above sqrt(2)); pixel 1: means 2 and 1 (1 below sqrt(2));
    // pixel 2: identical frames everywhere (deviation 0, difference 0).
    qmv3test::FillRecord(&first.rec, 3, 1, 8, 8, 1, {{10, 2, 7}, {10, 2, 7}}, {0.5, 0.5});
    qmv3test::FillRecord(&second.rec, 3, 1, 8, 8, 1, {{0, 0, 7}, {2, 2, 7}}, {});
    ASSERT_EQ(QMV3_SIGNIFICANCE_OK, calculate_significance_map(&first.rec, &second.rec, &map.rec, 1.0));
    EXPECT_EQ(5, map.rec.type);
    EXPECT_EQ(1, map.rec.numframes);
    EXPECT_EQ(0.5, map.rec.scale);
    EXPECT_EQ(0.5, map.rec.framescales[0]);
    EXPECT_EQ((std::vector<unsigned char>{0, 1, 1}), qmv3test::Frame(map.rec, 0));
    RecordGuard narrow;
    ASSERT_EQ(QMV3_SIGNIFICANCE_OK, calculate_significance_map(&first.rec, &second.rec, &narrow.rec, 0.5));
    EXPECT_EQ((std::vector<unsigned char>{0, 0, 1}), qmv3test::Frame(narrow.rec, 0));
}

TEST(SignificanceMap, WideMapHasThePixelWidth) {
    RecordGuard first, second, map;
    qmv3test::FillRecord(&first.rec, 2, 1, 16, 12, 1, {Wide({300, 5}, 2), Wide({300, 5}, 2)}, {});
    qmv3test::FillRecord(&second.rec, 2, 1, 16, 12, 1, {Wide({100, 5}, 2), Wide({100, 5}, 2)}, {});
    ASSERT_EQ(QMV3_SIGNIFICANCE_OK, calculate_significance_map(&first.rec, &second.rec, &map.rec, 3.0));
    EXPECT_EQ(Wide({0, 1}, 2), qmv3test::Frame(map.rec, 0));
}

TEST(SignificanceMap, ChecksInOrderLeaveTheMapEmpty) {
    RecordGuard two, three, one, other, map, full;
    qmv3test::FillRecord(&two.rec, 1, 1, 8, 8, 1, {{1}, {2}}, {});
    qmv3test::FillRecord(&three.rec, 1, 1, 8, 8, 1, {{1}, {2}, {3}}, {});
    qmv3test::FillRecord(&one.rec, 1, 1, 8, 8, 1, {{1}}, {});
    qmv3test::FillRecord(&other.rec, 1, 1, 8, 7, 1, {{1}, {2}}, {});
    qmv3test::FillRecord(&full.rec, 1, 1, 8, 8, 1, {{1}}, {});
    EXPECT_EQ(QMV3_SIGNIFICANCE_MAP_NOT_EMPTY, calculate_significance_map(&two.rec, &two.rec, &full.rec, 1.0));
    EXPECT_EQ(QMV3_SIGNIFICANCE_FIRST_TOO_SHORT, calculate_significance_map(&one.rec, &two.rec, &map.rec, 1.0));
    EXPECT_EQ(QMV3_SIGNIFICANCE_SECOND_TOO_SHORT, calculate_significance_map(&two.rec, &one.rec, &map.rec, 1.0));
    EXPECT_EQ(QMV3_SIGNIFICANCE_FRAME_COUNTS_DIFFER, calculate_significance_map(&two.rec, &three.rec, &map.rec, 1.0));
    EXPECT_EQ(QMV3_SIGNIFICANCE_RECORDS_DIFFER, calculate_significance_map(&two.rec, &other.rec, &map.rec, 1.0));
    other.rec.ebitpp = 8;
    other.rec.width = 2;
    EXPECT_EQ(QMV3_SIGNIFICANCE_RECORDS_DIFFER, calculate_significance_map(&two.rec, &other.rec, &map.rec, 1.0));
    RecordGuard twelve;
    qmv3test::FillRecord(&twelve.rec, 1, 1, 12, 8, 1, {{1, 0}, {2, 0}}, {});
    EXPECT_EQ(QMV3_SIGNIFICANCE_BAD_BITS, calculate_significance_map(&twelve.rec, &twelve.rec, &map.rec, 1.0));
    twelve.rec.bpp = twelve.rec.ebitpp = 40;
    EXPECT_EQ(QMV3_SIGNIFICANCE_BAD_BITS, calculate_significance_map(&twelve.rec, &twelve.rec, &map.rec, 1.0));
    EXPECT_EQ(-1, map.rec.type);
    EXPECT_EQ(nullptr, map.rec.framebits);
}

TEST(XrayFilter, IsolatedSpikeBecomesTheMeanOfItsNeighbours) {
    RecordGuard rec;
    std::vector<unsigned char> frame = Uniform(16, 10);
    frame[5] = 200;
    qmv3test::FillRecord(&rec.rec, 4, 4, 8, 8, 1, {frame}, {});
    ASSERT_EQ(QMV3_FILTER_OK, xrayfilter(&rec.rec));
    EXPECT_EQ(Uniform(16, 10), qmv3test::Frame(rec.rec, 0));
}

TEST(XrayFilter, NeighbourAtTheThresholdDoesNotCount) {
    // Threshold of 200 is 133: neighbours of 134 are not darker.
    const struct {
        int brightNeighbours;
        unsigned char expected;
    } table[] = {{5, 200}, {4, (4 * 134 + 4 * 10) / 8}};
    for (const auto& row : table) {
        std::vector<unsigned char> frame = Uniform(16, 10);
        frame[5] = 200;
        const int neighbours[] = {0, 1, 2, 4, 6};
        for (int i = 0; i < row.brightNeighbours; ++i) frame[neighbours[i]] = 134;
        RecordGuard rec;
        qmv3test::FillRecord(&rec.rec, 4, 4, 8, 8, 1, {frame}, {});
        ASSERT_EQ(QMV3_FILTER_OK, xrayfilter(&rec.rec));
        EXPECT_EQ(row.expected, rec.rec.framebits[0][5]) << row.brightNeighbours;
    }
}

TEST(XrayFilter, WideThresholdsAndMeans) {
    // 16 bits: 3 among 1s has threshold 2, mean 1. 32 bits: threshold 3 * (v / 2), so a pixel among
    // equal-or-brighter neighbours is replaced too; the mean is truncated from double precision.
    std::vector<uint32_t> narrow(16, 1), wide(16, 1000);
    narrow[5] = 3;
    wide[5] = 1001;
    wide[0] = 1003;
    RecordGuard sixteen, thirtyTwo;
    qmv3test::FillRecord(&sixteen.rec, 4, 4, 16, 16, 1, {Wide(narrow, 2)}, {});
    qmv3test::FillRecord(&thirtyTwo.rec, 4, 4, 32, 32, 1, {Wide(wide, 4)}, {});
    ASSERT_EQ(QMV3_FILTER_OK, xrayfilter(&sixteen.rec));
    ASSERT_EQ(QMV3_FILTER_OK, xrayfilter(&thirtyTwo.rec));
    EXPECT_EQ(Wide(std::vector<uint32_t>(16, 1), 2), qmv3test::Frame(sixteen.rec, 0));
    EXPECT_EQ(Wide({1000}, 4),
              std::vector<unsigned char>(thirtyTwo.rec.framebits[0] + 20, thirtyTwo.rec.framebits[0] + 24));
}

TEST(XrayFilter, RefusesSmallEmptyAndOddRecords) {
    RecordGuard small, odd;
    std::vector<unsigned char> frame = Uniform(30, 10);
    frame[11] = 200;
    qmv3test::FillRecord(&small.rec, 3, 10, 8, 8, 1, {frame}, {});
    EXPECT_EQ(QMV3_FILTER_REFUSED, xrayfilter(&small.rec));
    EXPECT_EQ(frame, qmv3test::Frame(small.rec, 0));
    qmv3test::FillRecord(&odd.rec, 4, 4, 12, 12, 1, {Uniform(24, 10)}, {});
    EXPECT_EQ(QMV3_FILTER_REFUSED, xrayfilter(&odd.rec));
    odd.rec.type = -1;
    odd.rec.bpp = 8;
    EXPECT_EQ(QMV3_FILTER_REFUSED, xrayfilter(&odd.rec));
    odd.rec.type = 1;
    EXPECT_EQ(QMV3_FILTER_REFUSED, xrayfilter(nullptr));
}

TEST(Normalize, StretchesToTheEffectiveBitsWithTruncation) {
    const struct {
        std::vector<unsigned char> pixels;
        std::vector<unsigned char> expected;
    } table[] = {
        {{100, 50, 0, 1}, {254, 127, 0, 2}},
        {{51, 50, 0, 1}, {255, 250, 0, 5}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const auto& row : table) {
        RecordGuard rec;
        qmv3test::FillRecord(&rec.rec, 2, 2, 8, 8, 1, {row.pixels}, {});
        ASSERT_EQ(QMV3_FILTER_OK, normalizeframes(&rec.rec));
        EXPECT_EQ(row.expected, qmv3test::Frame(rec.rec, 0));
    }
}

TEST(Normalize, RectangleOnlyAndTwelveEffectiveBits) {
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 3, 1, 16, 12, 1, {Wide({4000, 1000, 500}, 2)}, {});
    ASSERT_EQ(QMV3_FILTER_OK, normalizeframes_rect(&rec.rec, 2, 0, 1, 0));
    // 1000 * (4095 / 1000) evaluates just below 4095 and is truncated, like 100 * (255 / 100).
    EXPECT_EQ(Wide({4000, 4094, 2047}, 2), qmv3test::Frame(rec.rec, 0));
    EXPECT_EQ(QMV3_FILTER_REFUSED, normalizeframes_rect(&rec.rec, 0, 0, 3, 0));
    EXPECT_EQ(QMV3_FILTER_REFUSED, normalizeframes_rect(&rec.rec, 0, 1, 0, 0));
    rec.rec.bpp = 12;
    EXPECT_EQ(QMV3_FILTER_REFUSED, normalizeframes(&rec.rec));
    rec.rec.bpp = 16;
    rec.rec.type = -1;
    EXPECT_EQ(QMV3_FILTER_REFUSED, normalizeframes(&rec.rec));
    rec.rec.type = 1;
    EXPECT_EQ(QMV3_FILTER_REFUSED, normalizeframes(nullptr));
}

TEST(ConvertFormat, ReducesManyFramesToOneBackground) {
    RecordGuard average, envelope;
    const std::vector<std::vector<unsigned char>> frames = {{1, 9}, {2, 9}, {2, 9}, {2, 8}, {2, 9}};
    qmv3test::FillRecord(&average.rec, 2, 1, 8, 8, 2, frames, {2.5, 1, 1, 1, 1});
    qmv3test::FillRecord(&envelope.rec, 2, 1, 8, 8, 2, frames, {});
    EXPECT_EQ(QMV3_CONVERT_FORMAT_NEEDS_METHOD, convert_format(&average.rec, 3, 0));
    EXPECT_EQ(QMV3_CONVERT_FORMAT_BAD_METHOD, convert_format(&average.rec, 3, 3));
    EXPECT_EQ(5, average.rec.numframes);
    ASSERT_EQ(QMV3_CONVERT_FORMAT_OK, convert_format(&average.rec, 3, 1));
    EXPECT_EQ(3, average.rec.type);
    EXPECT_EQ(1, average.rec.numframes);
    EXPECT_EQ(2.5, average.rec.framescales[0]);
    EXPECT_EQ((std::vector<unsigned char>{1, 8}), qmv3test::Frame(average.rec, 0));
    ASSERT_EQ(QMV3_CONVERT_FORMAT_OK, convert_format(&envelope.rec, 3, 2));
    EXPECT_EQ((std::vector<unsigned char>{2, 9}), qmv3test::Frame(envelope.rec, 0));
}

TEST(ConvertFormat, TypeChecksAndPlainTypeChanges) {
    RecordGuard rec, wide;
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 3, {{7}}, {});
    EXPECT_EQ(QMV3_CONVERT_FORMAT_BAD_METHOD, convert_format(&rec.rec, 1, 1));
    EXPECT_EQ(QMV3_CONVERT_FORMAT_BAD_NEW_TYPE, convert_format(&rec.rec, 5, 0));
    ASSERT_EQ(QMV3_CONVERT_FORMAT_OK, convert_format(&rec.rec, 1, 0));
    EXPECT_EQ(1, rec.rec.type);
    EXPECT_EQ(7, rec.rec.framebits[0][0]);
    ASSERT_EQ(QMV3_CONVERT_FORMAT_OK, convert_format(&rec.rec, 3, 9));
    rec.rec.type = 6;
    EXPECT_EQ(QMV3_CONVERT_FORMAT_BAD_TYPE, convert_format(&rec.rec, 1, 0));
    qmv3test::FillRecord(&wide.rec, 1, 1, 12, 12, 1, {{1, 0}, {2, 0}}, {});
    EXPECT_EQ(QMV3_CONVERT_FORMAT_BAD_BITS, convert_format(&wide.rec, 3, 1));
    EXPECT_EQ(2, wide.rec.numframes);
}

}  // namespace
