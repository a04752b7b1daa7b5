// Transfer modes of control-system subscriptions as text and back, the access bits a mode needs, and
// the texts of completion codes. Users write modes as keyword lists such as "CM_TIMER|CM_STREAM".
//
// Thread rules: the decoders keep no state between calls and may run on any thread.
#ifndef QMV3_ZANT_ACCESS_MODES_H
#define QMV3_ZANT_ACCESS_MODES_H

#include <cstddef>
#include <string>

// One keyword of the current mode table. Exclusive rows exclude every other row of their group.
struct ZANTMODESNEW {
    const char* name;
    const char* shortName;
    int value;
    bool exclusive;
    int group;
};

// One keyword of the older tables (full names only, no conflict checks).
struct ZANTMODES {
    const char* name;
    int value;
};

extern const ZANTMODESNEW zantModesNew[7];
extern const ZANTMODES zantModesCM[6];
extern const ZANTMODES zantModesCA[3];

// Texts longer than this many characters are refused (-1).
constexpr size_t kZantModeTextMaxLength = 200;

// Mode bits (>= 0), or -1 text too long, -2 no keyword (also a null text), -3 unknown keyword, -4 repeated or
// conflicting keywords, -5 neither EVENT nor TIMER named.
int zantDecodeModeStringANYnew(const char* text, int rowCount, const ZANTMODESNEW* table);
int zantDecodeModeStringCMnew(const char* text);
// The decoded bits, or defaultMode when decoding fails.
int zantDecodeModeStringCMnew(const char* text, int defaultMode);

// Older form: OR of the keyword values, or -1 too long, -2 no keyword, -3 unknown keyword.
int zantDecodeModeStringANY(const char* text, int rowCount, const ZANTMODES* table);
int zantDecodeModeStringCM(const char* text);
int zantDecodeModeStringCM(const char* text, int defaultMode);
int zantDecodeModeStringCA(const char* text);
int zantDecodeModeStringCA(const char* text, int defaultMode);

// Writes the mode as keywords ("CM_TIMER|CM_STREAM", or "TIMER|STREAM" with short names). Returns 1, or 0
// with out = "(error)" when the base mode (low four bits) has no name.
int zantModeToString(int mode, bool shortNames, std::string& out);

// Stores the access bits that a subscription with this mode needs and returns 1; returns 0 and leaves
// access unchanged when the mode combines two of STREAM, MCAST/NETWORK and CONNECT.
int zantCMtoCA(int mode, int& access);

// Writes the text of |code| (or its number when the control system has no text for it) into buffer,
// at most size - 2 characters; returns buffer. A null buffer or a size below 2 is left alone.
char* zantReturnCodeToString(int code, char* buffer, size_t size);

#endif
