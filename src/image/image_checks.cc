// Whether an image passes the validity rules, whether a set of images forms a sequence (same source,
// geometry, pixel format and scale) and whether its frame numbers run without gaps. Every negative
// decision is explained in the log, whatever the log level.
#include "image/image_checks.h"

#include <cstring>
#include <string>
#include <vector>

#include "image/cdimage.h"
#include "util/c_boundary.h"
#include "util/library_log.h"

namespace {

// At most size - 2 characters and a NUL in the last byte; nothing for a buffer below 2 bytes.
void copyMessage(const std::string& text, char* buffer, size_t size) {
    if (buffer == nullptr || size < 2) return;
    const size_t count = text.size() < size - 2 ? text.size() : size - 2;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    buffer[size - 1] = '\0';
}

}  // namespace

int _internal_internal_qmCheckImageValidity(const DIMAGE* apImg, std::string& errorText) {
    std::string message;
    int result = QMV3_IMAGE_VALID;
    if (apImg == nullptr) {
        message = "Parameter apImg must not be NULL.";
        result = QMV3_IMAGE_NULL;
    } else if (!CDIMAGE::checkValidity(*apImg, message)) {
        result = QMV3_IMAGE_INVALID;
    }
    if (result != QMV3_IMAGE_VALID) {
        _internal_LOG("CDIMAGE::checkValidity error: %s", message.c_str());
        errorText = message;
    }
    return result;
}

bool _internal_qmCheckImageValidity(const DIMAGE& image) {
    std::string errorText;
    return _internal_internal_qmCheckImageValidity(&image, errorText) == 1;
}

bool _internal_qmisApproximately(float value, float reference) {
    const float tolerance = 0.00001f;
    return reference - tolerance < value && value < reference + tolerance;
}

int _internal_qmcompareTwoValidImagesINT(const DIMAGE& first, const DIMAGE& second) {
    const DIMAGE_FRAMEHEADER& a = first.frameHeader;
    const DIMAGE_FRAMEHEADER& b = second.frameHeader;
    if (first.sourceHeader.cameraPortId != second.sourceHeader.cameraPortId) return -1;
    if (std::strncmp(first.sourceHeader.cameraPortName, second.sourceHeader.cameraPortName,
                     sizeof first.sourceHeader.cameraPortName) != 0) {
        return -2;
    }
    if (a.sourceWidth != b.sourceWidth) return -3;
    if (a.sourceHeight != b.sourceHeight) return -4;
    if (a.aoiWidth != b.aoiWidth) return -5;
    if (a.aoiHeight != b.aoiHeight) return -6;
    if (a.xStart != b.xStart) return -7;
    if (a.yStart != b.yStart) return -8;
    if (a.bytesPerPixel != b.bytesPerPixel) return -9;
    if (a.effectiveBitsPerPixel != b.effectiveBitsPerPixel) return -10;
    if (a.sourceFormat != b.sourceFormat) return -11;
    if (a.imageFormat != b.imageFormat) return -12;
    if (!_internal_qmisApproximately(b.xScale, a.xScale)) return -13;
    if (!_internal_qmisApproximately(b.yScale, a.yScale)) return -14;
    if (!(a.imageRotation == b.imageRotation)) return -15;
    return 1;
}

bool _internal_qmcompareTwoValidImages(const DIMAGE& first, const DIMAGE& second) {
    return _internal_qmcompareTwoValidImagesINT(first, second) == 1;
}

namespace {

int isSequence(const QMBUNCHOFIMAGES* aImages) {
    if (aImages == nullptr) {
        _internal_LOG("qmIsSequence: Error: First parameter (aImages) is NULL. -1 will be returned.");
        return QMV3_SEQUENCE_INVALID;
    }
    if (aImages->numFrames == 0) {
        _internal_LOG("qmIsSequence: aImages->numFrames is 0. Zero will be returned.");
        return QMV3_SEQUENCE_NO;
    }
    if (aImages->imageArray == nullptr) {
        _internal_LOG("qmIsSequence: aImages->imageArray is NULL. -1 will be returned.");
        return QMV3_SEQUENCE_INVALID;
    }
    const int count = static_cast<int>(aImages->numFrames);
    for (uint32_t i = 0; i < aImages->numFrames; ++i) {
        if (_internal_qmCheckImageValidity(aImages->imageArray[i])) continue;
        _internal_LOG(
            "qmIsSequence: _internal_qmCheckImageValidity( aImages->imageArray[%d] ) returned false. "
            "aImages->numFrames=%d. -1 will be returned.",
            static_cast<int>(i), count);
        if (_internal_getLogLevel() > 1) _internal_LOG_dumpImageHeader(aImages->imageArray[i]);
        return QMV3_SEQUENCE_INVALID;
    }
    for (uint32_t i = 1; i < aImages->numFrames; ++i) {
        const int result = _internal_qmcompareTwoValidImagesINT(aImages->imageArray[0], aImages->imageArray[i]);
        if (result == 1) continue;
        _internal_LOG(
            "qmIsSequence: _internal_qmcompareTwoValidImagesINT( aImages->imageArray[0], aImages->imageArray[%d] ) "
            "returned %d. aImages->numFrames=%d. Zero will be returned.",
            static_cast<int>(i), result, count);
        return QMV3_SEQUENCE_NO;
    }
    return QMV3_SEQUENCE_YES;
}

// Whether the frame numbers of a sequence rise by exactly one, none of them 0.
int numbersRunWithoutGaps(const QMBUNCHOFIMAGES* aImages) {
    const int count = static_cast<int>(aImages->numFrames);
    const DIMAGE* images = aImages->imageArray;
    if (count == 1) return QMV3_SEQUENCE_YES;
    if (images[0].frameHeader.frameNumber == 0) {
        _internal_LOG("qmIsCompleteSequence: No complete sequence because frameNumber of image#1 of %d is zero.",
                      count);
        return QMV3_SEQUENCE_NO;
    }
    for (int k = 2; k <= count; ++k) {
        const uint32_t number = images[k - 1].frameHeader.frameNumber;
        const uint32_t previous = images[k - 2].frameHeader.frameNumber;
        if (number == 0) {
            _internal_LOG("qmIsCompleteSequence: No complete sequence because frameNumber of image#%d of %d is zero.",
                          k, count);
            return QMV3_SEQUENCE_NO;
        }
        if (number != previous + 1) {
            _internal_LOG(
                "qmIsCompleteSequence: No complete sequence because img(%d/%d).fno=%d != img(%d/%d).fno=%d + 1 .", k,
                count, static_cast<int>(number), k - 1, count, static_cast<int>(previous));
            return QMV3_SEQUENCE_NO;
        }
    }
    return QMV3_SEQUENCE_YES;
}

int isCompleteSequence(const QMBUNCHOFIMAGES* aImages) {
    if (aImages == nullptr) return QMV3_SEQUENCE_INVALID;
    const int sequence = isSequence(aImages);
    if (sequence != QMV3_SEQUENCE_YES) return sequence;
    return numbersRunWithoutGaps(aImages);
}

bool hasHeaderOnly(const DIMAGE& image) {
    return image.frameBuffer == nullptr && image.frameHeader.appendedFrameSize > 0;
}

// The rules read a header and whether a buffer is there, never the pixels: an image loaded without its
// pixels is judged as its full load would be, through a stand-in buffer of the announced size that
// nothing reads.
DIMAGE judgedRecord(const DIMAGE& image, unsigned int flags) {
    static unsigned char standInPixels;
    DIMAGE record = image;
    if ((flags & QMV3_CHECK_FLAG_HEADERS_ONLY) != 0 && hasHeaderOnly(image)) {
        record.frameBuffer = &standInPixels;
        record.frameBufferSize = static_cast<uint32_t>(image.frameHeader.appendedFrameSize);
    }
    return record;
}

int sequenceVerdict(const QMBUNCHOFIMAGES* aImages, unsigned int flags) {
    if ((flags & ~QMV3_CHECK_FLAG_HEADERS_ONLY) != 0) return QMV3_VERDICT_INVALID;
    QMBUNCHOFIMAGES judged = {nullptr, 0};
    std::vector<DIMAGE> records;
    if (aImages != nullptr) judged = *aImages;
    if (aImages != nullptr && aImages->imageArray != nullptr && flags != 0) {
        records.reserve(aImages->numFrames);
        for (uint32_t i = 0; i < aImages->numFrames; ++i) records.push_back(judgedRecord(aImages->imageArray[i], flags));
        judged.imageArray = records.data();
    }
    const int sequence = isSequence(aImages == nullptr ? nullptr : &judged);
    if (sequence != QMV3_SEQUENCE_YES) return sequence == QMV3_SEQUENCE_NO ? QMV3_VERDICT_NOT_ONE : QMV3_VERDICT_INVALID;
    return numbersRunWithoutGaps(&judged) == QMV3_SEQUENCE_YES ? QMV3_VERDICT_COMPLETE : QMV3_VERDICT_GAPS;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmIsSequence(const QMBUNCHOFIMAGES* aImages) {
    return qmv3::Guarded<int>(QMV3_SEQUENCE_INVALID, QMV3_SEQUENCE_INVALID, [&] { return isSequence(aImages); });
}

QMV3_EXPORT int qmIsCompleteSequence(const QMBUNCHOFIMAGES* aImages) {
    return qmv3::Guarded<int>(QMV3_SEQUENCE_INVALID, QMV3_SEQUENCE_INVALID,
                              [&] { return isCompleteSequence(aImages); });
}

QMV3_EXPORT int qmCheckImageValidity(const DIMAGE* image, char* errorText, size_t errorTextSize) {
    return qmv3::Guarded<int>(QMV3_IMAGE_INVALID, QMV3_IMAGE_INVALID, [&] {
        std::string message;
        const int result = _internal_internal_qmCheckImageValidity(image, message);
        if (result != QMV3_IMAGE_VALID) copyMessage(message, errorText, errorTextSize);
        return result;
    });
}

QMV3_EXPORT int qmCheckImageValidityEx(const DIMAGE* image, unsigned int flags, char* errorText,
                                       size_t errorTextSize) {
    return qmv3::Guarded<int>(QMV3_IMAGE_INVALID, QMV3_IMAGE_INVALID, [&] {
        if ((flags & ~QMV3_CHECK_FLAG_HEADERS_ONLY) != 0) {
            copyMessage("Unknown flags of qmCheckImageValidityEx.", errorText, errorTextSize);
            return static_cast<int>(QMV3_IMAGE_INVALID);
        }
        if (image == nullptr) return qmCheckImageValidity(image, errorText, errorTextSize);
        const DIMAGE record = judgedRecord(*image, flags);
        return qmCheckImageValidity(&record, errorText, errorTextSize);
    });
}

QMV3_EXPORT int qmIsShortFrame(const DIMAGE* image, uint64_t* heldBytes, uint64_t* neededBytes) {
    if (image == nullptr) return -1;
    const DIMAGE_FRAMEHEADER& header = image->frameHeader;
    if (header.imageFormat != CDIMAGE::FORMAT_GRAY && header.imageFormat != CDIMAGE::FORMAT_RGB) return 0;
    const int width = CDIMAGE::getAppendedWidth(*image), height = CDIMAGE::getAppendedHeight(*image);
    if (width <= 0 || height <= 0 || header.bytesPerPixel <= 0) return 0;
    const uint64_t needed = uint64_t(width) * uint64_t(height) * uint64_t(header.bytesPerPixel);
    const uint64_t held = header.appendedFrameSize > 0 ? uint64_t(header.appendedFrameSize) : 0;
    if (held >= needed) return 0;
    if (heldBytes != nullptr) *heldBytes = held;
    if (neededBytes != nullptr) *neededBytes = needed;
    return 1;
}

QMV3_EXPORT int qmGetSequenceVerdict(const QMBUNCHOFIMAGES* images, unsigned int flags) {
    return qmv3::Guarded<int>(QMV3_VERDICT_INVALID, QMV3_VERDICT_INVALID, [&] { return sequenceVerdict(images, flags); });
}

}  // extern "C"
