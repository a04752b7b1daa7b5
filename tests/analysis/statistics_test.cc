// Region statistics against a plain reference of their definitions (one loop per figure, doubles), on
// random frames of every pixel kind, odd regions and every background kind; the scene camera's spot
// where the scene model says it is; and the refusals of the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analysis/region_gray_pass.h"
#include "analysis/region_statistics.h"
#include "qmv3/qmv3.h"
#include "zantsim.h"

namespace {

// A frame of its own bytes described by a DIMAGE, as the calls read it.
struct Frame {
    Frame(int width, int height, int format, int bytesPerPixel, int effectiveBits)
        : bytes(static_cast<size_t>(width) * height * bytesPerPixel) {
        std::memset(&image, 0, sizeof image);
        image.frameHeader.sourceWidth = width;
        image.frameHeader.sourceHeight = height;
        image.frameHeader.imageFormat = image.frameHeader.sourceFormat = format;
        image.frameHeader.bytesPerPixel = bytesPerPixel;
        image.frameHeader.effectiveBitsPerPixel = effectiveBits;
        image.frameHeader.appendedFrameSize = static_cast<int32_t>(bytes.size());
        image.frameBufferSize = static_cast<uint32_t>(bytes.size());
        image.frameBuffer = bytes.data();
    }
    Frame(const Frame&) = delete;
    int Width() const { return image.frameHeader.sourceWidth; }
    int Height() const { return image.frameHeader.sourceHeight; }
    std::vector<unsigned char> bytes;
    DIMAGE image;
};

double ValueAt(const Frame& frame, int i, int j, int channel) {
    const int bpp = frame.image.frameHeader.bytesPerPixel;
    const unsigned char* at = frame.bytes.data() + (static_cast<size_t>(j) * frame.Width() + i) * bpp;
    if (bpp == 1) return at[0];
    if (bpp == 2) {
        uint16_t value;
        std::memcpy(&value, at, 2);
        return value;
    }
    if (channel != QMV3_CHANNEL_LUMINANCE) return at[channel - 1];
    return (299.0 * at[0] + 587.0 * at[1] + 114.0 * at[2]) / 1000.0;
}

void FillRandom(Frame& frame, uint32_t seed, int top, int bottom = 0) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(bottom, top);
    if (frame.image.frameHeader.bytesPerPixel == 2) {
        for (size_t k = 0; k < frame.bytes.size() / 2; ++k) {
            const uint16_t v = static_cast<uint16_t>(value(random));
            std::memcpy(frame.bytes.data() + 2 * k, &v, 2);
        }
    } else {
        for (unsigned char& byte : frame.bytes) byte = static_cast<unsigned char>(value(random));
    }
}

// The definitions, written out one figure at a time.
QMV3_STATISTICS Reference(const Frame& frame, const QMV3_STATISTICS_OPTIONS& o, std::vector<double>& columns,
                          std::vector<double>& rows) {
    const int x0 = o.width ? o.x : 0, y0 = o.width ? o.y : 0;
    const int w = o.width ? o.width : frame.Width(), h = o.width ? o.height : frame.Height();
    auto v = [&](int i, int j) { return ValueAt(frame, i, j, o.channel); };
    double constant = 0;
    if (o.background == QMV3_BACKGROUND_CONSTANT) constant = o.backgroundValue;
    if (o.background == QMV3_BACKGROUND_BORDER) {
        std::vector<double> ring;
        for (int j = y0; j < y0 + h; ++j)
            for (int i = x0; i < x0 + w; ++i)
                if (i - x0 < o.border || j - y0 < o.border || x0 + w - 1 - i < o.border || y0 + h - 1 - j < o.border)
                    ring.push_back(v(i, j));
        std::sort(ring.begin(), ring.end());
        const size_t n = ring.size();
        constant = n % 2 ? ring[n / 2] : (ring[n / 2 - 1] + ring[n / 2]) / 2;
    }
    auto b = [&](int i, int j) {
        if (o.background != QMV3_BACKGROUND_FRAME) return constant;
        const Frame* background = nullptr;
        (void)background;
        const DIMAGE& image = *o.backgroundFrame;
        const int bpp = image.frameHeader.bytesPerPixel;
        const unsigned char* at = image.frameBuffer + (static_cast<size_t>(j) * frame.Width() + i) * bpp;
        if (bpp == 1) return static_cast<double>(at[0]);
        if (bpp == 2) return static_cast<double>(at[0] | at[1] << 8);
        if (o.channel != QMV3_CHANNEL_LUMINANCE) return static_cast<double>(at[o.channel - 1]);
        return (299.0 * at[0] + 587.0 * at[1] + 114.0 * at[2]) / 1000.0;
    };
    auto weight = [&](int i, int j) {
        const double d = v(i, j) - b(i, j);
        return d > o.threshold ? d : 0.0;
    };
    QMV3_STATISTICS r = {};
    r.min = HUGE_VAL;
    r.max = -HUGE_VAL;
    for (int j = y0; j < y0 + h; ++j)
        for (int i = x0; i < x0 + w; ++i) {
            if (v(i, j) < r.min) r.min = v(i, j), r.min_x = i, r.min_y = j;
            if (v(i, j) > r.max) r.max = v(i, j), r.max_x = i, r.max_y = j;
            r.total += v(i, j);
        }
    r.mean = r.total / (double(w) * h);
    const int bits = frame.image.frameHeader.imageFormat == QMV3_FORMAT_RGB ? 8
                                                                             : frame.image.frameHeader.effectiveBitsPerPixel;
    double squares = 0, net = 0, wi = 0, wj = 0;
    for (int j = y0; j < y0 + h; ++j)
        for (int i = x0; i < x0 + w; ++i) {
            squares += (v(i, j) - r.mean) * (v(i, j) - r.mean);
            r.saturated += v(i, j) >= std::pow(2.0, bits) - 1;
            net += weight(i, j);
            wi += weight(i, j) * i;
            wj += weight(i, j) * j;
        }
    r.sigma = std::sqrt(squares / (double(w) * h));
    r.net = net;
    r.centroid_x = wi / net;
    r.centroid_y = wj / net;
    double xx = 0, yy = 0, xy = 0;
    columns.assign(w, 0.0);
    rows.assign(h, 0.0);
    for (int j = y0; j < y0 + h; ++j)
        for (int i = x0; i < x0 + w; ++i) {
            xx += weight(i, j) * (i - r.centroid_x) * (i - r.centroid_x);
            yy += weight(i, j) * (j - r.centroid_y) * (j - r.centroid_y);
            xy += weight(i, j) * (i - r.centroid_x) * (j - r.centroid_y);
            columns[i - x0] += weight(i, j);
            rows[j - y0] += weight(i, j);
        }
    r.sigma_x = std::sqrt(xx / net);
    r.sigma_y = std::sqrt(yy / net);
    r.sigma_xy = xy / net;
    r.orientation_deg = 0.5 * std::atan2(2 * r.sigma_xy, xx / net - yy / net) * 180 / M_PI;
    const double a = xx / net, c = yy / net, root = std::sqrt((a - c) * (a - c) / 4 + r.sigma_xy * r.sigma_xy);
    r.eccentricity = std::sqrt(1 - ((a + c) / 2 - root) / ((a + c) / 2 + root));
    return r;
}

void ExpectClose(double expected, double actual, const std::string& name) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << name;
        return;
    }
    EXPECT_NEAR(expected, actual, 1e-9 * std::max(1.0, std::fabs(expected))) << name;
}

struct Case {
    const char* name;
    int format, bytesPerPixel, effectiveBits, top;  // top: the largest random value
    int frameWidth, frameHeight;
    QMV3_STATISTICS_OPTIONS options;  // size, backgroundFrame filled in by the test
    int bottom = 0;                   // the smallest random value
};

QMV3_STATISTICS_OPTIONS Options(int x, int y, int w, int h, int background, double value, int border,
                                double threshold, int channel = 0) {
    QMV3_STATISTICS_OPTIONS o = {};
    o.size = sizeof o;
    o.x = x, o.y = y, o.width = w, o.height = h;
    o.background = background, o.backgroundValue = value, o.border = border, o.threshold = threshold;
    o.channel = channel;
    return o;
}

const Case kCases[] = {
    {"8-bit whole, none", QMV3_FORMAT_GRAY, 1, 8, 255, 37, 23, Options(0, 0, 0, 0, QMV3_BACKGROUND_NONE, 0, 0, 0)},
    {"8-bit odd region, constant", QMV3_FORMAT_GRAY, 1, 8, 255, 301, 40,
     Options(3, 5, 297, 29, QMV3_BACKGROUND_CONSTANT, 100.25, 0, 7.5)},
    {"8-bit border, even ring", QMV3_FORMAT_GRAY, 1, 8, 200, 64, 48,
     Options(10, 4, 40, 30, QMV3_BACKGROUND_BORDER, 0, 3, 0)},
    {"8-bit frame background", QMV3_FORMAT_GRAY, 1, 8, 255, 140, 17,
     Options(1, 2, 131, 13, QMV3_BACKGROUND_FRAME, 0, 0, 2)},
    {"12-bit whole, border wider than half", QMV3_FORMAT_GRAY, 2, 12, 4095, 19, 21,
     Options(0, 0, 0, 0, QMV3_BACKGROUND_BORDER, 0, 11, 0)},
    {"16-bit odd region, constant", QMV3_FORMAT_GRAY, 2, 16, 65535, 260, 33,
     Options(7, 1, 251, 31, QMV3_BACKGROUND_CONSTANT, 30000.5, 0, 0)},
    {"16-bit frame background, negative threshold", QMV3_FORMAT_GRAY, 2, 16, 65535, 130, 9,
     Options(0, 0, 129, 9, QMV3_BACKGROUND_FRAME, 0, 0, -100)},
    {"16-bit one column, column sums flushed", QMV3_FORMAT_GRAY, 2, 16, 65535, 2, 70000,
     Options(1, 0, 1, 70000, QMV3_BACKGROUND_NONE, 0, 0, 0)},
    // Regions not a whole number of vectors wide, taller than the byte-wide column sums hold, and rows
    // longer than one segment of the vector pass; squares of values at both ends of 16 bits.
    {"8-bit odd width, rows past the narrow sums", QMV3_FORMAT_GRAY, 1, 8, 255, 97, 600,
     Options(1, 3, 95, 590, QMV3_BACKGROUND_CONSTANT, -0.5, 0, 0)},
    {"8-bit one column, constant", QMV3_FORMAT_GRAY, 1, 8, 255, 3, 300,
     Options(2, 0, 1, 300, QMV3_BACKGROUND_CONSTANT, 99.5, 0, 0)},
    {"8-bit rows of several segments", QMV3_FORMAT_GRAY, 1, 8, 255, 8300, 3,
     Options(0, 0, 0, 0, QMV3_BACKGROUND_BORDER, 0, 1, 0)},
    {"16-bit near the top, constant", QMV3_FORMAT_GRAY, 2, 16, 65535, 83, 300,
     Options(3, 1, 77, 298, QMV3_BACKGROUND_CONSTANT, 65520.5, 0, 0), 65500},
    {"16-bit near zero, border, rows of several segments", QMV3_FORMAT_GRAY, 2, 16, 3, 4200, 3,
     Options(0, 0, 0, 0, QMV3_BACKGROUND_BORDER, 0, 1, 0)},
    {"RGB luminance, border", QMV3_FORMAT_RGB, 3, 8, 255, 150, 20,
     Options(2, 3, 141, 15, QMV3_BACKGROUND_BORDER, 0, 2, 1.5)},
    {"RGB green, frame background", QMV3_FORMAT_RGB, 3, 8, 255, 33, 12,
     Options(0, 0, 0, 0, QMV3_BACKGROUND_FRAME, 0, 0, 0, QMV3_CHANNEL_GREEN)},
    {"RGB luminance, constant", QMV3_FORMAT_RGB, 3, 8, 255, 40, 30,
     Options(5, 5, 30, 20, QMV3_BACKGROUND_CONSTANT, 127.3, 0, 0)},
};

TEST(RegionStatistics, MatchTheDefinitionsForEveryPixelKindRegionAndBackground) {
    uint32_t seed = 1;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Frame frame(c.frameWidth, c.frameHeight, c.format, c.bytesPerPixel, c.effectiveBits);
        Frame background(c.frameWidth, c.frameHeight, c.format, c.bytesPerPixel, c.effectiveBits);
        FillRandom(frame, seed++, c.top, c.bottom);
        FillRandom(background, seed++, c.top / 2);
        frame.image.frameHeader.xScale = 0.01f;
        frame.image.frameHeader.yScale = 0.02f;
        QMV3_STATISTICS_OPTIONS options = c.options;
        if (options.background == QMV3_BACKGROUND_FRAME) options.backgroundFrame = &background.image;
        std::vector<double> columns, rows;
        const QMV3_STATISTICS expected = Reference(frame, options, columns, rows);
        QMV3_STATISTICS actual;
        ASSERT_EQ(QMV3_STATISTICS_OK, qmImageStatistics(&frame.image, &options, &actual));
        const std::pair<const char*, double QMV3_STATISTICS::*> figures[] = {
            {"min", &QMV3_STATISTICS::min},
            {"max", &QMV3_STATISTICS::max},
            {"mean", &QMV3_STATISTICS::mean},
            {"sigma", &QMV3_STATISTICS::sigma},
            {"total", &QMV3_STATISTICS::total},
            {"net", &QMV3_STATISTICS::net},
            {"centroid_x", &QMV3_STATISTICS::centroid_x},
            {"centroid_y", &QMV3_STATISTICS::centroid_y},
            {"sigma_x", &QMV3_STATISTICS::sigma_x},
            {"sigma_y", &QMV3_STATISTICS::sigma_y},
            {"sigma_xy", &QMV3_STATISTICS::sigma_xy},
            {"orientation_deg", &QMV3_STATISTICS::orientation_deg},
            {"eccentricity", &QMV3_STATISTICS::eccentricity},
        };
        for (const auto& [name, member] : figures) ExpectClose(expected.*member, actual.*member, name);
        EXPECT_EQ(expected.min_x, actual.min_x);
        EXPECT_EQ(expected.min_y, actual.min_y);
        EXPECT_EQ(expected.max_x, actual.max_x);
        EXPECT_EQ(expected.max_y, actual.max_y);
        EXPECT_EQ(expected.saturated, actual.saturated);
        ExpectClose(actual.centroid_x * 0.01f, actual.centroid_x_mm, "centroid_x_mm");
        ExpectClose(actual.sigma_y * 0.02f, actual.sigma_y_mm, "sigma_y_mm");

        unsigned int columnCount = 0, rowCount = 0;
        EXPECT_EQ(QMV3_STATISTICS_TOO_SMALL,
                  qmImageProfiles(&frame.image, &options, nullptr, &columnCount, nullptr, &rowCount));
        ASSERT_EQ(columns.size(), columnCount);
        ASSERT_EQ(rows.size(), rowCount);
        std::vector<double> actualColumns(columnCount), actualRows(rowCount);
        ASSERT_EQ(QMV3_STATISTICS_OK, qmImageProfiles(&frame.image, &options, actualColumns.data(), &columnCount,
                                                      actualRows.data(), &rowCount));
        for (size_t i = 0; i < columns.size(); ++i) ExpectClose(columns[i], actualColumns[i], "column");
        for (size_t j = 0; j < rows.size(); ++j) ExpectClose(rows[j], actualRows[j], "row");
    }
}

TEST(RegionStatistics, NoWeightGivesNaNAndNoScaleGivesNoMillimetres) {
    Frame frame(8, 8, QMV3_FORMAT_GRAY, 1, 8);
    std::fill(frame.bytes.begin(), frame.bytes.end(), 20);
    QMV3_STATISTICS_OPTIONS options = Options(0, 0, 0, 0, QMV3_BACKGROUND_CONSTANT, 20, 0, 0);
    QMV3_STATISTICS result;
    ASSERT_EQ(QMV3_STATISTICS_OK, qmImageStatistics(&frame.image, &options, &result));
    EXPECT_EQ(0.0, result.net);
    EXPECT_EQ(0.0, result.sigma);
    EXPECT_TRUE(std::isnan(result.centroid_x) && std::isnan(result.eccentricity));
    frame.bytes[9] = 30;  // one pixel: a centroid, no width
    ASSERT_EQ(QMV3_STATISTICS_OK, qmImageStatistics(&frame.image, &options, &result));
    EXPECT_EQ(1.0, result.centroid_x);
    EXPECT_EQ(0.0, result.sigma_x);
    EXPECT_TRUE(std::isnan(result.centroid_x_mm));
}

TEST(RegionStatistics, RefusalsNameTheBrokenRule) {
    Frame frame(16, 8, QMV3_FORMAT_GRAY, 2, 12);
    Frame narrow(15, 8, QMV3_FORMAT_GRAY, 2, 12);
    Frame eightBit(16, 8, QMV3_FORMAT_GRAY, 1, 8);
    Frame jpeg(16, 8, QMV3_FORMAT_JPEG, 1, 8);
    QMV3_STATISTICS result;
    struct Refusal {
        const char* name;
        const DIMAGE* image;
        QMV3_STATISTICS_OPTIONS options;
        int expected;
    } refusals[] = {
        {"null image", nullptr, Options(0, 0, 0, 0, 0, 0, 0, 0), QMV3_STATISTICS_BAD_ARGUMENT},
        {"unknown background", &frame.image, Options(0, 0, 0, 0, 9, 0, 0, 0), QMV3_STATISTICS_BAD_ARGUMENT},
        {"border 0", &frame.image, Options(0, 0, 0, 0, QMV3_BACKGROUND_BORDER, 0, 0, 0),
         QMV3_STATISTICS_BAD_ARGUMENT},
        {"NaN threshold", &frame.image, Options(0, 0, 0, 0, 0, 0, 0, NAN), QMV3_STATISTICS_BAD_ARGUMENT},
        {"unknown channel", &frame.image, Options(0, 0, 0, 0, 0, 0, 0, 0, 4), QMV3_STATISTICS_BAD_ARGUMENT},
        {"no frame given", &frame.image, Options(0, 0, 0, 0, QMV3_BACKGROUND_FRAME, 0, 0, 0),
         QMV3_STATISTICS_BAD_ARGUMENT},
        {"JPEG", &jpeg.image, Options(0, 0, 0, 0, 0, 0, 0, 0), QMV3_STATISTICS_UNSUPPORTED_IMAGE},
        {"region past the right edge", &frame.image, Options(10, 0, 7, 8, 0, 0, 0, 0), QMV3_STATISTICS_BAD_REGION},
        {"region past the bottom", &frame.image, Options(0, 1, 16, 8, 0, 0, 0, 0), QMV3_STATISTICS_BAD_REGION},
        {"empty region", &frame.image, Options(2, 2, 0, 3, 0, 0, 0, 0), QMV3_STATISTICS_BAD_REGION},
        {"negative start", &frame.image, Options(-1, 0, 4, 4, 0, 0, 0, 0), QMV3_STATISTICS_BAD_REGION},
    };
    for (const Refusal& refusal : refusals)
        EXPECT_EQ(refusal.expected, qmImageStatistics(refusal.image, &refusal.options, &result)) << refusal.name;

    for (const Frame* other : {&narrow, &eightBit}) {
        QMV3_STATISTICS_OPTIONS options = Options(0, 0, 0, 0, QMV3_BACKGROUND_FRAME, 0, 0, 0);
        options.backgroundFrame = &other->image;
        EXPECT_EQ(QMV3_STATISTICS_BACKGROUND_MISMATCH, qmImageStatistics(&frame.image, &options, &result));
    }
    QMV3_STATISTICS_OPTIONS old = Options(0, 0, 0, 0, 0, 0, 0, 0);
    old.size = 8;
    EXPECT_EQ(QMV3_STATISTICS_BAD_ARGUMENT, qmImageStatistics(&frame.image, &old, &result));
    frame.image.frameHeader.appendedFrameSize -= 1;
    EXPECT_EQ(QMV3_STATISTICS_UNSUPPORTED_IMAGE, qmImageStatistics(&frame.image, nullptr, &result));

    // The faces show these texts as they are; a code the calls do not give reads as the failure's.
    const char* const texts[] = {"computed",
                                 "the options were refused",
                                 "holds no uncompressed GRAY or RGB frame",
                                 "the region is empty or reaches outside the frame",
                                 "the background frame differs in size or pixel layout",
                                 "a buffer is null or too small",
                                 "out of memory",
                                 "the statistics could not be computed"};
    for (int code = QMV3_STATISTICS_OK; code >= QMV3_STATISTICS_FAILED; --code)
        EXPECT_STREQ(texts[QMV3_STATISTICS_OK - code], qmGetStatisticsResultText(code));
    EXPECT_STREQ(texts[QMV3_STATISTICS_OK - QMV3_STATISTICS_FAILED], qmGetStatisticsResultText(42));
}

TEST(SequenceStatistics, OneResultPerImageAndTheFailingImageNamed) {
    QMBUNCHOFIMAGES images;
    qmInitializeBunchStructure(&images);
    ASSERT_EQ(QMV3_BUNCH_OK, qmCreateBunchStructure(&images, 3, 4 * 4));
    for (unsigned k = 0; k < 3; ++k) {
        DIMAGE& image = images.imageArray[k];
        image.frameHeader.sourceWidth = image.frameHeader.sourceHeight = 4;
        image.frameHeader.bytesPerPixel = 1;
        image.frameHeader.appendedFrameSize = 16;
        std::memset(image.frameBuffer, static_cast<int>(10 * (k + 1)), 16);
    }
    QMV3_STATISTICS results[3];
    unsigned int failed = 99;
    ASSERT_EQ(QMV3_STATISTICS_OK, qmSequenceStatistics(&images, nullptr, results, 3, &failed));
    EXPECT_EQ(3u, failed);
    for (unsigned k = 0; k < 3; ++k) EXPECT_EQ(10.0 * (k + 1), results[k].mean);
    EXPECT_EQ(QMV3_STATISTICS_BAD_ARGUMENT, qmSequenceStatistics(&images, nullptr, results, 2, &failed));
    images.imageArray[1].frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    EXPECT_EQ(QMV3_STATISTICS_UNSUPPORTED_IMAGE, qmSequenceStatistics(&images, nullptr, results, 3, &failed));
    EXPECT_EQ(1u, failed);
    qmFreeBunch(&images);
}

// The scene model places its spot with the top left pixel spanning 0..1, so pixel centres sit at
// half-integers there and at integers here.
TEST(SceneSpot, CentroidWithinAPixelOfTheModel) {
    for (int bytesPerPixel : {1, 2}) {
        ZANTSIM_SCENE scene;
        zantsim_DefaultScene(&scene);
        scene.bytesPerPixel = bytesPerPixel;
        scene.effectiveBits = 8 * bytesPerPixel == 16 ? 12 : 8;
        Frame frame(scene.width, scene.height, QMV3_FORMAT_GRAY, bytesPerPixel, scene.effectiveBits);
        for (uint32_t number : {1u, 57u, 400u}) {
            SCOPED_TRACE(number);
            ASSERT_EQ(0, zantsim_RenderScene(&scene, number, frame.bytes.data(), frame.bytes.size()));
            double x = 0, y = 0, peak = 0;
            ASSERT_EQ(0, zantsim_SceneSpot(&scene, number, &x, &y, &peak));
            QMV3_STATISTICS_OPTIONS options = Options(0, 0, 0, 0, QMV3_BACKGROUND_BORDER, 0, 8, peak * 0.1);
            QMV3_STATISTICS result;
            ASSERT_EQ(QMV3_STATISTICS_OK, qmImageStatistics(&frame.image, &options, &result));
            EXPECT_NEAR(x - 0.5, result.centroid_x, 1.0);
            EXPECT_NEAR(y - 0.5, result.centroid_y, 1.0);
        }
    }
}

#if defined(__x86_64__)
// The calls take the widest vector pass the processor has; the narrower ones must give the same sums.
// Cuts below, inside and above the units, with and without counts, on a region of no whole number of
// vectors, taller than byte-wide column sums hold.
TEST(GrayPass, EveryInstructionSetGivesTheSameSums) {
    using qmv3::analysis::GrayPass;
    struct Kind {
        int bytesPerPixel;
        int64_t largest;
        void (*sse2)(GrayPass&);
        void (*avx2)(GrayPass&);
        void (*avx512)(GrayPass&);
    };
    const Kind kinds[] = {
        {1, 255, qmv3::analysis::PassGray8Sse2, qmv3::analysis::PassGray8Avx2, qmv3::analysis::PassGray8Avx512},
        {2, 65535, qmv3::analysis::PassGray16Sse2, qmv3::analysis::PassGray16Avx2, qmv3::analysis::PassGray16Avx512},
    };
    const int width = 297, height = 268;
    for (const Kind& kind : kinds) {
        Frame frame(width + 4, height + 1, QMV3_FORMAT_GRAY, kind.bytesPerPixel, 8 * kind.bytesPerPixel);
        FillRandom(frame, 77, static_cast<int>(kind.largest));
        for (const int64_t cut : {int64_t{-5}, int64_t{0}, int64_t{1}, kind.largest / 2, kind.largest, kind.largest + 1})
            for (const bool counted : {false, true}) {
                SCOPED_TRACE(std::to_string(kind.bytesPerPixel) + " bytes, cut " + std::to_string(cut));
                // Every sum of one pass, flattened.
                auto run = [&](void (*pass)(GrayPass&)) {
                    std::vector<int64_t> columns(2 * width), rows(4 * height), narrow(width), counts(width);
                    GrayPass p;
                    p.pixels = frame.bytes.data() + (static_cast<size_t>(frame.Width()) + 3) * kind.bytesPerPixel;
                    p.stride = static_cast<size_t>(frame.Width()) * kind.bytesPerPixel;
                    p.width = width;
                    p.height = height;
                    p.cut = cut;
                    p.saturation = kind.largest - 1;
                    p.narrowWeights = narrow.data();
                    p.narrowCounts = counted ? counts.data() : nullptr;
                    p.columnWeights = columns.data();
                    p.columnCounts = columns.data() + width;
                    p.rowWeights = rows.data();
                    p.rowCounts = rows.data() + height;
                    p.rowColumnWeights = rows.data() + 2 * height;
                    p.rowColumnCounts = rows.data() + 3 * height;
                    pass(p);
                    std::vector<int64_t> sums = {p.valueUnits, static_cast<int64_t>(p.squareUnits >> 64),
                                                 static_cast<int64_t>(p.squareUnits), static_cast<int64_t>(p.saturated),
                                                 p.minimum, p.maximum, p.minimumX, p.minimumY, p.maximumX, p.maximumY};
                    sums.insert(sums.end(), columns.begin(), columns.end());
                    sums.insert(sums.end(), rows.begin(), rows.end());
                    return sums;
                };
                const std::vector<int64_t> expected = run(kind.sse2);
                if (__builtin_cpu_supports("avx2")) {
                    EXPECT_EQ(expected, run(kind.avx2));
                }
                if (__builtin_cpu_supports("avx512bw")) {
                    EXPECT_EQ(expected, run(kind.avx512));
                }
            }
    }
}
// The vector pass against the portable one on random grey frames: region, values (full range or crowded
// at either end), background and threshold drawn at random; every sum must agree exactly.
TEST(GrayPass, GivesThePortablePassesSumsOnRandomRegions) {
    using qmv3::analysis::RegionSums;
    std::mt19937 random(2024);
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 300; ++round) {
        const int bytesPerPixel = draw(1, 2), top = bytesPerPixel == 1 ? 255 : 65535;
        const bool wide = round % 10 == 0;
        Frame frame(wide ? draw(2000, 9000) : draw(1, 300), wide ? draw(1, 3) : draw(1, 600), QMV3_FORMAT_GRAY,
                    bytesPerPixel, bytesPerPixel == 1 ? draw(1, 8) : draw(9, 16));
        const int crowd = draw(0, 2);
        FillRandom(frame, static_cast<uint32_t>(round), crowd == 1 ? 3 : top, crowd == 2 ? top - 3 : 0);
        const int x = draw(0, frame.Width() - 1), y = draw(0, frame.Height() - 1);
        const double constants[] = {0, -0.5, 2.5, 100.25, top - 1.5, top + 10.0};
        const double thresholds[] = {0, 0.5, -3, 7.25};
        QMV3_STATISTICS_OPTIONS options =
            Options(x, y, draw(1, frame.Width() - x), draw(1, frame.Height() - y), draw(0, 2), constants[draw(0, 5)],
                    draw(1, 12), thresholds[draw(0, 3)]);
        SCOPED_TRACE(round);
        qmv3::analysis::Request request;
        ASSERT_EQ(QMV3_STATISTICS_OK, qmv3::analysis::PrepareRequest(&frame.image, &options, request));
        qmv3::analysis::Request portableRequest = request;
        RegionSums vector, portable;
        qmv3::analysis::MeasureRegion(request, vector);
        qmv3::analysis::MeasureRegion(portableRequest, portable, false);
        EXPECT_EQ(portableRequest.constant, request.constant);
        EXPECT_EQ(portable.valueUnits, vector.valueUnits);
        EXPECT_TRUE(portable.squareUnits == vector.squareUnits);
        EXPECT_EQ(portable.saturated, vector.saturated);
        EXPECT_EQ((std::vector<int64_t>{portable.minimumUnits, portable.maximumUnits, portable.minimumX,
                                        portable.minimumY, portable.maximumX, portable.maximumY}),
                  (std::vector<int64_t>{vector.minimumUnits, vector.maximumUnits, vector.minimumX, vector.minimumY,
                                        vector.maximumX, vector.maximumY}));
        EXPECT_EQ(portable.columnWeights, vector.columnWeights);
        EXPECT_EQ(portable.columnCounts, vector.columnCounts);
        EXPECT_EQ(portable.rowWeights, vector.rowWeights);
        EXPECT_EQ(portable.rowCounts, vector.rowCounts);
        EXPECT_EQ(portable.rowColumnWeights, vector.rowColumnWeights);
        EXPECT_EQ(portable.rowColumnCounts, vector.rowColumnCounts);
    }
}
#endif

TEST(Histogram, CountsEverySampleOrEveryStepAndRefuses) {
    Frame grey(3, 2, QMV3_FORMAT_GRAY, 2, 12);
    const uint16_t values[] = {5, 4095, 5, 7, 5, 0};
    std::memcpy(grey.bytes.data(), values, sizeof values);
    Frame rgb(2, 1, QMV3_FORMAT_RGB, 3, 24);
    rgb.bytes = {1, 2, 3, 1, 2, 200};
    rgb.image.frameBuffer = rgb.bytes.data();
    struct Case {
        const DIMAGE* image;
        unsigned step;
        uint64_t counted;
        std::vector<std::pair<int, uint32_t>> counts;  // value, count
    } cases[] = {
        {&grey.image, 1, 6, {{5, 3}, {4095, 1}, {7, 1}, {0, 1}, {1, 0}}},
        {&grey.image, 2, 3, {{5, 3}, {4095, 0}, {0, 0}}},
        {&rgb.image, 1, 6, {{1, 2}, {2, 2}, {3, 1}, {200, 1}}},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> counts(65536, 9);  // what a previous frame left is overwritten
        uint64_t counted = 0;
        ASSERT_EQ(QMV3_STATISTICS_OK, qmImageHistogram(c.image, c.step, counts.data(), counts.size(), &counted));
        EXPECT_EQ(c.counted, counted);
        for (const auto& [value, count] : c.counts) EXPECT_EQ(count, counts[value]) << value;
        EXPECT_EQ(0u, counts[65535]);
    }
    std::vector<uint32_t> counts(256);
    EXPECT_EQ(QMV3_STATISTICS_BAD_ARGUMENT, qmImageHistogram(&grey.image, 1, counts.data(), 256, nullptr));
    EXPECT_EQ(QMV3_STATISTICS_BAD_ARGUMENT, qmImageHistogram(&rgb.image, 0, counts.data(), 256, nullptr));
    rgb.image.frameBuffer = nullptr;
    EXPECT_EQ(QMV3_STATISTICS_UNSUPPORTED_IMAGE, qmImageHistogram(&rgb.image, 1, counts.data(), 256, nullptr));
}

TEST(Histogram, PercentileByNearestRank) {
    std::vector<uint64_t> counts(21, 0);
    counts[0] = 1, counts[10] = 1, counts[20] = 2;
    const std::pair<double, uint32_t> cases[] = {{0.0, 0}, {0.25, 0}, {0.26, 10}, {0.5, 10}, {0.51, 20}, {1.0, 20}};
    for (const auto& [fraction, value] : cases) EXPECT_EQ(value, qmHistogramPercentile(counts.data(), 21, fraction)) << fraction;
    const std::vector<uint64_t> none(256, 0);
    EXPECT_EQ(0u, qmHistogramPercentile(none.data(), none.size(), 0.5));
}

}  // namespace
