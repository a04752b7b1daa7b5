// Escaping of texts from files and lists: see text_escape.h.
#include "util/text_escape.h"

#include <cstdio>

namespace qmv3 {
namespace {

void AppendHex(std::string& out, unsigned char byte) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
    out += hex;
}

// The length of the valid UTF-8 sequence at `at` (2 to 4), or 0 when there is none. Overlong forms,
// surrogates, values above U+10FFFF and the C1 controls (U+0080 .. U+009F) count as invalid.
size_t ValidSequence(const unsigned char* at, size_t left) {
    const unsigned char lead = at[0];
    size_t length = 0;
    unsigned value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (length > left) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (at[i] & 0x3F);
    }
    static const unsigned kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    if (value <= 0x9F) return 0;
    return length;
}

}  // namespace

std::string EscapeText(const char* text, size_t size) {
    std::string out;
    if (text == nullptr) return out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < size && bytes[i] != 0;) {
        const unsigned char c = bytes[i];
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (const size_t length = c >= 0x80 ? ValidSequence(bytes + i, size - i) : 0) {
            for (size_t k = 0; k < length && bytes[i + k] != 0; ++k) out += static_cast<char>(bytes[i + k]);
            i += length;
        } else {
            AppendHex(out, c);
            ++i;
        }
    }
    return out;
}

}  // namespace qmv3
