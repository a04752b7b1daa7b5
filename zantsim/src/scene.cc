// The scene model: a rotated elliptical Gaussian beam spot that drifts slowly over a dim, vignetted
// screen with a faint graticule and a round edge, as an 8- to 16-bit sensor records it.
//
// Everything fixed for a camera (dark offset, per-pixel gain and offset, screen, hot pixels) is summed
// into one mean value per sample when a scene is first used; the temporal noise is a field of standard
// normal samples drawn once per scene and read from a frame-dependent starting point, so a frame costs
// one pass over the samples plus the spot's neighbourhood. Shot noise is the Gaussian of the same
// variance as the Poisson count of the signal (indistinguishable at these electron counts).
//
// Thread rules: fixed scene data is immutable once built and shared through shared_ptr; the cache of
// built scenes is guarded by its own mutex, so any thread may render at any time.
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

namespace zantsim {
namespace {

// The sensor and the screen, in fractions of full scale unless stated otherwise.
constexpr double kPedestal = 0.03;       // dark offset
constexpr double kIllumination = 0.05;   // screen brightness at the centre
constexpr double kVignetting = 0.35;     // loss of brightness towards the corners
constexpr double kGridDimming = 0.6;     // brightness left on a graticule line
constexpr double kOutsideScreen = 0.25;  // brightness left beyond the screen's round edge
constexpr double kOffsetSpread = 0.002;  // per-pixel dark offset, standard deviation
constexpr double kGainSpread = 0.01;     // per-pixel gain, standard deviation (relative)
constexpr double kReadNoise = 0.003;     // read noise, standard deviation
constexpr double kFullWellElectrons = 6000.0;
constexpr int kPixelsPerHotPixel = 30000;
constexpr double kMinorAxis = 0.6;                     // minor over major axis of the spot
constexpr double kSpotAngle = 0.5235987755982988;      // 30 degrees
constexpr double kSpotFluctuation = 0.015;             // relative, standard deviation per frame
constexpr double kChannelCast[3] = {1.0, 0.82, 0.55};  // red, green, blue
constexpr float kNoiseUnit = 1.0f / 32.0f;             // the noise field holds 32 steps per sigma
constexpr double kTwoPi = 6.283185307179586;
constexpr size_t kCachedScenes = 8;

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A hash of the seed, a purpose and an index: independent streams for independent properties.
uint64_t Hash(uint32_t seed, uint32_t purpose, uint64_t index) {
    return Mix(Mix((static_cast<uint64_t>(seed) << 32) | purpose) ^ index);
}

double Unit(uint64_t hash) { return static_cast<double>(hash >> 11) * 0x1.0p-53; }

// Approximately standard normal: the sum of eight uniform bytes, centred and scaled (range +-4.9).
double Normal(uint64_t hash) {
    int sum = 0;
    for (int i = 0; i < 8; ++i, hash >>= 8) sum += static_cast<int>(hash & 0xFF);
    return (sum - 1020.0) / 209.02;
}

double NoiseScale(NoiseLevel level) {
    switch (level) {
        case NoiseLevel::kNone:
            return 0.0;
        case NoiseLevel::kLow:
            return 0.5;
        case NoiseLevel::kNormal:
            return 1.0;
        case NoiseLevel::kHigh:
            return 2.5;
    }
    return 1.0;
}

int Channels(const SceneShape& shape) { return shape.rgb ? 3 : 1; }

double FullScale(const SceneShape& shape) {
    int bits = shape.rgb ? std::min(8, std::max(1, shape.effectiveBits / 3))
                         : std::min(shape.effectiveBits, 8 * shape.bytesPerPixel);
    bits = std::max(1, std::min(bits, 16));
    return static_cast<double>((1u << bits) - 1u);
}

double SpotSigma(const SceneShape& shape, const SceneSettings& settings) {
    if (settings.spotSigma > 0.0) return settings.spotSigma;
    return std::max(1.0, std::min(shape.width, shape.height) / 30.0);
}

// Relative brightness of the screen at a pixel: vignetting, graticule, round edge.
double Screen(const SceneShape& shape, int x, int y) {
    const double halfWidth = shape.width / 2.0, halfHeight = shape.height / 2.0;
    const double dx = (x + 0.5 - halfWidth) / halfWidth, dy = (y + 0.5 - halfHeight) / halfHeight;
    const double radius2 = (dx * dx + dy * dy) / 2.0;  // 1 at the corners
    double brightness = 1.0 - kVignetting * radius2;
    const int spacing = std::max(16, std::min(shape.width, shape.height) / 12);
    if (x % spacing < 2 || y % spacing < 2) brightness *= kGridDimming;
    if (radius2 > 0.81) brightness *= kOutsideScreen;
    return brightness;
}

struct SceneData {
    SceneShape shape;
    SceneSettings settings;
    int channels = 1;
    float fullScale = 255.0f;
    float pedestal = 0.0f;
    float readVariance = 0.0f;
    float shotGain = 0.0f;  // ADU per electron: the shot-noise variance of a signal S is S * shotGain
    double gainSpread = 0.0;
    std::vector<float> base;    // mean value of every sample without the spot
    std::vector<int8_t> noise;  // standard normal samples, kNoiseUnit per step
};

bool SameScene(const SceneData& data, const SceneShape& shape, const SceneSettings& settings) {
    return data.shape.width == shape.width && data.shape.height == shape.height && data.shape.rgb == shape.rgb &&
           data.shape.bytesPerPixel == shape.bytesPerPixel && data.shape.effectiveBits == shape.effectiveBits &&
           data.settings.seed == settings.seed && data.settings.spotSigma == settings.spotSigma &&
           data.settings.spotPeak == settings.spotPeak && data.settings.noise == settings.noise;
}

// Per-pixel gain of a sample (fixed-pattern noise), recomputed where the spot is drawn. It reads the
// noise field backwards, an order in which no frame reads it.
double PixelGain(const SceneData& data, size_t sample) {
    return 1.0 + data.gainSpread * kNoiseUnit * data.noise[data.noise.size() - 1 - sample];
}

std::shared_ptr<const SceneData> BuildScene(const SceneShape& shape, const SceneSettings& settings) {
    auto data = std::make_shared<SceneData>();
    data->shape = shape;
    data->settings = settings;
    data->channels = Channels(shape);
    const double full = FullScale(shape), scale = NoiseScale(settings.noise);
    data->fullScale = static_cast<float>(full);
    data->pedestal = static_cast<float>(kPedestal * full);
    data->readVariance = static_cast<float>(std::pow(kReadNoise * scale * full, 2));
    data->shotGain = static_cast<float>(full / kFullWellElectrons * scale * scale);
    data->gainSpread = kGainSpread * scale;
    const size_t pixels = static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height);
    const size_t samples = pixels * static_cast<size_t>(data->channels);
    data->base.resize(samples);
    data->noise.resize(samples);
    const uint32_t seed = settings.seed;
    for (size_t i = 0; i < samples; ++i) {
        const double z = std::round(Normal(Hash(seed, 3, i)) * 32.0);
        data->noise[i] = static_cast<int8_t>(std::max(-127.0, std::min(127.0, z)));
    }
    const double offsetSpread = kOffsetSpread * scale * full * 1.7320508;
    size_t sample = 0;
    for (int y = 0; y < shape.height; ++y) {
        for (int x = 0; x < shape.width; ++x) {
            const double light = kIllumination * full * Screen(shape, x, y);
            for (int c = 0; c < data->channels; ++c, ++sample) {
                const double offset = offsetSpread * (2.0 * Unit(Hash(seed, 1, sample)) - 1.0);
                const double cast = shape.rgb ? kChannelCast[c] : 1.0;
                data->base[sample] =
                    static_cast<float>(kPedestal * full + offset + light * cast * PixelGain(*data, sample));
            }
        }
    }
    if (settings.noise != NoiseLevel::kNone) {
        const size_t hot = std::max<size_t>(3, pixels / kPixelsPerHotPixel);
        for (size_t k = 0; k < hot; ++k) {
            const size_t pixel = Hash(seed, 4, k) % pixels;
            const double level = (0.2 + 0.8 * Unit(Hash(seed, 5, k))) * full;
            for (int c = 0; c < data->channels; ++c)
                data->base[pixel * data->channels + c] += static_cast<float>(level);
        }
    }
    return data;
}

// The fixed data of a scene, built on first use; the latest few scenes stay cached.
std::shared_ptr<const SceneData> FixedScene(const SceneShape& shape, const SceneSettings& settings) {
    static std::mutex mutex;
    static std::list<std::shared_ptr<const SceneData>> cache;  // most recently used first
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (!SameScene(**it, shape, settings)) continue;
        cache.splice(cache.begin(), cache, it);
        return cache.front();
    }
    cache.push_front(BuildScene(shape, settings));
    if (cache.size() > kCachedScenes) cache.pop_back();
    return cache.front();
}

// Writes clipped, rounded samples; `Sample` is uint8_t or uint16_t (stored least significant byte first).
template <typename Sample>
void Store(float value, float fullScale, unsigned char* out, size_t index) {
    value = std::min(std::max(value, 0.0f), fullScale);
    const auto stored = static_cast<Sample>(static_cast<int>(value + 0.5f));
    if (sizeof(Sample) == 1) {
        out[index] = static_cast<unsigned char>(stored);
    } else {
        out[2 * index] = static_cast<unsigned char>(stored & 0xFF);
        out[2 * index + 1] = static_cast<unsigned char>(stored >> 8);
    }
}

// Samples [begin, end) without the spot, with noise from the field starting at `noise`.
template <typename Sample>
void RenderBackground(const SceneData& data, size_t begin, size_t end, const int8_t* noise, unsigned char* out) {
    const float* base = data.base.data();
    const float pedestal = data.pedestal, readVariance = data.readVariance, shotGain = data.shotGain;
    const float fullScale = data.fullScale;
    for (size_t i = begin; i < end; ++i) {
        const float mean = base[i];
        const float variance = readVariance + std::max(mean - pedestal, 0.0f) * shotGain;
        Store<Sample>(mean + std::sqrt(variance) * (noise[i - begin] * kNoiseUnit), fullScale, out, i);
    }
}

// The spot's neighbourhood drawn again with the spot added.
template <typename Sample>
void RenderSpot(const SceneData& data, const SpotState& spot, size_t shift, unsigned char* out) {
    const SceneShape& shape = data.shape;
    const double sigmaMajor = SpotSigma(shape, data.settings), sigmaMinor = sigmaMajor * kMinorAxis;
    const double amplitude = spot.peak - (kPedestal + kIllumination) * data.fullScale;
    if (amplitude <= 0.0) return;
    // Out to where the spot adds less than a quarter of one step.
    const double reach = std::sqrt(2.0 * std::log(std::max(amplitude / 0.25, 1.0)));
    const double cosA = std::cos(kSpotAngle), sinA = std::sin(kSpotAngle);
    const double halfX = reach * std::hypot(sigmaMajor * cosA, sigmaMinor * sinA);
    const double halfY = reach * std::hypot(sigmaMajor * sinA, sigmaMinor * cosA);
    const int x0 = std::max(0, static_cast<int>(std::floor(spot.x - halfX)));
    const int x1 = std::min(shape.width - 1, static_cast<int>(std::ceil(spot.x + halfX)));
    const int y0 = std::max(0, static_cast<int>(std::floor(spot.y - halfY)));
    const int y1 = std::min(shape.height - 1, static_cast<int>(std::ceil(spot.y + halfY)));
    const size_t samples = data.base.size();
    const double inverseMajor = 1.0 / (sigmaMajor * sigmaMajor), inverseMinor = 1.0 / (sigmaMinor * sigmaMinor);
    for (int y = y0; y <= y1; ++y) {
        const double dy = y + 0.5 - spot.y;
        for (int x = x0; x <= x1; ++x) {
            const double dx = x + 0.5 - spot.x;
            const double along = dx * cosA + dy * sinA, across = -dx * sinA + dy * cosA;
            const double signal =
                amplitude * std::exp(-0.5 * (along * along * inverseMajor + across * across * inverseMinor));
            size_t sample = (static_cast<size_t>(y) * shape.width + x) * data.channels;
            for (int c = 0; c < data.channels; ++c, ++sample) {
                const double cast = shape.rgb ? kChannelCast[c] : 1.0;
                const float added = static_cast<float>(signal * cast * PixelGain(data, sample));
                const float mean = data.base[sample] + added;
                const float variance = data.readVariance + std::max(mean - data.pedestal, 0.0f) * data.shotGain;
                const size_t at = sample + shift;
                const int8_t z = data.noise[at < samples ? at : at - samples];
                Store<Sample>(mean + std::sqrt(variance) * (z * kNoiseUnit), data.fullScale, out, sample);
            }
        }
    }
}

template <typename Sample>
void Render(const SceneData& data, uint32_t frameNumber, unsigned char* out) {
    const size_t samples = data.base.size();
    if (samples == 0) return;
    // The frame's noise is the field read from a frame-dependent start, wrapping at its end.
    const size_t shift = Hash(data.settings.seed, 6, frameNumber) % samples;
    const int8_t* noise = data.noise.data();
    RenderBackground<Sample>(data, 0, samples - shift, noise + shift, out);
    RenderBackground<Sample>(data, samples - shift, samples, noise, out);
    RenderSpot<Sample>(data, SceneSpot(data.shape, data.settings, frameNumber), shift, out);
}

// Served frames above this size come from a ring of pre-rendered frames (see RenderServedScene).
constexpr size_t kRingThresholdBytes = 1u << 20;
constexpr uint32_t kRingFrames = 8;
constexpr size_t kDitherWords = 4096;  // 32 KiB of dither masks: small enough to stay in cache

// The ring of a scene: frames 1 .. kRingFrames rendered exactly, and a table of dither masks (twice over,
// so that any window of kDitherWords words is contiguous) that flip the lowest bits of every sample.
struct SceneRing {
    SceneShape shape;
    SceneSettings settings;
    std::vector<std::vector<unsigned char>> frames;
    std::vector<uint64_t> dither;
};

bool SameRing(const SceneRing& ring, const SceneShape& shape, const SceneSettings& settings) {
    SceneData probe;
    probe.shape = ring.shape;
    probe.settings = ring.settings;
    return SameScene(probe, shape, settings);
}

std::shared_ptr<const SceneRing> BuildRing(const SceneShape& shape, const SceneSettings& settings) {
    auto ring = std::make_shared<SceneRing>();
    ring->shape = shape;
    ring->settings = settings;
    const size_t bytes = static_cast<size_t>(shape.width) * shape.height * static_cast<size_t>(shape.bytesPerPixel);
    ring->frames.resize(kRingFrames);
    for (uint32_t k = 0; k < kRingFrames; ++k) {
        ring->frames[k].resize(bytes);
        RenderScene(shape, settings, k + 1, ring->frames[k].data());
    }
    // Full scale is all ones in its bits, so flipping bits below it never leaves the range: one bit of
    // 8-bit samples, two of wider ones. No noise, no dither.
    const bool wide = !shape.rgb && shape.bytesPerPixel == 2;
    uint64_t lane = wide ? 0x0003000300030003ull : 0x0101010101010101ull;
    if (settings.noise == NoiseLevel::kNone || (wide && FullScale(shape) < 3.0)) lane = 0;
    ring->dither.resize(2 * kDitherWords);
    for (size_t i = 0; i < kDitherWords; ++i)
        ring->dither[i] = ring->dither[i + kDitherWords] = Hash(settings.seed, 11, i) & lane;
    return ring;
}

std::shared_ptr<const SceneRing> RingOf(const SceneShape& shape, const SceneSettings& settings) {
    static std::mutex mutex;
    static std::list<std::shared_ptr<const SceneRing>> cache;  // most recently used first
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (!SameRing(**it, shape, settings)) continue;
        cache.splice(cache.begin(), cache, it);
        return cache.front();
    }
    cache.push_front(BuildRing(shape, settings));
    if (cache.size() > 4) cache.pop_back();
    return cache.front();
}

}  // namespace

void RenderServedScene(const SceneShape& shape, const SceneSettings& settings, uint32_t frameNumber,
                       unsigned char* out) {
    const size_t bytes = static_cast<size_t>(shape.width) * shape.height * static_cast<size_t>(shape.bytesPerPixel);
    if (bytes <= kRingThresholdBytes) {
        RenderScene(shape, settings, frameNumber, out);
        return;
    }
    const std::shared_ptr<const SceneRing> ring = RingOf(shape, settings);
    const unsigned char* frame = ring->frames[(frameNumber - 1) % kRingFrames].data();
    const uint64_t* dither = ring->dither.data() + Hash(settings.seed, 12, frameNumber) % kDitherWords;
    const size_t words = bytes / 8;
    for (size_t start = 0; start < words; start += kDitherWords) {
        const size_t count = std::min(kDitherWords, words - start);
        for (size_t i = 0; i < count; ++i) {
            uint64_t word;
            std::memcpy(&word, frame + 8 * (start + i), 8);
            word ^= dither[i];
            std::memcpy(out + 8 * (start + i), &word, 8);
        }
    }
    std::memcpy(out + 8 * words, frame + 8 * words, bytes - 8 * words);
}

double SceneDraw(uint32_t seed, uint32_t purpose, uint64_t index) { return Unit(Hash(seed, purpose, index)); }

SpotState SceneSpot(const SceneShape& shape, const SceneSettings& settings, uint32_t frameNumber) {
    const uint32_t seed = settings.seed;
    const double phaseX = kTwoPi * Unit(Hash(seed, 7, 0)), phaseY = kTwoPi * Unit(Hash(seed, 7, 1));
    SpotState spot;
    // A slow Lissajous drift (periods of about 1000 and 1500 frames) with a little jitter per frame.
    spot.x = shape.width * (0.5 + 0.12 * std::sin(kTwoPi * frameNumber / 997.0 + phaseX)) +
             0.3 * Normal(Hash(seed, 8, frameNumber));
    spot.y = shape.height * (0.5 + 0.10 * std::sin(kTwoPi * frameNumber / 1531.0 + phaseY)) +
             0.3 * Normal(Hash(seed, 9, frameNumber));
    const double full = FullScale(shape), floor = (kPedestal + kIllumination) * full;
    const double amplitude = std::max(0.0, settings.spotPeak * full - floor);
    spot.peak = floor + amplitude * (1.0 + kSpotFluctuation * Normal(Hash(seed, 10, frameNumber)));
    return spot;
}

void RenderScene(const SceneShape& shape, const SceneSettings& settings, uint32_t frameNumber, unsigned char* out) {
    const std::shared_ptr<const SceneData> data = FixedScene(shape, settings);
    if (shape.bytesPerPixel == 2 && !shape.rgb) {
        Render<uint16_t>(*data, frameNumber, out);
    } else {
        Render<uint8_t>(*data, frameNumber, out);
    }
}

}  // namespace zantsim
