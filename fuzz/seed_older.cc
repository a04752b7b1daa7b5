// Seeds of the older file harnesses: small files written by the library's own savers (every older
// kind and BMP exports), also given to the sequence loader's harness, which reads them too.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"
#include "seed_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readAll(const std::string& path) {
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(file);
    std::remove(path.c_str());
    return bytes;
}

void makeRecord(VIDINFHDR& rec, int frames, unsigned width, unsigned height, unsigned bpp, int type) {
    initialize_vidinfhdr(&rec);
    rec.width = width;
    rec.height = height;
    rec.bpp = bpp;
    rec.ebitpp = bpp == 16 ? 12 : 8;
    rec.scale = 0.5;
    rec.numframes = frames;
    rec.type = type;
    rec.framebits = static_cast<unsigned char**>(std::malloc(sizeof(unsigned char*) * frames));
    rec.framescales = static_cast<double*>(std::malloc(sizeof(double) * frames));
    const size_t bytes = size_t(width) * height * bpp / 8;
    for (int i = 0; i < frames; ++i) {
        rec.framebits[i] = static_cast<unsigned char*>(std::malloc(bytes));
        for (size_t b = 0; b < bytes; ++b) rec.framebits[i][b] = static_cast<unsigned char>(b * 3 + i * 11);
        rec.framescales[i] = 0.5 + i;
    }
}

// Names of the BMP files an export left in the folder.
std::vector<std::string> exportedFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void olderSeeds(const std::string& scratch) {
    struct Older {
        unsigned char selector;
        const char* ext;
        int (*save)(const char*, VIDINFHDR*);
        int frames;
        unsigned bpp;
        int type;
    };
    const Older kinds[] = {{0, "imm", save_imm_file, 3, 8, 1}, {0, "imm", save_imm_file, 2, 16, 1},
                           {1, "bkg", save_bkg_file, 1, 8, 3}, {2, "bkg", save_bkg_file, 1, 16, 3},
                           {3, "imc", save_imc_file, 2, 8, 2}, {3, "imc", save_imc_file, 1, 16, 2},
                           {4, "bkc", save_bkc_file, 1, 8, 4}};
    int index = 0;
    for (const Older& kind : kinds) {
        VIDINFHDR rec;
        makeRecord(rec, kind.frames, 6, 4, kind.bpp, kind.type);
        std::string path = scratch + "/seed." + kind.ext;
        std::remove(path.c_str());
        if (kind.save(path.c_str(), &rec) == 0) {
            Bytes file = readAll(path);
            Bytes seed = Prefixed({kind.selector, static_cast<unsigned char>(index * 37)}, file);
            WriteSeed("older_files", std::string(kind.ext) + std::to_string(++index), seed);
            // The sequence loader sees the same files.
            WriteSeed("imc2", std::string("older") + std::to_string(index) + "." + kind.ext, file);
            // The salvage sees them cut short.
            WriteSeed("recover", std::string("older-cut") + std::to_string(index) + "." + kind.ext,
                      Bytes(file.begin(), file.end() - static_cast<long>(file.size() / 3)));
        }
        free_vidinfhdr(&rec);
    }
    VIDINFHDR rec;
    makeRecord(rec, 2, 7, 3, 8, 1);
    std::string prefix = scratch + "/frame";
    for (int palette = 0; palette < 3; ++palette) {
        if (save_bmp_files(prefix.c_str(), &rec, palette, 1) != 0) continue;
        std::vector<std::string> names = exportedFiles(scratch);
        for (size_t i = 0; i < names.size(); ++i) {
            Bytes file = readAll(scratch + "/" + names[i]);
            Bytes seed = Prefixed({static_cast<unsigned char>(i % 2)}, file);
            WriteSeed("bmp", "palette" + std::to_string(palette) + "-" + names[i], seed);
        }
    }
    free_vidinfhdr(&rec);
}

}  // namespace

void WriteOlderFileSeeds(const std::string& scratch) { olderSeeds(scratch); }
