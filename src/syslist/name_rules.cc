// Text rules of the system list.
#include "syslist/name_rules.h"

#include <cstdlib>
#include <cstring>

bool checkNamePiece(const char* text, size_t length) {
    if (length < 1 || length > kMaxNameLength) return false;
    return memchr(text, ':', length) == nullptr && memchr(text, '=', length) == nullptr;
}

bool checkName(const char* text) {
    if (text == nullptr) return false;
    return checkNamePiece(text, strnlen(text, kMaxNameLength + 1));
}

bool parseNameID(const char* text, tName65* name, uint32_t* id) {
    if (text == nullptr) return false;
    const size_t length = strnlen(text, 74);
    if (length < 3 || length > 73 || strchr(text, ':') != nullptr) return false;
    const char* equals = strchr(text, '=');
    if (equals == nullptr) return false;
    const size_t nameLength = static_cast<size_t>(equals - text);
    if (nameLength < 1 || nameLength > kMaxNameLength || equals[1] == '\0') return false;
    // The range is checked on the full value: narrowing first would let 4294967301 pass as 5.
    const long value = strtol(equals + 1, nullptr, 10);
    if (value < 0 || value > static_cast<long>(kMaxImageSourceID)) return false;
    if (name != nullptr) copyName(*name, text, nameLength);
    if (id != nullptr) *id = static_cast<uint32_t>(value);
    return true;
}

bool copyName(tName65& field, const char* text, size_t length) {
    if (text == nullptr || length < 1 || length > kMaxNameLength) return false;
    memset(field, 0, sizeof field);
    memcpy(field, text, length);
    return true;
}

bool copyName(tName65& field, const char* text) {
    return text != nullptr && copyName(field, text, strnlen(text, kMaxNameLength + 1));
}
