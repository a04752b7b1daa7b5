// The scene model of the simulated cameras: a beam spot on a dim screen, recorded as a sensor would
// record it (dark offset, fixed-pattern noise, shot and read noise, hot pixels, clipping). A frame is a
// pure function of the scene's settings and the frame number; what does not change from frame to frame
// is computed once per scene and shared, read-only, by every thread that renders it.
#ifndef ZANTSIM_SCENE_H
#define ZANTSIM_SCENE_H

#include <cstddef>
#include <cstdint>

namespace zantsim {

enum class NoiseLevel { kNone = 0, kLow = 1, kNormal = 2, kHigh = 3 };

struct SceneSettings {
    uint32_t seed = 1;
    double spotSigma = 0.0;  // pixels along the spot's major axis; 0: the smaller side / 30
    double spotPeak = 1.02;  // mean value at the spot's centre, as a fraction of full scale
    NoiseLevel noise = NoiseLevel::kNormal;
};

// The pixel layout a scene is rendered in: GRAY with 1 or 2 bytes per pixel (least significant byte
// first), or RGB with 3.
struct SceneShape {
    int width = 640;
    int height = 480;
    bool rgb = false;
    int bytesPerPixel = 1;
    int effectiveBits = 8;
};

// Where the spot of a frame is: its centre in pixels and its mean value there (full-scale units of the
// shape's samples, before clipping).
struct SpotState {
    double x = 0.0;
    double y = 0.0;
    double peak = 0.0;
};

// A uniform draw in [0, 1) from a seed, a purpose and an index: the stand-in's reproducible randomness.
double SceneDraw(uint32_t seed, uint32_t purpose, uint64_t index);

SpotState SceneSpot(const SceneShape& shape, const SceneSettings& settings, uint32_t frameNumber);

// Renders frame `frameNumber` into `out` (width * height * bytesPerPixel bytes). Throws std::bad_alloc
// when the scene's fixed data cannot be built.
void RenderScene(const SceneShape& shape, const SceneSettings& settings, uint32_t frameNumber, unsigned char* out);

// Renders a frame as the simulated cameras serve it. Frames of up to 1 MiB are RenderScene's; larger
// frames, which the exact model cannot render at camera rates, are frame 1 + (frameNumber - 1) mod 8 of
// the exact model with its lowest bit (two bits of 16-bit samples) flipped by a dither whose start in a
// small table depends on the frame number: about a copy's cost, and still a pure function of the
// settings and the frame number.
void RenderServedScene(const SceneShape& shape, const SceneSettings& settings, uint32_t frameNumber,
                       unsigned char* out);

}  // namespace zantsim

#endif
