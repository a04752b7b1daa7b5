// Reader of IMC2/BKC2 files. Every length read from the file is checked against what remains of the
// file before anything is allocated for it, and image records are added only as image sections are
// read, so a short crafted file cannot make the reader allocate more than the file could fill. Images of a failed load
// are never handed out. The interrupt flag and the progress value may be shared with another thread without
// synchronisation.
#include <strings.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "client/frame_blocks.h"
#include "client/image_management.h"
#include "files/imc2_format.h"
#include "files/load_internal.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "platform/platform.h"
#include "util/frame_memory.h"
#include "util/load_limit.h"

namespace {

using imc2load::FreePtr;
using imc2load::Reader;

std::string ImageOf(uint32_t k, uint32_t n) { return std::to_string(k) + " of " + std::to_string(n); }

// The CR and LF after a set count; `what` names the count ("num_image_metadata_sets of image k of n").
// The global messages close with one parenthesis fewer than the per-image ones.
bool ReadLineEnd(const Reader& reader, const std::string& what, bool perImage) {
    static const struct {
        const char* name;
        unsigned char expected;
    } kBytes[] = {{"carriage return", imc2::kCarriageReturn}, {"line feed", imc2::kLineFeed}};
    for (const auto& byte : kBytes) {
        const int value = reader.fields().ReadByte();
        if (value == EOF) {
            return reader.Fail(QMV3_LOAD_SHORT_READ,
                               reader.prefix + " read error (" + byte.name + " after " + what + ").");
        }
        if (value != byte.expected) {
            const std::string detail =
                "(must be " + std::to_string(byte.expected) + ", but is " + std::to_string(value) + ")";
            return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " parse error (incorrect " + byte.name +
                                                           " value after " + what +
                                                           (perImage ? detail + ")." : " " + detail + "."));
        }
    }
    return true;
}

bool ReadFileHeader(const Reader& reader, uint32_t& numSets) {
    uint32_t magic1 = 0;
    uint32_t magic2 = 0;
    if (!reader.fields().Read(magic1)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ, reader.prefix + " read error (magic1).");
    }
    if (!reader.fields().Read(magic2)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ, reader.prefix + " read error (magic2).");
    }
    reader.Progress(0.02);
    if (magic1 != imc2::kMagic1) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " is no imc2(bkc2) file (magic1 not zero).");
    }
    if (magic2 != imc2::kMagic2) {
        return reader.Fail(QMV3_LOAD_INVALID_FILE, reader.prefix + " is no imc2(bkc2) file (magic2 not one).");
    }
    if (!reader.fields().Read(numSets)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error (number_of_global_metadata_sets_in_file).");
    }
    if (!ReadLineEnd(reader, "number_of_global_metadata_sets_in_file", false)) return false;
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

// Set j of numSets as key and value; `which` names the block in the message.
bool ReadSet(const Reader& reader, uint32_t j, uint32_t numSets, const std::string& which, std::string& key,
             std::string& value) {
    const int result = _internal_read_metadata_set_from_file(reader.file(), key, value);
    if (result == 0) return true;
    return reader.Fail(result, "Error at _internal_read_metadata_set_from_file while reading " + std::to_string(j) +
                                   " of " + std::to_string(numSets) + " " + which + " from file \"" + reader.path +
                                   "\".");
}

bool ReadGlobalBlock(const Reader& reader, uint32_t numSets, SINGLEMETADATA* table, DIMAGE& tmpl, uint32_t& numImages) {
    for (uint32_t j = 1; j <= numSets; ++j) {
        std::string key;
        std::string value;
        if (!ReadSet(reader, j, numSets, "global metadata set", key, value)) return false;
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
    return true;
}

// One of the two lengths of an image header, limited to the int32 range; `where` ("at" or "of") joins the
// image to the limit's message.
bool ReadBlockLength(const Reader& reader, const char* name, const char* where, const std::string& of,
                     uint64_t& length) {
    if (!reader.fields().Read(length)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error: Unable to read " + name + " value at image " + of + ".");
    }
    if (length > imc2::kMaxBlockLength) {
        return reader.Fail(QMV3_LOAD_LENGTH_TOO_LARGE, reader.prefix + " parse error: " + name + " too large (" +
                                                           std::to_string(length) + " > 2147483647(int32t_max) " +
                                                           where + " image " + of + ".");
    }
    return true;
}

// Lengths, set count and line end of one image header.
bool ReadImageHeader(const Reader& reader, uint32_t k, uint32_t n, uint64_t& lenUncompressed, uint64_t& lenCompressed,
                     uint32_t& numSets) {
    const std::string of = ImageOf(k, n);
    if (!ReadBlockLength(reader, "len_uncompressed", "at", of, lenUncompressed) ||
        !ReadBlockLength(reader, "len_compressed", "of", of, lenCompressed)) {
        return false;
    }
    if (!reader.fields().Read(numSets)) {
        return reader.Fail(QMV3_LOAD_SHORT_READ,
                           reader.prefix + " read error: Unable to read num_image_metadata_sets of image " + of + ".");
    }
    if (!ReadLineEnd(reader, "num_image_metadata_sets of image " + of, true)) return false;
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
        if (!ReadSet(reader, j, numSets, "per-image metadata set of image " + of, key, value)) return false;
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

// Where the pixels of the next image go: nowhere (an image before the range, or headers only), or into
// a slot of the one block or a buffer of their own.
struct PixelTarget {
    bool skip = false;
    bool headersOnly = false;
};

// The one block of a load's frames: sized at the first frame for the frames still to come, but never
// for more than the rest of the file can back (each pixel block holds at least its frame size divided by
// the largest deflate ratio), so a crafted image count cannot make it large.
class FrameBlock {
  public:
    FrameBlock() = default;
    ~FrameBlock() { std::free(block_); }
    FrameBlock(const FrameBlock&) = delete;
    FrameBlock& operator=(const FrameBlock&) = delete;

    // The slot for a frame of frameBytes, or null when it does not fit (it then gets its own buffer).
    unsigned char* Slot(uint64_t frameBytes, uint32_t framesToCome, uint64_t remaining) {
        if (!started_) Start(frameBytes, framesToCome, remaining);
        if (block_ == nullptr || frameBytes != frameBytes_ || used_ == frames_) return nullptr;
        unsigned char* slot = block_ + frameBytes_ * used_++;
        frame_memory::Populate(block_, frameBytes_ * frames_, slot, frameBytes_);
        return slot;
    }
    bool Owns(const unsigned char* buffer) const {
        return block_ != nullptr && buffer >= block_ && buffer < block_ + frameBytes_ * frames_;
    }
    unsigned char* Release(size_t& bytes) {
        bytes = frameBytes_ * frames_;
        unsigned char* block = block_;
        block_ = nullptr;
        return block;
    }

  private:
    static constexpr uint64_t kSmallestImageSection = 32;

    void Start(uint64_t frameBytes, uint32_t framesToCome, uint64_t remaining) {
        started_ = true;
        const uint64_t perSection = std::max<uint64_t>(kSmallestImageSection, frameBytes / imc2::kMaxDeflateRatio);
        const uint64_t backed = remaining / perSection + 1;
        frames_ = std::min<uint64_t>(framesToCome, backed);
        // The block is taken before the frames are counted against the load memory limit: it holds no
        // more frames than the limit lets the load decode.
        if (frameBytes > 0) frames_ = std::min<uint64_t>(frames_, load_limit::Get() / frameBytes);
        frameBytes_ = frameBytes;
        if (frames_ < 2 || frameBytes_ == 0) return;  // a single frame needs no block
        block_ = static_cast<unsigned char*>(frame_memory::AllocateBlock(frameBytes_ * frames_));
    }

    bool started_ = false;
    unsigned char* block_ = nullptr;
    uint64_t frameBytes_ = 0;
    uint64_t frames_ = 0;
    uint64_t used_ = 0;
};

// The images read so far; released on destruction unless handed out. The records grow as images are
// read rather than being sized from the count in the file: every record then stands for an image
// section actually present, so a crafted count cannot make the reader allocate more than the file backs,
// and each fault of a short file is reported where the file runs out.
class ImageArray {
  public:
    ImageArray(uint32_t count, const DIMAGE& tmpl) : count_(count), tmpl_(tmpl) {}
    ~ImageArray() {
        if (images_ == nullptr) return;
        for (uint32_t i = 0; i < used_; ++i) {
            if (block_ == nullptr || !block_->Owns(images_[i].frameBuffer)) std::free(images_[i].frameBuffer);
        }
        std::free(images_);
    }
    ImageArray(const ImageArray&) = delete;
    ImageArray& operator=(const ImageArray&) = delete;
    // The block whose frames the records may point into; it outlives the array.
    void UseBlock(const FrameBlock* block) { block_ = block; }
    // Adds the record of the next image (number k in the file), filled from the template; false when
    // memory is short.
    bool Grow(uint32_t k) {
        if (used_ == capacity_) {
            const uint32_t capacity = capacity_ == 0
                                          ? std::min(count_, kFirstCapacity)
                                          : static_cast<uint32_t>(std::min<uint64_t>(count_, 2ull * capacity_));
            void* grown = std::realloc(images_, static_cast<size_t>(capacity) * sizeof(DIMAGE));
            if (grown == nullptr) return false;
            images_ = static_cast<DIMAGE*>(grown);
            capacity_ = capacity;
        }
        images_[used_] = tmpl_;
        images_[used_].frameHeader.frameNumber = k;
        ++used_;
        return true;
    }
    DIMAGE& Last() { return images_[used_ - 1]; }
    uint32_t size() const { return used_; }
    DIMAGE* Release() {
        DIMAGE* images = images_;
        images_ = nullptr;
        return images;
    }

  private:
    static constexpr uint32_t kFirstCapacity = 64;
    const uint32_t count_;
    const DIMAGE tmpl_;
    DIMAGE* images_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t used_ = 0;
    const FrameBlock* block_ = nullptr;
};

bool ReadImage(const Reader& reader, uint32_t k, uint32_t n, SINGLEMETADATA* table, DIMAGE& image,
               const PixelTarget& target, FrameBlock* block, uint32_t framesToCome) {
    uint64_t lenUncompressed = 0;
    uint64_t lenCompressed = 0;
    uint32_t numSets = 0;
    if (!ReadImageHeader(reader, k, n, lenUncompressed, lenCompressed, numSets) ||
        !ReadImageSets(reader, k, n, numSets, table, image)) {
        return false;
    }
    if (target.skip) return imc2load::SkipPixels(reader, k, n, lenCompressed);
    if (target.headersOnly) {
        if (!imc2load::SkipPixels(reader, k, n, lenCompressed)) return false;
    } else {
        unsigned char* slot =
            block != nullptr ? block->Slot(lenUncompressed, framesToCome, reader.Remaining()) : nullptr;
        if (!imc2load::ReadPixels(reader, k, n, lenUncompressed, lenCompressed, image, slot)) return false;
    }
    image.frameHeader.appendedFrameSize = static_cast<int32_t>(lenUncompressed);
    image.sourceHeader.totalLength = static_cast<uint32_t>(lenUncompressed + QMV3_IMAGE_HEADER_SIZE);
    // Without pixels the rules see the record as a full load gives it: they read the header and whether
    // a buffer is there, never the pixels.
    static unsigned char kStandInPixels;
    DIMAGE checked = image;
    if (target.headersOnly) {
        checked.frameBufferSize = static_cast<uint32_t>(lenUncompressed);
        checked.frameBuffer = &kStandInPixels;
    }
    if (!_internal_qmCheckImageValidity(checked)) {
        return reader.Fail(
            QMV3_LOAD_INVALID_IMAGE,
            reader.prefix + " load error: _internal_qmCheckImageValidity failed at image " + ImageOf(k, n) + ".");
    }
    return true;
}

// The images of the plan, read in file order; those before the range are read and passed over (their
// lengths lead to the next), reading stops after the last.
bool LoadImages(Reader& reader, QMBUNCHOFIMAGES* apImages, const Imc2LoadPlan& plan, int* interrupt) {
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
    DIMAGE tmpl = imc2load::MakeTemplate(reader.path);
    uint32_t n = 0;
    if (!ReadGlobalBlock(reader, numSets, globalTable.get(), tmpl, n)) return false;
    const uint32_t first = std::max<uint32_t>(plan.first, 1);
    const uint32_t last = plan.last == 0 || plan.last > n ? n : plan.last;
    if (first > last) {
        return reader.Fail(QMV3_LOAD_PARAMETER_ERROR, reader.prefix + " load error: images " + std::to_string(first) +
                                                          ".." + std::to_string(last) + " requested, the file holds " +
                                                          std::to_string(n) + ".");
    }
    FrameBlock block;
    ImageArray images(last - first + 1, tmpl);
    if (plan.oneBlock && !plan.headersOnly) images.UseBlock(&block);
    PixelTarget target;
    target.headersOnly = plan.headersOnly;
    reader.Progress(0.05);
    for (uint32_t k = 1; k <= last; ++k) {
        if (interrupt != nullptr && *interrupt == 1) {
            return reader.Fail(QMV3_LOAD_INTERRUPTED, reader.prefix + " load error: Interrupted by user.");
        }
        if (k < first) {
            DIMAGE passed = tmpl;
            target.skip = true;
            if (!ReadImage(reader, k, n, imageTable.get(), passed, target, nullptr, 0)) return false;
            continue;
        }
        target.skip = false;
        if (!images.Grow(k)) {
            return reader.Fail(QMV3_LOAD_OUT_OF_MEMORY, reader.prefix +
                                                            " load error: Memory allocation error QMBUNCHOFIMAGES "
                                                            "imageArray[" +
                                                            std::to_string(n) + "].");
        }
        FrameBlock* frames = plan.oneBlock && !plan.headersOnly ? &block : nullptr;
        if (!ReadImage(reader, k, n, imageTable.get(), images.Last(), target, frames, last - k + 1)) return false;
        reader.Progress(static_cast<double>(k) / last * 0.95 + 0.05);
    }
    const uint32_t count = images.size();
    size_t blockBytes = 0;
    DIMAGE* records = images.Release();
    unsigned char* frameBlock = block.Release(blockBytes);
    if (frameBlock != nullptr && !frame_blocks::Register(records, frameBlock, blockBytes)) {
        // Not registered, so not releasable as one block: free what the load made.
        for (uint32_t i = 0; i < count; ++i) {
            if (records[i].frameBuffer < frameBlock || records[i].frameBuffer >= frameBlock + blockBytes)
                std::free(records[i].frameBuffer);
        }
        std::free(frameBlock);
        std::free(records);
        return reader.Fail(QMV3_LOAD_OUT_OF_MEMORY,
                           reader.prefix + " load error: Memory allocation error (frame block registry).");
    }
    apImages->imageArray = records;
    apImages->numFrames = count;
    return true;
}

}  // namespace

bool _internal_load_imc2_file_planned(const char* asFilePath, QMBUNCHOFIMAGES* apImages, const Imc2LoadPlan& plan,
                                      int& code, std::string& errorText, int* interrupt, double* percent) {
    if (!imc2load::CheckLoadParameters(asFilePath, apImages, code, errorText)) return false;
    Reader reader(asFilePath, code, errorText, percent);
    if (!LoadImages(reader, apImages, plan, interrupt)) return false;
    code = QMV3_LOAD_OK;
    return true;
}

bool _internal_load_imc2_file(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int& code, std::string& errorText,
                              int* interrupt, double* percent) {
    return _internal_load_imc2_file_planned(asFilePath, apImages, Imc2LoadPlan(), code, errorText, interrupt, percent);
}
