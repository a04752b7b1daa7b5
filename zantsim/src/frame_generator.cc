// Frames of the simulated cameras: valid headers stamped with the current time and pixels from the
// property's source (the scene, a moving test pattern computed from the frame number, or a recorded
// frame), raw or compressed with libjpeg. Pure functions of their arguments; they run on the caller's
// thread and on delivery threads alike.
#include <sys/time.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
// jpeglib.h needs size_t and FILE declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "scene.h"
#include "sim_image.h"
#include "zantsim.h"

namespace zantsim {
namespace {

constexpr int kFlagLittleEndian = 0x001;
constexpr int kFlagLossless = 0x002;

// Value of one channel of one pixel, masked to the effective bits.
inline uint32_t PatternValue(uint32_t x, uint32_t y, uint32_t frameNumber, uint32_t channel, uint32_t mask) {
    return (x + 2 * y + 3 * frameNumber + 85 * channel) & mask;
}

// Fills `out` (width * height * bytesPerPixel bytes) with the raw pattern.
void FillPattern(const PropertyModel& model, uint32_t frameNumber, unsigned char* out) {
    const uint32_t mask = model.effectiveBits >= 32 ? 0xFFFFFFFFu : ((1u << model.effectiveBits) - 1u);
    const uint32_t width = static_cast<uint32_t>(model.width);
    const uint32_t height = static_cast<uint32_t>(model.height);
    if (model.format == kFormatRgb) {
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                for (uint32_t c = 0; c < 3; ++c)
                    *out++ = static_cast<unsigned char>(PatternValue(x, y, frameNumber, c, 0xFF));
        return;
    }
    if (model.bytesPerPixel == 1) {
        // Every row is a slice of one periodic ramp, so rows are copied rather than computed.
        std::vector<unsigned char> ramp(width + mask + 1);
        for (uint32_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i & mask);
        for (uint32_t y = 0; y < height; ++y, out += width)
            std::memcpy(out, ramp.data() + ((2 * y + 3 * frameNumber) & mask), width);
        return;
    }
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t value = PatternValue(x, y, frameNumber, 0, mask);
            for (int b = 0; b < model.bytesPerPixel; ++b, value >>= 8) *out++ = static_cast<unsigned char>(value);
        }
    }
}

// libjpeg destination that appends to a vector.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<unsigned char>* output;
    unsigned char chunk[16384];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->manager.next_output_byte = dest->chunk;
    dest->manager.free_in_buffer = sizeof dest->chunk;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->output->insert(dest->output->end(), dest->chunk, dest->chunk + sizeof dest->chunk);
    dest->manager.next_output_byte = dest->chunk;
    dest->manager.free_in_buffer = sizeof dest->chunk;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = sizeof dest->chunk - dest->manager.free_in_buffer;
    dest->output->insert(dest->output->end(), dest->chunk, dest->chunk + used);
}

// libjpeg reports a fatal error through error_exit, whose default ends the process from the delivery
// thread (and the exit handlers then wait for the lock that thread holds): here it jumps back instead.
struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf back;
};

[[noreturn]] void ReturnFromJpeg(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->back, 1); }

// Encodes `raw` (rows of `model`) into `dest`; false when libjpeg refuses. Only C objects live here, so
// the jump back skips no destructor.
bool EncodeJpeg(const PropertyModel& model, unsigned char* raw, VectorDestination& dest) {
    jpeg_compress_struct cinfo;
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ReturnFromJpeg;
    if (setjmp(errors.back) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &dest.manager;
    cinfo.image_width = static_cast<JDIMENSION>(model.width);
    cinfo.image_height = static_cast<JDIMENSION>(model.height);
    cinfo.input_components = model.format == kFormatRgb ? 3 : 1;
    cinfo.in_color_space = model.format == kFormatRgb ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = static_cast<size_t>(model.width) * static_cast<size_t>(cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = raw + cinfo.next_scanline * rowBytes;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// Compresses the frame of an 8-bit GRAY or RGB model; false (and `out` empty) when libjpeg refuses.
bool CompressFrame(const PropertyModel& model, uint32_t frameNumber, std::vector<unsigned char>& out) {
    std::vector<unsigned char> raw(model.uncompressedBytes());
    FillFrame(model, frameNumber, raw.data());
    VectorDestination dest;
    dest.manager.init_destination = InitDestination;
    dest.manager.empty_output_buffer = EmptyOutputBuffer;
    dest.manager.term_destination = TermDestination;
    dest.output = &out;
    if (EncodeJpeg(model, raw.data(), dest)) return true;
    out.clear();
    return false;
}

void StampCurrentTime(SimImage& header) {
    timeval now{};
    gettimeofday(&now, nullptr);
    header.timestampSeconds = static_cast<uint32_t>(now.tv_sec);
    header.timestampMicroseconds = static_cast<uint32_t>(now.tv_usec);
}

void FillHeader(const PropertyModel& model, uint32_t frameNumber, SimImage& header) {
    std::memset(&header, 0, sizeof header);
    std::memcpy(header.baseTag, "QMV3", 4);
    header.cameraPortId = 1;
    header.versionTag = 1;
    StampCurrentTime(header);
    std::snprintf(header.cameraPortName, sizeof header.cameraPortName, "%s", model.name.c_str());
    header.sourceWidth = model.width;
    header.sourceHeight = model.height;
    header.aoiWidth = -1;
    header.aoiHeight = -1;
    header.bytesPerPixel = model.bytesPerPixel;
    header.effectiveBitsPerPixel = model.effectiveBits;
    header.horizontalBinning = 1;
    header.verticalBinning = 1;
    header.sourceFormat = model.format;
    header.imageFormat = model.jpeg ? kFormatJpeg : model.format;
    header.frameNumber = frameNumber;
    header.eventNumber = frameNumber;
    header.xScale = header.yScale = -1.0f;
    header.scale_x_offset = header.scale_y_offset = header.fspare3 = -1.0f;
    header.imageFlags = kFlagLittleEndian | (model.jpeg ? 0 : kFlagLossless);
    header.ispare1 = header.ispare2 = header.ispare3 = -1;
}

}  // namespace

void FillFrame(const PropertyModel& model, uint32_t frameNumber, unsigned char* out) {
    if (model.source == FrameSource::kPattern) {
        FillPattern(model, frameNumber, out);
    } else {
        RenderServedScene(model.sceneShape(), model.scene, frameNumber, out);
    }
}

void PrepareRecordedFrame(const PropertyModel& model, size_t index, uint32_t frameNumber, ServedFrame& frame) {
    frame.model = model;
    frame.bytes.clear();
    frame.generateInPlace = false;
    frame.recording = model.recording;
    frame.recordedIndex = index;
    frame.header = model.recording->frames[index].header;
    frame.header.frameNumber = frameNumber;
    StampCurrentTime(frame.header);
}

void PrepareGeneratedFrame(const PropertyModel& model, uint32_t frameNumber, ServedFrame& frame) {
    FillHeader(model, frameNumber, frame.header);
    frame.model = model;
    frame.bytes.clear();
    frame.failureCode = 0;
    if (model.jpeg) {
        if (!CompressFrame(model, frameNumber, frame.bytes)) frame.failureCode = ZANTSIM_CC_ILLEGAL_FORMAT;
        frame.generateInPlace = false;
        frame.header.appendedFrameSize = static_cast<int32_t>(frame.bytes.size());
    } else {
        frame.generateInPlace = true;
        frame.header.appendedFrameSize = static_cast<int32_t>(model.uncompressedBytes());
    }
    frame.header.totalLength = static_cast<uint32_t>(kImageHeaderSize + frame.header.appendedFrameSize);
}

int WriteFrame(const ServedFrame& frame, uint32_t arrayLength, void* destination) {
    auto* record = static_cast<SimImage*>(destination);
    if (record == nullptr) return 31;
    if (frame.failureCode != 0) return frame.failureCode;
    const uint32_t needed =
        frame.header.appendedFrameSize > 0 ? static_cast<uint32_t>(frame.header.appendedFrameSize) : 0;
    if (needed > 0 && record->frameBuffer == nullptr) return 31;
    const uint32_t room = arrayLength < record->frameBufferSize ? arrayLength : record->frameBufferSize;
    if (needed > room) return 23;
    // Only the 188 header bytes are written: the caller's buffer description stays as it was.
    unsigned char* const buffer = record->frameBuffer;
    std::memcpy(record, &frame.header, kImageHeaderSize);
    if (frame.generateInPlace) {
        FillFrame(frame.model, frame.header.frameNumber, buffer);
    } else if (frame.recording && needed > 0) {
        std::memcpy(buffer, frame.recording->frames[frame.recordedIndex].bytes.data(), needed);
    } else if (needed > 0) {
        std::memcpy(buffer, frame.bytes.data(), needed);
    }
    return 0;
}

std::vector<DeviceModel> DefaultDevices() {
    DeviceModel camera;
    camera.address = "/SIM/CAMSERVER/CAM0";
    PropertyModel frame;
    frame.name = "Frame";
    PropertyModel frame16 = frame;
    frame16.name = "Frame16";
    frame16.bytesPerPixel = 2;
    frame16.effectiveBits = 12;
    PropertyModel frameRgb = frame;
    frameRgb.name = "FrameRGB";
    frameRgb.format = kFormatRgb;
    frameRgb.bytesPerPixel = 3;
    frameRgb.effectiveBits = 24;
    PropertyModel frameJpeg = frame;
    frameJpeg.name = "FrameJpeg";
    frameJpeg.jpeg = true;
    camera.properties = {frame, frame16, frameRgb, frameJpeg};
    return {camera};
}

}  // namespace zantsim
