// Queries on a loaded system list: counts and names of the components, image sources per SGP, the
// servers that may use an SGP, and the connection rule. Names go out as 64-byte fields (no NUL when a
// name has all 64 characters).
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "syslist/sys_list.h"

namespace {

void copyOut(NAME64& out, const tName65& name) { memcpy(out.name, name, sizeof out.name); }

void copyOut(NAME64I& out, const tImageSourceRecord& source) {
    memcpy(out.name, source.name, sizeof out.name);
    out.ID = source.ID;
}

void copyOut(NAME64& out, const tImageSourceRecord& source) { copyOut(out, source.name); }
void copyOut(NAME64& out, const tSGPRecord& sgp) { copyOut(out, sgp.name); }
void copyOut(NAME64& out, const tServerRecord& server) { copyOut(out, server.name); }

// The list protocol: no records gives 0; a null out asks for the count; otherwise the first
// min(count, n) entries are copied and n is their number.
template <typename Entry, typename Out>
int copyList(const Entry* entries, uint32_t count, Out* out, unsigned int& n) {
    if (count == 0) {
        n = 0;
        return 1;
    }
    if (out == nullptr) {
        n = count;
        return 1;
    }
    const unsigned int written = std::min<unsigned int>(count, n);
    for (unsigned int i = 0; i < written; ++i) copyOut(out[i], entries[i]);
    n = written;
    return 1;
}

// Index of the first record named name (exactly or without regard to case), or -1.
template <typename Record>
long findRecord(const tTable<Record>& table, const char* name, bool caseSensitive) {
    if (name == nullptr) return -1;
    for (uint32_t i = 0; i < table.count; ++i) {
        const char* recordName = table.records[i].name;
        if (caseSensitive ? strcmp(recordName, name) == 0 : strcasecmp(recordName, name) == 0) return i;
    }
    return -1;
}

template <typename Record>
int exists(const tTable<Record>& table, const char* name, unsigned int* index) {
    const long found = findRecord(table, name, false);
    if (found < 0) return 0;
    if (index != nullptr) *index = static_cast<unsigned int>(found);
    return 1;
}

}  // namespace

int CSysList::returnNumImageSources(unsigned int& n) {
    if (!loaded) return 0;
    n = imageSources.count;
    return 1;
}

int CSysList::returnNumSGPs(unsigned int& n) {
    if (!loaded) return 0;
    n = sgps.count;
    return 1;
}

int CSysList::returnNumGS2CLs(unsigned int& n) {
    if (!loaded) return 0;
    n = gs2cls.count;
    return 1;
}

int CSysList::returnNumRaw2Jpegs(unsigned int& n) {
    if (!loaded) return 0;
    n = raw2Jpegs.count;
    return 1;
}

int CSysList::returnImageSources(NAME64I* out, unsigned int& n) {
    return loaded ? copyList(imageSources.records, imageSources.count, out, n) : 0;
}

int CSysList::returnImageSources(NAME64* out, unsigned int& n) {
    return loaded ? copyList(imageSources.records, imageSources.count, out, n) : 0;
}

int CSysList::returnSGPs(NAME64* out, unsigned int& n) {
    return loaded ? copyList(sgps.records, sgps.count, out, n) : 0;
}

int CSysList::returnGS2CLs(NAME64* out, unsigned int& n) {
    return loaded ? copyList(gs2cls.records, gs2cls.count, out, n) : 0;
}

int CSysList::returnRaw2Jpegs(NAME64* out, unsigned int& n) {
    return loaded ? copyList(raw2Jpegs.records, raw2Jpegs.count, out, n) : 0;
}

int CSysList::returnImageSourceSGPType(const char* sourceName, tSGPTYPES& type) {
    const long found = loaded ? findRecord(imageSources, sourceName, true) : -1;
    if (found < 0) return 0;
    type = imageSources.records[found].type;
    return 1;
}

int CSysList::returnImageSourceSGPType(unsigned int id, tSGPTYPES& type) {
    if (!loaded) return 0;
    for (uint32_t i = 0; i < imageSources.count; ++i) {
        if (imageSources.records[i].ID == id) {
            type = imageSources.records[i].type;
            return 1;
        }
    }
    return 0;
}

int CSysList::returnImageSourceID(const char* sourceName, unsigned int& id) {
    const long found = loaded ? findRecord(imageSources, sourceName, true) : -1;
    if (found < 0) return 0;
    id = imageSources.records[found].ID;
    return 1;
}

int CSysList::returnSGPType(const char* sgpName, tSGPTYPES& type) {
    const long found = loaded ? findRecord(sgps, sgpName, true) : -1;
    if (found < 0) return 0;
    type = sgps.records[found].type;
    return 1;
}

int CSysList::existImageSource(const char* n) { return exists(imageSources, n, nullptr); }
int CSysList::existImageSource(const char* n, unsigned int& index) { return exists(imageSources, n, &index); }
int CSysList::existSGP(const char* n) { return exists(sgps, n, nullptr); }
int CSysList::existSGP(const char* n, unsigned int& index) { return exists(sgps, n, &index); }
int CSysList::existGS2CL(const char* n) { return exists(gs2cls, n, nullptr); }
int CSysList::existGS2CL(const char* n, unsigned int& index) { return exists(gs2cls, n, &index); }
int CSysList::existRaw2Jpeg(const char* n) { return exists(raw2Jpegs, n, nullptr); }
int CSysList::existRaw2Jpeg(const char* n, unsigned int& index) { return exists(raw2Jpegs, n, &index); }
int CSysList::existImageSourceGroup(const char* n, unsigned int& index) { return exists(imageSourceGroups, n, &index); }

int CSysList::returnNumImageSourcesAvailableAtSGP(const char* sgp, unsigned int& n) {
    const long found = loaded ? findRecord(sgps, sgp, false) : -1;
    n = found < 0 ? 0 : sgps.records[found].imageSources.count;
    return found < 0 ? 0 : 1;
}

namespace {

// Walks the image sources served by every SGP named sgp; out may be null (counting only).
template <typename Out>
unsigned int collectImageSourcesAtSGP(CSysList& list, const tTable<tSGPRecord>& sgps,
                                      const tTable<tImageSourceRecord>& sources, const char* sgp, Out* out,
                                      unsigned int room) {
    unsigned int produced = 0;
    for (uint32_t i = 0; i < sgps.count && produced < room; ++i) {
        if (strcasecmp(sgps.records[i].name, sgp) != 0) continue;
        const tNameList& served = sgps.records[i].imageSources;
        for (uint32_t k = 0; k < served.count && produced < room; ++k) {
            unsigned int index = 0;
            if (!list.existImageSource(served.names[k], index)) continue;
            if (out != nullptr) copyOut(out[produced], sources.records[index]);
            ++produced;
        }
    }
    return produced;
}

}  // namespace

int CSysList::returnImageSourcesAvailableAtSGP(const char* sgp, NAME64I* out, unsigned int& n) {
    if (!loaded || sgp == nullptr) return 0;
    n = collectImageSourcesAtSGP(*this, sgps, imageSources, sgp, out, n);
    return 1;
}

int CSysList::returnImageSourcesAvailableAtSGP(const char* sgp, NAME64* out, unsigned int& n) {
    if (!loaded || sgp == nullptr) return 0;
    n = collectImageSourcesAtSGP(*this, sgps, imageSources, sgp, out, n);
    return 1;
}

int CSysList::returnNumSGPsAvailableAtGS2CL(const char* gs2cl, unsigned int& n) {
    const long found = loaded ? findRecord(gs2cls, gs2cl, false) : -1;
    n = found < 0 ? 0 : gs2cls.records[found].sgps.count;
    return found < 0 ? 0 : 1;
}

int CSysList::returnNumSGPsAvailableAtRaw2Jpeg(const char* raw2Jpeg, unsigned int& n) {
    const long found = loaded ? findRecord(raw2Jpegs, raw2Jpeg, false) : -1;
    n = found < 0 ? 0 : raw2Jpegs.records[found].sgps.count;
    return found < 0 ? 0 : 1;
}

int CSysList::returnSGPsAvailableAtGS2CL(const char* gs2cl, NAME64* out, unsigned int& n) {
    const long found = loaded ? findRecord(gs2cls, gs2cl, false) : -1;
    if (found < 0) return 0;
    const tNameList& list = gs2cls.records[found].sgps;
    return copyList(list.names, list.count, out, n);
}

int CSysList::returnSGPsAvailableAtRaw2Jpeg(const char* raw2Jpeg, NAME64* out, unsigned int& n) {
    const long found = loaded && out != nullptr ? findRecord(raw2Jpegs, raw2Jpeg, false) : -1;
    if (found < 0) return 0;
    const tNameList& list = raw2Jpegs.records[found].sgps;
    if (list.count > n) return 0;
    return copyList(list.names, list.count, out, n);
}
