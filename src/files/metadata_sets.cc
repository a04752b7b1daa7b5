// Key tables of IMC2/BKC2 files and the write, read and validation of single metadata sets.
#include "files/metadata_sets.h"

#include <strings.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "files/imc2_format.h"
#include "util/numeric.h"

static_assert(sizeof(SINGLEMETADATA) == 40, "key table rows are 40 bytes");

const SINGLEMETADATA glbMetaData[kGlobalMetadataCount] = {
    {"number_of_images", METADATA_UINT32, 0, true},
    {"width_px", METADATA_UINT32, 0, true},
    {"height_px", METADATA_UINT32, 0, true},
    {"scale_x_mm/px", METADATA_FLOAT, 0, true},
    {"scale_y_mm/px", METADATA_FLOAT, 0, true},
    {"source_width_px", METADATA_INT32, 0, true},
    {"source_height_px", METADATA_INT32, 0, true},
    {"aoi_width_px", METADATA_INT32, 0, true},
    {"aoi_height_px", METADATA_INT32, 0, true},
    {"x_start_px", METADATA_INT32, 0, true},
    {"y_start_px", METADATA_INT32, 0, true},
    {"bytes_per_pixel", METADATA_INT32, 0, true},
    {"effective_bits_per_pixel", METADATA_INT32, 0, true},
    {"horizontal_binning", METADATA_INT32, 0, true},
    {"vertical_binning", METADATA_INT32, 0, true},
    {"source_format", METADATA_STRING, 0, true},
    {"image_format", METADATA_STRING, 0, true},
    {"image_rotation", METADATA_FLOAT, 0, true},
    {"scale_x_offset", METADATA_FLOAT, 0, true},
    {"scale_y_offset", METADATA_FLOAT, 0, true},
    {"camera_port_name", METADATA_STRING, 0, false},
    {"camera_port_id", METADATA_UINT32, 0, false},
};

const SINGLEMETADATA imgMetaData[kImageMetadataCount] = {
    {"image_start", METADATA_STRING, 0, true},  {"timestamp_utc", METADATA_STRING, 0, false},
    {"image_flags", METADATA_STRING, 0, true},  {"framenumber", METADATA_UINT32, 0, false},
    {"eventnumber", METADATA_UINT32, 0, false},
};

size_t _internal_countMandatoryMetadata(const SINGLEMETADATA* table, size_t count) {
    size_t mandatory = 0;
    for (size_t i = 0; i < count; ++i) {
        if (table[i].bMandatory) ++mandatory;
    }
    return mandatory;
}

SINGLEMETADATA* _internal_copyMetadataTable(const SINGLEMETADATA* table, size_t count) {
    auto* copy = static_cast<SINGLEMETADATA*>(std::malloc(count * sizeof(SINGLEMETADATA)));
    if (copy == nullptr) return nullptr;
    for (size_t i = 0; i < count; ++i) {
        std::memset(&copy[i], 0, sizeof(SINGLEMETADATA));
        std::memcpy(copy[i].sKey, table[i].sKey, sizeof(copy[i].sKey));
        copy[i].eType = table[i].eType;
        copy[i].iFound = 0;
        copy[i].bMandatory = table[i].bMandatory;
    }
    return copy;
}

void _internal_clearMetadataFound(SINGLEMETADATA* table, size_t count) {
    for (size_t i = 0; i < count; ++i) table[i].iFound = 0;
}

void _internal_dumpErrorString(char* buffer, size_t size, const char* format, ...) {
    if (buffer == nullptr || size < 2) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, size - 1, format, args);
    va_end(args);
    buffer[size - 1] = '\0';
}

int _internal_write_metadata_set_to_file(FILE* stream, std::string key, std::string value) {
    if (key.empty()) return -15;
    if (key.size() + value.size() + 2 > imc2::kMetadataTextSize) return -15;
    unsigned char record[imc2::kMetadataSetSize] = {};
    record[imc2::kMetadataTextSize] = imc2::kCarriageReturn;
    record[imc2::kMetadataTextSize + 1] = imc2::kLineFeed;
    std::snprintf(reinterpret_cast<char*>(record), imc2::kMetadataMaxTextLength + 1, "%s=%s", key.c_str(),
                  value.c_str());
    if (stream == nullptr) return -5;
    return std::fwrite(record, 1, sizeof(record), stream) == sizeof(record) ? 0 : -5;
}

int _internal_write_metadata_set_to_file(FILE* stream, std::string key, unsigned int value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u", value);
    return _internal_write_metadata_set_to_file(stream, std::move(key), std::string(text));
}

int _internal_write_metadata_set_to_file(FILE* stream, std::string key, int value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    return _internal_write_metadata_set_to_file(stream, std::move(key), std::string(text));
}

int _internal_write_metadata_set_to_file(FILE* stream, std::string key, double value) {
    // Large magnitudes print long in fixed point; the text form rejects what does not fit a set.
    char text[400];
    std::snprintf(text, sizeof(text), "%f", value);
    return _internal_write_metadata_set_to_file(stream, std::move(key), std::string(text));
}

int _internal_read_metadata_set_from_file(FILE* stream, std::string& key, std::string& value) {
    unsigned char record[imc2::kMetadataSetSize];
    if (stream == nullptr || std::fread(record, 1, sizeof(record), stream) != sizeof(record)) return -5;
    if (record[imc2::kMetadataTextSize] != imc2::kCarriageReturn ||
        record[imc2::kMetadataTextSize + 1] != imc2::kLineFeed) {
        return -6;
    }
    const char* text = reinterpret_cast<const char*>(record);
    const size_t length = strnlen(text, imc2::kMetadataMaxTextLength);
    const void* delimiter = std::memchr(text, '=', length);
    if (delimiter == nullptr || delimiter == text) return -6;
    const size_t keyLength = static_cast<const char*>(delimiter) - text;
    key.assign(text, keyLength);
    value.assign(text + keyLength + 1, length - keyLength - 1);
    return 0;
}

namespace {

// Checks the value form of one row's type; false with the message when it does not fit.
bool ValidateValueType(const SINGLEMETADATA& row, const char* value, char* errorText, size_t errorTextSize) {
    switch (row.eType) {
        case METADATA_INT32:
            if (CheckStr2Int32(nullptr, value, 10) == 0) return true;
            _internal_dumpErrorString(errorText, errorTextSize, "Validation error: Value (%s) is no valid int32.",
                                      value);
            return false;
        case METADATA_UINT32:
            if (CheckStr2UInt32(nullptr, value, 10) == 0) return true;
            _internal_dumpErrorString(errorText, errorTextSize, "Validation error: Value (%s) is no valid uint32.",
                                      value);
            return false;
        case METADATA_FLOAT:
            if (CheckStr2Float(nullptr, value) == 0) return true;
            _internal_dumpErrorString(errorText, errorTextSize, "Validation error: Value (%s) is no valid float.",
                                      value);
            return false;
        case METADATA_STRING:
            return true;
        default:
            _internal_dumpErrorString(errorText, errorTextSize,
                                      "Validation error: Unknown type of Metadata (.eType=%d unknown) for key \"%s\".",
                                      row.eType, row.sKey);
            return false;
    }
}

}  // namespace

bool _internal_validate_metadata_set(const char* asKeySingleMetaData, const char* asValueSingleMetaData,
                                     SINGLEMETADATA* apInOutMetadataSetsToValidateAgainst,
                                     size_t aiNumMetadataSetsToValidateAgainst, char* errorText, size_t errorTextSize) {
    if (asKeySingleMetaData == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize, "Parameter error (asKeySingleMetaData must not be NULL).");
        return false;
    }
    if (asValueSingleMetaData == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Parameter error (asValueSingleMetaData must not be NULL).");
        return false;
    }
    if (aiNumMetadataSetsToValidateAgainst == 0) {
        _internal_dumpErrorString(errorText, errorTextSize, "Parameter error (aiNumMetadataSetsToValidateAgainst<=0).");
        return false;
    }
    if (apInOutMetadataSetsToValidateAgainst == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Parameter error (apInOutMetadataSetsToValidateAgainst is NULL).");
        return false;
    }
    for (size_t i = 0; i < aiNumMetadataSetsToValidateAgainst; ++i) {
        SINGLEMETADATA& row = apInOutMetadataSetsToValidateAgainst[i];
        if (strcasecmp(row.sKey, asKeySingleMetaData) != 0) continue;
        if (row.iFound != 0) {
            _internal_dumpErrorString(errorText, errorTextSize, "Validation error: Key (%s) appeared more than once.",
                                      asKeySingleMetaData);
            return false;
        }
        row.iFound = 1;
        if (!ValidateValueType(row, asValueSingleMetaData, errorText, errorTextSize)) return false;
    }
    return true;
}

bool _internal_validate_metadata_set(const char* asKeyValueSingleMetaData,
                                     SINGLEMETADATA* apInOutMetadataSetsToValidateAgainst,
                                     size_t aiNumMetadataSetsToValidateAgainst, char* errorText, size_t errorTextSize) {
    if (asKeyValueSingleMetaData == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Parameter error (asKeyValueSingleMetaData must not be NULL).");
        return false;
    }
    if (aiNumMetadataSetsToValidateAgainst == 0) {
        _internal_dumpErrorString(errorText, errorTextSize, "Parameter error (aiNumMetadataSetsToValidateAgainst<=0).");
        return false;
    }
    if (apInOutMetadataSetsToValidateAgainst == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Parameter error (apInOutMetadataSetsToValidateAgainst is NULL).");
        return false;
    }
    const size_t length = strnlen(asKeyValueSingleMetaData, imc2::kMetadataMaxTextLength + 1);
    if (length < 3 || length > imc2::kMetadataMaxTextLength) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Parameter error (asKeyValueSingleMetaData is not 3..%u characters).",
                                  static_cast<unsigned>(imc2::kMetadataMaxTextLength));
        return false;
    }
    const char* delimiter = static_cast<const char*>(std::memchr(asKeyValueSingleMetaData, '=', length));
    if (delimiter == nullptr || delimiter == asKeyValueSingleMetaData) {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Delimiter (=) not found in parameter asKeyValueSingleMetaData.");
        return false;
    }
    char local[imc2::kMetadataMaxTextLength + 1];
    std::memcpy(local, asKeyValueSingleMetaData, length);
    local[length] = '\0';
    local[delimiter - asKeyValueSingleMetaData] = '\0';
    return _internal_validate_metadata_set(local, local + (delimiter - asKeyValueSingleMetaData) + 1,
                                           apInOutMetadataSetsToValidateAgainst, aiNumMetadataSetsToValidateAgainst,
                                           errorText, errorTextSize);
}
