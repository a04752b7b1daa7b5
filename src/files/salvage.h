// Salvage of damaged sequence files: the walkers of each file kind, the images they keep and what they
// report about the rest. A walker never trusts a count from the file to size anything: it goes by the
// bytes actually present, so a cut or crafted file cannot make it allocate more than the file backs.
//
// Thread rules: one salvage belongs to one thread; the interrupt flag and the progress value may be
// shared with another thread without synchronisation, as for the loaders.
#ifndef QMV3_FILES_SALVAGE_H
#define QMV3_FILES_SALVAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"

namespace salvage {

// What a walk found beside the images it kept.
class Findings {
  public:
    Findings(QMV3_RECOVER_CALLBACK onDropped, void* context) : onDropped_(onDropped), context_(context) {}

    // Reports a dropped image (image > 0, counted) or damage that belongs to no image (image 0).
    void Drop(uint32_t image, uint64_t offset, int code, const std::string& reason);
    void Skip(uint64_t bytes) { skippedBytes += bytes; }

    int kind = QMV3_FILE_UNKNOWN;
    uint32_t announced = 0;
    uint32_t dropped = 0;
    uint64_t skippedBytes = 0;
    // The first reason given, for the message when nothing could be kept.
    std::string firstReason;

  private:
    QMV3_RECOVER_CALLBACK onDropped_;
    void* context_;
};

// Images kept so far. Each owns its malloc frame buffer until the images are handed over.
class KeptImages {
  public:
    KeptImages() = default;
    ~KeptImages();
    KeptImages(const KeptImages&) = delete;
    KeptImages& operator=(const KeptImages&) = delete;

    // Takes the image and its frame buffer (freed at once when there is no memory to keep it: false).
    bool Add(const DIMAGE& image);
    size_t size() const { return images_.size(); }
    // Moves the images into the empty sequence; false when memory is short (the images stay here).
    bool Release(QMBUNCHOFIMAGES* sequence);

  private:
    std::vector<DIMAGE> images_;
};

// Where a walk reads and what it fills.
struct Walk {
    const char* path;
    KeptImages& kept;
    Findings& findings;
    int* interrupt;
    double* percent;
    std::string& errorText;  // the message of a code that ends the salvage

    bool Interrupted() const { return interrupt != nullptr && *interrupt == 1; }
    void Progress(double value) const {
        if (percent != nullptr) *percent = value;
    }
};

// The kind a file's first bytes suggest, damaged or not: QMV3_FILE_IMC2_BKC2, QMV3_FILE_IMC_BKC,
// QMV3_FILE_IMM, QMV3_FILE_BKG, or QMV3_FILE_UNKNOWN (also when the file cannot be read).
int GuessKind(const char* path);

// The walkers: QMV3_LOAD_OK once the file was walked to its end (whatever was kept), otherwise a code
// that ends the salvage (the file cannot be opened, memory is short, the interrupt flag) with the message.
int SalvageImc2(Walk& walk);
int SalvageOlder(Walk& walk, int kind);

}  // namespace salvage

#endif
