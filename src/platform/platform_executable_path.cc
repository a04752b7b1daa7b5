// Paths of files that live beside the running executable, such as default log and configuration files.
//
// Thread rules: each thread has its own result storage, so concurrent callers never see each other's
// text; a thread's next call replaces its previous result.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr unsigned kExecutablePathSize = 255;
constexpr size_t kComposedPathLimit = 254;  // bytes of the result, terminator included

}  // namespace

const char* ObtainExecutablePathWithFilename(const char* filename) {
    thread_local char executablePath[kExecutablePathSize];
    thread_local char composed[kExecutablePathSize];
    if (filename == nullptr) filename = "";
    if (!platformGetFullExecutablePath(executablePath, kExecutablePathSize)) executablePath[0] = '\0';
    char* lastSlash = std::strrchr(executablePath, '/');
    if (lastSlash != nullptr) {
        *lastSlash = '\0';
    } else {
        executablePath[0] = '\0';
    }
    // A result longer than the storage is cut; the caller gets the cut path.
    const int length = executablePath[0] != '\0'
                           ? std::snprintf(composed, kComposedPathLimit, "%s%s%s", executablePath, "/", filename)
                           : std::snprintf(composed, kComposedPathLimit, "%s", filename);
    if (length < 0) composed[0] = '\0';
    return composed;
}
