// Identity of the running process: the executable's path, host and user names, process id, and the
// default folder of log files.
//
// Thread rules: all functions are re-entrant.
#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr unsigned kHostNameCapacity = 65;
constexpr char kDefaultLogFolder[] = "/tmp";

}  // namespace

bool platformGetFullExecutablePath(char* buf, unsigned size) {
    if (buf == nullptr || size == 0) return false;
    ssize_t length = readlink("/proc/self/exe", buf, size - 1);
    if (length < 0) {
        fprintf(stderr, "(WW) readlink() /proc/self/exe failed: %s\n", strerror(errno));
        buf[0] = '\0';
        return false;
    }
    buf[length] = '\0';
    return true;
}

int platformGetHostName(char* buf, unsigned* size) {
    if (buf == nullptr || size == nullptr) return -2;
    if (*size < kHostNameCapacity) {
        *size = kHostNameCapacity;
        return 0;
    }
    if (gethostname(buf, *size) != 0) return -1;
    buf[*size - 1] = '\0';
    *size = static_cast<unsigned>(strlen(buf)) + 1;
    return 1;
}

int platformGetUserName(char* buf, unsigned* size) {
    if (buf == nullptr || size == nullptr) return -2;
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> scratch;
    struct passwd entry;
    struct passwd* found = nullptr;
    // The account entry needs scratch memory; without it the name counts as unavailable.
    try {
        scratch.resize(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
        while (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) == ERANGE &&
               scratch.size() < (1u << 20)) {
            scratch.resize(scratch.size() * 2);
        }
    } catch (...) {
        return -1;
    }
    if (found == nullptr || found->pw_name == nullptr) return -1;
    unsigned needed = static_cast<unsigned>(strlen(found->pw_name)) + 1;
    if (*size < needed) {
        *size = needed;
        return 0;
    }
    memcpy(buf, found->pw_name, needed);
    *size = needed;
    return 1;
}

int platformGetProcessNameID(char* buf, unsigned* size, uint32_t* processId) {
    // A zero size leaves no room even for the terminating zero byte: treated like a missing buffer.
    if (buf == nullptr || size == nullptr || processId == nullptr || *size == 0) return -2;
    memset(buf, 0, *size);
    ssize_t length = readlink("/proc/self/exe", buf, *size - 1);
    if (length <= 0) return -1;
    buf[length] = '\0';
    *size = static_cast<unsigned>(length) + 1;
    *processId = static_cast<uint32_t>(getpid());
    return 1;
}

int platformGetDefaultLogFilePath(char* buf, unsigned* size) {
    if (buf == nullptr || size == nullptr) return -1;
    if (*size < sizeof kDefaultLogFolder) {
        *size = sizeof kDefaultLogFolder;
        return 0;
    }
    memcpy(buf, kDefaultLogFolder, sizeof kDefaultLogFolder);
    *size = sizeof kDefaultLogFolder;
    return 1;
}
