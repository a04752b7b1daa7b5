// Which downstream servers (GS2CLs, Raw2Jpegs: the layers) may use an SGP, which SGPs may serve an
// image source, and whether one component may be connected to another. A server with an empty SGP
// list may use every SGP.
#include <cstring>

#include "syslist/sys_list.h"

namespace {

// How often a server offers itself to an SGP: once when its list is empty (every SGP), else once
// for every entry naming the SGP (without regard to case).
uint32_t offersFor(const tServerRecord& server, const char* sgp) {
    return server.sgps.count == 0 ? 1 : nameListCount(server.sgps, sgp, false);
}

bool serverAllowsSGP(const tServerRecord& server, const char* sgp) { return offersFor(server, sgp) > 0; }

constexpr int kAllowed = 0;
constexpr int kUnknownComponent = -2;
constexpr int kWrongKind = -3;
constexpr int kNotAllowed = -4;

}  // namespace

int CSysList::countPossibleServers(const tTable<tServerRecord>& servers, const char* sgp, unsigned int& n) {
    if (!loaded || !existSGP(sgp)) return 0;
    unsigned int possible = 0;
    for (uint32_t i = 0; i < servers.count; ++i) {
        if (serverAllowsSGP(servers.records[i], sgp)) ++possible;
    }
    n = possible;
    return 1;
}

int CSysList::possibleServersForSGP(const tTable<tServerRecord>& servers, const char* sgp, NAME64* out,
                                    unsigned int& n) {
    if (!loaded || !existSGP(sgp)) return 0;
    // Without an array the call counts every entry it would write.
    const unsigned int room = out != nullptr ? n : UINT32_MAX;
    unsigned int written = 0;
    for (uint32_t i = 0; i < servers.count && written < room; ++i) {
        const uint32_t offers = offersFor(servers.records[i], sgp);
        for (uint32_t k = 0; k < offers && written < room; ++k) {
            if (out != nullptr) memcpy(out[written].name, servers.records[i].name, sizeof out[written].name);
            ++written;
        }
    }
    n = written;
    return 1;
}

int CSysList::returnNumGS2CLsPossibleForSGP(const char* sgp, unsigned int& n) {
    return countPossibleServers(gs2cls, sgp, n);
}

int CSysList::returnNumRaw2JpegsPossibleForSGP(const char* sgp, unsigned int& n) {
    return countPossibleServers(raw2Jpegs, sgp, n);
}

int CSysList::returnGS2CLsPossibleForSGP(const char* sgp, NAME64* out, unsigned int& n) {
    return possibleServersForSGP(gs2cls, sgp, out, n);
}

int CSysList::returnRaw2JpegsPossibleForSGP(const char* sgp, NAME64* out, unsigned int& n) {
    return possibleServersForSGP(raw2Jpegs, sgp, out, n);
}

int CSysList::returnNumLayersPossibleForSGP(const char* sgp, unsigned int& n) {
    if (sgp == nullptr) return 0;
    unsigned int gs2clCount = 0;
    unsigned int raw2JpegCount = 0;
    // A part that fails counts as none.
    const int gs2clResult = returnNumGS2CLsPossibleForSGP(sgp, gs2clCount);
    const int raw2JpegResult = returnNumRaw2JpegsPossibleForSGP(sgp, raw2JpegCount);
    if (!gs2clResult) gs2clCount = 0;
    if (!raw2JpegResult) raw2JpegCount = 0;
    n = gs2clCount + raw2JpegCount;
    return gs2clResult || raw2JpegResult ? 1 : 0;
}

int CSysList::returnLayersPossibleForSGP(const char* sgp, NAME64* out, unsigned int& n) {
    if (sgp == nullptr) return 0;
    const unsigned int room = n;
    unsigned int gs2clWritten = room;
    const int gs2clResult = returnGS2CLsPossibleForSGP(sgp, out, gs2clWritten);
    if (!gs2clResult) gs2clWritten = 0;
    unsigned int raw2JpegWritten = out != nullptr ? room - gs2clWritten : 0;
    const int raw2JpegResult =
        returnRaw2JpegsPossibleForSGP(sgp, out != nullptr ? out + gs2clWritten : nullptr, raw2JpegWritten);
    if (!raw2JpegResult) raw2JpegWritten = 0;
    n = gs2clWritten + raw2JpegWritten;
    return gs2clResult ? 1 : raw2JpegResult;
}

int CSysList::returnNumSGPsWhereTheImageSourceMayBeAvailableAt(const char* sourceName, unsigned int& n) {
    unsigned int entries = 0;
    for (uint32_t i = 0; i < sgps.count; ++i) entries += nameListCount(sgps.records[i].imageSources, sourceName, true);
    n = entries;
    return 1;
}

int CSysList::returnSGPsWhereTheImageSourceMayBeAvailableAt(const char* sourceName, NAME64* out, unsigned int& n) {
    if (!loaded || sourceName == nullptr || sourceName[0] == '\0') return 0;
    if (sgps.count == 0) {
        n = 0;
        return 1;
    }
    if (out != nullptr && n == 0) return 0;
    unsigned int matches = 0;
    for (uint32_t i = 0; i < sgps.count; ++i) {
        if (nameListCount(sgps.records[i].imageSources, sourceName, true) == 0) continue;
        if (out != nullptr && matches < n) memcpy(out[matches].name, sgps.records[i].name, sizeof out[matches].name);
        ++matches;
    }
    n = matches;
    return 1;
}

int CSysList::isComponentAAllowedAtB(const char* a, const char* b, int& reason) {
    // Without a list the caller's reason stays as it was.
    if (!loaded) return 0;
    unsigned int indexA = 0;
    unsigned int indexB = 0;
    if (existImageSource(a)) {
        if (!existSGP(b, indexB)) {
            reason = kWrongKind;
        } else {
            const tNameList& served = sgps.records[indexB].imageSources;
            reason = served.count == 0 || nameListCount(served, a, false) > 0 ? kAllowed : kNotAllowed;
        }
    } else if (existSGP(a)) {
        const tServerRecord* server = existGS2CL(b, indexB)      ? &gs2cls.records[indexB]
                                      : existRaw2Jpeg(b, indexB) ? &raw2Jpegs.records[indexB]
                                                                 : nullptr;
        reason = server == nullptr ? kWrongKind : serverAllowsSGP(*server, a) ? kAllowed : kNotAllowed;
    } else if (existGS2CL(a, indexA) || existRaw2Jpeg(a, indexA)) {
        const tServerRecord& server = existGS2CL(a) ? gs2cls.records[indexA] : raw2Jpegs.records[indexA];
        reason = !existSGP(b) ? kWrongKind : serverAllowsSGP(server, b) ? kAllowed : kNotAllowed;
    } else {
        reason = kUnknownComponent;
    }
    return reason == kAllowed ? 1 : 0;
}

int CSysList::isComponentAAllowedAtB(const char* a, const char* b) {
    int reason = 0;
    return isComponentAAllowedAtB(a, b, reason);
}
