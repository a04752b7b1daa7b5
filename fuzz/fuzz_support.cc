// Scratch folder and log silencing for the fuzz harnesses. The folder lives on a memory file system
// when one is mounted, so that harnesses which hand file names to the library stay fast.
#include "fuzz_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "qmv3/qmv3.h"

namespace qmv3fuzz {
namespace {

std::string& scratchFolder() {
    static std::string folder;
    return folder;
}

void removeScratchFolder() {
    ClearScratch();
    if (!scratchFolder().empty()) rmdir(scratchFolder().c_str());
}

const std::string& ensureScratchFolder() {
    std::string& folder = scratchFolder();
    if (!folder.empty()) return folder;
    struct stat info;
    std::string base = (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode)) ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/qmv3-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = pattern;
    std::atexit(removeScratchFolder);
    return folder;
}

}  // namespace

std::string ScratchPath(const char* name) { return ensureScratchFolder() + "/" + name; }

std::string WriteScratchFile(const char* name, const uint8_t* data, size_t size) {
    std::string path = ScratchPath(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

void ClearScratch() {
    const std::string& folder = scratchFolder();
    if (folder.empty()) return;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((folder + "/" + name).c_str());
    }
    closedir(dir);
}

void QuietLibrary() { qmSetVerbose(0); }

}  // namespace qmv3fuzz
