// Content detectors of the older IMM, BKG and IMC/BKC files. Frame sizes are computed in 64 bits, so a
// header with huge dimensions is rejected by the size comparison instead of wrapping around.
#include <cmath>
#include <cstdint>

#include "files/detect_common.h"
#include "files/file_detect.h"
#include "files/metadata_sets.h"
#include "legacy/legacy_io.h"

namespace {

namespace layout = qmv3::legacy;

// Header of an IMM or BKG file: four 16-bit words w, bipp, h, ebitpp.
struct ImmHeader {
    uint16_t width = 0;
    uint16_t bitsPerPixel = 0;
    uint16_t height = 0;
    uint16_t effectiveBits = 0;
};

bool ReadImmHeader(detect::ByteReader& file, ImmHeader& header, char* errorText, size_t errorTextSize) {
    struct Field {
        uint16_t* value;
        const char* message;
    } fields[] = {{&header.width, "File read error (w)."},
                  {&header.bitsPerPixel, "File read error (bipp)."},
                  {&header.height, "File read error (h)."},
                  {&header.effectiveBits, "File read error (ebitpp)."}};
    for (const Field& field : fields) {
        if (!file.Read(*field.value)) {
            _internal_dumpErrorString(errorText, errorTextSize, "%s", field.message);
            return false;
        }
    }
    if (header.bitsPerPixel == 0) header.bitsPerPixel = 8;
    if (header.effectiveBits == 0) header.effectiveBits = header.bitsPerPixel;
    return true;
}

bool ImmHeaderPlausible(const ImmHeader& header) {
    return header.width != 0 && header.height != 0 && (header.bitsPerPixel == 8 || header.bitsPerPixel == 16) &&
           header.effectiveBits <= 16;
}

// Checks the position after the header and takes the file size; false with the message.
bool TakeFileSize(detect::ByteReader& file, int64_t expectedPosition, const char* sizeMessage, int64_t& size,
                  char* errorText, size_t errorTextSize) {
    if (file.Position() != expectedPosition) {
        _internal_dumpErrorString(errorText, errorTextSize, "Incorrect file position.");
        return false;
    }
    if (!file.SeekToEnd()) {
        _internal_dumpErrorString(errorText, errorTextSize, "File seek failed.");
        return false;
    }
    size = file.Position();
    if (size < 0) {
        _internal_dumpErrorString(errorText, errorTextSize, "%s", sizeMessage);
        return false;
    }
    return true;
}

uint64_t FrameBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel) {
    return width * height * bitsPerPixel / 8;
}

// Opens the file and reads a plausible IMM/BKG header; `kind` ("Imm" or "Bkg") starts the message.
bool OpenWithPlausibleHeader(detect::ByteReader& file, const char* asFilePath, const char* kind, ImmHeader& header,
                             char* errorText, size_t errorTextSize) {
    if (!detect::OpenForDetection(file, asFilePath, errorText, errorTextSize)) return false;
    if (!ReadImmHeader(file, header, errorText, errorTextSize)) return false;
    if (!ImmHeaderPlausible(header)) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "%s incorrect file header (w=%d, h=%d, bipp=%d, ebitpp=%d).", kind, header.width,
                                  header.height, header.bitsPerPixel, header.effectiveBits);
        return false;
    }
    return true;
}

}  // namespace

bool _internal_is_file_imm(const char* asFilePath, char* errorText, size_t errorTextSize) {
    ImmHeader header;
    detect::ByteReader file;
    if (!OpenWithPlausibleHeader(file, asFilePath, "Imm", header, errorText, errorTextSize)) return false;
    int64_t fileSize = 0;
    if (!TakeFileSize(file, layout::kFrameWordsBytes, "Getting file size (max. file position) failed.", fileSize,
                      errorText, errorTextSize)) {
        return false;
    }
    const int64_t frameRecord = static_cast<int64_t>(FrameBytes(header.width, header.height, header.bitsPerPixel) +
                                                     layout::kFrameWordsBytes + layout::kScaleBytes);
    const double numImages = static_cast<double>(fileSize) / static_cast<double>(frameRecord);
    // A file shorter than one frame record holds no frame at all, whatever the fraction says.
    if (numImages >= 1.0 && numImages - std::floor(numImages) < 0.001) return true;
    _internal_dumpErrorString(errorText, errorTextSize,
                              "Imm file size mismatch. iFileSize=%ld iImageSizeInBytesPlusScale=%ld dNumImages=%f "
                              "iNumImages=%d",
                              static_cast<long>(fileSize), static_cast<long>(frameRecord), numImages,
                              static_cast<int>(numImages));
    return false;
}

bool _internal_is_file_bkg(const char* asFilePath, char* errorText, size_t errorTextSize) {
    ImmHeader header;
    detect::ByteReader file;
    if (!OpenWithPlausibleHeader(file, asFilePath, "Bkg", header, errorText, errorTextSize)) return false;
    int64_t fileSize = 0;
    if (!TakeFileSize(file, layout::kFrameWordsBytes, "Getting max. file position failed.", fileSize, errorText,
                      errorTextSize)) {
        return false;
    }
    const int64_t expected =
        static_cast<int64_t>(FrameBytes(header.width, header.height, header.bitsPerPixel) + layout::kFrameWordsBytes);
    if (fileSize == expected) return true;
    _internal_dumpErrorString(errorText, errorTextSize,
                              "Bkg file size mismatch. iFileSize=%ld iImageSizeInBytesPlusHeader=%ld",
                              static_cast<long>(fileSize), static_cast<long>(expected));
    return false;
}

namespace {

struct ImcHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerPixel = 0;
    uint16_t effectiveBits = 0;
    uint32_t numImages = 0;
};

bool ReadImcHeader(detect::ByteReader& file, ImcHeader& header, char* errorText, size_t errorTextSize) {
    const char* failed = nullptr;
    if (!file.Read(header.width)) {
        failed = "File read error (w).";
    } else if (!file.Read(header.height)) {
        failed = "File read error (h).";
    } else if (!file.Read(header.bitsPerPixel)) {
        failed = "File read error (bipp).";
    } else if (!file.Read(header.effectiveBits)) {
        failed = "File read error (ebitpp).";
    } else if (!file.Read(header.numImages)) {
        failed = "File read error (numImg).";
    }
    if (failed != nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize, "%s", failed);
        return false;
    }
    if (header.bitsPerPixel == 0) header.bitsPerPixel = 8;
    if (header.effectiveBits == 0) header.effectiveBits = header.bitsPerPixel;
    if (header.width != 0 && header.height != 0 && (header.bitsPerPixel == 8 || header.bitsPerPixel == 16) &&
        header.effectiveBits <= 16 && header.numImages != 0) {
        return true;
    }
    _internal_dumpErrorString(errorText, errorTextSize,
                              "Imc(bkc) incorrect file header (w=%d, h=%d, bipp=%d, ebitpp=%d, numImg=%d).",
                              static_cast<int>(header.width), static_cast<int>(header.height), header.bitsPerPixel,
                              header.effectiveBits, static_cast<int>(header.numImages));
    return false;
}

// Walks the frame records; R (what remains of the file) must reach exactly 0.
bool WalkImcFrames(detect::ByteReader& file, const ImcHeader& header, int64_t missing, char* errorText,
                   size_t errorTextSize) {
    const uint64_t frameBytes = FrameBytes(header.width, header.height, header.bitsPerPixel);
    const unsigned n = header.numImages;
    for (unsigned i = 1; i <= n; ++i) {
        double scale = 0.0;
        uint32_t lenCompressed = 0;
        uint32_t lenUncompressed = 0;
        if (!file.Read(scale)) {
            _internal_dumpErrorString(errorText, errorTextSize, "Unable to read scale factor value of image %d of %d.",
                                      i, n);
            return false;
        }
        if (!file.Read(lenCompressed)) {
            _internal_dumpErrorString(errorText, errorTextSize, "Unable to read len_compressed of image %d of %d.", i,
                                      n);
            return false;
        }
        if (!file.Read(lenUncompressed)) {
            _internal_dumpErrorString(errorText, errorTextSize, "Unable to read len_uncompressed of image %d of %d.", i,
                                      n);
            return false;
        }
        missing -= static_cast<int64_t>(layout::kImcFrameHeaderBytes);
        if (scale < 0) {
            _internal_dumpErrorString(errorText, errorTextSize,
                                      "Scale value of image %d of %d is negative (must not be negative).", i, n);
            return false;
        }
        // NaN compares false with everything: no scale at all, not a scale of 0.
        if (scale != scale) {
            _internal_dumpErrorString(errorText, errorTextSize, "Scale value of image %d of %d is not a number.", i,
                                      n);
            return false;
        }
        if (lenUncompressed != frameBytes) {
            _internal_dumpErrorString(errorText, errorTextSize,
                                      "Value of len_uncompressed(%u) is not identical to iImageSizeInBytes(%u), for "
                                      "image %d of %d.",
                                      lenUncompressed, static_cast<unsigned>(frameBytes), i, n);
            return false;
        }
        if (static_cast<int64_t>(lenCompressed) > missing) {
            _internal_dumpErrorString(errorText, errorTextSize,
                                      "Value of len_compressed(%u) is bigger than iFileSizeMissing(%ld), for image %d "
                                      "of %d.",
                                      lenCompressed, static_cast<long>(missing), i, n);
            return false;
        }
        missing -= lenCompressed;
        if (!file.Skip(lenCompressed)) {
            _internal_dumpErrorString(errorText, errorTextSize,
                                      "Seeking to CUR+len_compressed(%u) failed for image %d of %d.", lenCompressed, i,
                                      n);
            return false;
        }
    }
    if (missing == 0) return true;
    _internal_dumpErrorString(
        errorText, errorTextSize,
        "Missing file size is not zero at the end of loading imc/bkc file. (iFileSizeMissing=%ld).",
        static_cast<long>(missing));
    return false;
}

}  // namespace

bool _internal_is_file_imc_bkc(const char* asFilePath, char* errorText, size_t errorTextSize) {
    detect::ByteReader file;
    if (!detect::OpenForDetection(file, asFilePath, errorText, errorTextSize)) return false;
    ImcHeader header;
    if (!ReadImcHeader(file, header, errorText, errorTextSize)) return false;
    if (file.Position() != static_cast<int64_t>(layout::kImcFileHeaderBytes)) {
        _internal_dumpErrorString(errorText, errorTextSize, "Incorrect file position.");
        return false;
    }
    int64_t fileSize = 0;
    if (!detect::MeasureAndResume(file, layout::kImcFileHeaderBytes, "File seek back to end of header failed.",
                                  fileSize, errorText, errorTextSize)) {
        return false;
    }
    return WalkImcFrames(file, header, fileSize - static_cast<int64_t>(layout::kImcFileHeaderBytes), errorText,
                         errorTextSize);
}
