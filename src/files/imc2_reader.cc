// Reader of IMC2/BKC2 files. Every length read from the file is checked against what remains of the
// file before anything is allocated for it, so a short crafted file cannot make the reader allocate
// more than the file could fill. Images of a failed load are never handed out. The interrupt flag and
// the progress value may be shared with another thread without synchronisation.
#include <strings.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "client/image_management.h"
#include "files/imc2_format.h"
#include "files/load_internal.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "platform/platform.h"

namespace {

using imc2load::FreePtr;
using imc2load::Reader;

std::string ImageOf(uint32_t k, uint32_t n) { return std::to_string(k) + " of " + std::to_string(n); }

bool ReadLittleEndian(FILE* file, uint64_t& value, size_t size) {
    unsigned char bytes[8];
    if (std::fread(bytes, 1, size, file) != size) return false;
    value = 0;
    for (size_t i = size; i-- > 0;) value = (value << 8) | bytes[i];
    return true;
}

// The CR and LF after the set count of an image; `what` names it ("num_image_metadata_sets of image k of n").
bool ReadImageLineEnd(const Reader& reader, const std::string& what) {
    static const struct {
        const char* name;
        unsigned char expected;
    } kBytes[] = {{"carriage return", imc2::kCarriageReturn}, {"line feed", imc2::kLineFeed}};
    for (const auto& byte : kBytes) {
        const int value = std::fgetc(reader.file);
        if (value == EOF) {
            return reader.Fail(QMV3_LOAD_SHORT_READ,
                               reader.prefix + " read error (" + byte.name + " after " + what + ").");
        }
        if (value != byte.expected) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error (incorrect " + byte.name +
                                                           " value after " + what + "(must be " +
                                                           std::to_string(byte.expected) + ", but is " +
                                                           std::to_string(value) + ")).");
        }
    }
    return true;
}

bool ReadFileHeader(const Reader& reader, uint32_t& numSets) {
    uint64_t magic1 = 0;
    uint64_t magic2 = 0;
    if (!ReadLittleEndian(reader.file, magic1, 4)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ, reader.prefix + " read error (magic1).");
    }
    if (!ReadLittleEndian(reader.file, magic2, 4)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ, reader.prefix + " read error (magic2).");
    }
    reader.Progress(0.02);
    if (magic1 != imc2::kMagic1) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " is no imc2(bkc2) file (magic1 not zero).");
    }
    if (magic2 != imc2::kMagic2) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " is no imc2(bkc2) file (magic2 not one).");
    }
    uint64_t count = 0;
    if (!ReadLittleEndian(reader.file, count, 4)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error (number_of_global_metadata_sets_in_file).");
    }
    // The global messages close with one parenthesis fewer than the per-image ones.
    const std::string what = "number_of_global_metadata_sets_in_file";
    for (const auto& [name, expected] : {std::pair<const char*, int>{"carriage return", imc2::kCarriageReturn},
                                         std::pair<const char*, int>{"line feed", imc2::kLineFeed}}) {
        const int value = std::fgetc(reader.file);
        if (value == EOF) {
            return reader.Fail(QMV3_LOAD_SHORT_READ, reader.prefix + " read error (" + name + " after " + what + ").");
        }
        if (value != expected) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error (incorrect " + name +
                                                           " value after " + what + " (must be " +
                                                           std::to_string(expected) + ", but is " +
                                                           std::to_string(value) + ").");
        }
    }
    numSets = static_cast<uint32_t>(count);
    const size_t mandatory = _internal_countMandatoryMetadata(glbMetaData, kGlobalMetadataCount);
    if (numSets < mandatory) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE,
                           reader.prefix + " parse error (number_of_global_metadata_sets_in_file(" +
                               std::to_string(numSets) +
                               ") must be larger than or equal n_mandatory_global_metadata_sets_in_file(" +
                               std::to_string(mandatory) + ").");
    }
    if (numSets > imc2::kMaxGlobalMetadataSets) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix +
                                                       " parse error (number_of_global_metadata_sets_in_file(" +
                                                       std::to_string(numSets) + ") must less than or equal 100.");
    }
    return true;
}

// The header that every image of the file starts from.
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

bool ReadGlobalBlock(const Reader& reader, uint32_t numSets, SINGLEMETADATA* table, DIMAGE& tmpl, uint32_t& numImages) {
    for (uint32_t j = 1; j <= numSets; ++j) {
        std::string key;
        std::string value;
        const int result = _internal_read_metadata_set_from_file(reader.file, key, value);
        if (result != 0) {
            return reader.Fail(result, "Error at _internal_read_metadata_set_from_file while reading " +
                                           std::to_string(j) + " of " + std::to_string(numSets) +
                                           " global metadata set from file \"" + reader.path + "\".");
        }
        char reason[imc2::kErrorTextSize];
        if (!_internal_validate_metadata_set(key.c_str(), value.c_str(), table, kGlobalMetadataCount, reason,
                                             sizeof(reason))) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error: Error validating Key=Value \"" +
                                                           key + "=" + value + "\" at global_metadata_set " +
                                                           std::to_string(j) + " of " + std::to_string(numSets));
        }
        if (!imc2load::ApplyGlobalValue(reader, key, value, tmpl, numImages)) return false;
    }
    for (size_t i = 0; i < kGlobalMetadataCount; ++i) {
        if (table[i].bMandatory && table[i].iFound == 0) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error: Mandatory meta data key \"" +
                                                           table[i].sKey + " is missing in file.");
        }
    }
    if (numImages == 0) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE,
                           reader.prefix + " parse error: Meta value images_in_file=0 invalid. Must be >0.");
    }
    // Each image takes at least its header, two sets and one pixel byte: a count the rest of the file
    // cannot hold is refused before the image records are allocated.
    const uint64_t remaining = reader.Remaining();
    if (numImages > remaining / imc2::kMinImageSectionSize) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE,
                           reader.prefix + " parse error: Meta value images_in_file=" + std::to_string(numImages) +
                               " invalid. The remaining " + std::to_string(remaining) +
                               " bytes of the file cannot hold them.");
    }
    return true;
}

// Lengths, set count and line end of one image header.
bool ReadImageHeader(const Reader& reader, uint32_t k, uint32_t n, uint64_t& lenUncompressed, uint64_t& lenCompressed,
                     uint32_t& numSets) {
    const std::string of = ImageOf(k, n);
    if (!ReadLittleEndian(reader.file, lenUncompressed, 8)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error: Unable to read len_uncompressed value at image " + of + ".");
    }
    if (lenUncompressed > imc2::kMaxBlockLength) {
        return reader.Fail(QMV3_LOAD_LENGTH_TOO_LARGE, reader.prefix + " parse error: len_uncompressed too large (" +
                                                           std::to_string(lenUncompressed) +
                                                           " > 2147483647(int32t_max) at image " + of + ".");
    }
    if (!ReadLittleEndian(reader.file, lenCompressed, 8)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error: Unable to read len_compressed value at image " + of + ".");
    }
    if (lenCompressed > imc2::kMaxBlockLength) {
        return reader.Fail(QMV3_LOAD_LENGTH_TOO_LARGE, reader.prefix + " parse error: len_compressed too large (" +
                                                           std::to_string(lenCompressed) +
                                                           " > 2147483647(int32t_max) of image " + of + ".");
    }
    uint64_t count = 0;
    if (!ReadLittleEndian(reader.file, count, 4)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error: Unable to read num_image_metadata_sets of image " + of + ".");
    }
    numSets = static_cast<uint32_t>(count);
    if (!ReadImageLineEnd(reader, "num_image_metadata_sets of image " + of)) return false;
    if (lenCompressed == 0 || lenUncompressed == 0 || lenUncompressed < lenCompressed) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error: Value of len_compressed(" +
                                                       std::to_string(lenCompressed) + ") or len_uncompressed(" +
                                                       std::to_string(lenUncompressed) + ") zero or u<c, of image " +
                                                       of + ".");
    }
    if (numSets < imc2::kMinImageMetadataSets || numSets > imc2::kMaxImageMetadataSets) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE,
                           reader.prefix + " parse error: Value of num_image_metadata_sets=" + std::to_string(numSets) +
                               " incorrect, of image " + of + ". Must be [2..10].");
    }
    return true;
}

bool ReadImageSets(const Reader& reader, uint32_t k, uint32_t n, uint32_t numSets, SINGLEMETADATA* table,
                   DIMAGE& image) {
    const std::string of = ImageOf(k, n);
    _internal_clearMetadataFound(table, kImageMetadataCount);
    for (uint32_t j = 1; j <= numSets; ++j) {
        std::string key;
        std::string value;
        const int result = _internal_read_metadata_set_from_file(reader.file, key, value);
        if (result != 0) {
            return reader.Fail(result, "Error at _internal_read_metadata_set_from_file while reading " +
                                           std::to_string(j) + " of " + std::to_string(numSets) +
                                           " per-image metadata set of image " + of + " from file \"" + reader.path +
                                           "\".");
        }
        char reason[imc2::kErrorTextSize];
        if (!_internal_validate_metadata_set(key.c_str(), value.c_str(), table, kImageMetadataCount, reason,
                                             sizeof(reason))) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error: Error validating KeyValue=\"" +
                                                           key + "=" + value + "\" at image_metadata_set " +
                                                           std::to_string(j) + " of " + std::to_string(numSets) +
                                                           " of image " + of + ".)");
        }
        if (!imc2load::ApplyImageValue(reader, key, value, image, k, n)) return false;
    }
    for (size_t i = 0; i < kImageMetadataCount; ++i) {
        if (table[i].bMandatory && table[i].iFound == 0) {
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix +
                                                           " parse error: Mandatory per-image meta data key \"" +
                                                           table[i].sKey + " is missing in file.");
        }
    }
    return true;
}

bool ReadImage(const Reader& reader, uint32_t k, uint32_t n, SINGLEMETADATA* table, DIMAGE& image) {
    uint64_t lenUncompressed = 0;
    uint64_t lenCompressed = 0;
    uint32_t numSets = 0;
    if (!ReadImageHeader(reader, k, n, lenUncompressed, lenCompressed, numSets) ||
        !ReadImageSets(reader, k, n, numSets, table, image)) {
        return false;
    }
    if (!imc2load::ReadPixels(reader, k, n, lenUncompressed, lenCompressed, image)) return false;
    image.frameHeader.appendedFrameSize = static_cast<int32_t>(lenUncompressed);
    image.sourceHeader.totalLength = static_cast<uint32_t>(lenUncompressed + QMV3_IMAGE_HEADER_SIZE);
    if (!_internal_qmCheckImageValidity(image)) {
        return reader.Fail(
            QMV3_LOAD_INVALID_IMAGE,
            reader.prefix + " load error: _internal_qmCheckImageValidity failed at image " + ImageOf(k, n) + ".");
    }
    return true;
}

// The images read so far; released on destruction unless handed out.
class ImageArray {
  public:
    ImageArray() = default;
    ~ImageArray() {
        if (images_ == nullptr) return;
        for (uint32_t i = 0; i < count_; ++i) std::free(images_[i].frameBuffer);
        std::free(images_);
    }
    ImageArray(const ImageArray&) = delete;
    ImageArray& operator=(const ImageArray&) = delete;
    bool Allocate(uint32_t count, const DIMAGE& tmpl) {
        images_ = static_cast<DIMAGE*>(std::malloc(static_cast<size_t>(count) * sizeof(DIMAGE)));
        if (images_ == nullptr) return false;
        count_ = count;
        for (uint32_t i = 0; i < count; ++i) {
            images_[i] = tmpl;
            images_[i].frameHeader.frameNumber = i + 1;
        }
        return true;
    }
    DIMAGE& operator[](uint32_t i) { return images_[i]; }
    DIMAGE* Release() {
        DIMAGE* images = images_;
        images_ = nullptr;
        return images;
    }

  private:
    DIMAGE* images_ = nullptr;
    uint32_t count_ = 0;
};

bool LoadImages(Reader& reader, QMBUNCHOFIMAGES* apImages, int* interrupt) {
    FreePtr<SINGLEMETADATA> globalTable(_internal_copyMetadataTable(glbMetaData, kGlobalMetadataCount));
    if (!globalTable) {
        return reader.Fail(QMV3_LOAD_MALFORMED_SET, reader.prefix +
                                                        " load error: Memory allocation error "
                                                        "(globalMetaDataEntries, size=880 bytes).");
    }
    FreePtr<SINGLEMETADATA> imageTable(_internal_copyMetadataTable(imgMetaData, kImageMetadataCount));
    if (!imageTable) {
        return reader.Fail(QMV3_LOAD_MALFORMED_SET, reader.prefix +
                                                        " load error: Memory allocation error "
                                                        "(imageMetaDataEntries, size=200 bytes).");
    }
    if (!reader.Open()) return false;
    reader.Progress(0.01);
    uint32_t numSets = 0;
    if (!ReadFileHeader(reader, numSets)) return false;
    DIMAGE tmpl = MakeTemplate(reader.path);
    uint32_t n = 0;
    if (!ReadGlobalBlock(reader, numSets, globalTable.get(), tmpl, n)) return false;
    ImageArray images;
    if (!images.Allocate(n, tmpl)) {
        return reader.Fail(QMV3_LOAD_OUT_OF_MEMORY, reader.prefix +
                                                        " load error: Memory allocation error QMBUNCHOFIMAGES "
                                                        "imageArray[" +
                                                        std::to_string(n) + "].");
    }
    reader.Progress(0.05);
    for (uint32_t k = 1; k <= n; ++k) {
        if (interrupt != nullptr && *interrupt == 1) {
            return reader.Fail(QMV3_LOAD_INTERRUPTED, reader.prefix + " load error: Interrupted by user.");
        }
        if (!ReadImage(reader, k, n, imageTable.get(), images[k - 1])) return false;
        reader.Progress(static_cast<double>(k) / n * 0.95 + 0.05);
    }
    apImages->imageArray = images.Release();
    apImages->numFrames = n;
    return true;
}

}  // namespace

bool _internal_load_imc2_file(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int& code, std::string& errorText,
                              int* interrupt, double* percent) {
    if (!imc2load::CheckLoadParameters(asFilePath, apImages, code, errorText)) return false;
    Reader reader(asFilePath, code, errorText, percent);
    if (!LoadImages(reader, apImages, interrupt)) return false;
    code = QMV3_LOAD_OK;
    return true;
}
