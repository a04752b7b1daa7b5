// The exported name-listing calls: each loads the system list into a private model, answers from it
// and releases everything before returning; nothing is cached. Problems go to standard error through
// a private log writer. Calls may run in parallel: they share no state.
#include <cstdio>
#include <exception>

#include "platform/logging.h"
#include "qmv3/qmv3.h"
#include "syslist/sys_list.h"
#include "util/c_boundary.h"

namespace {

constexpr int kListingDone = 1;
constexpr int kMissingArgument = 0;
constexpr int kNotLoaded = -1;
constexpr int kQueryFailed = -2;

constexpr size_t kContextBufferSize = 64;

int listRawVideoServers(const char* path, char* context, NAME64* names, unsigned int* count) {
    CLogging log;
    log.InitializeLogging(nullptr, true, nullptr);
    CSysList list;
    if (!list.LoadSysList(path, true, log)) return kNotLoaded;
    if (context != nullptr) snprintf(context, kContextBufferSize, "%s", list.getZantContext());
    unsigned int sgpCount = 0;
    if (!list.returnNumSGPs(sgpCount)) return kQueryFailed;
    if (names == nullptr) {
        *count = sgpCount;
        return kListingDone;
    }
    return list.returnSGPs(names, *count) ? kListingDone : kQueryFailed;
}

int listImageSources(const char* path, NAME64* names, NAME64I* ids, unsigned int* count) {
    CLogging log;
    log.InitializeLogging(nullptr, true, nullptr);
    CSysList list;
    if (!list.LoadSysList(path, true, log)) return kNotLoaded;
    unsigned int sourceCount = 0;
    if (!list.returnNumImageSources(sourceCount)) return kQueryFailed;
    if (names == nullptr && ids == nullptr) {
        *count = sourceCount;
        return kListingDone;
    }
    if (names != nullptr && !list.returnImageSources(names, *count)) return kQueryFailed;
    // With both arrays the second copy takes the first one's count as its room.
    if (ids != nullptr && !list.returnImageSources(ids, *count)) return kQueryFailed;
    return kListingDone;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmGetAllRawVideoServerNames(const char* path, char* context, NAME64* names, unsigned int* count) {
    if (path == nullptr || count == nullptr) return kMissingArgument;
    return qmv3::Guarded<int>(kNotLoaded, kNotLoaded, [&] { return listRawVideoServers(path, context, names, count); });
}

QMV3_EXPORT int qmGetAllImageSourceNames(const char* path, NAME64* names, NAME64I* ids, unsigned int* count) {
    if (path == nullptr || count == nullptr) return kMissingArgument;
    return qmv3::Guarded<int>(kNotLoaded, kNotLoaded, [&] { return listImageSources(path, names, ids, count); });
}

}  // extern "C"
