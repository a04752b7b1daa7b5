// The stand-in's view of the image record it writes for CF_IMAGE data, and the frames it serves.
// The record mirrors the library's 200-byte DIMAGE byte for byte; the stand-in keeps its own
// definition because, like the closed library it replaces, it does not depend on the client library.
#ifndef ZANTSIM_SIM_IMAGE_H
#define ZANTSIM_SIM_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene.h"

namespace zantsim {

struct SimImage {
    char baseTag[4];
    uint32_t cameraPortId;
    uint32_t versionTag;
    uint32_t totalLength;
    uint32_t timestampSeconds;
    uint32_t timestampMicroseconds;
    char cameraPortName[64];
    int32_t sourceWidth;
    int32_t sourceHeight;
    int32_t aoiWidth;
    int32_t aoiHeight;
    int32_t xStart;
    int32_t yStart;
    int32_t bytesPerPixel;
    int32_t effectiveBitsPerPixel;
    int32_t horizontalBinning;
    int32_t verticalBinning;
    int32_t sourceFormat;
    int32_t imageFormat;
    uint32_t frameNumber;
    uint32_t eventNumber;
    float xScale;
    float yScale;
    float imageRotation;
    float scale_x_offset;
    float scale_y_offset;
    float fspare3;
    int32_t imageFlags;
    int32_t ispare1;
    int32_t ispare2;
    int32_t ispare3;
    int32_t appendedFrameSize;
    uint32_t frameBufferSize;
    unsigned char* frameBuffer;
};
static_assert(sizeof(SimImage) == 200, "image record layout");
static_assert(offsetof(SimImage, sourceWidth) == 88, "image record layout");
static_assert(offsetof(SimImage, appendedFrameSize) == 184, "image record layout");
static_assert(offsetof(SimImage, frameBuffer) == 192, "image record layout");

constexpr size_t kImageHeaderSize = 188;
constexpr int kFormatGray = 0;
constexpr int kFormatRgb = 1;
constexpr int kFormatJpeg = 5;
// The library's largest frame: a larger one would be served but could not be kept.
constexpr uint32_t kMaxFrameBytes = 27262976u;
// Frames queued by a test script may be larger: they stand for what a real server could send.
constexpr uint32_t kMaxQueuedFrameBytes = 100u * 1024u * 1024u;
// libjpeg's largest width and height.
constexpr int kMaxJpegSide = 65500;

// Where the frames of a property come from.
enum class FrameSource { kScene, kPattern, kReplay };

// Faults of the delivery, for every source: a random extra delay per delivery, frame numbers skipped
// and frames delivered twice.
struct DeliveryFaults {
    int jitterMs = 0;
    double dropProbability = 0.0;
    double repeatProbability = 0.0;
};

// The frames of a recorded file, in file order, as the library loaded them.
struct RecordedFrame {
    SimImage header{};  // frameBufferSize and frameBuffer unused
    std::vector<unsigned char> bytes;
};
struct Recording {
    std::vector<RecordedFrame> frames;
    uint32_t largestFrame = 0;  // the largest appendedFrameSize
};

// One simulated image property of a device.
struct PropertyModel {
    std::string name;
    int width = 640;
    int height = 480;
    int format = kFormatGray;  // GRAY or RGB: the pixels before any compression
    int bytesPerPixel = 1;
    int effectiveBits = 8;
    bool jpeg = false;
    uint32_t frameNumberStart = 1;
    int minRateMs = 1;
    int maxRateMs = 60000;
    FrameSource source = FrameSource::kScene;
    SceneSettings scene;
    DeliveryFaults faults;
    // Replay: the file, whether it starts again after its last frame, and whether the recorded frame
    // numbers are served (otherwise they count from frameNumberStart).
    std::string replayFile;
    bool loop = false;
    bool recordedNumbers = false;
    std::shared_ptr<const Recording> recording;
    // Non-zero: the property cannot serve (a replay file that failed to load) and answers every
    // request with this completion code.
    int unavailableCode = 0;

    // The uncompressed frame size.
    uint32_t uncompressedBytes() const {
        return static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * static_cast<uint32_t>(bytesPerPixel);
    }
    // The element count reported for the property: the uncompressed frame size, or for a replay the
    // largest recorded frame. A small JPEG frame can be larger than its pixels (the headers alone take
    // hundreds of bytes, and incompressible blocks grow), so a JPEG property under 64 KiB reports the
    // largest frame its encoder can write: whole 16 x 16 blocks of two bytes per grey sample, or of one
    // per RGB sample (the chroma is subsampled), and the headers, as libjpeg's own buffer sizing has it.
    uint32_t elementCount() const {
        if (recording) return recording->largestFrame;
        const uint32_t raw = uncompressedBytes();
        if (!jpeg || raw >= 65536) return raw;
        const uint64_t paddedPixels =
            ((static_cast<uint64_t>(width) + 15) / 16 * 16) * ((static_cast<uint64_t>(height) + 15) / 16 * 16);
        return static_cast<uint32_t>(paddedPixels * (format == kFormatRgb ? 3 : 2) + 2048);
    }
    SceneShape sceneShape() const {
        SceneShape shape;
        shape.width = width;
        shape.height = height;
        shape.rgb = format == kFormatRgb;
        shape.bytesPerPixel = bytesPerPixel;
        shape.effectiveBits = effectiveBits;
        return shape;
    }
};

struct DeviceModel {
    std::string address;
    std::vector<PropertyModel> properties;
};

// A frame ready to be written into a subscriber's record: the header and its bytes, which are either
// `bytes`, a frame of `recording`, or generated in place straight into the destination buffer.
struct ServedFrame {
    SimImage header{};
    std::vector<unsigned char> bytes;
    bool generateInPlace = false;
    int failureCode = 0;  // non-zero: the frame could not be made; deliveries answer this code
    PropertyModel model;
    std::shared_ptr<const Recording> recording;
    size_t recordedIndex = 0;
};

// Prepares a frame of `model` with number `frameNumber` stamped with the current time.
void PrepareGeneratedFrame(const PropertyModel& model, uint32_t frameNumber, ServedFrame& frame);

// Prepares frame `index` of the model's recording, numbered `frameNumber` and stamped with the current time.
void PrepareRecordedFrame(const PropertyModel& model, size_t index, uint32_t frameNumber, ServedFrame& frame);

// Fills `out` (the model's uncompressed frame size) with the raw pixels of frame `frameNumber`.
void FillFrame(const PropertyModel& model, uint32_t frameNumber, unsigned char* out);

// Writes a frame into the record behind `destination` (a CF_IMAGE container). Returns 0, or the
// completion code that refuses it (no record, no frame buffer, or too little room).
int WriteFrame(const ServedFrame& frame, uint32_t arrayLength, void* destination);

// The default devices: the simulated camera /SIM/CAMSERVER/CAM0.
std::vector<DeviceModel> DefaultDevices();

// Reads a configuration file; false with a reason when it is malformed. Replay files are loaded here
// (see replay.h); one that cannot be loaded leaves its property unavailable, not the file malformed.
bool ReadConfiguration(const char* path, std::vector<DeviceModel>& devices, std::string& reason);

}  // namespace zantsim

#endif
