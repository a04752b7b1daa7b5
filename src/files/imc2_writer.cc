// Writer of IMC2/BKC2 files. One frame is compressed at a time, through the deflate seam, into one working
// buffer that serves every frame of the save (the engine is chosen when the save starts).
// A failure after the file was created closes and removes it (OutputFile); an existing file is never
// overwritten (the file is created exclusively, so a file that appears after the existence check is not
// touched either). The interrupt flag and the progress value may be shared with another thread without
// synchronisation: the flag is only read, the progress only increases.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/imc2_format.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "image/cdimage.h"
#include "platform/output_file.h"
#include "platform/platform.h"
#include "util/byte_io.h"
#include "util/deflate_engine.h"

namespace {

struct Writer {
    FILE* file;
    byte_io::ByteWriter& fields;
    std::string prefix;  // File "<path>"
    int& code;
    std::string& errorText;
    double* percent;
    deflate_engine::Compressor& compressor;
    bool stored;  // pixel blocks as they are, without deflating
};

bool Fail(const Writer& writer, int code, const std::string& text) {
    writer.code = code;
    writer.errorText = text;
    return false;
}

void Progress(const Writer& writer, double value) {
    if (writer.percent != nullptr) *writer.percent = value;
}

// The CR and LF that close a header; `after` names the field they follow in the messages.
bool WriteLineEnd(const Writer& writer, const std::string& after) {
    if (!writer.fields.WriteByte(imc2::kCarriageReturn)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED,
                    writer.prefix + " write error (carriage return after " + after + ").");
    }
    if (!writer.fields.WriteByte(imc2::kLineFeed)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED, writer.prefix + " write error (line feed after " + after + ").");
    }
    return true;
}

bool WriteFileHeader(const Writer& writer, const DIMAGE& first) {
    Progress(writer, 0.01);
    if (!writer.fields.Write(imc2::kMagic1)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED, writer.prefix + " write error (magic1).");
    }
    if (!writer.fields.Write(imc2::kMagic2)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED, writer.prefix + " write error (magic2).");
    }
    Progress(writer, 0.02);
    uint32_t numSets = static_cast<uint32_t>(_internal_countMandatoryMetadata(glbMetaData, kGlobalMetadataCount));
    if (first.sourceHeader.cameraPortId != 0) ++numSets;
    if (first.sourceHeader.cameraPortName[0] != '\0') ++numSets;
    if (!writer.fields.Write(numSets)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED,
                    writer.prefix + " write error (number_of_global_metadata_sets_in_file).");
    }
    if (!WriteLineEnd(writer, "number_of_global_metadata_sets_in_file")) return false;
    Progress(writer, 0.03);
    return true;
}

// Writes one global set; on failure sets the writer's code and the message naming the key.
template <typename Value>
bool WriteGlobal(const Writer& writer, const char* key, Value value,
                 const char* wording = "Error composing or writing") {
    const int result = _internal_write_metadata_set_to_file(writer.file, key, value);
    if (result == 0) return true;
    return Fail(writer, result,
                writer.prefix + " save error: " + wording + " global metadata \"" + key + "\" to file.");
}

bool FormatName(const Writer& writer, int format, const char* key, std::string& name) {
    char buffer[250];
    size_t size = sizeof(buffer);
    if (CDIMAGE::getFormatAsString(format, buffer, size) == nullptr) {
        return Fail(writer, QMV3_SAVE_METADATA_ERROR,
                    writer.prefix + " save error: Error composing global metadata " + key + ".");
    }
    name = buffer;
    return true;
}

// A NaN scale is no scale: it is written as "not set", the value readers refuse it for.
double ScaleToWrite(float scale) { return std::isnan(scale) ? -1.0 : static_cast<double>(scale); }

bool WriteGlobalSets(const Writer& writer, const DIMAGE& first, uint32_t numImages) {
    const DIMAGE_FRAMEHEADER& h = first.frameHeader;
    const int32_t width = h.aoiWidth > 0 ? h.aoiWidth : h.sourceWidth;
    const int32_t height = h.aoiHeight > 0 ? h.aoiHeight : h.sourceHeight;
    if (!WriteGlobal(writer, "number_of_images", static_cast<unsigned>(numImages)) ||
        !WriteGlobal(writer, "width_px", static_cast<unsigned>(width)) ||
        !WriteGlobal(writer, "height_px", static_cast<unsigned>(height)) ||
        !WriteGlobal(writer, "scale_x_mm/px", ScaleToWrite(h.xScale))) {
        return false;
    }
    Progress(writer, 0.04);
    if (!WriteGlobal(writer, "scale_y_mm/px", ScaleToWrite(h.yScale)) ||
        !WriteGlobal(writer, "source_width_px", static_cast<int>(h.sourceWidth)) ||
        !WriteGlobal(writer, "source_height_px", static_cast<int>(h.sourceHeight)) ||
        !WriteGlobal(writer, "aoi_width_px", static_cast<int>(h.aoiWidth), "Error writing")) {
        return false;
    }
    Progress(writer, 0.05);
    if (!WriteGlobal(writer, "aoi_height_px", static_cast<int>(h.aoiHeight)) ||
        !WriteGlobal(writer, "x_start_px", static_cast<int>(h.xStart)) ||
        !WriteGlobal(writer, "y_start_px", static_cast<int>(h.yStart)) ||
        !WriteGlobal(writer, "bytes_per_pixel", static_cast<int>(h.bytesPerPixel))) {
        return false;
    }
    Progress(writer, 0.06);
    std::string sourceFormat;
    std::string imageFormat;
    if (!WriteGlobal(writer, "effective_bits_per_pixel", static_cast<int>(h.effectiveBitsPerPixel)) ||
        !WriteGlobal(writer, "horizontal_binning", static_cast<int>(h.horizontalBinning)) ||
        !WriteGlobal(writer, "vertical_binning", static_cast<int>(h.verticalBinning)) ||
        !FormatName(writer, h.sourceFormat, "source_format", sourceFormat) ||
        !WriteGlobal(writer, "source_format", sourceFormat)) {
        return false;
    }
    Progress(writer, 0.07);
    if (!FormatName(writer, h.imageFormat, "image_format", imageFormat) ||
        !WriteGlobal(writer, "image_format", imageFormat) ||
        !WriteGlobal(writer, "image_rotation", static_cast<double>(h.imageRotation)) ||
        !WriteGlobal(writer, "scale_x_offset", static_cast<double>(h.scale_x_offset)) ||
        !WriteGlobal(writer, "scale_y_offset", static_cast<double>(h.scale_y_offset))) {
        return false;
    }
    Progress(writer, 0.08);
    const std::string portName(first.sourceHeader.cameraPortName,
                               strnlen(first.sourceHeader.cameraPortName, sizeof(first.sourceHeader.cameraPortName)));
    if (!portName.empty() && !WriteGlobal(writer, "camera_port_name", portName)) return false;
    Progress(writer, 0.09);
    if (first.sourceHeader.cameraPortId != 0 &&
        !WriteGlobal(writer, "camera_port_id", static_cast<unsigned>(first.sourceHeader.cameraPortId))) {
        return false;
    }
    return true;
}

// n 0: a writer that appends images as they come does not know the count yet.
std::string ImageOf(uint32_t k, uint32_t n) {
    return n == 0 ? std::to_string(k) : std::to_string(k) + " of " + std::to_string(n);
}

// The pixel block of one image: the compressed stream in the compressor's working buffer, or the frame
// bytes when compression does not shrink them.
struct PixelBlock {
    const unsigned char* data = nullptr;
    uint64_t length = 0;
};

bool CompressFrame(const Writer& writer, const DIMAGE& image, uint32_t k, uint32_t n, PixelBlock& block) {
    const size_t frameLength = static_cast<size_t>(image.frameHeader.appendedFrameSize);
    if (writer.stored) {
        // A block as long as its frame is read as stored bytes.
        block.data = image.frameBuffer;
        block.length = frameLength;
        return true;
    }
    // Room for what the engine may produce in the worst case, so that tiny frames do not fail.
    if (!writer.compressor.Reserve(frameLength)) {
        return Fail(writer, QMV3_SAVE_OUT_OF_MEMORY,
                    writer.prefix + " save error: Error allocating temporary memory for compressed image #" +
                        ImageOf(k, n) + ".");
    }
    const unsigned char* stream = nullptr;
    size_t streamLength = 0;
    if (!writer.compressor.Compress(image.frameBuffer, frameLength, &stream, &streamLength)) {
        return Fail(writer, QMV3_SAVE_COMPRESSION_FAILED,
                    writer.prefix + " save error: Error compressing image #" + ImageOf(k, n) + ".");
    }
    const bool shrunk = streamLength < frameLength;
    block.data = shrunk ? stream : image.frameBuffer;
    block.length = shrunk ? streamLength : frameLength;
    return true;
}

uint32_t ImageMetadataCount(const DIMAGE& image) {
    uint32_t count = 5;
    if (image.frameHeader.frameNumber == 0) --count;
    if (image.frameHeader.eventNumber == 0) --count;
    if (static_cast<int32_t>(image.sourceHeader.timestampSeconds) <= 0) --count;
    return count;
}

bool WriteImageHeader(const Writer& writer, const DIMAGE& image, uint64_t lenCompressed, uint32_t k, uint32_t n) {
    const std::string of = ImageOf(k, n);
    if (!writer.fields.Write(static_cast<uint64_t>(image.frameHeader.appendedFrameSize))) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED,
                    writer.prefix + " write error (len_uncompressed image " + of + ").");
    }
    if (!writer.fields.Write(lenCompressed)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED, writer.prefix + " write error (len_compressed image " + of + ").");
    }
    if (!writer.fields.Write(ImageMetadataCount(image))) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED,
                    writer.prefix + " write error (number_of_per_image_metadata_sets_in_file for image " + of + ").");
    }
    return WriteLineEnd(writer, "number_of_per_image_metadata_sets_in_file for image " + of);
}

template <typename Value>
bool WriteImageSet(const Writer& writer, const char* key, Value value, const std::string& failure) {
    const int result = _internal_write_metadata_set_to_file(writer.file, key, value);
    return result == 0 ? true : Fail(writer, result, writer.prefix + " save error: " + failure);
}

bool WriteTimestamp(const Writer& writer, const DIMAGE& image, const std::string& of) {
    const int32_t seconds = static_cast<int32_t>(image.sourceHeader.timestampSeconds);
    if (seconds <= 0) return true;
    const int32_t micros = static_cast<int32_t>(image.sourceHeader.timestampMicroseconds);
    char text[40];
    if (platformTimeToUTCString(seconds, micros < 0 ? 0u : static_cast<uint32_t>(micros), true, false, true, text,
                                sizeof(text)) == nullptr) {
        return Fail(writer, QMV3_SAVE_METADATA_ERROR,
                    writer.prefix + " save error: Error preparing timestamp string for timestamp=" +
                        std::to_string(seconds) + "." + std::to_string(micros) +
                        " sec.usec_offset before writing per-image metadata timestamp_utc for image " + of + ").");
    }
    return WriteImageSet(writer, "timestamp_utc", std::string(text),
                         "Error writing per-image metadata timestamp_utc for image " + of + ").");
}

bool WriteImageSets(const Writer& writer, const DIMAGE& image, uint32_t k, uint32_t n) {
    const std::string of = ImageOf(k, n);
    if (!WriteImageSet(writer, "image_start", std::string("image ") + of,
                       "Error writing per-image metadata image_start for image " + of + ").") ||
        !WriteTimestamp(writer, image, of)) {
        return false;
    }
    char flags[250];
    size_t size = sizeof(flags);
    if (CDIMAGE::getFlagsAsString(image.frameHeader.imageFlags, flags, size) == nullptr || size > sizeof(flags)) {
        return Fail(
            writer, QMV3_SAVE_METADATA_ERROR,
            writer.prefix + " save error: Error composing per-image metadata image_flags for image " + of + ").");
    }
    if (!WriteImageSet(writer, "image_flags", std::string(flags),
                       "Error composing or writing per-image metadata image_flags for image " + of + ").")) {
        return false;
    }
    if (image.frameHeader.frameNumber != 0 &&
        !WriteImageSet(writer, "framenumber", static_cast<unsigned>(image.frameHeader.frameNumber),
                       "Error writing per-image metadata framenumber for image " + of + ").")) {
        return false;
    }
    if (image.frameHeader.eventNumber != 0 &&
        !WriteImageSet(writer, "eventnumber", static_cast<unsigned>(image.frameHeader.eventNumber),
                       "Error writing per-image metadata eventnumber for image " + of + ").")) {
        return false;
    }
    return true;
}

bool WriteImage(const Writer& writer, const DIMAGE& image, uint32_t k, uint32_t n) {
    PixelBlock block;
    if (!CompressFrame(writer, image, k, n, block) || !WriteImageHeader(writer, image, block.length, k, n) ||
        !WriteImageSets(writer, image, k, n)) {
        return false;
    }
    if (!writer.fields.WriteBytes(block.data, block.length)) {
        return Fail(writer, QMV3_SAVE_WRITE_FAILED,
                    writer.prefix + " save error (image data (pixels) for image " + ImageOf(k, n) + ").");
    }
    return true;
}

bool Interrupted(const int* interrupt) { return interrupt != nullptr && *interrupt == 1; }

// The checks that precede creating the file.
bool CheckSequence(QMBUNCHOFIMAGES* apImages, const char* asFilePath, int& code, std::string& errorText) {
    auto fail = [&](int failCode, const std::string& text) {
        code = failCode;
        errorText = text;
        return false;
    };
    if (asFilePath == nullptr) return fail(QMV3_SAVE_PARAMETER_ERROR, "Parameter asFilePath must not be NULL.");
    if (asFilePath[0] == '\0') return fail(QMV3_SAVE_PARAMETER_ERROR, "Parameter asFilePath must not be empty string.");
    const std::string p = _internal_filePrefix(asFilePath) + " save error: ";
    if (apImages == nullptr) return fail(QMV3_SAVE_PARAMETER_ERROR, p + "Parameter apImages must not be NULL.");
    if (apImages->imageArray == nullptr) {
        return fail(QMV3_SAVE_PARAMETER_ERROR, p + "Parameter apImages->imageArray must not be NULL.");
    }
    if (apImages->numFrames == 0)
        return fail(QMV3_SAVE_PARAMETER_ERROR, p + "Parameter apImages->numFrames must not be NULL.");
    if (apImages->numFrames > imc2::kMaxImagesWritten) {
        return fail(QMV3_SAVE_PARAMETER_ERROR, p + "Parameter apImages->numFrames(=" +
                                                   std::to_string(apImages->numFrames) + ") must not be >10'000.");
    }
    const int sequence = qmIsSequence(apImages);
    if (sequence != 1) {
        return fail(QMV3_SAVE_NOT_A_SEQUENCE,
                    p +
                        "Bunch of images passed must be an image sequence (header fields valid and "
                        "almost identical), but qmIsSequence() returned " +
                        std::to_string(sequence));
    }
    if (static_cast<uint32_t>(apImages->imageArray[0].frameHeader.imageFormat) > 1) {
        return fail(QMV3_SAVE_NOT_A_SEQUENCE, p + "Bunch of images passed must be either GRAY or RGB image format.");
    }
    // An image without frame bytes would give a file that no reader accepts.
    for (uint32_t k = 1; k <= apImages->numFrames; ++k) {
        const int32_t frameSize = apImages->imageArray[k - 1].frameHeader.appendedFrameSize;
        if (frameSize <= 0) {
            return fail(QMV3_SAVE_NOT_A_SEQUENCE,
                        p + "Image #" + ImageOf(k, apImages->numFrames) +
                            " has no frame bytes (appendedFrameSize=" + std::to_string(frameSize) + ").");
        }
    }
    return true;
}

}  // namespace

bool _internal_save_image_file_imc2(QMBUNCHOFIMAGES* apImages, const char* asFilePath, int& code,
                                    std::string& errorText, int* interrupt, double* percent,
                                    Imc2Compression compression) {
    if (!CheckSequence(apImages, asFilePath, code, errorText)) return false;
    const std::string prefix = _internal_filePrefix(asFilePath);
    if (FILE* existing = std::fopen(asFilePath, "rb")) {
        std::fclose(existing);
        code = QMV3_SAVE_FILE_EXISTS;
        errorText = prefix + " save error: File already exists.";
        return false;
    }
    // Created exclusively, so a file that exists but cannot be read is not overwritten either.
    OutputFile file;
    const OutputFile::Created created = file.Create(asFilePath, OutputFile::Mode::kExclusive);
    if (created != OutputFile::Created::kOk) {
        const bool exists = created == OutputFile::Created::kExists;
        code = exists ? QMV3_SAVE_FILE_EXISTS : QMV3_SAVE_OPEN_FAILED;
        errorText = prefix + (exists ? " save error: File already exists."
                                     : " save error: File could not be opened for writing.");
        return false;
    }
    byte_io::ByteWriter fields(file.get());
    const deflate_engine::Engine engine = compression == Imc2Compression::kDefault ? deflate_engine::WriteEngineFromEnvironment()
                                          : compression == Imc2Compression::kFast && deflate_engine::LibdeflateAvailable()
                                              ? deflate_engine::Engine::kLibdeflate
                                              : deflate_engine::Engine::kZlib;
    deflate_engine::Compressor compressor(engine);
    const Writer writer{file.get(), fields, prefix, code, errorText, percent, compressor, compression == Imc2Compression::kNone};
    const uint32_t n = apImages->numFrames;
    if (!WriteFileHeader(writer, apImages->imageArray[0]) || !WriteGlobalSets(writer, apImages->imageArray[0], n)) {
        return false;
    }
    if (Interrupted(interrupt))
        return Fail(writer, QMV3_SAVE_INTERRUPTED, prefix + " save error: Interrupted by user.");
    for (uint32_t k = 1; k <= n; ++k) {
        if (!WriteImage(writer, apImages->imageArray[k - 1], k, n)) return false;
        Progress(writer, static_cast<double>(k) / n * 0.91 + 0.09);
        if (Interrupted(interrupt))
            return Fail(writer, QMV3_SAVE_INTERRUPTED, prefix + " save error: Interrupted by user.");
    }
    if (!file.Commit()) return Fail(writer, QMV3_SAVE_WRITE_FAILED, prefix + " write error (closing file).");
    return true;
}

bool _internal_write_imc2_start(FILE* stream, const char* path, const DIMAGE& first, uint32_t numImages, int& code,
                                std::string& errorText) {
    byte_io::ByteWriter fields(stream);
    deflate_engine::Compressor unused(deflate_engine::Engine::kZlib);
    const Writer writer{stream, fields, _internal_filePrefix(path), code, errorText, nullptr, unused, false};
    return WriteFileHeader(writer, first) && WriteGlobalSets(writer, first, numImages);
}

bool _internal_write_imc2_image_head(FILE* stream, const char* path, const DIMAGE& image, uint64_t blockLength,
                                     uint32_t k, uint32_t n, int& code, std::string& errorText) {
    byte_io::ByteWriter fields(stream);
    deflate_engine::Compressor unused(deflate_engine::Engine::kZlib);
    const Writer writer{stream, fields, _internal_filePrefix(path), code, errorText, nullptr, unused, false};
    return WriteImageHeader(writer, image, blockLength, k, n) && WriteImageSets(writer, image, k, n);
}

bool _internal_imc2_pixel_block(deflate_engine::Compressor* compressor, const DIMAGE& image, const char* path,
                                uint32_t k, const unsigned char** data, uint64_t* length, int& code,
                                std::string& errorText) {
    if (compressor == nullptr) {
        *data = image.frameBuffer;
        *length = static_cast<uint64_t>(image.frameHeader.appendedFrameSize);
        return true;
    }
    byte_io::ByteWriter fields(nullptr);
    const Writer writer{nullptr, fields, _internal_filePrefix(path), code, errorText, nullptr, *compressor, false};
    PixelBlock block;
    if (!CompressFrame(writer, image, k, 0, block)) return false;
    *data = block.data;
    *length = block.length;
    return true;
}
