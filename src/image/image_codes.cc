// Texts of the pixel-format codes and of the flag bits, in both directions. The texts are stored in
// files and compared by tools, so their spelling and order are fixed. All functions are pure.
#include <strings.h>

#include <cstring>
#include <string>

#include "image/cdimage.h"

namespace {

const char* const kFormatNames[] = {"GRAY",   "RGB",    "RGBA",   "RGB15",   "RGB16", "JPEG", "TIFF",
                                    "YUV411", "YUV422", "YUV444", "HUFFYUV", "BMP",   "BAYER"};
static_assert(sizeof(kFormatNames) / sizeof(kFormatNames[0]) == CDIMAGE::FORMAT_MAX + 1, "one name per code");

// One flag bit with its words; a null word means the state has no text of its own.
struct FlagWords {
    int bit;
    const char* setWord;
    const char* clearWord;
};

// The order of the text: note that EVENTNUMBER_OUT_OF_SYNC comes before GLOBAL_TIMESTAMP.
const FlagWords kFlagWords[] = {
    {CDIMAGE::FLAG_LITTLE_ENDIAN_BYTE_ORDER, "LITTLE_ENDIAN", "BIG_ENDIAN"},
    {CDIMAGE::FLAG_IMAGE_LOSSLESS, "LOSSLESS", "LOSSLESS_BIT_NOT_SET"},
    {CDIMAGE::FLAG_IMAGE_HORIZONTAL_FLIP_180, "HORIZONTAL_FLIP_180", nullptr},
    {CDIMAGE::FLAG_IMAGE_VERTICAL_FLIP_180, "VERTICAL_FLIP_180", nullptr},
    {CDIMAGE::FLAG_XYSTART_ONE_BASED, "XYSTART_ONE_BASED", "XYSTART_ZERO_BASED"},
    {CDIMAGE::FLAG_EVENTNUMBER_OUT_OF_SYNC, "EVENTNUMBER_OUT_OF_SYNC", nullptr},
    {CDIMAGE::FLAG_TIMESTAMP_IS_GLOBAL_TIMESTAMP, "GLOBAL_TIMESTAMP", "LOCAL_TIMESTAMP"},
    {CDIMAGE::FLAG_TIMESTAMP_IS_EXTRAPOLATED, "TIMESTAMP_EXTRAPOLATED", nullptr},
    {CDIMAGE::FLAG_SCALE_OFFSET, "SCALE_OFFSET", nullptr},
    {CDIMAGE::FLAG_SOFTWARE_ROI_APPLIED, "SOFTWARE_ROI", nullptr},
};

std::string formatText(int format, bool withPrefix) {
    if (format >= 0 && format <= CDIMAGE::FORMAT_MAX) {
        return std::string(withPrefix ? "CF_IMAGE_FORMAT_" : "") + kFormatNames[format];
    }
    return std::string(withPrefix ? "UNKNOWN CF_IMAGE_FORMAT(" : "UNKNOWN FORMAT(") + std::to_string(format) + ")";
}

std::string flagsText(int flags) {
    std::string text;
    for (const FlagWords& words : kFlagWords) {
        const char* word = (flags & words.bit) != 0 ? words.setWord : words.clearWord;
        if (word == nullptr) continue;
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}

// Applies one word to flags; false for an unknown word or a bit already named.
bool applyFlagWord(const std::string& word, int& flags, int& namedBits) {
    for (const FlagWords& words : kFlagWords) {
        bool isSet = strcasecmp(word.c_str(), words.setWord) == 0;
        bool isClear = words.clearWord != nullptr && strcasecmp(word.c_str(), words.clearWord) == 0;
        if (!isSet && !isClear) continue;
        if ((namedBits & words.bit) != 0) return false;
        namedBits |= words.bit;
        if (isSet) flags |= words.bit;
        return true;
    }
    return false;
}

}  // namespace

char* CDIMAGE::getFormatAsString(int format, bool withPrefix, char* dst, size_t& size) {
    if (dst == nullptr) return nullptr;
    std::string text = formatText(format, withPrefix);
    if (size < text.size() + 1) {
        size = text.size() + 1;
        return nullptr;
    }
    std::memcpy(dst, text.c_str(), text.size() + 1);
    return dst;
}

char* CDIMAGE::getFormatAsString(int format, char* dst, size_t& size) {
    return getFormatAsString(format, false, dst, size);
}

char* CDIMAGE::getImageFormatAsString(char* dst, size_t& size) const {
    return getFormatAsString(m_Img.frameHeader.imageFormat, false, dst, size);
}

char* CDIMAGE::getSourceFormatAsString(char* dst, size_t& size) const {
    return getFormatAsString(m_Img.frameHeader.sourceFormat, false, dst, size);
}

bool CDIMAGE::getFormatFromString(int& format, const char* text) {
    if (text == nullptr) return false;
    for (int code = 0; code <= FORMAT_MAX; ++code) {
        if (std::strcmp(text, kFormatNames[code]) == 0) {
            format = code;
            return true;
        }
    }
    return false;
}

// A text that fits is copied whole. A longer one is cut to size - 2 characters, the cut that callers of
// the message buffers know; the last byte is always NUL.
char* CDIMAGE::getFlagsAsString(int flags, char* dst, size_t& size) {
    if (dst == nullptr) return nullptr;
    std::string text = flagsText(flags);
    if (size >= 1) {
        size_t copied = 0;
        if (text.size() + 1 <= size) {
            copied = text.size();
        } else if (size >= 2) {
            copied = size - 2;
        }
        std::memcpy(dst, text.data(), copied);
        dst[copied] = '\0';
        dst[size - 1] = '\0';
    }
    size = text.size() + 1;
    return dst;
}

char* CDIMAGE::getFlagsAsString(char* dst, size_t& size) const {
    return getFlagsAsString(m_Img.frameHeader.imageFlags, dst, size);
}

bool CDIMAGE::getFlagsFromString(int& flags, const char* text) {
    if (text == nullptr) return false;
    int assembled = 0;
    int namedBits = 0;
    const char* cursor = text;
    while (*cursor != '\0') {
        if (*cursor == ' ') {
            ++cursor;
            continue;
        }
        const char* end = std::strchr(cursor, ' ');
        if (end == nullptr) end = cursor + std::strlen(cursor);
        if (!applyFlagWord(std::string(cursor, end), assembled, namedBits)) return false;
        cursor = end;
    }
    flags = assembled;
    return true;
}
