// The reading context of the IMC2/BKC2 reader, the take-over of metadata values into image headers and
// the reading of pixel blocks.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/imc2_format.h"
#include "files/load_internal.h"
#include "files/sequence_files.h"
#include "image/cdimage.h"
#include "platform/platform.h"
#include "util/frame_memory.h"
#include "util/numeric.h"

namespace imc2load {

Reader::Reader(const char* filePath, int& code, std::string& errorText, double* percent)
    : path(filePath), prefix(_internal_filePrefix(filePath)), code_(code), errorText_(errorText), percent_(percent) {}

Reader::~Reader() = default;

bool Reader::Open() {
    if (!fields_.Open(path)) return Fail(QMV3_LOAD_OPEN_FAILED, prefix + " could not be opened for reading.");
    if (!fields_.MeasureLength()) return Fail(QMV3_LOAD_SHORT_READ, prefix + " read error (file size).");
    return true;
}

bool Reader::Fail(int failCode, const std::string& text) const {
    code_ = failCode;
    errorText_ = text;
    return false;
}

void Reader::Progress(double value) const {
    if (percent_ != nullptr) *percent_ = value;
}

uint64_t Reader::Remaining() const { return fields_.Remaining(); }

bool Reader::TakeDecodedBytes(uint64_t bytes) const {
    if (budget_.Take(bytes)) return true;
    return Fail(QMV3_LOAD_LIMIT_EXCEEDED, budget_.Refusal(prefix, bytes));
}

unsigned char* Reader::BlockBuffer(uint64_t size) const {
    if (size > blockCapacity_ || !block_) {
        // The old contents are not needed: a fresh block spares realloc's copy.
        block_.reset();
        blockCapacity_ = 0;
        if (size > SIZE_MAX) return nullptr;
        block_.reset(static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : static_cast<size_t>(size))));
        if (block_) blockCapacity_ = size;
    }
    return block_.get();
}

DIMAGE MakeTemplate(const char* path) {
    DIMAGE image;
    std::memset(&image, 0, sizeof(image));
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.cameraPortId = 0;
    image.sourceHeader.versionTag = 1;
    image.sourceHeader.totalLength = QMV3_IMAGE_HEADER_SIZE;
    PLF_TIME modified;
    if (platformFileGetLastModifiedTime64(path, modified)) {
        image.sourceHeader.timestampSeconds = static_cast<uint32_t>(modified.seconds);
        image.sourceHeader.timestampMicroseconds = static_cast<uint32_t>(modified.milliseconds) * 1000u;
    }
    CompactPath(image.sourceHeader.cameraPortName, sizeof(image.sourceHeader.cameraPortName), path);
    DIMAGE_FRAMEHEADER& h = image.frameHeader;
    for (int32_t* field : {&h.sourceWidth, &h.sourceHeight, &h.aoiWidth, &h.aoiHeight, &h.xStart, &h.yStart,
                           &h.bytesPerPixel, &h.effectiveBitsPerPixel, &h.horizontalBinning, &h.verticalBinning,
                           &h.sourceFormat, &h.imageFormat, &h.ispare1, &h.ispare2, &h.ispare3, &h.appendedFrameSize}) {
        *field = -1;
    }
    for (float* field : {&h.xScale, &h.yScale, &h.imageRotation, &h.scale_x_offset, &h.scale_y_offset, &h.fspare3}) {
        *field = -1.0f;
    }
    h.frameNumber = 0;
    h.eventNumber = 0;
    h.imageFlags = 0;
    image.frameBufferSize = 0;
    image.frameBuffer = nullptr;
    return image;
}

bool CheckLoadParameters(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int& code, std::string& errorText) {
    auto fail = [&](const std::string& text) {
        code = QMV3_LOAD_PARAMETER_ERROR;
        errorText = text;
        return false;
    };
    if (asFilePath == nullptr) return fail("Parameter asFilePath must not be NULL.");
    if (asFilePath[0] == '\0') return fail("Parameter asFilePath must not be empty string.");
    const std::string p = _internal_filePrefix(asFilePath) + " load error: ";
    if (apImages == nullptr) return fail(p + "Parameter apImages must not be NULL.");
    if (apImages->numFrames != 0) return fail(p + "Parameter apImages->numFrames must not be bigger than zero.");
    if (apImages->imageArray != nullptr) {
        return fail(p + "Parameter apImages->imageArray must not be initialized (!=NULL).");
    }
    return true;
}

namespace {

enum class ValueKind { kCheckUInt32, kUInt32, kInt32, kFloat, kFormat, kPortName, kIgnore };

struct GlobalKey {
    const char* key;
    ValueKind kind;
    int32_t DIMAGE_FRAMEHEADER::*intField;
    float DIMAGE_FRAMEHEADER::*floatField;
};

const GlobalKey kGlobalKeys[] = {
    {"number_of_images", ValueKind::kUInt32, nullptr, nullptr},
    {"width_px", ValueKind::kCheckUInt32, nullptr, nullptr},
    {"height_px", ValueKind::kCheckUInt32, nullptr, nullptr},
    {"scale_x_mm/px", ValueKind::kFloat, nullptr, &DIMAGE_FRAMEHEADER::xScale},
    {"scale_y_mm/px", ValueKind::kFloat, nullptr, &DIMAGE_FRAMEHEADER::yScale},
    {"source_width_px", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::sourceWidth, nullptr},
    {"source_height_px", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::sourceHeight, nullptr},
    {"aoi_width_px", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::aoiWidth, nullptr},
    {"aoi_height_px", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::aoiHeight, nullptr},
    {"x_start_px", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::xStart, nullptr},
    {"y_start_px", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::yStart, nullptr},
    {"bytes_per_pixel", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::bytesPerPixel, nullptr},
    {"effective_bits_per_pixel", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::effectiveBitsPerPixel, nullptr},
    {"horizontal_binning", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::horizontalBinning, nullptr},
    {"vertical_binning", ValueKind::kInt32, &DIMAGE_FRAMEHEADER::verticalBinning, nullptr},
    {"source_format", ValueKind::kFormat, &DIMAGE_FRAMEHEADER::sourceFormat, nullptr},
    {"image_format", ValueKind::kFormat, &DIMAGE_FRAMEHEADER::imageFormat, nullptr},
    {"image_rotation", ValueKind::kFloat, nullptr, &DIMAGE_FRAMEHEADER::imageRotation},
    {"scale_x_offset", ValueKind::kFloat, nullptr, &DIMAGE_FRAMEHEADER::scale_x_offset},
    {"scale_y_offset", ValueKind::kFloat, nullptr, &DIMAGE_FRAMEHEADER::scale_y_offset},
    {"camera_port_name", ValueKind::kPortName, nullptr, nullptr},
    {"camera_port_id", ValueKind::kUInt32, nullptr, nullptr},
};

// Converts the value of one global key into the template; false with the tail of the failure message.
bool ConvertGlobal(const GlobalKey& entry, const std::string& value, DIMAGE& tmpl, uint32_t& numImages,
                   const char*& tail) {
    const char* text = value.c_str();
    DIMAGE_FRAMEHEADER& h = tmpl.frameHeader;
    switch (entry.kind) {
        case ValueKind::kCheckUInt32:
        case ValueKind::kUInt32: {
            tail = " could not be converted to uint32.";
            unsigned converted = 0;
            if (CheckStr2UInt32(&converted, text, 10) != 0) return false;
            if (std::strcmp(entry.key, "number_of_images") == 0) numImages = converted;
            if (std::strcmp(entry.key, "camera_port_id") == 0) tmpl.sourceHeader.cameraPortId = converted;
            return true;
        }
        case ValueKind::kInt32:
            tail = " could not be converted to int32.";
            return CheckStr2Int32(&(h.*entry.intField), text, 10) == 0;
        case ValueKind::kFloat: {
            tail = " could not be converted to float.";
            float converted = 0.0f;
            if (CheckStr2Float(&converted, text) != 0) return false;
            // A NaN scale is no scale (not even "not set", which is any value <= 0): a bad value.
            const bool scale = entry.floatField == &DIMAGE_FRAMEHEADER::xScale ||
                               entry.floatField == &DIMAGE_FRAMEHEADER::yScale;
            if (scale && std::isnan(converted)) return false;
            h.*entry.floatField = converted;
            return true;
        }
        case ValueKind::kFormat:
            tail = " could not be converted.";
            return CDIMAGE::getFormatFromString(h.*entry.intField, text);
        case ValueKind::kPortName: {
            char* name = tmpl.sourceHeader.cameraPortName;
            std::memset(name, 0, sizeof(tmpl.sourceHeader.cameraPortName));
            std::memcpy(name, value.data(),
                        std::min<size_t>(value.size(), sizeof(tmpl.sourceHeader.cameraPortName) - 1));
            return true;
        }
        case ValueKind::kIgnore:
            return true;
    }
    return true;
}

}  // namespace

bool ApplyGlobalValue(const Reader& reader, const std::string& key, const std::string& value, DIMAGE& tmpl,
                      uint32_t& numImages) {
    for (const GlobalKey& entry : kGlobalKeys) {
        if (strcasecmp(entry.key, key.c_str()) != 0) continue;
        if (entry.kind == ValueKind::kPortName && value.empty()) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix +
                                                           " parse error: Global metadata camera_port_name must "
                                                           "not be empty if specified.");
        }
        const char* tail = "";
        if (ConvertGlobal(entry, value, tmpl, numImages, tail)) return true;
        const std::string keyText = entry.kind == ValueKind::kUInt32 && std::strcmp(entry.key, "number_of_images") == 0
                                        ? std::string("num_images_in_file")
                                        : key;
        return reader.Fail(QMV3_LOAD_INVALID_FILE,
                           reader.prefix + " parse error: Global metadata " + keyText + "=" + value + tail);
    }
    return true;
}

bool ApplyImageValue(const Reader& reader, const std::string& key, const std::string& value, DIMAGE& image, uint32_t k,
                     uint32_t n) {
    const char* text = value.c_str();
    const char* tail = nullptr;
    if (strcasecmp(key.c_str(), "timestamp_utc") == 0) {
        int64_t seconds = 0;
        uint32_t microseconds = 0;
        // The record holds unsigned 32-bit seconds: a time before 1970 or after 2106 would come back as
        // another time, so it is a bad value like any other.
        if (platformUTCStringToTimeT(text, seconds, microseconds) && seconds >= 0 && seconds <= UINT32_MAX) {
            image.sourceHeader.timestampSeconds = static_cast<uint32_t>(seconds);
            image.sourceHeader.timestampMicroseconds = microseconds;
        } else {
            tail = " could not be converted to UTC timestamp,";
        }
    } else if (strcasecmp(key.c_str(), "framenumber") == 0) {
        if (CheckStr2UInt32(&image.frameHeader.frameNumber, text, 10) != 0) tail = " could not be converted to uint32,";
    } else if (strcasecmp(key.c_str(), "eventnumber") == 0) {
        if (CheckStr2UInt32(&image.frameHeader.eventNumber, text, 10) != 0) tail = " could not be converted to uint32,";
    } else if (strcasecmp(key.c_str(), "image_flags") == 0) {
        if (!CDIMAGE::getFlagsFromString(image.frameHeader.imageFlags, text)) {
            tail = " could not be converted to flags bits,";
        }
    }
    if (tail == nullptr) return true;
    return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error: Per-image metadata " + key + "=" + value +
                                                   tail + "for image " + std::to_string(k) + " of " +
                                                   std::to_string(n) + ".");
}

namespace {

std::string ShortPixelRead(const Reader& reader, uint32_t k, uint32_t n, uint64_t lenCompressed) {
    return reader.prefix + " read error: Unable to read image compressed bits (size=" + std::to_string(lenCompressed) +
           ") of image " + std::to_string(k) + " of " + std::to_string(n) + ".";
}

}  // namespace

bool SkipPixels(const Reader& reader, uint32_t k, uint32_t n, uint64_t lenCompressed) {
    if (lenCompressed > reader.Remaining() || !reader.fields().Skip(lenCompressed))
        return reader.Fail(QMV3_LOAD_SHORT_READ, ShortPixelRead(reader, k, n, lenCompressed));
    return true;
}

bool ReadPixels(const Reader& reader, uint32_t k, uint32_t n, uint64_t lenUncompressed, uint64_t lenCompressed,
                DIMAGE& image, unsigned char* slot) {
    const std::string of = std::to_string(k) + " of " + std::to_string(n);
    const std::string shortRead = ShortPixelRead(reader, k, n, lenCompressed);
    // Lengths the file cannot back are refused before the frame buffer is allocated.
    if (lenCompressed > reader.Remaining()) return reader.Fail(QMV3_LOAD_SHORT_READ, shortRead);
    const bool compressed = lenCompressed < lenUncompressed;
    const std::string inflateFailed =
        reader.prefix + " decompression error: zlib decompression failed at image " + of + ".";
    if (compressed && lenUncompressed > lenCompressed * imc2::kMaxDeflateRatio) {
        return reader.Fail(QMV3_LOAD_DECOMPRESSION_FAILED, inflateFailed);
    }
    if (lenUncompressed > QMV3_MAX_TRANSPORT_SIZE) {
        return reader.Fail(QMV3_LOAD_INVALID_IMAGE,
                           reader.prefix + " load error: _internal_qmCheckImageValidity failed at image " + of + ".");
    }
    if (!reader.TakeDecodedBytes(lenUncompressed)) return false;
    const std::string noMemory = "Memory allocation error while loading file \"" + std::string(reader.path) + "\": ";
    image.frameBuffer =
        slot != nullptr ? slot : static_cast<unsigned char*>(frame_memory::AllocateFrame(lenUncompressed));
    if (image.frameBuffer == nullptr) {
        return reader.Fail(QMV3_LOAD_OUT_OF_MEMORY, noMemory + "len_uncompressed(" + std::to_string(lenUncompressed) +
                                                        " bytes) at image " + of + ".");
    }
    image.frameBufferSize = static_cast<uint32_t>(lenUncompressed);
    if (!compressed) {
        if (!reader.fields().ReadBytes(image.frameBuffer, lenUncompressed)) {
            return reader.Fail(QMV3_LOAD_SHORT_READ, shortRead);
        }
        return true;
    }
    unsigned char* block = reader.BlockBuffer(lenCompressed);
    if (block == nullptr) {
        return reader.Fail(QMV3_LOAD_OUT_OF_MEMORY, noMemory + "len_compressed(" + std::to_string(lenCompressed) +
                                                        " bytes) at image " + of + ".");
    }
    if (!reader.fields().ReadBytes(block, lenCompressed)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ, shortRead);
    }
    // The stream must give exactly the frame: fewer bytes would leave the rest of the frame undefined.
    if (!reader.inflater().Inflate(block, lenCompressed, image.frameBuffer, lenUncompressed)) {
        return reader.Fail(QMV3_LOAD_DECOMPRESSION_FAILED, inflateFailed);
    }
    return true;
}

}  // namespace imc2load
