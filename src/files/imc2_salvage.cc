// Salvage of IMC2/BKC2 files. The walk goes from section to section by the lengths in each image
// header, as the loader does, but it checks every section's shape before it believes it: where a
// section is not where the previous one says, the walk searches the bytes for the next image header
// whose set count, line ends and metadata sets fit together, so one damaged length or block costs that
// image only. The image count of the global metadata is reported, never used: a file still being written
// may not have its final count yet.
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "image/image_checks.h"
#include "files/imc2_format.h"
#include "files/load_internal.h"
#include "files/metadata_sets.h"
#include "files/salvage.h"
#include "files/sequence_files.h"
#include "platform/platform.h"

namespace salvage {

namespace {

using byte_io::Load;
using imc2load::FreePtr;
using imc2load::Reader;

// The search for the next image header reads the file in pieces of this size.
constexpr size_t kSearchPiece = 1u << 20;
// The fewest bytes an image section takes (header, two sets, one byte of pixels): an image number read
// from a damaged file is believed only as far as the damaged bytes before it could hold lost images.
constexpr uint64_t kMinSectionBytes = imc2::kImageHeaderSize + 2 * imc2::kMetadataSetSize + 1;

std::string Bytes(uint64_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

// The file as the walk sees it: reads at absolute offsets through the loader's reader.
class Source {
  public:
    explicit Source(Reader& reader) : reader_(reader), size_(reader.fields().Length()) {}
    uint64_t size() const { return size_; }
    uint64_t Left(uint64_t offset) const { return offset < size_ ? size_ - offset : 0; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) const {
        return count <= Left(offset) && reader_.fields().Seek(offset) && reader_.fields().ReadBytes(buffer, count);
    }

  private:
    Reader& reader_;
    const uint64_t size_;
};

struct ImageHeader {
    uint64_t lenUncompressed = 0;
    uint64_t lenCompressed = 0;
    uint32_t sets = 0;
};

// The 22 bytes of an image header hold lengths and a set count within the format's limits.
bool PlausibleHeader(const unsigned char* bytes, ImageHeader& header) {
    header.lenUncompressed = Load<uint64_t>(bytes);
    header.lenCompressed = Load<uint64_t>(bytes + 8);
    header.sets = Load<uint32_t>(bytes + 16);
    return bytes[20] == imc2::kCarriageReturn && bytes[21] == imc2::kLineFeed && header.lenUncompressed >= 1 &&
           header.lenUncompressed <= imc2::kMaxBlockLength && header.lenCompressed >= 1 &&
           header.lenCompressed <= header.lenUncompressed && header.sets >= imc2::kMinImageMetadataSets &&
           header.sets <= imc2::kMaxImageMetadataSets;
}

bool SetEndsRight(const unsigned char* set) {
    return set[imc2::kMetadataTextSize] == imc2::kCarriageReturn && set[imc2::kMetadataTextSize + 1] == imc2::kLineFeed;
}

// A set whose text starts with a key and an "=": what every writer puts first.
bool SetStartsWithKey(const unsigned char* set) {
    const void* equals = std::memchr(set, '=', imc2::kMetadataMaxTextLength);
    return equals != nullptr && equals != set && set[0] != '\0';
}

enum class Shape { kSection, kCut, kNone };

// One image section as found: its header and the raw bytes of its metadata sets.
struct Section {
    uint64_t start = 0;
    ImageHeader header;
    std::vector<unsigned char> sets;
    uint64_t PixelStart() const { return start + imc2::kImageHeaderSize + sets.size(); }
};

// Whether an image section starts at offset: kSection when its header and all its sets have their
// shape, kCut when the file ends before they do (and what is there has the shape), kNone otherwise.
Shape ReadShape(const Source& source, uint64_t offset, Section& section) {
    section.start = offset;
    section.sets.clear();
    unsigned char bytes[imc2::kImageHeaderSize];
    if (source.Left(offset) < sizeof bytes) return Shape::kCut;
    if (!source.ReadAt(offset, bytes, sizeof bytes) || !PlausibleHeader(bytes, section.header)) return Shape::kNone;
    const uint64_t wanted = uint64_t{section.header.sets} * imc2::kMetadataSetSize;
    const uint64_t there = std::min<uint64_t>(wanted, source.Left(offset + sizeof bytes));
    const uint64_t whole = there / imc2::kMetadataSetSize * imc2::kMetadataSetSize;
    section.sets.resize(static_cast<size_t>(whole));
    if (whole > 0 && !source.ReadAt(offset + sizeof bytes, section.sets.data(), section.sets.size())) {
        return Shape::kNone;
    }
    for (size_t at = 0; at < section.sets.size(); at += imc2::kMetadataSetSize)
        if (!SetEndsRight(&section.sets[at])) return Shape::kNone;
    if (!section.sets.empty() && !SetStartsWithKey(section.sets.data())) return Shape::kNone;
    return whole == wanted ? Shape::kSection : Shape::kCut;
}

// The first offset at or after `from` where a whole image section starts (or the file ends inside one
// with the right shape); the file's size when there is none.
uint64_t FindSection(const Source& source, uint64_t from) {
    // A header is recognised by its line end at 20 and the line end of its first set at 22 + 250.
    constexpr size_t kLook = imc2::kImageHeaderSize + imc2::kMetadataSetSize;
    std::vector<unsigned char> piece;
    Section candidate;
    for (uint64_t start = from; start + imc2::kImageHeaderSize <= source.size(); start += kSearchPiece) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(kSearchPiece + kLook, source.Left(start)));
        piece.resize(length);
        if (!source.ReadAt(start, piece.data(), length)) return source.size();
        const size_t last = std::min(length, kSearchPiece);
        for (size_t at = 0; at < last && at + imc2::kImageHeaderSize <= length; ++at) {
            const unsigned char* lineEnd = static_cast<const unsigned char*>(
                std::memchr(piece.data() + at + 20, imc2::kCarriageReturn, length - at - 20));
            if (lineEnd == nullptr) break;
            at = static_cast<size_t>(lineEnd - piece.data()) - 20;
            if (at >= last || at + imc2::kImageHeaderSize > length) break;
            ImageHeader header;
            if (!PlausibleHeader(piece.data() + at, header)) continue;
            const Shape shape = ReadShape(source, start + at, candidate);
            if (shape == Shape::kSection || (shape == Shape::kCut && !candidate.sets.empty())) return start + at;
        }
    }
    return source.size();
}

// "image K of N" as the writer marks each image; 0 when the text says no number.
uint32_t NumberOf(const std::string& imageStart) {
    static const char kWord[] = "image ";
    if (imageStart.compare(0, sizeof kWord - 1, kWord) != 0) return 0;
    uint64_t number = 0;
    for (size_t at = sizeof kWord - 1; at < imageStart.size() && imageStart[at] >= '0' && imageStart[at] <= '9'; ++at) {
        number = number * 10 + static_cast<uint64_t>(imageStart[at] - '0');
        if (number > UINT32_MAX) return 0;
    }
    return static_cast<uint32_t>(number);
}

// The message of a failed loader step without its "File "path" " prefix.
std::string WithoutPrefix(const Reader& reader, const std::string& text) {
    const std::string prefix = reader.prefix + " ";
    return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

// The walk over one file.
class Imc2Walk {
  public:
    Imc2Walk(Walk& walk, Reader& reader, int& readerCode, std::string& readerText)
        : walk_(walk), reader_(reader), readerCode_(readerCode), readerText_(readerText), source_(reader) {}

    int Run();

  private:
    bool ReadGlobalBlock(uint64_t& end);
    // A global set of the block; damage is reported and the set left unused.
    void ApplyGlobalSet(unsigned char* set, uint64_t at, uint32_t j, SINGLEMETADATA* table);
    // Interprets the sets of a section into image; false with the reason when they are damaged.
    bool ApplySets(const Section& section, DIMAGE& image, uint32_t& number, std::string& reason);
    // Reads, checks and keeps the image of a whole section: QMV3_LOAD_OK to go on, QMV3_LOAD_SHORT_READ
    // when the file ends inside it, another code when the salvage must end.
    // gap: the damaged bytes between the previous section and this one.
    int TakeImage(const Section& section, uint64_t gap, uint32_t& expected);

    Walk& walk_;
    Reader& reader_;
    int& readerCode_;
    std::string& readerText_;
    Source source_;
    DIMAGE template_{};
    std::string globalDamage_;  // appended to the reasons of images that fail the validity rules
};

void Imc2Walk::ApplyGlobalSet(unsigned char* set, uint64_t at, uint32_t j, SINGLEMETADATA* table) {
    const std::string where = "global metadata set " + std::to_string(j);
    set[imc2::kMetadataMaxTextLength] = '\0';
    const char* text = reinterpret_cast<const char*>(set);
    const char* equals = std::strchr(text, '=');
    if (equals == nullptr || equals == text) {
        walk_.findings.Drop(0, at, QMV3_LOAD_INVALID_FILE, where + " is damaged (no key=value) and not used");
        return;
    }
    const std::string key(text, equals), value(equals + 1);
    char reason[imc2::kErrorTextSize] = "";
    if (!_internal_validate_metadata_set(key.c_str(), value.c_str(), table, kGlobalMetadataCount, reason,
                                         sizeof reason)) {
        walk_.findings.Drop(0, at, QMV3_LOAD_INVALID_FILE, where + " is damaged and not used: " + reason);
        return;
    }
    // The value goes into a copy first, so that a damaged value leaves the template as it was.
    DIMAGE updated = template_;
    uint32_t announced = walk_.findings.announced;
    if (!imc2load::ApplyGlobalValue(reader_, key, value, updated, announced)) {
        walk_.findings.Drop(0, at, QMV3_LOAD_INVALID_FILE,
                            where + " is damaged and not used: " + WithoutPrefix(reader_, readerText_));
        return;
    }
    template_ = updated;
    walk_.findings.announced = announced;
}

bool Imc2Walk::ReadGlobalBlock(uint64_t& end) {
    Findings& findings = walk_.findings;
    unsigned char head[imc2::kFileHeaderSize];
    if (!source_.ReadAt(0, head, sizeof head)) {
        findings.Drop(0, 0, QMV3_LOAD_SHORT_READ, "the file ends inside its file header");
        return false;
    }
    if (Load<uint32_t>(head) != imc2::kMagic1 || Load<uint32_t>(head + 4) != imc2::kMagic2)
        findings.Drop(0, 0, QMV3_LOAD_INVALID_FILE, "the magic numbers of the file header are damaged");
    const uint32_t count = Load<uint32_t>(head + 8);
    const bool countKnown = head[12] == imc2::kCarriageReturn && head[13] == imc2::kLineFeed &&
                            count >= _internal_countMandatoryMetadata(glbMetaData, kGlobalMetadataCount) &&
                            count <= imc2::kMaxGlobalMetadataSets;
    if (!countKnown) {
        findings.Drop(0, 8, QMV3_LOAD_INVALID_FILE,
                      "the count of global metadata sets is damaged; the sets are taken as far as they go");
    }
    FreePtr<SINGLEMETADATA> table(_internal_copyMetadataTable(glbMetaData, kGlobalMetadataCount));
    if (!table) throw std::bad_alloc();
    uint64_t at = imc2::kFileHeaderSize;
    for (uint32_t j = 1; !countKnown || j <= count; ++j, at += imc2::kMetadataSetSize) {
        unsigned char set[imc2::kMetadataSetSize];
        if (!source_.ReadAt(at, set, sizeof set)) {
            findings.Drop(0, at, QMV3_LOAD_SHORT_READ, "the file ends inside its global metadata");
            return false;
        }
        if (!SetEndsRight(set)) {
            if (!countKnown) break;  // the first image header: the global block is over
            findings.Drop(0, at, QMV3_LOAD_INVALID_FILE,
                          "global metadata set " + std::to_string(j) + " is damaged (its line end) and not used");
            continue;
        }
        ApplyGlobalSet(set, at, j, table.get());
    }
    std::string missing;
    for (size_t i = 0; i < kGlobalMetadataCount; ++i) {
        const SINGLEMETADATA& row = table.get()[i];
        if (row.bMandatory && row.iFound == 0) missing += (missing.empty() ? "" : ", ") + std::string(row.sKey);
    }
    if (!missing.empty()) {
        globalDamage_ = " (the global metadata lacks " + missing + ")";
        findings.Drop(0, imc2::kFileHeaderSize, QMV3_LOAD_INVALID_FILE,
                      "the global metadata lacks the mandatory keys " + missing);
    }
    end = at;
    return true;
}

bool Imc2Walk::ApplySets(const Section& section, DIMAGE& image, uint32_t& number, std::string& reason) {
    FreePtr<SINGLEMETADATA> table(_internal_copyMetadataTable(imgMetaData, kImageMetadataCount));
    if (!table) throw std::bad_alloc();
    const uint32_t count = section.header.sets;
    for (uint32_t j = 0; j < count; ++j) {
        unsigned char set[imc2::kMetadataSetSize];
        std::memcpy(set, &section.sets[size_t{j} * imc2::kMetadataSetSize], sizeof set);
        set[imc2::kMetadataMaxTextLength] = '\0';
        const char* text = reinterpret_cast<const char*>(set);
        const char* equals = std::strchr(text, '=');
        const std::string where = "its metadata set " + std::to_string(j + 1) + " of " + std::to_string(count);
        if (equals == nullptr || equals == text) {
            reason = where + " is damaged (no key=value)";
            return false;
        }
        const std::string key(text, equals), value(equals + 1);
        char why[imc2::kErrorTextSize] = "";
        if (!_internal_validate_metadata_set(key.c_str(), value.c_str(), table.get(), kImageMetadataCount, why,
                                             sizeof why)) {
            reason = where + " is damaged: " + why;
            return false;
        }
        if (!imc2load::ApplyImageValue(reader_, key, value, image, number, walk_.findings.announced)) {
            reason = where + " is damaged: " + WithoutPrefix(reader_, readerText_);
            return false;
        }
        if (strcasecmp(key.c_str(), "image_start") == 0) number = NumberOf(value);
    }
    for (size_t i = 0; i < kImageMetadataCount; ++i) {
        if (table.get()[i].bMandatory && table.get()[i].iFound == 0) {
            reason = std::string("its metadata lacks the mandatory key ") + table.get()[i].sKey;
            return false;
        }
    }
    return true;
}

int Imc2Walk::TakeImage(const Section& section, uint64_t gap, uint32_t& expected) {
    Findings& findings = walk_.findings;
    DIMAGE image = template_;
    std::string reason;
    uint32_t number = expected;
    const bool setsIntact = ApplySets(section, image, number, reason);
    // A number from the file places the image when it is plausible, so that images lost in damaged
    // bytes before it are counted; otherwise the image is the one expected.
    if (number < expected || number - expected > gap / kMinSectionBytes) number = expected;
    for (uint32_t lost = expected; lost < number; ++lost)
        findings.Drop(lost, section.start, QMV3_LOAD_INVALID_FILE, "its section lies in damaged bytes");
    expected = number + 1;
    // As the loader: without a frame number of its own, the image is numbered by its place in the file.
    if (image.frameHeader.frameNumber == 0) image.frameHeader.frameNumber = number;
    if (!setsIntact) {
        findings.Drop(number, section.start, QMV3_LOAD_INVALID_FILE, reason);
        return QMV3_LOAD_OK;
    }
    const ImageHeader& header = section.header;
    const uint64_t present = source_.Left(section.PixelStart());
    if (present < header.lenCompressed) {
        findings.Drop(number, section.start, QMV3_LOAD_SHORT_READ,
                      "the file ends inside its pixel block (" + Bytes(present) + " of " + Bytes(header.lenCompressed) +
                          " are there)");
        return QMV3_LOAD_SHORT_READ;
    }
    if (!reader_.fields().Seek(section.PixelStart()) ||
        !imc2load::ReadPixels(reader_, number, findings.announced, header.lenUncompressed, header.lenCompressed,
                              image)) {
        std::free(image.frameBuffer);
        if (readerCode_ == QMV3_LOAD_OUT_OF_MEMORY) {
            walk_.errorText = readerText_;
            return QMV3_LOAD_OUT_OF_MEMORY;
        }
        reason = readerCode_ == QMV3_LOAD_DECOMPRESSION_FAILED
                     ? "its compressed pixel block is damaged (it does not inflate to its " +
                           Bytes(header.lenUncompressed) + ")"
                     : WithoutPrefix(reader_, readerText_);
        findings.Drop(number, section.start, readerCode_, reason);
        return QMV3_LOAD_OK;
    }
    image.frameHeader.appendedFrameSize = static_cast<int32_t>(header.lenUncompressed);
    image.sourceHeader.totalLength = static_cast<uint32_t>(header.lenUncompressed + QMV3_IMAGE_HEADER_SIZE);
    std::string invalid;
    if (_internal_internal_qmCheckImageValidity(&image, invalid) != 1) {
        std::free(image.frameBuffer);
        findings.Drop(number, section.start, QMV3_LOAD_INVALID_IMAGE,
                      "it fails the image validity rules: " + invalid + globalDamage_);
        return QMV3_LOAD_OK;
    }
    if (!walk_.kept.Add(image)) {
        walk_.errorText =
            reader_.prefix + " load error: Memory allocation error while keeping image " + std::to_string(number) + ".";
        return QMV3_LOAD_OUT_OF_MEMORY;
    }
    return QMV3_LOAD_OK;
}

int Imc2Walk::Run() {
    Findings& findings = walk_.findings;
    template_ = imc2load::MakeTemplate(walk_.path);
    const uint64_t size = source_.size();
    uint64_t at = 0;
    if (!ReadGlobalBlock(at)) {
        findings.Skip(size);
        return QMV3_LOAD_OK;
    }
    uint32_t expected = 1;
    // Where the search for the next section may start: after the sets of the last section found, so a
    // section whose lengths were damaged cannot hide the ones its pixel block seems to cover.
    uint64_t searchFrom = at;
    uint64_t lastEnd = at;  // where the last section found ends
    Section section;
    while (at < size) {
        if (walk_.Interrupted()) {
            walk_.errorText = reader_.prefix + " load error: Interrupted by user.";
            return QMV3_LOAD_INTERRUPTED;
        }
        walk_.Progress(static_cast<double>(at) / static_cast<double>(size));
        const Shape shape = ReadShape(source_, at, section);
        if (shape == Shape::kCut) {
            findings.Drop(expected, at, QMV3_LOAD_SHORT_READ,
                          "the file ends inside its image header or metadata (" + Bytes(size - at) + " are there)");
            break;
        }
        if (shape == Shape::kNone) {
            const uint64_t found = FindSection(source_, searchFrom);
            if (found > at) {
                findings.Drop(0, at, QMV3_LOAD_INVALID_FILE,
                              Bytes(found - at) + " hold no image header (damaged" +
                                  (found == size ? std::string(", up to the end of the file)") : std::string(")")));
                findings.Skip(found - at);
            }
            if (found >= size) break;
            at = found;
            // Looking again from the found section on guarantees progress even when it lies before `at`.
            searchFrom = found + 1;
            continue;
        }
        searchFrom = section.PixelStart();
        const int code = TakeImage(section, at > lastEnd ? at - lastEnd : 0, expected);
        if (code == QMV3_LOAD_SHORT_READ) break;
        if (code != QMV3_LOAD_OK) return code;
        at = section.PixelStart() + section.header.lenCompressed;
        lastEnd = at;
    }
    walk_.Progress(1.0);
    return QMV3_LOAD_OK;
}

}  // namespace

int SalvageImc2(Walk& walk) {
    int readerCode = 0;
    std::string readerText;
    Reader reader(walk.path, readerCode, readerText, nullptr);
    if (!reader.Open()) {
        walk.errorText = readerText;
        return readerCode;
    }
    walk.findings.kind = QMV3_FILE_IMC2_BKC2;
    Imc2Walk imc2Walk(walk, reader, readerCode, readerText);
    return imc2Walk.Run();
}

}  // namespace salvage
