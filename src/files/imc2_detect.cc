// Content detector of IMC2/BKC2 files: walks the whole file (headers and metadata sets, skipping the
// pixel blocks) and requires it to end exactly after the last image.
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "files/detect_common.h"
#include "files/file_detect.h"
#include "files/imc2_format.h"
#include "files/metadata_sets.h"
#include "util/numeric.h"

namespace {

struct TableDeleter {
    void operator()(SINGLEMETADATA* table) const { std::free(table); }
};
using TablePtr = std::unique_ptr<SINGLEMETADATA, TableDeleter>;

struct Walk {
    detect::ByteReader& file;
    SINGLEMETADATA* globalTable;
    SINGLEMETADATA* imageTable;
    char* errorText;
    size_t errorTextSize;
};

// Reads the CR and LF that close a header; messages for a short read and a wrong value of each.
bool ReadLineEnd(const Walk& walk, const char* shortCr, const char* badCr, const char* shortLf, const char* badLf,
                 unsigned k, unsigned n) {
    uint8_t cr = 0;
    uint8_t lf = 0;
    const bool perImage = k != 0;
    if (!walk.file.Read(cr)) {
        if (perImage) {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, shortCr, k, n);
        } else {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "%s", shortCr);
        }
        return false;
    }
    if (cr != imc2::kCarriageReturn) {
        if (perImage) {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, badCr, k, n, cr);
        } else {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, badCr, cr);
        }
        return false;
    }
    if (!walk.file.Read(lf)) {
        if (perImage) {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, shortLf, k, n);
        } else {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "%s", shortLf);
        }
        return false;
    }
    if (lf != imc2::kLineFeed) {
        if (perImage) {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, badLf, k, n, lf);
        } else {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize, badLf, lf);
        }
        return false;
    }
    return true;
}

// Reads one raw set; `where` is the location text of the messages, e.g. "global_metadata_set 3 of 20".
bool ReadRawSet(const Walk& walk, char (&text)[imc2::kMetadataSetSize], const std::string& where) {
    if (!walk.file.ReadBytes(text, imc2::kMetadataSetSize)) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "File read error (%s in file).", where.c_str());
        return false;
    }
    if (text[imc2::kMetadataTextSize + 1] != imc2::kLineFeed) {
        _internal_dumpErrorString(
            walk.errorText, walk.errorTextSize, "metaEntry.n=%d is invalid, must be 10 (%s in file).",
            static_cast<int>(static_cast<signed char>(text[imc2::kMetadataTextSize + 1])), where.c_str());
        return false;
    }
    if (text[imc2::kMetadataTextSize] != imc2::kCarriageReturn) {
        _internal_dumpErrorString(
            walk.errorText, walk.errorTextSize, "metaEntry.r=%d is invalid, must be 13 (%s in file).",
            static_cast<int>(static_cast<signed char>(text[imc2::kMetadataTextSize])), where.c_str());
        return false;
    }
    text[imc2::kMetadataMaxTextLength] = '\0';
    return true;
}

bool ValidateRawSet(const Walk& walk, const char* text, SINGLEMETADATA* table, size_t rows, const std::string& where) {
    char reason[imc2::kErrorTextSize] = {};
    if (_internal_validate_metadata_set(text, table, rows, reason, sizeof(reason))) return true;
    _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "Error validating KeyValue=\"%s\" at %s in file: %s",
                              text, where.c_str(), reason);
    return false;
}

std::string Location(const char* block, unsigned j, unsigned m) {
    return std::string(block) + " " + std::to_string(j) + " of " + std::to_string(m);
}

bool MissingMandatory(const Walk& walk, const SINGLEMETADATA* table, size_t rows, unsigned k, unsigned n) {
    for (size_t i = 0; i < rows; ++i) {
        if (!table[i].bMandatory || table[i].iFound != 0) continue;
        if (k == 0) {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                      "Mandatory meta data key \"%s\" missing in file.", table[i].sKey);
        } else {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                      "Mandatory image meta data key \"%s\" of image %u of %u missing in file.",
                                      table[i].sKey, k, n);
        }
        return true;
    }
    return false;
}

// File header and global block; yields the image count.
bool WalkGlobalBlock(const Walk& walk, unsigned& numImages) {
    uint32_t magic1 = 0;
    uint32_t magic2 = 0;
    uint32_t numSets = 0;
    if (!walk.file.Read(magic1)) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "File read error (magic1).");
        return false;
    }
    if (magic1 != imc2::kMagic1) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "Value magic1=%u is incorrect (must be (0x0)).",
                                  magic1);
        return false;
    }
    if (!walk.file.Read(magic2)) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "File read error (magic2).");
        return false;
    }
    if (magic2 != imc2::kMagic2) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize, "Value magic2=%u is incorrect (must be (0x1)).",
                                  magic2);
        return false;
    }
    if (!walk.file.Read(numSets)) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "File read error (num_global_metadata_sets_in_file).");
        return false;
    }
    if (!ReadLineEnd(walk, "File read error (carriage return after num_global_metadata_sets_in_file).",
                     "File read error (carriage return (13) after num_global_metadata_sets_in_file is set to %d).",
                     "File read error (line feed after num_global_metadata_sets_in_file).",
                     "File read error (line feed (10) after num_global_metadata_sets_in_file is set to %d).", 0, 0)) {
        return false;
    }
    const unsigned mandatory =
        static_cast<unsigned>(_internal_countMandatoryMetadata(walk.globalTable, kGlobalMetadataCount));
    if (numSets < mandatory || numSets > imc2::kMaxGlobalMetadataSets) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Value num_global_metadata_sets_in_file=%u incorrect. Must be [%u..100].", numSets,
                                  mandatory);
        return false;
    }
    numImages = 0;
    for (unsigned j = 1; j <= numSets; ++j) {
        char text[imc2::kMetadataSetSize];
        const std::string where = Location("global_metadata_set", j, numSets);
        if (!ReadRawSet(walk, text, where)) return false;
        if (!ValidateRawSet(walk, text, walk.globalTable, kGlobalMetadataCount, where)) return false;
        const char* delimiter = strchr(text, '=');
        if (strncasecmp(text, "number_of_images", delimiter - text) == 0 && delimiter - text == 16) {
            CheckStr2UInt32(&numImages, delimiter + 1, 10);
        }
    }
    if (MissingMandatory(walk, walk.globalTable, kGlobalMetadataCount, 0, 0)) return false;
    if (numImages == 0) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Meta value images_in_file=%u invalid. Must be >0.", 0u);
        return false;
    }
    return true;
}

bool WalkImageHeader(const Walk& walk, unsigned k, unsigned n, uint64_t& lenCompressed) {
    uint64_t lenUncompressed = 0;
    uint32_t numSets = 0;
    if (!walk.file.Read(lenUncompressed) || !walk.file.Read(lenCompressed)) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Unable to read len_uncompressed of image %u of %u.", k, n);
        return false;
    }
    if (!walk.file.Read(numSets)) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Unable to read num_image_metadata_sets of image %u of %u.", k, n);
        return false;
    }
    if (!ReadLineEnd(walk, "File read error (carriage return after num_image_metadata_sets for image %d of %d).",
                     "File parse error (carriage return (13) after num_image_metadata_sets of image %d of %d is set to "
                     "%d).",
                     "File read error (line feed after num_image_metadata_sets for image %d of %d).",
                     "File parse error (line feed (10) after num_image_metadata_sets of image %d of %d is set to %d).",
                     k, n)) {
        return false;
    }
    if (lenCompressed == 0 || lenUncompressed == 0 || lenUncompressed < lenCompressed) {
        _internal_dumpErrorString(
            walk.errorText, walk.errorTextSize,
            "Value of len_compressed(%lu) or len_uncompressed(%lu) zero or u<c, of image %u of %u.",
            static_cast<unsigned long>(lenCompressed), static_cast<unsigned long>(lenUncompressed), k, n);
        return false;
    }
    if (numSets < imc2::kMinImageMetadataSets || numSets > imc2::kMaxImageMetadataSets) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Value num_image_metadata_sets=%u incorrect, of image %u of %u. Must be [2..10].",
                                  numSets, k, n);
        return false;
    }
    _internal_clearMetadataFound(walk.imageTable, kImageMetadataCount);
    for (unsigned j = 1; j <= numSets; ++j) {
        char text[imc2::kMetadataSetSize];
        const std::string where =
            Location("image_metadata_set", j, numSets) + " of image " + std::to_string(k) + " of " + std::to_string(n);
        if (!ReadRawSet(walk, text, where)) return false;
        if (!ValidateRawSet(walk, text, walk.imageTable, kImageMetadataCount, where)) return false;
    }
    return !MissingMandatory(walk, walk.imageTable, kImageMetadataCount, k, n);
}

bool WalkImages(const Walk& walk, unsigned n, int64_t fileSize) {
    for (unsigned k = 1; k <= n; ++k) {
        uint64_t lenCompressed = 0;
        if (!WalkImageHeader(walk, k, n, lenCompressed)) return false;
        if (!walk.file.Skip(lenCompressed)) {
            _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                      "Seeking to CUR+len_compressed(%lu) failed for image %u of %u.",
                                      static_cast<unsigned long>(lenCompressed), k, n);
            return false;
        }
    }
    const int64_t position = walk.file.Position();
    if (position < 0) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Unable to obtain file position where reading file contents successfully finished.");
        return false;
    }
    if (position != fileSize) {
        _internal_dumpErrorString(walk.errorText, walk.errorTextSize,
                                  "Finished reading file position(%ld) is not equal to wholeFileSize(%ld).",
                                  static_cast<long>(position), static_cast<long>(fileSize));
        return false;
    }
    return true;
}

}  // namespace

bool _internal_is_file_imc2_bkc2(const char* asFilePath, char* errorText, size_t errorTextSize) {
    TablePtr globalTable(_internal_copyMetadataTable(glbMetaData, kGlobalMetadataCount));
    if (!globalTable) {
        _internal_dumpErrorString(errorText, errorTextSize, "Memory allocation error (globalMetaDataEntries)");
        return false;
    }
    TablePtr imageTable(_internal_copyMetadataTable(imgMetaData, kImageMetadataCount));
    if (!imageTable) {
        _internal_dumpErrorString(errorText, errorTextSize, "Memory allocation error (imageMetaDataEntries)");
        return false;
    }
    detect::ByteReader file;
    if (!detect::OpenForDetection(file, asFilePath, errorText, errorTextSize)) return false;
    int64_t fileSize = 0;
    if (!detect::MeasureAndResume(file, 0, "File seek back to start failed.", fileSize, errorText, errorTextSize)) {
        return false;
    }
    const Walk walk{file, globalTable.get(), imageTable.get(), errorText, errorTextSize};
    unsigned numImages = 0;
    if (!WalkGlobalBlock(walk, numImages)) return false;
    return WalkImages(walk, numImages, fileSize);
}
