// The text rules of the system list (names, name=ID pairs, ":"-separated name lists) and the bounded
// name copy. Validation and loading share them, so a name that passes validation always fits the
// 64-character name fields of the model. No state; safe from any thread.
#ifndef QMV3_SYSLIST_NAME_RULES_H
#define QMV3_SYSLIST_NAME_RULES_H

#include <cstddef>
#include <cstdint>

constexpr size_t kMaxNameLength = 64;
constexpr uint32_t kMaxImageSourceID = 99999999;

// A name field of the model: up to 64 characters and a NUL.
typedef char tName65[kMaxNameLength + 1];

// 1 to 64 characters, no ":" and no "=". Null fails.
bool checkName(const char* text);
bool checkNamePiece(const char* text, size_t length);

// "name=ID": 3 to 73 characters, no ":", a name of 1 to 64 characters before the first "=", and a
// non-empty ID of at most 99999999 after it (a non-numeric ID reads as 0). On success the name and ID
// are stored where the pointers are not null.
bool parseNameID(const char* text, tName65* name, uint32_t* id);

// Copies a name of 1 to 64 characters (length given) into a field, zero-filled; false, and nothing
// copied, for any other length.
bool copyName(tName65& field, const char* text, size_t length);
bool copyName(tName65& field, const char* text);

// Visits every non-empty piece of text between ":" separators, in order, until visit returns false.
// Returns false when a visit did.
template <typename Visit>
bool forEachNamePiece(const char* text, Visit visit) {
    const char* start = text;
    for (const char* cursor = text;; ++cursor) {
        if (*cursor != ':' && *cursor != '\0') continue;
        if (cursor > start && !visit(start, static_cast<size_t>(cursor - start))) return false;
        if (*cursor == '\0') return true;
        start = cursor + 1;
    }
}

#endif
