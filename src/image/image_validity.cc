// The validity rules of an image record: the general rules every record must pass, the restricted rules
// of the pixel operations (uncompressed GRAY and RGB only), and the rule of the older video data. Each
// rule set stops at its first failure and gives back one sentence naming the fields and values; callers
// log and pass on these sentences, so their wording is fixed. The rules read the header only. Sizes are
// computed in 64 bits, so that no product of large dimensions wraps into a small value and passes.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "image/cdimage.h"

namespace {

using std::to_string;

// "0x" followed by eight lower-case hexadecimal digits.
std::string hexForm(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08" PRIx32, value);
    return text;
}

bool isOneBased(const DIMAGE& img) { return (img.frameHeader.imageFlags & CDIMAGE::FLAG_XYSTART_ONE_BASED) != 0; }

// The three factors taken as unsigned values; a product beyond 64 bits saturates, so it never passes.
uint64_t appendedPixelBytes(const DIMAGE& img) {
    uint64_t pixels = static_cast<uint64_t>(static_cast<uint32_t>(CDIMAGE::getAppendedWidth(img))) *
                      static_cast<uint32_t>(CDIMAGE::getAppendedHeight(img));
    uint64_t bytes;
    if (__builtin_mul_overflow(pixels, static_cast<uint64_t>(static_cast<uint32_t>(img.frameHeader.bytesPerPixel)),
                               &bytes)) {
        return UINT64_MAX;
    }
    return bytes;
}

// The factors of the frame-size rules, as unsigned values.
std::string sizeFactors(const DIMAGE& img) {
    return "getAppendedWidth(" + to_string(static_cast<uint32_t>(CDIMAGE::getAppendedWidth(img))) +
           ")= times getAppendedHeight(" + to_string(static_cast<uint32_t>(CDIMAGE::getAppendedHeight(img))) +
           ") times getBytesPerPixel(" + to_string(static_cast<uint32_t>(img.frameHeader.bytesPerPixel)) + ").";
}

bool fail(std::string& message, const std::string& sentence) {
    message = sentence;
    return false;
}

bool checkSourceAndArea(const DIMAGE& img, std::string& message) {
    uint32_t tag;
    std::memcpy(&tag, img.sourceHeader.baseTag, sizeof(tag));
    const DIMAGE_FRAMEHEADER& fh = img.frameHeader;
    const int64_t sw = fh.sourceWidth, sh = fh.sourceHeight, aw = fh.aoiWidth, ah = fh.aoiHeight;
    const int64_t x = fh.xStart, y = fh.yStart;
    const bool oneBased = isOneBased(img);
    if (tag != CDIMAGE::BASE_TAG) {
        return fail(message, "Img.sourceHeader.baseTag invalid (" + hexForm(tag) + " not equal " +
                                 hexForm(CDIMAGE::BASE_TAG) + "(" + CDIMAGE::BASE_TAG_TEXT + ")).");
    }
    if (sw < 1) return fail(message, "Img.frameHeader.sourceWidth=" + to_string(sw) + " is invalid (must be >=1).");
    if (sh < 1) return fail(message, "Img.frameHeader.sourceHeight=" + to_string(sh) + " is invalid (must be >=1).");
    if (aw < -1) return fail(message, "Img.frameHeader.aoiWidth=" + to_string(aw) + " is invalid (must be >=-1).");
    if (aw > 0 && aw + x - (oneBased ? 1 : 0) > sw) {
        std::string start =
            oneBased ? "xStart-1(" + to_string(x - 1) + ",ONE_BASED)" : "xStart(" + to_string(x) + ",ZERO_BASED)";
        return fail(message, "In case Img.frameHeader.aoiWidth is bigger than zero, Img.frameHeader.aoiWidth(" +
                                 to_string(aw) + ") + " + start + " must be <= Img.frameHeader.sourceWidth(" +
                                 to_string(sw) + ").");
    }
    if (ah < -1) return fail(message, "Img.frameHeader.aoiHeight=" + to_string(ah) + " is invalid (must be >=-1).");
    if (ah > 0 && ah + y - (oneBased ? 1 : 0) > sh) {
        std::string start =
            oneBased ? "yStart-1(" + to_string(y - 1) + ",ONE_BASED)" : "yStart(" + to_string(y) + ",ZERO_BASED)";
        return fail(message, "In case Img.frameHeader.aoiHeight is bigger than zero, Img.frameHeader.aoiHeight(" +
                                 to_string(ah) + ") + " + start + " must be <= Img.frameHeader.sourceHeight(" +
                                 to_string(sh) + ").");
    }
    return true;
}

bool checkZeroBasedStart(const DIMAGE_FRAMEHEADER& fh, std::string& message) {
    const std::string x = to_string(fh.xStart), y = to_string(fh.yStart);
    if (fh.xStart < 0) {
        return fail(message, "Img.frameHeader.xStart=" + x +
                                 " must be bigger than or equal zero (imageFlag XYSTART_ONE_BASED is not set).");
    }
    if (fh.yStart < 0) {
        return fail(message, "Img.frameHeader.yStart=" + y +
                                 " must be bigger than or equal zero (imageFlag XYSTART_ONE_BASED is not set).");
    }
    if (fh.xStart >= fh.sourceWidth) {
        return fail(message, "Img.frameHeader.xStart(" + x + ",XYSTART_ZERO_BASED) must be smaller than " +
                                 "Img.frameHeader.sourceWidth(" + to_string(fh.sourceWidth) + ").");
    }
    if (fh.xStart > 0 && fh.aoiWidth <= 0) {
        return fail(message, "If Img.frameHeader.xStart(" + x +
                                 ",XYSTART_ZERO_BASED) is bigger than zero, Img.frameHeader.aoiWidth(" +
                                 to_string(fh.aoiWidth) + ") must be greater than zero.");
    }
    if (fh.yStart >= fh.sourceHeight) {
        return fail(message, "Img.frameHeader.yStart(" + y + ",XYSTART_ZERO_BASED) must be smaller than " +
                                 "Img.frameHeader.sourceHeight(" + to_string(fh.sourceHeight) + ").");
    }
    if (fh.yStart > 0 && fh.aoiHeight <= 0) {
        return fail(message, "If Img.frameHeader.yStart(" + y +
                                 ",XYSTART_ZERO_BASED) is bigger than zero, Img.frameHeader.aoiHeight(" +
                                 to_string(fh.aoiHeight) + ") must be greater than zero.");
    }
    return true;
}

bool checkOneBasedStart(const DIMAGE_FRAMEHEADER& fh, std::string& message) {
    const std::string x = to_string(fh.xStart), y = to_string(fh.yStart);
    if (fh.xStart < 1) {
        return fail(message, "Img.frameHeader.xStart=" + x +
                                 " must be bigger than or equal one (imageFlag XYSTART_ONE_BASED is set).");
    }
    if (fh.yStart < 1) {
        return fail(message, "Img.frameHeader.yStart=" + y +
                                 " must be bigger than or equal one (imageFlag XYSTART_ONE_BASED is set).");
    }
    if (fh.xStart > fh.sourceWidth) {
        return fail(message, "Img.frameHeader.xStart(" + x + ",XYSTART_ONE_BASED) must be smaller than or equal " +
                                 "Img.frameHeader.sourceWidth(" + to_string(fh.sourceWidth) + ").");
    }
    if (fh.xStart > 1 && fh.aoiWidth <= 0) {
        return fail(message, "If Img.frameHeader.xStart(" + x +
                                 ",XYSTART_ONE_BASED) is bigger than one, Img.frameHeader.aoiWidth(" +
                                 to_string(fh.aoiWidth) + ") must be greater than zero.");
    }
    if (fh.yStart > fh.sourceHeight) {
        return fail(message, "Img.frameHeader.yStart(" + y + ",XYSTART_ONE_BASED) must be smaller than or equal " +
                                 "Img.frameHeader.sourceHeight(" + to_string(fh.sourceHeight) + ").");
    }
    if (fh.yStart > 1 && fh.aoiHeight <= 0) {
        return fail(message, "If Img.frameHeader.yStart(" + y +
                                 ",XYSTART_ONE_BASED) is bigger than one, Img.frameHeader.aoiHeight(" +
                                 to_string(fh.aoiHeight) + ") must be greater than zero.");
    }
    return true;
}

bool checkPixelFormat(const DIMAGE_FRAMEHEADER& fh, std::string& message) {
    if (fh.bytesPerPixel < 1 || fh.bytesPerPixel > 4) {
        return fail(message, "Img.frameHeader.bytesPerPixel=" + to_string(fh.bytesPerPixel) + " must be [1..4].");
    }
    // Message pieces are made only on failure: a valid image must pass without allocating.
    auto bounds = [] { return " is out of bounds ([0.." + to_string(CDIMAGE::FORMAT_MAX) + "]."; };
    if (fh.sourceFormat < 0 || fh.sourceFormat > CDIMAGE::FORMAT_MAX) {
        return fail(message, "Img.frameHeader.sourceFormat=" + to_string(fh.sourceFormat) + bounds());
    }
    if (fh.imageFormat < 0 || fh.imageFormat > CDIMAGE::FORMAT_MAX) {
        return fail(message, "Img.frameHeader.imageFormat=" + to_string(fh.imageFormat) + bounds());
    }
    return true;
}

bool checkFrameBytes(const DIMAGE& img, std::string& message) {
    const int32_t afs = img.frameHeader.appendedFrameSize;
    const std::string total = to_string(img.sourceHeader.totalLength);
    const std::string header = to_string(CDIMAGE::HEADER_SIZE);
    auto prefix = [afs] { return "In case Img.frameHeader.appendedFrameSize(" + to_string(afs) + ") is "; };
    if (afs <= 0) {
        if (img.sourceHeader.totalLength != static_cast<uint32_t>(CDIMAGE::HEADER_SIZE)) {
            return fail(message, prefix() + "not bigger than zero, aImg.sourceHeader.totalLength(" + total +
                                     ") must be equal to sizeof(hdrImage)=" + header + ".");
        }
        return true;
    }
    if (afs > static_cast<int32_t>(img.frameBufferSize)) {
        return fail(message, prefix() + "bigger than zero, it must be less than or equal Img.frameBufferSize(" +
                                 to_string(img.frameBufferSize) + ").");
    }
    if (img.frameBuffer == nullptr) {
        return fail(message, prefix() + "bigger than zero, aImg.frameBuffer must not be NULL.");
    }
    if (afs > CDIMAGE::iMAX_TRANSPORT_SIZE) {
        return fail(message, prefix() + "bigger than zero, it must not be bigger than MAX_TRANSPORT_SIZE(" +
                                 to_string(CDIMAGE::iMAX_TRANSPORT_SIZE) + ").");
    }
    if (img.sourceHeader.totalLength != static_cast<uint32_t>(afs) + CDIMAGE::HEADER_SIZE) {
        return fail(message, prefix() + "bigger than zero, aImg.sourceHeader.totalLength(" + total +
                                 ") must be equal to sizeof(hdrImage)=" + header + " plus appendedFrameSize.");
    }
    return true;
}

// Raw GRAY (1 or 2 bytes) and RGB (3 bytes) frames must hold every pixel of the appended rectangle.
bool checkRawFrameSize(const DIMAGE& img, std::string& message) {
    const DIMAGE_FRAMEHEADER& fh = img.frameHeader;
    const bool isRawRgb = fh.imageFormat == CDIMAGE::FORMAT_RGB && fh.bytesPerPixel == 3;
    const bool isRawGray = fh.imageFormat == CDIMAGE::FORMAT_GRAY && (fh.bytesPerPixel == 1 || fh.bytesPerPixel == 2);
    if (!isRawRgb && !isRawGray) return true;
    const uint64_t available = fh.appendedFrameSize > 0 ? static_cast<uint64_t>(fh.appendedFrameSize) : 0;
    if (appendedPixelBytes(img) <= available) return true;
    char format[64];
    size_t size = sizeof(format);
    CDIMAGE::getFormatAsString(fh.imageFormat, false, format, size);
    return fail(message, std::string("Img.frameHeader.imageFormat is ") + format +
                             "(Img.frameHeader.BytesPerPixel=" + to_string(fh.bytesPerPixel) +
                             "). In case Img.frameHeader.imageFormat is RGB(Img.frameHeader.BytesPerPixel=3) or " +
                             "GRAY(Img.frameHeader.BytesPerPixel=1 or 2), " + "Img.frameHeader.appendedFrameSize(" +
                             to_string(fh.appendedFrameSize) + ") must be bigger or equal " + sizeFactors(img));
}

}  // namespace

bool CDIMAGE::checkValidity(const DIMAGE& img, std::string& message) {
    if (!checkSourceAndArea(img, message)) return false;
    if (isOneBased(img)) {
        if (!checkOneBasedStart(img.frameHeader, message)) return false;
    } else if (!checkZeroBasedStart(img.frameHeader, message)) {
        return false;
    }
    return checkPixelFormat(img.frameHeader, message) && checkFrameBytes(img, message) &&
           checkRawFrameSize(img, message);
}

bool CDIMAGE::checkValidity() const {
    std::string message;
    return checkValidity(m_Img, message);
}

namespace {

bool checkRestrictedRgb(const DIMAGE_FRAMEHEADER& fh, std::string& message) {
    auto head = [&fh] {
        return "Img.frameHeader.imageFormat(" + to_string(fh.imageFormat) + ") is FORMAT_RGB(" +
               to_string(CDIMAGE::FORMAT_RGB) + ")";
    };
    if (fh.bytesPerPixel != 3) {
        return fail(message, "In case a" + head() + ", Img.frameHeader.bytesPerPixel(" + to_string(fh.bytesPerPixel) +
                                 ") must be equal 3.");
    }
    if (fh.effectiveBitsPerPixel != 24 && fh.effectiveBitsPerPixel != -1) {
        return fail(message, "In case " + head() +
                                 " and Img.frameHeader.bytesPerPixel is 3 and "
                                 "Img.frameHeader.effectiveBitsPerPixel != -1," +
                                 " Img.frameHeader.effectiveBitsPerPixel(" + to_string(fh.effectiveBitsPerPixel) +
                                 ") must be 24.");
    }
    return true;
}

bool checkRestrictedGray(const DIMAGE_FRAMEHEADER& fh, std::string& message) {
    auto head = [&fh] {
        return "In case Img.frameHeader.imageFormat(" + to_string(fh.imageFormat) + ") is FORMAT_GRAY(" +
               to_string(CDIMAGE::FORMAT_GRAY) + ")";
    };
    const std::string bits = to_string(fh.effectiveBitsPerPixel);
    if (fh.bytesPerPixel != 1 && fh.bytesPerPixel != 2) {
        return fail(message,
                    head() + ", Img.frameHeader.bytesPerPixel(" + to_string(fh.bytesPerPixel) + ") must be [1..2].");
    }
    if (fh.effectiveBitsPerPixel == -1) return true;
    if (fh.bytesPerPixel == 1 && fh.effectiveBitsPerPixel != 8) {
        return fail(message, head() +
                                 " and m_Img.frameHeader.bytesPerPixel is 1 and "
                                 "aImg.frameHeader.effectiveBitsPerPixel != -1," +
                                 " aImg.frameHeader.effectiveBitsPerPixel=" + bits + " must be 8.");
    }
    if (fh.bytesPerPixel == 2 && (fh.effectiveBitsPerPixel < 9 || fh.effectiveBitsPerPixel > 16)) {
        return fail(message, head() +
                                 " and Img.frameHeader.bytesPerPixel is 2 and "
                                 "Img.frameHeader.effectiveBitsPerPixel != -1," +
                                 " Img.frameHeader.effectiveBitsPerPixel=" + bits + " must be [9..16].");
    }
    return true;
}

}  // namespace

bool CDIMAGE::checkRestrictedValidity(const DIMAGE& img, std::string& message) {
    const DIMAGE_FRAMEHEADER& fh = img.frameHeader;
    if (fh.imageFormat != FORMAT_GRAY && fh.imageFormat != FORMAT_RGB) {
        return fail(message, "Img.frameHeader.imageFormat(" + to_string(fh.imageFormat) +
                                 ") must be either FORMAT_GRAY(" + to_string(FORMAT_GRAY) + ") or FORMAT_RGB(" +
                                 to_string(FORMAT_RGB) + ").");
    }
    if (fh.imageFormat == FORMAT_RGB ? !checkRestrictedRgb(fh, message) : !checkRestrictedGray(fh, message)) {
        return false;
    }
    if (fh.appendedFrameSize > 0 && appendedPixelBytes(img) > static_cast<uint64_t>(fh.appendedFrameSize)) {
        return fail(message, "Img.frameHeader.appendedFrameSize(" + to_string(fh.appendedFrameSize) +
                                 ") must be bigger or equal " + sizeFactors(img));
    }
    return true;
}

bool CDIMAGE::checkRestrictedValidity() const {
    std::string message;
    return checkValidity(m_Img, message) && checkRestrictedValidity(m_Img, message);
}

bool CDIMAGE::checkValidityQMV2(bool allowHuffYuv) const {
    if (!checkValidity()) return false;
    const int format = m_Img.frameHeader.imageFormat;
    return format == FORMAT_GRAY || (allowHuffYuv && format == FORMAT_HUFFYUV);
}
