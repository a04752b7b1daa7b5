// The helpers every face needs, once: a valid image header from geometry and format, an image's pixel
// layout, UTC time text, the grab results' texts, access-mode decoding with the reason for a refusal,
// and the names of formats and flags. Any thread: everything works on its arguments only.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "image/cdimage.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"
#include "util/text_copy.h"

namespace {

bool HostIsLittleEndian() {
    const uint16_t probe = 1;
    unsigned char low;
    std::memcpy(&low, &probe, 1);
    return low == 1;
}

// Whether the format, bytes per pixel and effective bits (-1: all) make an uncompressed frame.
bool PixelKindFits(int format, int bytesPerPixel, int effectiveBits) {
    if (format == QMV3_FORMAT_GRAY && bytesPerPixel == 1) return effectiveBits == -1 || effectiveBits == 8;
    if (format == QMV3_FORMAT_GRAY && bytesPerPixel == 2)
        return effectiveBits == -1 || (effectiveBits >= 9 && effectiveBits <= 16);
    if (format == QMV3_FORMAT_RGB && bytesPerPixel == 3) return effectiveBits == -1 || effectiveBits == 24;
    return false;
}

// The header's effective bits, or all the bits of a pixel where it leaves them unset (-1 or 0).
int EffectiveBits(const DIMAGE_FRAMEHEADER& frame) {
    return frame.effectiveBitsPerPixel >= 1 ? frame.effectiveBitsPerPixel : 8 * frame.bytesPerPixel;
}

// The header of a valid uncompressed image of frameBytes bytes; the arguments are checked.
void FillHeader(DIMAGE& image, int width, int height, int bytesPerPixel, int effectiveBits, int format,
                uint64_t frameBytes) {
    std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
    DIMAGE_SOURCEHEADER& source = image.sourceHeader;
    std::memcpy(source.baseTag, "QMV3", 4);
    source.versionTag = 1;
    source.totalLength = QMV3_IMAGE_HEADER_SIZE + static_cast<uint32_t>(frameBytes);
    DIMAGE_FRAMEHEADER& frame = image.frameHeader;
    frame.sourceWidth = width;
    frame.sourceHeight = height;
    frame.aoiWidth = -1;
    frame.aoiHeight = -1;
    frame.bytesPerPixel = bytesPerPixel;
    frame.effectiveBitsPerPixel = effectiveBits == -1 ? 8 * bytesPerPixel : effectiveBits;
    frame.horizontalBinning = 1;
    frame.verticalBinning = 1;
    frame.sourceFormat = format;
    frame.imageFormat = format;
    frame.scale_x_offset = -1.0f;
    frame.scale_y_offset = -1.0f;
    frame.fspare3 = -1.0f;
    // Pixels made in this process are in the host's byte order, and raw pixels are lossless.
    frame.imageFlags = QMV3_FLAG_IMAGE_LOSSLESS | (HostIsLittleEndian() ? QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER : 0);
    frame.ispare1 = frame.ispare2 = frame.ispare3 = -1;
    frame.appendedFrameSize = static_cast<int32_t>(frameBytes);
}

using qmv3::CopyText;

// Why the control system's mode decoder refused text with code: the unknown keyword, the keywords that
// exclude each other, or the missing base mode. The keywords and their groups are the control
// system's; the decoder alone decides, this only explains.
std::string ExplainMode(const std::string& text, int code) {
    struct Keyword {
        const char* name;
        int group;  // 1 the base modes, 2 the transports, 0 free
    };
    static const Keyword kKeywords[] = {{"EVENT", 1},   {"TIMER", 1},   {"STREAM", 2},    {"MCAST", 2},
                                        {"NETWORK", 2}, {"CONNECT", 2}, {"SYNCNOTIFY", 0}};
    const char* const known = "EVENT or TIMER, at most one of STREAM, MCAST, NETWORK and CONNECT, and SYNCNOTIFY";
    if (code == QMV3_MODE_DECODE_TOO_LONG) return "it is longer than 200 characters";
    if (code == QMV3_MODE_DECODE_NO_KEYWORD) return std::string("it names no keyword; a mode names ") + known;
    if (code == QMV3_MODE_DECODE_NO_BASE_MODE) return "it names neither EVENT nor TIMER, and one of them is needed";
    std::vector<std::pair<std::string, const Keyword*>> seen;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("| ,\t\n", start);
        const std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (word.empty()) continue;
        const char* bare = strncasecmp(word.c_str(), "CM_", 3) == 0 ? word.c_str() + 3 : word.c_str();
        const Keyword* keyword = nullptr;
        for (const Keyword& candidate : kKeywords)
            if (strcasecmp(bare, candidate.name) == 0) keyword = &candidate;
        if (keyword == nullptr) return "'" + word + "' is not an access-mode keyword (known: " + known + ")";
        for (const auto& earlier : seen) {
            if (earlier.second == keyword) return "'" + word + "' is named twice";
            // MCAST and NETWORK are one mode under two names.
            if (earlier.second->group != 0 && earlier.second->group == keyword->group)
                return "'" + earlier.first + "' and '" + word + "' exclude each other";
        }
        seen.emplace_back(word, keyword);
    }
    return "the library refused it (error " + std::to_string(code) + ")";
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmInitializeImageHeader(DIMAGE* image, int width, int height, int bytesPerPixel, int effectiveBits,
                                        int format) {
    return qmInitializeImageHeaderEx(image, width, height, bytesPerPixel, effectiveBits, format, 0);
}

QMV3_EXPORT int qmInitializeImageHeaderEx(DIMAGE* image, int width, int height, int bytesPerPixel, int effectiveBits,
                                          int format, unsigned int flags) {
    return qmv3::Guarded<int>(QMV3_HEADER_BAD_ARGUMENT, QMV3_HEADER_BAD_ARGUMENT, [&] {
        if (image == nullptr || width < 1 || height < 1 || (flags & ~QMV3_HEADER_FLAG_ANY_SIZE) != 0 ||
            !PixelKindFits(format, bytesPerPixel, effectiveBits))
            return static_cast<int>(QMV3_HEADER_BAD_ARGUMENT);
        const uint64_t frameBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * bytesPerPixel;
        const uint64_t limit = (flags & QMV3_HEADER_FLAG_ANY_SIZE) != 0 ? INT32_MAX : QMV3_MAX_TRANSPORT_SIZE;
        if (frameBytes > limit) return static_cast<int>(QMV3_HEADER_BAD_ARGUMENT);
        FillHeader(*image, width, height, bytesPerPixel, effectiveBits, format, frameBytes);
        return static_cast<int>(QMV3_HEADER_OK);
    });
}

QMV3_EXPORT int qmGetEffectiveBits(const DIMAGE* image) {
    return qmv3::Guarded<int>(-1, -1, [&] { return image != nullptr ? EffectiveBits(image->frameHeader) : -1; });
}

QMV3_EXPORT int qmGetPixelLayout(const DIMAGE* image, QMV3_PIXEL_LAYOUT* layout) {
    if (image == nullptr || layout == nullptr) return QMV3_LAYOUT_NULL_ARGUMENT;
    const DIMAGE_FRAMEHEADER& frame = image->frameHeader;
    if (frame.imageFormat == QMV3_FORMAT_JPEG) return QMV3_LAYOUT_COMPRESSED;
    if (!PixelKindFits(frame.imageFormat, frame.bytesPerPixel, -1)) return QMV3_LAYOUT_NO_ARRAY_FORM;
    if (frame.sourceWidth < 1 || frame.sourceHeight < 1 || frame.aoiWidth < -1 || frame.aoiHeight < -1)
        return QMV3_LAYOUT_BAD_GEOMETRY;
    QMV3_PIXEL_LAYOUT result;
    result.width = static_cast<uint32_t>(frame.aoiWidth > 0 ? frame.aoiWidth : frame.sourceWidth);
    result.height = static_cast<uint32_t>(frame.aoiHeight > 0 ? frame.aoiHeight : frame.sourceHeight);
    result.bytesPerPixel = static_cast<uint32_t>(frame.bytesPerPixel);
    result.channels = frame.imageFormat == QMV3_FORMAT_RGB ? 3 : 1;
    result.bytesPerSample = result.bytesPerPixel / result.channels;
    result.effectiveBits = EffectiveBits(frame);
    result.frameBytes = uint64_t{result.width} * result.height * result.bytesPerPixel;
    const bool holds = frame.appendedFrameSize > 0 && result.frameBytes <= uint64_t(frame.appendedFrameSize) &&
                       (image->frameBuffer == nullptr || uint32_t(frame.appendedFrameSize) <= image->frameBufferSize);
    *layout = result;
    return holds ? QMV3_LAYOUT_OK : QMV3_LAYOUT_TOO_FEW_BYTES;
}

QMV3_EXPORT int qmGetAppendedSize(const DIMAGE* image, int* width, int* height) {
    if (image == nullptr) return -1;
    if (width != nullptr) *width = CDIMAGE::getAppendedWidth(*image);
    if (height != nullptr) *height = CDIMAGE::getAppendedHeight(*image);
    return 0;
}

QMV3_EXPORT char* qmFormatUTCTime(uint32_t seconds, uint32_t microseconds, unsigned int style, char* buffer,
                                  size_t size) {
    if (buffer == nullptr || size < 2 || microseconds > 999999) return nullptr;
    if ((style & QMV3_TIME_ISO8601) != 0) {
        const time_t when = static_cast<time_t>(seconds);
        struct tm utc;
        if (gmtime_r(&when, &utc) == nullptr) return nullptr;
        std::snprintf(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%06uZ", utc.tm_year + 1900, utc.tm_mon + 1,
                      utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, microseconds);
        return buffer;
    }
    const bool milliseconds = (style & QMV3_TIME_MILLISECONDS) != 0;
    return QMV3_INTERNAL_platformTimeToUTCString(seconds, milliseconds ? microseconds / 1000 : microseconds,
                                                 milliseconds ? 0 : 1, (style & QMV3_TIME_BRACKETS) != 0,
                                                 (style & QMV3_TIME_TWELVE_HOUR) != 0, buffer,
                                                 static_cast<unsigned>(size > 4096 ? 4096 : size));
}

QMV3_EXPORT const char* qmGrabErrorText(int error) {
    switch (error) {
        case QMV3_GRAB_REFUSED:
            return "request refused (invalid address or property name, or no frames asked for)";
        case QMV3_GRAB_TIMEOUT:
            return "inactivity timeout: no frame for more than 5 seconds";
        case QMV3_GRAB_OUT_OF_MEMORY:
            return "out of memory";
        case QMV3_GRAB_SUBSCRIPTION_FAILED:
            return "the subscription failed";
        case QMV3_GRAB_INTERRUPTED:
            return "interrupted";
        default:
            return "failed";
    }
}

QMV3_EXPORT const char* qmGrabFrameErrorText(int result) {
    switch (result) {
        case QMV3_GRAB_FRAME_REFUSED:
            return "request refused (invalid property name, malformed address or no frame buffer)";
        case QMV3_GRAB_FRAME_TIMEOUT:
            return "no frame within the time limit";
        case QMV3_GRAB_FRAME_INVALID_IMAGE:
            return "the frame arrived but fails the validity rules";
        case QMV3_GRAB_FRAME_PROPERTY_FAILED:
            return "reading the property characteristics failed";
        case QMV3_GRAB_FRAME_ADDRESS_LENGTH:
            return "the address has the wrong length";
        default:
            return "out of memory";
    }
}

QMV3_EXPORT int qmDecodeAccessMode(const char* text, char* reason, size_t reasonSize) {
    return qmv3::Guarded<int>(QMV3_MODE_DECODE_TOO_LONG, QMV3_MODE_DECODE_TOO_LONG, [&] {
        if (reason != nullptr && reasonSize > 0) reason[0] = '\0';
        if (text == nullptr) {
            CopyText(reason, reasonSize, "no text");
            return static_cast<int>(QMV3_MODE_DECODE_NO_KEYWORD);
        }
        const int mode = QMV3_INTERNAL_zantDecodeModeStringCMnew(text);
        if (mode < 0) CopyText(reason, reasonSize, ExplainMode(text, mode));
        return mode;
    });
}

QMV3_EXPORT char* qmGetFormatName(int format, char* text, size_t size) {
    if (text == nullptr || size == 0) return nullptr;
    size_t capacity = size;
    return QMV3_INTERNAL_CDIMAGE_getFormatAsString(format, text, &capacity);
}

QMV3_EXPORT char* qmGetFlagNames(int flags, char* text, size_t size) {
    if (text == nullptr || size < 2) return nullptr;
    size_t capacity = size;
    return QMV3_INTERNAL_CDIMAGE_getFlagsAsString(flags, text, &capacity);
}

QMV3_EXPORT int qmCreateColourTable(unsigned char* table, int* tableBytes, int mode, int bytesPerPixel,
                                    int effectiveBits) {
    return QMV3_INTERNAL_qmCreateColourTable(table, tableBytes, mode, bytesPerPixel, effectiveBits);
}

}  // extern "C"
