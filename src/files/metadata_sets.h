// Metadata sets of IMC2/BKC2 files: the key tables of the global and the per-image block, and the
// functions that write, read and validate one 252-byte set. They keep no state; the only mutable data
// are the iFound marks of a caller's working copy of a table.
#ifndef QMV3_FILES_METADATA_SETS_H
#define QMV3_FILES_METADATA_SETS_H

#include <cstddef>
#include <cstdio>
#include <string>

// Value types of a key.
enum MetadataType { METADATA_INT32 = 0, METADATA_UINT32 = 1, METADATA_FLOAT = 2, METADATA_STRING = 3 };

// One row of a key table (40 bytes).
struct SINGLEMETADATA {
    char sKey[28];
    int eType;
    int iFound;
    bool bMandatory;
};

constexpr size_t kGlobalMetadataCount = 22;
constexpr size_t kImageMetadataCount = 5;

// The key tables in the order the writer emits them; never marked (readers mark working copies).
extern const SINGLEMETADATA glbMetaData[kGlobalMetadataCount];
extern const SINGLEMETADATA imgMetaData[kImageMetadataCount];

// Number of rows with bMandatory set.
size_t _internal_countMandatoryMetadata(const SINGLEMETADATA* table, size_t count);

// A malloc'ed working copy of a table with every iFound cleared; null when memory is short. Free with free().
SINGLEMETADATA* _internal_copyMetadataTable(const SINGLEMETADATA* table, size_t count);

// Sets every iFound of a working table back to 0.
void _internal_clearMetadataFound(SINGLEMETADATA* table, size_t count);

// Writes one set: 0 written; -15 empty key or key and value longer than 248 characters (nothing written);
// -5 the record could not be written whole.
int _internal_write_metadata_set_to_file(FILE* stream, std::string key, std::string value);
int _internal_write_metadata_set_to_file(FILE* stream, std::string key, unsigned int value);
int _internal_write_metadata_set_to_file(FILE* stream, std::string key, int value);
int _internal_write_metadata_set_to_file(FILE* stream, std::string key, double value);

// Reads one set: 0 read; -5 fewer than 252 bytes; -6 malformed (no CR LF, no "=" or an empty key).
int _internal_read_metadata_set_from_file(FILE* stream, std::string& key, std::string& value);

// Checks a key and value against a table and marks the matching row. Unknown keys are accepted and mark
// nothing. On false the reason goes into errorText (when not null and errorTextSize >= 2).
bool _internal_validate_metadata_set(const char* asKeySingleMetaData, const char* asValueSingleMetaData,
                                     SINGLEMETADATA* apInOutMetadataSetsToValidateAgainst,
                                     size_t aiNumMetadataSetsToValidateAgainst, char* errorText, size_t errorTextSize);
// The same for one "key=value" text.
bool _internal_validate_metadata_set(const char* asKeyValueSingleMetaData,
                                     SINGLEMETADATA* apInOutMetadataSetsToValidateAgainst,
                                     size_t aiNumMetadataSetsToValidateAgainst, char* errorText, size_t errorTextSize);

// Formats a message into buffer (at most size - 2 characters, NUL in the last byte); does nothing when
// buffer is null or size < 2.
void _internal_dumpErrorString(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#endif
