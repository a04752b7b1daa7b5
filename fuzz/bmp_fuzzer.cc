// Fuzzes the BMP import: any file must load as a complete one-frame grey record or be refused, and a
// loaded frame must export again as a BMP that imports to the same pixels.
//
// Input: one byte choosing the grey-index mode, then the file.
#include <dirent.h>

#include <cstdlib>

#include "fuzz_support.h"
#include "qmv3/qmv3.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

std::string exportedFile() {
    std::string folder = qmv3fuzz::ScratchPath("");
    DIR* dir = opendir(folder.c_str());
    std::string found;
    while (dir != nullptr) {
        struct dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        if (std::strncmp(entry->d_name, "out", 3) == 0) found = folder + entry->d_name;
    }
    if (dir != nullptr) closedir(dir);
    return found;
}

void checkReexport(VIDINFHDR& rec) {
    std::string prefix = qmv3fuzz::ScratchPath("out");
    if (rec.bpp != 8 || save_bmp_files(prefix.c_str(), &rec, 0, 1) != 0) return;
    VIDINFHDR again;
    initialize_vidinfhdr(&again);
    // One frame exported: the only BMP whose name starts with the prefix.
    std::string exported = exportedFile();
    require(!exported.empty());
    require(load_bmp_file(exported.c_str(), &again, 1) == 0);
    require(again.width == rec.width && again.height == rec.height && again.numframes == 1);
    require(std::memcmp(again.framebits[0], rec.framebits[0], size_t(rec.width) * rec.height) == 0);
    free_vidinfhdr(&again);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string path = qmv3fuzz::WriteScratchFile("in.bmp", data + 1, size - 1);
    VIDINFHDR rec;
    initialize_vidinfhdr(&rec);
    if (load_bmp_file(path.c_str(), &rec, data[0] & 1) == 0) {
        require(rec.numframes == 1 && rec.framebits != nullptr && rec.framebits[0] != nullptr);
        checkReexport(rec);
    }
    free_vidinfhdr(&rec);
    qmv3fuzz::ClearScratch();
    return 0;
}
