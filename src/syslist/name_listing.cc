// The exported name-listing calls: each loads the system list into a private model, answers from it
// and releases everything before returning; nothing is cached. Problems go to standard error through
// a private log writer. Calls may run in parallel: they share no state.
#include <cstdio>
#include <exception>

#include "platform/logging.h"
#include "qmv3/qmv3.h"
#include "syslist/sys_list.h"

namespace {

constexpr size_t kContextBufferSize = 64;

int listRawVideoServers(const char* path, char* context, NAME64* names, unsigned int* count) {
    CLogging log;
    log.InitializeLogging(nullptr, true, nullptr);
    CSysList list;
    if (!list.LoadSysList(path, true, log)) return QMV3_SYSLIST_LOAD_FAILED;
    if (context != nullptr) snprintf(context, kContextBufferSize, "%s", list.getZantContext());
    unsigned int sgpCount = 0;
    if (!list.returnNumSGPs(sgpCount)) return QMV3_SYSLIST_QUERY_FAILED;
    if (names == nullptr) {
        *count = sgpCount;
        return QMV3_SYSLIST_OK;
    }
    return list.returnSGPs(names, *count) ? QMV3_SYSLIST_OK : QMV3_SYSLIST_QUERY_FAILED;
}

int listImageSources(const char* path, NAME64* names, NAME64I* ids, unsigned int* count) {
    CLogging log;
    log.InitializeLogging(nullptr, true, nullptr);
    CSysList list;
    if (!list.LoadSysList(path, true, log)) return QMV3_SYSLIST_LOAD_FAILED;
    unsigned int sourceCount = 0;
    if (!list.returnNumImageSources(sourceCount)) return QMV3_SYSLIST_QUERY_FAILED;
    if (names == nullptr && ids == nullptr) {
        *count = sourceCount;
        return QMV3_SYSLIST_OK;
    }
    if (names != nullptr && !list.returnImageSources(names, *count)) return QMV3_SYSLIST_QUERY_FAILED;
    // With both arrays the second copy takes the first one's count as its room.
    if (ids != nullptr && !list.returnImageSources(ids, *count)) return QMV3_SYSLIST_QUERY_FAILED;
    return QMV3_SYSLIST_OK;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmGetAllRawVideoServerNames(const char* path, char* context, NAME64* names, unsigned int* count) {
    if (path == nullptr || count == nullptr) return QMV3_SYSLIST_NULL_ARGUMENT;
    try {
        return listRawVideoServers(path, context, names, count);
    } catch (...) {
        return QMV3_SYSLIST_LOAD_FAILED;
    }
}

QMV3_EXPORT int qmGetAllImageSourceNames(const char* path, NAME64* names, NAME64I* ids, unsigned int* count) {
    if (path == nullptr || count == nullptr) return QMV3_SYSLIST_NULL_ARGUMENT;
    try {
        return listImageSources(path, names, ids, count);
    } catch (...) {
        return QMV3_SYSLIST_LOAD_FAILED;
    }
}

}  // extern "C"
