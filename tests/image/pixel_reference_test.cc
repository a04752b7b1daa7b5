// The pixel operations of the image class and the older analysis algorithms against a small reference
// implementation of their arithmetic, on random images of every pixel kind with odd sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/cdimage.h"
#include "image_fixture.h"
#include "legacy/legacy_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Pixel kinds of the image class: format, bytes per pixel, effective bits, largest random value.
struct Kind {
    const char* name;
    int format;
    int bytesPerPixel;
    int effectiveBits;
    uint32_t largest;
};

const Kind kKinds[] = {
    {"grey8", CDIMAGE::FORMAT_GRAY, 1, 8, 255},
    {"grey16 of 12 bits", CDIMAGE::FORMAT_GRAY, 2, 12, 4095},
    {"grey16 beyond 12 bits", CDIMAGE::FORMAT_GRAY, 2, 12, 65535},
    {"grey16 unset bits", CDIMAGE::FORMAT_GRAY, 2, -1, 65535},
    {"rgb", CDIMAGE::FORMAT_RGB, 3, 24, 255},
};

const int kSizes[][2] = {{1, 1}, {7, 5}, {33, 17}, {64, 3}, {129, 31}};

struct Image {
    const Kind* kind;
    int width, height;
    Bytes bytes;
    int components() const { return kind->format == CDIMAGE::FORMAT_RGB ? 3 : 1; }
    int valueBytes() const { return kind->format == CDIMAGE::FORMAT_RGB ? 1 : kind->bytesPerPixel; }
    size_t values() const { return static_cast<size_t>(width) * height * components(); }
    int64_t get(size_t i) const {
        if (valueBytes() == 1) return bytes[i];
        return bytes[2 * i] | bytes[2 * i + 1] << 8;
    }
};

// What an operation leaves: its result, and the frame with its geometry when it succeeded.
struct Outcome {
    bool done = false;
    Bytes frame;
    int bytesPerPixel = 0, effectiveBits = 0;
};

Bytes Store(const std::vector<int64_t>& values, int valueBytes) {
    Bytes out;
    for (int64_t v : values) {
        for (int b = 0; b < valueBytes; ++b)
            out.push_back(static_cast<unsigned char>(static_cast<uint64_t>(v) >> (8 * b)));
    }
    return out;
}

double Luminance(const Image& in, size_t pixel) {
    return 0.299 * in.get(3 * pixel) + 0.587 * in.get(3 * pixel + 1) + 0.114 * in.get(3 * pixel + 2);
}

int Bits(const Image& in) { return in.kind->effectiveBits == -1 ? 8 * in.kind->bytesPerPixel : in.kind->effectiveBits; }
int64_t Top(int bits) { return bits > 30 ? INT32_MAX : (int64_t{1} << bits) - 1; }

// Horizontal means row by row, then vertical means of those, each truncated.
Outcome Binning(const Image& in, int h, int v) {
    const int w = in.width / h, ht = in.height / v, c = in.components();
    if (w == 0 || ht == 0) return {};
    std::vector<int64_t> out;
    for (int i = 0; i < ht; ++i) {
        for (int j = 0; j < w; ++j) {
            for (int k = 0; k < c; ++k) {
                double vertical = 0;
                for (int r = i * v; r < i * v + v; ++r) {
                    double horizontal = 0;
                    for (int x = j * h; x < j * h + h; ++x)
                        horizontal += in.get((static_cast<size_t>(r) * in.width + x) * c + k);
                    vertical += static_cast<int64_t>(horizontal / h);
                }
                out.push_back(static_cast<int64_t>(vertical / v));
            }
        }
    }
    return {true, Store(out, in.valueBytes()), in.kind->bytesPerPixel, in.kind->effectiveBits};
}

Outcome OlderNormalisation(const Image& in, bool fromZero) {
    const int c = in.components();
    const bool rgb = c == 3;
    const int bits = rgb ? 8 : Bits(in);
    const int64_t upper = Top(in.kind->effectiveBits & 31);
    int64_t high[3] = {0, 0, 0}, low[3] = {Top(bits), Top(bits), Top(bits)};
    for (size_t i = 0; i < in.values(); ++i) {
        const int64_t value = std::min(in.get(i), upper);
        high[i % c] = std::max(high[i % c], value);
        low[i % c] = std::min(low[i % c], value);
    }
    if (fromZero) low[0] = low[1] = low[2] = 0;
    const int64_t offset = rgb ? std::max({low[0], low[1], low[2]}) : low[0];
    const int64_t top = rgb ? std::min({high[0], high[1], high[2]}) : high[0];
    if (top == offset) return {};
    const double scale = static_cast<double>(rgb ? 255 : Top(bits)) / (top - offset);
    std::vector<int64_t> out;
    for (size_t i = 0; i < in.values(); ++i) out.push_back(static_cast<int64_t>((in.get(i) - offset) * scale));
    return {true, Store(out, in.valueBytes()), in.kind->bytesPerPixel, in.kind->effectiveBits};
}

Outcome LimitNormalisation(const Image& in, int64_t lower, int64_t upper) {
    const bool rgb = in.components() == 3;
    const int64_t top = rgb ? 255 : Top(Bits(in));
    const size_t pixels = static_cast<size_t>(in.width) * in.height;
    auto valueOf = [&](size_t p) { return rgb ? static_cast<int64_t>(Luminance(in, p)) : in.get(p); };
    int64_t high = 0, low = top;
    for (size_t p = 0; p < pixels; ++p) {
        const int64_t value = std::min(std::max(valueOf(p), lower), upper);
        high = std::max(high, value);
        low = std::min(low, value);
    }
    if (high == low) return {};
    const double scale = static_cast<double>(top) / (high - low);
    std::vector<int64_t> out;
    for (size_t p = 0; p < pixels; ++p) {
        if (!rgb) {
            out.push_back(static_cast<int64_t>((std::min(std::max(in.get(p), lower), upper) - low) * scale));
            continue;
        }
        const double lum = Luminance(in, p);
        const double k = lum > 0 ? scale - low / lum : scale;
        for (int ch = 0; ch < 3; ++ch)
            out.push_back(std::min<int64_t>(std::max<int64_t>(static_cast<int64_t>(in.get(3 * p + ch) * k), 0), 255));
    }
    return {true, Store(out, in.valueBytes()), in.kind->bytesPerPixel, in.kind->effectiveBits};
}

Outcome GreyToByte(const Image& in) {
    if (in.components() == 3) return {};
    if (in.kind->bytesPerPixel == 1) return {true, in.bytes, 1, in.kind->effectiveBits};
    const int bits = Bits(in), shift = bits > 7 ? bits - 8 : 0;
    std::vector<int64_t> out;
    for (size_t i = 0; i < in.values(); ++i) out.push_back(in.get(i) >> shift);
    return {true, Store(out, 1), 1, bits > 7 ? 8 : bits};
}

Outcome ColourToGrey(const Image& in, int bits) {
    if (in.components() != 3) return {};
    const double levels = std::pow(2.0, bits) - 1;
    std::vector<int64_t> out;
    for (size_t p = 0; p < in.values() / 3; ++p) {
        const double lum = Luminance(in, p);
        if (bits == 8) out.push_back(static_cast<int64_t>(lum));
        if (bits < 8) out.push_back(static_cast<int64_t>(std::floor(lum / (bits == 1 ? 255.0 : 255.0 / levels) + 0.5)));
        if (bits > 8) out.push_back(static_cast<int64_t>(std::floor(lum * levels / 255.0 + 0.5)));
    }
    return {true, Store(out, bits > 8 ? 2 : 1), bits > 8 ? 2 : 1, bits};
}

struct ImageOperation {
    std::string name;
    std::function<bool(CDIMAGE&, const Image&)> run;
    std::function<Outcome(const Image&)> reference;
};

std::vector<ImageOperation> ImageOperations() {
    std::vector<ImageOperation> ops;
    for (auto f : {std::make_pair(2, 2), {3, 2}, {1, 3}, {5, 1}, {4, 4}}) {
        ops.push_back({"binning " + std::to_string(f.first) + "x" + std::to_string(f.second),
                       [f](CDIMAGE& i, const Image&) { return i.performFastBinning(f.first, f.second); },
                       [f](const Image& in) { return Binning(in, f.first, f.second); }});
    }
    for (bool zero : {true, false}) {
        ops.push_back({zero ? "older normalisation from zero" : "older normalisation from minimum",
                       [zero](CDIMAGE& i, const Image&) {
                           return i.performNormalisationBuggy(zero ? NORMALISATION_FROM_ZERO
                                                                   : NORMALISATION_FROM_MINIMUM);
                       },
                       [zero](const Image& in) { return OlderNormalisation(in, zero); }});
    }
    for (int part : {1, 8}) {
        // The full range, and an inner window of it.
        auto limits = [part](const Image& in) {
            const int64_t top = in.components() == 3 ? 255 : Top(Bits(in));
            return part == 1 ? std::make_pair(int64_t{0}, top) : std::make_pair(top / part, top / 2);
        };
        ops.push_back({"normalisation within limits 1/" + std::to_string(part),
                       [limits](CDIMAGE& i, const Image& in) {
                           const auto l = limits(in);
                           return i.performNormalisationLimitImproved(static_cast<int>(l.first),
                                                                      static_cast<int>(l.second));
                       },
                       [limits](const Image& in) {
                           const auto l = limits(in);
                           return LimitNormalisation(in, l.first, l.second);
                       }});
    }
    ops.push_back({"grey to one byte",
                   [](CDIMAGE& i, const Image&) { return i.performGrayscaleDownscaleTo1BytePerPixel(); }, GreyToByte});
    for (int bits : {1, 3, 7, 8, 9, 12, 16}) {
        ops.push_back({"colour to grey of " + std::to_string(bits) + " bits",
                       [bits](CDIMAGE& i, const Image&) { return i.performRGB24DownscaleToGrayN(bits); },
                       [bits](const Image& in) { return ColourToGrey(in, bits); }});
    }
    return ops;
}

TEST(PixelReference, ImageOperationsMatchTheReferenceOnEveryKindAndSize) {
    std::mt19937 random(20261208);
    for (const ImageOperation& op : ImageOperations()) {
        for (const Kind& kind : kKinds) {
            for (const auto& size : kSizes) {
                Image in{&kind, size[0], size[1], {}};
                std::vector<int64_t> values(in.values());
                for (int64_t& v : values) v = random() % (kind.largest + 1);
                in.bytes = Store(values, in.valueBytes());
                Bytes work = in.bytes;
                DIMAGE record = imagetest::MakeRecord(kind.format, in.width, in.height, kind.bytesPerPixel, work);
                record.frameHeader.effectiveBitsPerPixel = kind.effectiveBits;
                CDIMAGE image(record);
                SCOPED_TRACE(op.name + ", " + kind.name + ", " + std::to_string(in.width) + "x" +
                             std::to_string(in.height));
                const Outcome expected = op.reference(in);
                ASSERT_EQ(op.run(image, in), expected.done);
                if (!expected.done) continue;
                const unsigned char* frame = image.getFrameBufferPointer();
                EXPECT_EQ(Bytes(frame, frame + image.getAppendedFrameSizeBytes()), expected.frame);
                EXPECT_EQ(image.getBytesPerPixel(), expected.bytesPerPixel);
                EXPECT_EQ(image.m_Img.frameHeader.effectiveBitsPerPixel, expected.effectiveBits);
            }
        }
    }
}

// Older records: frames of bpp-wide little-endian values.
struct Record {
    uint32_t width, height, bpp, ebitpp;
    std::vector<std::vector<uint32_t>> frames;
};

uint32_t Largest(uint32_t bpp) { return bpp == 32 ? UINT32_MAX : (1u << bpp) - 1; }

Bytes Pack(const std::vector<uint32_t>& values, uint32_t bpp) {
    return qmv3test::Wide(values, static_cast<int>(bpp / 8));
}

std::vector<uint32_t> Unpack(const unsigned char* bytes, size_t count, uint32_t bpp) {
    std::vector<uint32_t> values(count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        for (uint32_t b = 0; b < bpp / 8; ++b) v |= static_cast<uint32_t>(bytes[i * (bpp / 8) + b]) << (8 * b);
        values[i] = v;
    }
    return values;
}

std::vector<uint32_t> SignificanceMap(const Record& a, const Record& b, double factor) {
    const size_t n = a.frames.size(), pixels = a.frames[0].size();
    std::vector<uint32_t> map(pixels, 0);
    for (size_t p = 0; p < pixels; ++p) {
        double sumA = 0, sumB = 0, squares = 0;
        for (size_t f = 0; f < n; ++f) sumA += a.frames[f][p];
        for (size_t f = 0; f < n; ++f) sumB += b.frames[f][p];
        const double meanA = sumA / n, meanB = sumB / n;
        for (size_t f = 0; f < n; ++f) squares += (meanB - b.frames[f][p]) * (meanB - b.frames[f][p]);
        if (std::sqrt(squares / (n - 1)) * factor >= meanA - meanB) map[p] = 1;
    }
    return map;
}

void SpikeFilter(Record& r) {
    for (auto& frame : r.frames) {
        for (uint32_t y = 1; y + 1 < r.height; ++y) {
            for (uint32_t x = 1; x + 1 < r.width; ++x) {
                const uint32_t v = frame[y * r.width + x];
                if (v == 0) continue;
                const uint32_t t = r.bpp == 32 ? 3 * (v / 2) : 2 * v / 3;
                int darker = 0;
                uint32_t sum = 0;
                double wide = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        if (dx == 0 && dy == 0) continue;
                        const uint32_t n = frame[(y + dy) * r.width + x + dx];
                        darker += n < t;
                        sum += n;
                        wide += n;
                    }
                }
                if (darker > 3) frame[y * r.width + x] = r.bpp == 32 ? static_cast<uint32_t>(wide * 0.125) : sum >> 3;
            }
        }
    }
}

// Inside the rectangle, stretched so that its largest value reaches the top of the effective bits
// (never beyond what a pixel holds).
void Normalise(Record& r, uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
    const uint32_t bits = r.ebitpp != 0 ? r.ebitpp : r.bpp;
    const uint32_t target = std::min(bits >= 32 ? UINT32_MAX : (1u << bits) - 1, Largest(r.bpp));
    for (auto& frame : r.frames) {
        uint32_t largest = 0;
        for (uint32_t y = y1; y <= y2; ++y)
            for (uint32_t x = x1; x <= x2; ++x) largest = std::max(largest, frame[y * r.width + x]);
        const double f = largest == 0 ? target / 1.0 : static_cast<double>(target) / largest;
        for (uint32_t y = y1; y <= y2; ++y)
            for (uint32_t x = x1; x <= x2; ++x)
                frame[y * r.width + x] = static_cast<uint32_t>(std::min(frame[y * r.width + x] * f, double(target)));
    }
}

void Reduce(Record& r, bool average) {
    std::vector<uint32_t> out(r.frames[0].size());
    for (size_t p = 0; p < out.size(); ++p) {
        double sum = 0;
        uint32_t largest = 0;
        for (const auto& frame : r.frames) {
            sum += frame[p];
            largest = std::max(largest, frame[p]);
        }
        out[p] = average ? static_cast<uint32_t>(sum / r.frames.size()) : largest;
    }
    r.frames = {out};
}

struct RecordOperation {
    std::string name;
    std::function<int(VIDINFHDR&, VIDINFHDR&, VIDINFHDR&)> run;  // record, second record, map
    std::function<void(Record&, const Record&)> reference;       // the map replaces the record
};

std::vector<RecordOperation> RecordOperations() {
    return {
        {"significance map",
         [](VIDINFHDR& a, VIDINFHDR& b, VIDINFHDR& m) { return calculate_significance_map(&a, &b, &m, 1.5); },
         [](Record& a, const Record& b) { a.frames = {SignificanceMap(a, b, 1.5)}; }},
        {"spike filter", [](VIDINFHDR& a, VIDINFHDR&, VIDINFHDR&) { return xrayfilter(&a); },
         [](Record& a, const Record&) { SpikeFilter(a); }},
        {"normalisation", [](VIDINFHDR& a, VIDINFHDR&, VIDINFHDR&) { return normalizeframes(&a); },
         [](Record& a, const Record&) { Normalise(a, 0, 0, a.width - 1, a.height - 1); }},
        {"normalisation of a rectangle",
         [](VIDINFHDR& a, VIDINFHDR&, VIDINFHDR&) { return normalizeframes_rect(&a, a.width - 1, a.height / 2, 1, 0); },
         [](Record& a, const Record&) { Normalise(a, 1, 0, a.width - 1, a.height / 2); }},
        {"reduction by average",
         [](VIDINFHDR& a, VIDINFHDR&, VIDINFHDR&) { return convert_format(&a, VIDINFHDR_TYPE_BKG, 1); },
         [](Record& a, const Record&) { Reduce(a, true); }},
        {"reduction by envelope",
         [](VIDINFHDR& a, VIDINFHDR&, VIDINFHDR&) { return convert_format(&a, VIDINFHDR_TYPE_BKG, 2); },
         [](Record& a, const Record&) { Reduce(a, false); }},
    };
}

TEST(PixelReference, OlderAlgorithmsMatchTheReferenceOnEveryWidthAndSize) {
    std::mt19937 random(8122026);
    const uint32_t kShapes[][3] = {{4, 4, 2}, {7, 5, 3}, {33, 17, 4}, {129, 9, 2}};
    for (const RecordOperation& op : RecordOperations()) {
        for (uint32_t bpp : {8u, 16u, 32u}) {
            for (uint32_t ebitpp : {bpp, bpp == 16 ? 12u : 0u}) {
                for (const auto& shape : kShapes) {
                    Record in[2];
                    qmv3test::RecordGuard guards[3];
                    for (int k = 0; k < 2; ++k) {
                        in[k] = {shape[0], shape[1], bpp, ebitpp, {}};
                        std::vector<Bytes> frames;
                        for (uint32_t f = 0; f < shape[2]; ++f) {
                            std::vector<uint32_t> values(shape[0] * shape[1]);
                            // Dark pixels with bright spikes give the spike filter work.
                            for (uint32_t& v : values) v = random() % 4 == 0 ? random() & Largest(bpp) : random() % 64;
                            in[k].frames.push_back(values);
                            frames.push_back(Pack(values, bpp));
                        }
                        qmv3test::FillRecord(&guards[k].rec, shape[0], shape[1], bpp, ebitpp, VIDINFHDR_TYPE_IMC,
                                             frames, {});
                    }
                    SCOPED_TRACE(op.name + ", bpp " + std::to_string(bpp) + ", ebitpp " + std::to_string(ebitpp) +
                                 ", " + std::to_string(shape[0]) + "x" + std::to_string(shape[1]));
                    ASSERT_EQ(op.run(guards[0].rec, guards[1].rec, guards[2].rec), 0);
                    op.reference(in[0], in[1]);
                    const VIDINFHDR& result =
                        guards[2].rec.type == VIDINFHDR_TYPE_EMPTY ? guards[0].rec : guards[2].rec;
                    ASSERT_EQ(result.numframes, static_cast<int32_t>(in[0].frames.size()));
                    for (size_t f = 0; f < in[0].frames.size(); ++f) {
                        EXPECT_EQ(Unpack(result.framebits[f], in[0].frames[f].size(), bpp), in[0].frames[f])
                            << "frame " << f;
                    }
                }
            }
        }
    }
}

}  // namespace
