// Fuzzes the older file loaders (IMM, BKG with both loaders, IMC, BKC) and the analysis algorithms on
// what they load. A record that loads must be complete; IMM, IMC and BKC records must survive a save
// and reload unchanged; the algorithms must take any loaded record without a memory error.
//
// Input: one byte choosing the loader, one byte choosing the algorithm, then the file.
#include <cstdlib>

#include "fuzz_support.h"
#include "qmv3/qmv3.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

struct Kind {
    const char* name;
    int (*load)(const char*, VIDINFHDR*);
    int (*save)(const char*, VIDINFHDR*);
};

const Kind kKinds[] = {
    {"in.imm", load_imm_file, save_imm_file}, {"in.bkg", load_bkg_file, nullptr},
    {"in.bkg", load_bkg_file_arb, nullptr},   {"in.imc", load_imc_file, save_imc_file},
    {"in.bkc", load_bkc_file, save_bkc_file},
};

uint64_t frameBytes(const VIDINFHDR& rec) { return uint64_t(rec.width) * rec.height * rec.bpp / 8; }

void requireComplete(const VIDINFHDR& rec) {
    require(rec.numframes >= 1 && rec.framebits != nullptr && rec.framescales != nullptr);
    for (int32_t i = 0; i < rec.numframes; ++i) require(frameBytes(rec) == 0 || rec.framebits[i] != nullptr);
}

void checkRoundTrip(const Kind& kind, VIDINFHDR& rec) {
    // Saved under the same extension ("out.imm", ...).
    std::string out = qmv3fuzz::ScratchPath(std::string("out").append(kind.name + 2).c_str());
    std::remove(out.c_str());
    if (kind.save(out.c_str(), &rec) != 0) return;
    VIDINFHDR again;
    initialize_vidinfhdr(&again);
    require(kind.load(out.c_str(), &again) == 0);
    require(again.width == rec.width && again.height == rec.height && again.bpp == rec.bpp);
    require(again.numframes == rec.numframes);
    for (int32_t i = 0; i < rec.numframes; ++i)
        require(std::memcmp(again.framebits[i], rec.framebits[i], frameBytes(rec)) == 0);
    free_vidinfhdr(&again);
}

void runAlgorithm(VIDINFHDR& rec, uint8_t choice) {
    switch (choice % 6) {
        case 0:
            xrayfilter(&rec);
            break;
        case 1:
            normalizeframes(&rec);
            break;
        case 2:
            normalizeframes_rect(&rec, choice % 5, choice % 3, rec.width / 2 + choice % 7, rec.height);
            break;
        case 3:
            convert_format(&rec, 1 + (choice >> 3) % 4, (choice >> 5) % 3);
            break;
        case 4: {
            VIDINFHDR map;
            initialize_vidinfhdr(&map);
            calculate_significance_map(&rec, &rec, &map, 1.0 + choice % 3);
            free_vidinfhdr(&map);
            break;
        }
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Kind& kind = kKinds[data[0] % 5];
    const uint8_t algorithm = data[1];
    std::string path = qmv3fuzz::WriteScratchFile(kind.name, data + 2, size - 2);
    VIDINFHDR rec;
    initialize_vidinfhdr(&rec);
    if (kind.load(path.c_str(), &rec) == 0) {
        requireComplete(rec);
        if (kind.save != nullptr) checkRoundTrip(kind, rec);
        runAlgorithm(rec, algorithm);
    }
    free_vidinfhdr(&rec);
    qmv3fuzz::ClearScratch();
    return 0;
}
