// Keyword tables of subscription modes and the decoders that turn a keyword list such as
// "CM_TIMER|CM_STREAM" or "event, connect" into mode bits. The current decoder refuses repeated and
// conflicting keywords; the older one only ORs the values of full keyword names.
//
// Thread rules: the text is split with a tokenizer state of the call's own, so decoders may run on
// several threads at once.
#include <strings.h>

#include <cstring>

#include "qmv3/qmv3.h"
#include "zant/access_modes.h"

const ZANTMODESNEW zantModesNew[7] = {
    {"CM_EVENT", "EVENT", 6, true, 1},
    {"CM_TIMER", "TIMER", 3, true, 1},
    {"CM_STREAM", "STREAM", 128, true, 2},
    {"CM_MCAST", "MCAST", 512, true, 2},
    {"CM_NETWORK", "NETWORK", 512, true, 2},
    {"CM_CONNECT", "CONNECT", 8192, true, 2},
    {"CM_SYNCNOTIFY", "SYNCNOTIFY", 32768, false, 0},
};

const ZANTMODES zantModesCM[6] = {
    {"CM_SYNCNOTIFY", 32768}, {"CM_EVENT", 6}, {"CM_CONNECT", 8192},
    {"CM_MCAST", 512},        {"CM_TIMER", 3}, {"CM_DATACHANGE", 2},
};

const ZANTMODES zantModesCA[3] = {{"CA_READ", 1}, {"CA_WRITE", 2}, {"CA_CONNECT", 8192}};

namespace {

const char kSeparators[] = "| ,\t\n";
constexpr int kBaseModeBits = 0x7;  // EVENT and TIMER live here

// Splits a copy of the text into words. Returns -1 for a text too long, -2 for a text without words,
// otherwise the number of words, whose pointers point into the copy.
class ModeWords {
  public:
    explicit ModeWords(const char* text) {
        if (text == nullptr) return;
        if (std::strlen(text) > kZantModeTextMaxLength) {
            tooLong_ = true;
            return;
        }
        std::strcpy(copy_, text);
        char* state = nullptr;
        for (char* word = strtok_r(copy_, kSeparators, &state); word != nullptr;
             word = strtok_r(nullptr, kSeparators, &state)) {
            words_[count_++] = word;  // at most 101 words fit into 201 characters
        }
    }
    ModeWords(const ModeWords&) = delete;
    ModeWords& operator=(const ModeWords&) = delete;

    // 0 when there are words, else the decoder's code.
    int failure() const {
        return tooLong_ ? QMV3_MODE_DECODE_TOO_LONG : (count_ == 0 ? QMV3_MODE_DECODE_NO_KEYWORD : 0);
    }
    int count() const { return count_; }
    const char* word(int index) const { return words_[index]; }

  private:
    char copy_[kZantModeTextMaxLength + 1] = {};
    const char* words_[kZantModeTextMaxLength / 2 + 1] = {};
    int count_ = 0;
    bool tooLong_ = false;
};

const ZANTMODESNEW* FindNewRow(const char* word, int rowCount, const ZANTMODESNEW* table) {
    for (int row = 0; row < rowCount; ++row) {
        if (strcasecmp(word, table[row].name) == 0 || strcasecmp(word, table[row].shortName) == 0) return &table[row];
    }
    return nullptr;
}

// True when another row of the exclusive row's group is already among the collected bits.
bool GroupTaken(const ZANTMODESNEW& row, int collected, int rowCount, const ZANTMODESNEW* table) {
    if (!row.exclusive) return false;
    for (int other = 0; other < rowCount; ++other) {
        if (&table[other] != &row && table[other].group == row.group && (table[other].value & collected) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int zantDecodeModeStringANYnew(const char* text, int rowCount, const ZANTMODESNEW* table) {
    const ModeWords words(text);
    if (words.failure() != 0) return words.failure();
    int collected = 0;
    for (int index = 0; index < words.count(); ++index) {
        const ZANTMODESNEW* row = table == nullptr ? nullptr : FindNewRow(words.word(index), rowCount, table);
        if (row == nullptr) return QMV3_MODE_DECODE_UNKNOWN_KEYWORD;
        if ((row->value & collected) != 0) return QMV3_MODE_DECODE_CONFLICT;
        if (GroupTaken(*row, collected, rowCount, table)) return QMV3_MODE_DECODE_CONFLICT;
        collected |= row->value;
    }
    return (collected & kBaseModeBits) == 0 ? QMV3_MODE_DECODE_NO_BASE_MODE : collected;
}

int zantDecodeModeStringCMnew(const char* text) { return zantDecodeModeStringANYnew(text, 7, zantModesNew); }

int zantDecodeModeStringCMnew(const char* text, int defaultMode) {
    const int mode = zantDecodeModeStringCMnew(text);
    return mode < 0 ? defaultMode : mode;
}

int zantDecodeModeStringANY(const char* text, int rowCount, const ZANTMODES* table) {
    const ModeWords words(text);
    if (words.failure() != 0) return words.failure();
    int collected = 0;
    for (int index = 0; index < words.count(); ++index) {
        int row = 0;
        while (table != nullptr && row < rowCount && strcasecmp(words.word(index), table[row].name) != 0) ++row;
        if (table == nullptr || row >= rowCount) return QMV3_MODE_DECODE_UNKNOWN_KEYWORD;
        collected |= table[row].value;
    }
    return collected;
}

int zantDecodeModeStringCM(const char* text) { return zantDecodeModeStringANY(text, 6, zantModesCM); }

int zantDecodeModeStringCM(const char* text, int defaultMode) {
    const int mode = zantDecodeModeStringCM(text);
    return mode < 0 ? defaultMode : mode;
}

int zantDecodeModeStringCA(const char* text) { return zantDecodeModeStringANY(text, 3, zantModesCA); }

int zantDecodeModeStringCA(const char* text, int defaultMode) {
    const int mode = zantDecodeModeStringCA(text);
    return mode < 0 ? defaultMode : mode;
}
