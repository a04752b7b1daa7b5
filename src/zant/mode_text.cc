// Mode bits back to keyword text, the access bits a subscription mode needs, and the texts of
// completion codes from the control system's own list.
#include <cstdio>

#include "zant.h"
#include "qmv3/qmv3.h"
#include "zant/access_modes.h"

namespace {

// Names of the base modes, selected by the low four bits; 7 to 15 have none.
const char* const kBaseModeNames[] = {"CANCEL", "SINGLE", "DATACHANGE", "TIMER", "REGISTER", "RECEIVE", "EVENT"};
constexpr int kBaseModeCount = sizeof(kBaseModeNames) / sizeof(kBaseModeNames[0]);

struct ModeFlag {
    const char* name;
    int value;
};

// In the order they are written; BCAST and MCAST share their bit and are both written.
const ModeFlag kModeFlags[] = {
    {"NODUPLICATES", 16}, {"SEEKPATTERN", 32}, {"MISSPATTERN", 64},  {"STREAM", 128},
    {"BCAST", 512},       {"MCAST", 512},      {"USEONERROR", 1024}, {"RETRY", 2048},
    {"GROUPED", 4096},    {"CONNECT", 8192},   {"WAIT", 16384},      {"SYNCNOTIFY", 32768},
};

}  // namespace

int zantModeToString(int mode, bool shortNames, std::string& out) {
    out.clear();
    const int baseMode = mode & 0xF;
    if (baseMode >= kBaseModeCount) {
        out = "(error)";
        return 0;
    }
    const char* prefix = shortNames ? "" : "CM_";
    out.append(prefix).append(kBaseModeNames[baseMode]);
    for (const ModeFlag& flag : kModeFlags) {
        if ((mode & flag.value) == flag.value) out.append("|").append(prefix).append(flag.name);
    }
    return 1;
}

int zantCMtoCA(int mode, int& access) {
    const bool stream = (mode & QMV3_CM_STREAM) != 0;
    const bool multicast = (mode & QMV3_CM_MCAST) != 0;
    const bool connect = (mode & QMV3_CM_CONNECT) != 0;
    // The transports exclude one another.
    if (int(stream) + int(multicast) + int(connect) > 1) return 0;
    int bits = (mode & 0x7) != 0 ? CA_READ : 0;
    if (stream) bits |= QMV3_CA_STREAM;
    if (multicast) bits |= QMV3_CA_MCAST;
    if (connect) bits |= CA_CONNECT;
    access = bits;
    return 1;
}

char* zantReturnCodeToString(int code, char* buffer, size_t size) {
    if (buffer == nullptr || size < 2) return buffer;
    // Widened before negating: the magnitude of the smallest int does not fit into an int.
    const long long magnitude = code < 0 ? -static_cast<long long>(code) : code;
    if (magnitude < GetErrorListSize()) {
        const char* text = cc2str(static_cast<int>(magnitude));
        std::snprintf(buffer, size - 1, "%s", text != nullptr ? text : "");
    } else {
        std::snprintf(buffer, size - 1, "%lld", magnitude);
    }
    buffer[size - 1] = '\0';
    return buffer;
}
