// Diagnostic dumps of an image to a caller's stream: the header as labelled text, the header or the
// frame bytes as a hex dump, the frame bytes unchanged, and the frame as one frame record of the IMM
// file. Tools compare these dumps line by line, so every text is fixed. Each dump stops with false at
// the first write that fails.
#include <cstring>
#include <ctime>

#include "image/cdimage.h"
#include "util/numeric.h"
#include "util/text_escape.h"

namespace {

// Flag text capacity of the header dump; longer flag texts are cut.
constexpr size_t kFlagTextCapacity = 164;

// Writes bytes in the hex-dump layout: ".xx" per byte, 16 per line with their characters, each line
// labelled with the running byte count.
bool writeHexDump(FILE* stream, const unsigned char* bytes, size_t count) {
    if (std::fprintf(stream, "     1:") < 0) return false;
    for (size_t i = 0; i < count; ++i) {
        if (std::fprintf(stream, ".%02x", bytes[i]) < 0) return false;
        if ((i + 1) % 16 != 0) continue;
        char characters[17];
        for (size_t k = 0; k < 16; ++k) {
            const unsigned char byte = bytes[i - 15 + k];
            characters[k] = byte >= 32 && byte <= 126 ? static_cast<char>(byte) : '.';
        }
        characters[16] = '\0';
        if (std::fprintf(stream, " %s\n%6zX:", characters, i + 1) < 0) return false;
    }
    return true;
}

// "[dd.mm.yy hh:mm:ss:mmm LTM]" in local time, or seconds and milliseconds when that cannot be formed.
void humanTimestamp(const DIMAGE_SOURCEHEADER& sh, char* text, size_t size) {
    const time_t seconds = static_cast<time_t>(sh.timestampSeconds);
    const int milliseconds = static_cast<int>(sh.timestampMicroseconds / 1000);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) {
        std::snprintf(text, size, "%d:%d (epochsec:msec)", static_cast<int>(sh.timestampSeconds), milliseconds);
        return;
    }
    std::snprintf(text, size, "[%02d.%02d.%02d %02d:%02d:%02d:%03d LTM]", local.tm_mday, local.tm_mon + 1,
                  local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
}

bool putSourceHeader(FILE* s, const DIMAGE_SOURCEHEADER& sh, bool escapeName) {
    uint32_t tag;
    std::memcpy(&tag, sh.baseTag, sizeof(tag));
    char when[64];
    humanTimestamp(sh, when, sizeof(when));
    char name[64];
    std::memcpy(name, sh.cameraPortName, sizeof(name));
    name[sizeof(name) - 1] = '\0';
    return std::fprintf(s, "Information of qmv3 image header\n") >= 0 &&
           std::fprintf(s, "================================\n\n") >= 0 &&
           std::fprintf(s, " Image.sourceHeader\n") >= 0 &&
           std::fprintf(s, "   baseTag='%c%c%c%c' (%xh)\n", sh.baseTag[0], sh.baseTag[1], sh.baseTag[2], sh.baseTag[3],
                        tag) >= 0 &&
           std::fprintf(s, "   cameraPortId=%d\n", static_cast<int>(sh.cameraPortId)) >= 0 &&
           std::fprintf(s, "   versionTag=%u\n", sh.versionTag) >= 0 &&
           std::fprintf(s, "   totalLength=%u (bytes)\n", sh.totalLength) >= 0 &&
           std::fprintf(s, "   timestampSeconds=%u (sec since epoch)\n", sh.timestampSeconds) >= 0 &&
           std::fprintf(s, "   timestampMicroseconds=%u (usec offset, 0 <= value < 1.000.000)\n",
                        sh.timestampMicroseconds) >= 0 &&
           std::fprintf(s, "    = human readable timestamp: %s\n", when) >= 0 &&
           std::fprintf(s, "   cameraPortName\n") >= 0 &&
           std::fprintf(s, "    =\"%s\"\n", escapeName ? qmv3::EscapeText(name, sizeof(name)).c_str() : name) >= 0;
}

bool putGeometry(FILE* s, const DIMAGE_FRAMEHEADER& fh) {
    char sourceFormat[64], imageFormat[64];
    size_t size = sizeof(sourceFormat);
    CDIMAGE::getFormatAsString(fh.sourceFormat, false, sourceFormat, size);
    size = sizeof(imageFormat);
    CDIMAGE::getFormatAsString(fh.imageFormat, false, imageFormat, size);
    return std::fprintf(s, "\n Image.frameHeader\n") >= 0 &&
           std::fprintf(s, "   sourceWidth  = %d (pixels)\n", fh.sourceWidth) >= 0 &&
           std::fprintf(s, "   sourceHeight = %d (pixels)\n", fh.sourceHeight) >= 0 &&
           std::fprintf(s, "   aoiWidth     = %d (pixels)\n", fh.aoiWidth) >= 0 &&
           std::fprintf(s, "   aoiHeight    = %d (pixels)\n", fh.aoiHeight) >= 0 &&
           std::fprintf(s, "   xStart = %d (offset in pixels, see flags!)\n", fh.xStart) >= 0 &&
           std::fprintf(s, "   yStart = %d (offset in pixels, see flags!)\n", fh.yStart) >= 0 &&
           std::fprintf(s, "   bytesPerPixel = %d (bytes)\n", fh.bytesPerPixel) >= 0 &&
           std::fprintf(s, "   effectiveBPP = %d (bits per pixel)\n", fh.effectiveBitsPerPixel) >= 0 &&
           std::fprintf(s, "   horizontalBinning = %d (%d to 1 pixel merged)\n", fh.horizontalBinning,
                        fh.horizontalBinning) >= 0 &&
           std::fprintf(s, "   verticalBinning = %d (%d to 1 pixel merged)\n", fh.verticalBinning,
                        fh.verticalBinning) >= 0 &&
           std::fprintf(s, "   sourceFormat = %d\n", fh.sourceFormat) >= 0 &&
           std::fprintf(s, "    (=%s)\n", sourceFormat) >= 0 &&
           std::fprintf(s, "   imageFormat = %d\n", fh.imageFormat) >= 0 &&
           std::fprintf(s, "    (=%s)\n\n", imageFormat) >= 0;
}

bool putNumbering(FILE* s, const DIMAGE_FRAMEHEADER& fh) {
    char flags[kFlagTextCapacity];
    size_t size = sizeof(flags);
    CDIMAGE::getFlagsAsString(fh.imageFlags, flags, size);
    return std::fprintf(s, "   frameNumber = %u\n", fh.frameNumber) >= 0 &&
           std::fprintf(s, "   eventNumber = %u\n", fh.eventNumber) >= 0 &&
           std::fprintf(s, "   xScale = %f (millimetre per pixel (mm/px))\n", fh.xScale) >= 0 &&
           std::fprintf(s, "   yScale = %f (millimetre per pixel (mm/px))\n", fh.yScale) >= 0 &&
           std::fprintf(s, "   imageRotation = %f (degrees, +CW -CCW)\n", fh.imageRotation) >= 0 &&
           std::fprintf(s, "   scale_x_offset = %f\n", fh.scale_x_offset) >= 0 &&
           std::fprintf(s, "   scale_y_offset = %f\n", fh.scale_y_offset) >= 0 &&
           std::fprintf(s, "   fspare3 = %f\n", fh.fspare3) >= 0 &&
           std::fprintf(s, "   imageFlags = %xh\n", static_cast<unsigned>(fh.imageFlags)) >= 0 &&
           std::fprintf(s, "    (=%s)\n", flags) >= 0 && std::fprintf(s, "   ispare1 = %d\n", fh.ispare1) >= 0 &&
           std::fprintf(s, "   ispare2 = %d\n", fh.ispare2) >= 0 &&
           std::fprintf(s, "   ispare3 = %d\n", fh.ispare3) >= 0 &&
           std::fprintf(s, "   appendedFrameSize = %d (bytes)\n", fh.appendedFrameSize) >= 0;
}

bool writeAll(FILE* stream, const void* data, size_t bytes) {
    return bytes == 0 || std::fwrite(data, 1, bytes, stream) == bytes;
}

bool writeLittleEndian16(FILE* stream, unsigned value) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
    return writeAll(stream, bytes, sizeof(bytes));
}

bool writeLittleEndianDouble(FILE* stream, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    return writeAll(stream, bytes, sizeof(bytes));
}

bool hasFrameBytes(const DIMAGE& img) {
    const int32_t afs = img.frameHeader.appendedFrameSize;
    return img.frameBuffer != nullptr && afs >= 1 && static_cast<uint32_t>(afs) <= img.frameBufferSize;
}

}  // namespace

bool CDIMAGE::putHeaderText(FILE* stream, const DIMAGE& image, bool escapeName) {
    return stream != nullptr && putSourceHeader(stream, image.sourceHeader, escapeName) &&
           putGeometry(stream, image.frameHeader) && putNumbering(stream, image.frameHeader);
}

bool CDIMAGE::putHeaderHexDump(FILE* stream, const DIMAGE& image) {
    if (stream == nullptr) return false;
    return std::fprintf(stream, "Information of qmv3 header bits (binary dump)\n") >= 0 &&
           std::fprintf(stream, "=============================================\n\n") >= 0 &&
           std::fprintf(stream, "Contents: %u (bytes)\n\n", static_cast<unsigned>(HEADER_SIZE)) >= 0 &&
           std::fprintf(stream, "--\n\n") >= 0 &&
           writeHexDump(stream, reinterpret_cast<const unsigned char*>(&image), HEADER_SIZE);
}

bool CDIMAGE::putHeadersToText(FILE* stream, bool headersOnly) const {
    if (!putHeaderText(stream, m_Img, false)) return false;
    if (headersOnly) return true;
    const unsigned long long pointer = reinterpret_cast<uintptr_t>(m_Img.frameBuffer);
    return std::fprintf(stream, "\n Image.frameBufferSize=%u (bytes)\n", m_Img.frameBufferSize) >= 0 &&
           std::fprintf(stream, " Image.frameBuffer=0x%016llx (memory location ptr)\n", pointer) >= 0;
}

bool CDIMAGE::putHeadersToHexDumpText(FILE* stream) const { return putHeaderHexDump(stream, m_Img); }

bool CDIMAGE::dumpFrameBitsAsHexDump(FILE* stream) const {
    // An unmet precondition leaves the caller's stream open; once writing has begun it is closed.
    if (stream == nullptr || !hasFrameBytes(m_Img)) return false;
    const bool written =
        std::fprintf(stream, "Information of qmv3 frame buffer bits\n") >= 0 &&
        std::fprintf(stream, "=====================================\n\n") >= 0 &&
        std::fprintf(stream, "Contents: %u bytes (is: appendedFrameSize)\n\n",
                     static_cast<unsigned>(m_Img.frameHeader.appendedFrameSize)) >= 0 &&
        std::fprintf(stream, "--\n\n") >= 0 &&
        writeHexDump(stream, m_Img.frameBuffer, static_cast<size_t>(m_Img.frameHeader.appendedFrameSize));
    const bool closed = std::fclose(stream) == 0;
    return written && closed;
}

bool CDIMAGE::dumpFrameBitsAsBinary(FILE* stream) const {
    if (stream == nullptr || !hasFrameBytes(m_Img)) return false;
    return writeAll(stream, m_Img.frameBuffer, static_cast<size_t>(m_Img.frameHeader.appendedFrameSize));
}

bool CDIMAGE::dumpFrameBitsAsIMM(FILE* stream) const {
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    if (stream == nullptr || fh.imageFormat != FORMAT_GRAY || (fh.bytesPerPixel != 1 && fh.bytesPerPixel != 2)) {
        return false;
    }
    const int width = getAppendedWidth(), height = getAppendedHeight();
    if (width < 1 || height < 1 || width > 65535 || height > 65535 || !hasFrameBytes(m_Img)) return false;
    const unsigned bits = 8u * static_cast<unsigned>(fh.bytesPerPixel);
    const uint64_t frameBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * bits / 8;
    if (static_cast<uint64_t>(fh.appendedFrameSize) != frameBytes) return false;
    unsigned effective = fh.effectiveBitsPerPixel >= 1 && static_cast<unsigned>(fh.effectiveBitsPerPixel) <= bits
                             ? static_cast<unsigned>(fh.effectiveBitsPerPixel)
                             : bits;
    unsigned writtenBits = bits;
    if (bits == 8) writtenBits = effective = 0;
    const double scale = isApproximately(fh.xScale, fh.yScale, 0.0001f) ? static_cast<double>(fh.xScale) : 1.0;
    return writeLittleEndian16(stream, static_cast<unsigned>(width)) && writeLittleEndian16(stream, writtenBits) &&
           writeLittleEndian16(stream, static_cast<unsigned>(height)) && writeLittleEndian16(stream, effective) &&
           writeAll(stream, m_Img.frameBuffer, frameBytes) && writeLittleEndianDouble(stream, scale);
}
