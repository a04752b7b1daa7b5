// Writes the header of one image line by line to the library's log, for diagnosing images that
// fail the sequence checks.
#include <cstdint>
#include <cstring>
#include <ctime>

#include "image/cdimage.h"
#include "image/image_checks.h"
#include "util/library_log.h"

namespace {

const char kConversionError[] = "(Error converting to string)";

// Local time when it can be converted, else the raw seconds and microseconds.
void formatTimestamp(const DIMAGE_SOURCEHEADER& source, char* text, size_t size) {
    std::snprintf(text, size, "%d:%d (epochsec:msec)", static_cast<int>(source.timestampSeconds),
                  static_cast<int>(source.timestampMicroseconds));
    const time_t seconds = static_cast<time_t>(source.timestampSeconds);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) return;
    std::snprintf(text, size, "[%02d.%02d.%02d %02d:%02d:%02d:%03d LTM]", local.tm_mday, local.tm_mon + 1,
                  local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(source.timestampMicroseconds / 1000));
}

void dumpSourceHeader(const DIMAGE_SOURCEHEADER& source) {
    uint32_t tag;
    std::memcpy(&tag, source.baseTag, sizeof tag);
    char timestamp[64];
    formatTimestamp(source, timestamp, sizeof timestamp);
    char portName[sizeof source.cameraPortName + 1];
    std::memcpy(portName, source.cameraPortName, sizeof source.cameraPortName);
    portName[sizeof source.cameraPortName] = '\0';  // a full-length name has no NUL of its own
    _internal_LOG("DIMAGE.sourceHeader");
    _internal_LOG("   baseTag='%c%c%c%c' (%xh)", source.baseTag[0], source.baseTag[1], source.baseTag[2],
                  source.baseTag[3], tag);
    _internal_LOG("   cameraPortId=%d", static_cast<int>(source.cameraPortId));
    _internal_LOG("   versionTag=%u", source.versionTag);
    _internal_LOG("   totalLength=%u (bytes)", source.totalLength);
    _internal_LOG("   timestampSeconds=%u (sec since epoch)", source.timestampSeconds);
    _internal_LOG("   timestampMicroseconds=%u (usec offset, 0 <= value < 1.000.000)", source.timestampMicroseconds);
    _internal_LOG("   =timestamp %s", timestamp);
    _internal_LOG("   cameraPortName=\"%s\"", portName);
}

void dumpGeometry(const DIMAGE_FRAMEHEADER& frame) {
    _internal_LOG("DIMAGE.frameHeader");
    _internal_LOG("   sourceWidth  = %d (pixels)", frame.sourceWidth);
    _internal_LOG("   sourceHeight = %d (pixels)", frame.sourceHeight);
    _internal_LOG("   aoiWidth     = %d (pixels)", frame.aoiWidth);
    _internal_LOG("   aoiHeight    = %d (pixels)", frame.aoiHeight);
    _internal_LOG("   xStart = %d (offset in pixels, see flags!)", frame.xStart);
    _internal_LOG("   yStart = %d (offset in pixels, see flags!)", frame.yStart);
    _internal_LOG("   bytesPerPixel = %d (bytes)", frame.bytesPerPixel);
    _internal_LOG("   effectiveBPP = %d (bits per pixel)", frame.effectiveBitsPerPixel);
    _internal_LOG("   horizontalBinning = %d (%d to 1 pixel merged)", frame.horizontalBinning, frame.horizontalBinning);
    _internal_LOG("   verticalBinning = %d (%d to 1 pixel merged)", frame.verticalBinning, frame.verticalBinning);
}

void dumpFormatLine(const char* format, int code) {
    char text[30];
    size_t size = sizeof text;
    const char* converted = CDIMAGE::getFormatAsString(code, true, text, size);
    _internal_LOG(format, code, converted != nullptr ? converted : kConversionError);
}

void dumpFormatsAndRest(const DIMAGE_FRAMEHEADER& frame) {
    dumpFormatLine("   sourceFormat = %d (=%s)", frame.sourceFormat);
    dumpFormatLine("   imageFormat = %d (=%s)", frame.imageFormat);
    _internal_LOG("   frameNumber = %u", frame.frameNumber);
    _internal_LOG("   eventNumber = %u", frame.eventNumber);
    _internal_LOG("   xScale = %f (pixel per millimetre)", static_cast<double>(frame.xScale));
    _internal_LOG("   yScale = %f (pixel per millimetre)", static_cast<double>(frame.yScale));
    _internal_LOG("   imageRotation = %f (degrees, +CW -CCW)", static_cast<double>(frame.imageRotation));
    _internal_LOG("   scale_x_offset = %f", static_cast<double>(frame.scale_x_offset));
    _internal_LOG("   scale_y_offset = %f", static_cast<double>(frame.scale_y_offset));
    _internal_LOG("   fspare3 = %f", static_cast<double>(frame.fspare3));
    char flags[200];
    size_t size = sizeof flags;
    const char* converted = CDIMAGE::getFlagsAsString(frame.imageFlags, flags, size);
    _internal_LOG("   imageFlags = %xh (=%s)", static_cast<unsigned>(frame.imageFlags),
                  converted != nullptr ? converted : kConversionError);
    _internal_LOG("   ispare1 = %d", frame.ispare1);
    _internal_LOG("   ispare2 = %d", frame.ispare2);
    _internal_LOG("   ispare3 = %d", frame.ispare3);
    _internal_LOG("   appendedFrameSize = %d (bytes)", frame.appendedFrameSize);
}

}  // namespace

void _internal_LOG_dumpImageHeader(const DIMAGE& image) {
    _internal_LOG("Dumping qmv3 image header START");
    _internal_LOG("===============================");
    _internal_LOG("%s", "");
    dumpSourceHeader(image.sourceHeader);
    _internal_LOG("%s", "");
    dumpGeometry(image.frameHeader);
    dumpFormatsAndRest(image.frameHeader);
    _internal_LOG("%s", "");
    _internal_LOG("DIMAGE.frameBufferSize=%u (bytes)", image.frameBufferSize);
    _internal_LOG("DIMAGE.frameBuffer=0x%#lx (memory location ptr)",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(image.frameBuffer)));
    _internal_LOG("Dumping qmv3 image header end");
    _internal_LOG("=============================");
}
