// The exported salvage call: which kind a damaged file is, the walk of that kind, the report and the
// hand-over of the kept images. No exception leaves it.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "files/file_detect.h"
#include "files/imc2_format.h"
#include "files/metadata_sets.h"
#include "files/salvage.h"
#include "files/sequence_files.h"
#include "legacy/legacy_io.h"
#include "util/byte_io.h"
#include "util/c_boundary.h"

static_assert(sizeof(QMV3_RECOVER_REPORT) == 32, "QMV3_RECOVER_REPORT layout");
static_assert(offsetof(QMV3_RECOVER_REPORT, skippedBytes) == 24, "QMV3_RECOVER_REPORT layout");

namespace salvage {

void Findings::Drop(uint32_t image, uint64_t offset, int code, const std::string& reason) {
    if (image > 0) ++dropped;
    if (firstReason.empty()) {
        firstReason = (image > 0 ? "image " + std::to_string(image) + ": " : std::string()) + reason;
    }
    if (onDropped_ != nullptr) onDropped_(context_, image, offset, code, reason.c_str());
}

KeptImages::~KeptImages() {
    for (DIMAGE& image : images_) std::free(image.frameBuffer);
}

bool KeptImages::Add(const DIMAGE& image) {
    try {
        images_.push_back(image);
    } catch (const std::bad_alloc&) {
        std::free(image.frameBuffer);
        return false;
    }
    return true;
}

bool KeptImages::Release(QMBUNCHOFIMAGES* sequence) {
    if (images_.empty()) return true;
    DIMAGE* array = static_cast<DIMAGE*>(std::malloc(images_.size() * sizeof(DIMAGE)));
    if (array == nullptr) return false;
    std::memcpy(array, images_.data(), images_.size() * sizeof(DIMAGE));
    sequence->imageArray = array;
    sequence->numFrames = static_cast<uint32_t>(images_.size());
    images_.clear();
    return true;
}

int GuessKind(const char* path) {
    using byte_io::Load;
    using namespace qmv3::legacy;
    // An intact older file is taken as the loader takes it, which tries these kinds first.
    if (_internal_is_file_imm(path, nullptr, 0)) return QMV3_FILE_IMM;
    if (_internal_is_file_bkg(path, nullptr, 0)) return QMV3_FILE_BKG;
    if (_internal_is_file_imc_bkc(path, nullptr, 0)) return QMV3_FILE_IMC_BKC;
    byte_io::ByteReader file;
    if (!file.Open(path) || !file.MeasureLength()) return QMV3_FILE_UNKNOWN;
    // Enough for the IMC2 file header and its first global set.
    unsigned char head[imc2::kFileHeaderSize + imc2::kMetadataSetSize] = {};
    const uint64_t length = file.Length();
    const size_t got = static_cast<size_t>(length < sizeof head ? length : sizeof head);
    if (!file.ReadBytes(head, got)) return QMV3_FILE_UNKNOWN;
    if (got >= 8 && Load<uint32_t>(head) == imc2::kMagic1 && Load<uint32_t>(head + 4) == imc2::kMagic2)
        return QMV3_FILE_IMC2_BKC2;
    // Damaged magic numbers: the line ends of the header and of the first global set still tell.
    if (got == sizeof head && head[12] == imc2::kCarriageReturn && head[13] == imc2::kLineFeed &&
        head[sizeof head - 2] == imc2::kCarriageReturn && head[sizeof head - 1] == imc2::kLineFeed)
        return QMV3_FILE_IMC2_BKC2;
    // IMC/BKC before IMM: their header read as frame words often makes sense too. The first frame's
    // length field (or, when that is damaged, the zlib stream after it) decides.
    if (got >= kImcFileHeaderBytes + kImcFrameHeaderBytes + 1) {
        const uint32_t width = Load<uint32_t>(head), height = Load<uint32_t>(head + 4);
        const uint32_t word = Load<uint32_t>(head + 8), count = Load<uint32_t>(head + 12);
        const uint32_t bits = word <= 0xFFFF ? word : word & 0xFFFF;
        uint32_t frameBytes = 0;
        if ((bits == 8 || bits == 16) && count != 0 && FrameBytes(width, height, bits, &frameBytes) &&
            frameBytes != 0 && (Load<uint32_t>(head + 28) == frameBytes || head[32] == 0x78))
            return QMV3_FILE_IMC_BKC;
    }
    if (got >= kFrameWordsBytes) {
        const FrameWords words = DecodeFrameWords(head);
        uint32_t frameBytes = 0;
        if (words.width != 0 && words.height != 0 && (words.bitsPerPixel == 8 || words.bitsPerPixel == 16) &&
            words.effectiveBits <= 16 && FrameBytes(words.width, words.height, words.bitsPerPixel, &frameBytes) &&
            frameBytes != 0)
            return length == uint64_t{frameBytes} + kFrameWordsBytes ? QMV3_FILE_BKG : QMV3_FILE_IMM;
    }
    return QMV3_FILE_UNKNOWN;
}

namespace {

int Recover(const char* path, QMBUNCHOFIMAGES* images, QMV3_RECOVER_REPORT* report, Findings& findings, int* interrupt,
            double* percent, std::string& errorText) {
    if (path == nullptr || path[0] == '\0') {
        errorText = path == nullptr ? "Parameter asFilePath must not be NULL."
                                    : "Parameter asFilePath must not be empty string.";
        return QMV3_LOAD_PARAMETER_ERROR;
    }
    const std::string p = _internal_filePrefix(path) + " load error: ";
    if (images == nullptr || images->numFrames != 0 || images->imageArray != nullptr) {
        errorText = p + "Parameter apImages must be an empty sequence.";
        return QMV3_LOAD_PARAMETER_ERROR;
    }
    if (report != nullptr && report->size < sizeof(QMV3_RECOVER_REPORT)) {
        errorText = p + "Parameter report->size must be sizeof(QMV3_RECOVER_REPORT).";
        return QMV3_LOAD_PARAMETER_ERROR;
    }
    byte_io::ByteReader probe;
    if (!probe.Open(path)) {
        errorText = _internal_filePrefix(path) + " could not be opened for reading.";
        return QMV3_LOAD_OPEN_FAILED;
    }
    KeptImages kept;
    Walk walk{path, kept, findings, interrupt, percent, errorText};
    const int kind = GuessKind(path);
    int code = QMV3_LOAD_OK;
    if (kind == QMV3_FILE_IMC2_BKC2) {
        code = SalvageImc2(walk);
    } else if (kind != QMV3_FILE_UNKNOWN) {
        code = SalvageOlder(walk, kind);
    } else {
        findings.firstReason = "its first bytes are those of no sequence file kind";
    }
    if (code != QMV3_LOAD_OK) return code;
    if (kept.size() == 0) {
        const std::string why = findings.firstReason.empty() ? "the file holds no image" : findings.firstReason;
        errorText = p + "No intact image could be recovered: " + why + ".";
        return QMV3_LOAD_INVALID_FILE;
    }
    const size_t count = kept.size();
    if (!kept.Release(images)) {
        errorText = p + "Memory allocation error.";
        return QMV3_LOAD_OUT_OF_MEMORY;
    }
    if (report != nullptr) report->kept = static_cast<unsigned int>(count);
    return QMV3_LOAD_OK;
}

void FillReport(QMV3_RECOVER_REPORT* report, const Findings& findings) {
    if (report == nullptr || report->size < sizeof(QMV3_RECOVER_REPORT)) return;
    report->fileKind = findings.kind;
    report->dropped = findings.dropped;
    report->announced = findings.announced;
    report->reserved = 0;
    report->skippedBytes = findings.skippedBytes;
}

}  // namespace

}  // namespace salvage

extern "C" {

QMV3_EXPORT int qmRecoverImagesFromFile(const char* path, QMBUNCHOFIMAGES* images, QMV3_RECOVER_REPORT* report,
                                        QMV3_RECOVER_CALLBACK onDropped, void* context, int* interrupt, double* percent,
                                        char* errorText, unsigned int errorTextSize) {
    if (report != nullptr && report->size >= sizeof(QMV3_RECOVER_REPORT)) {
        const unsigned int size = report->size;
        std::memset(report, 0, sizeof(QMV3_RECOVER_REPORT));
        report->size = size;
        report->fileKind = QMV3_FILE_UNKNOWN;
    }
    return qmv3::GuardedWith(
        [&] {
            salvage::Findings findings(onDropped, context);
            std::string text;
            const int code = salvage::Recover(path, images, report, findings, interrupt, percent, text);
            salvage::FillReport(report, findings);
            if (code != QMV3_LOAD_OK) _internal_copyErrorText(errorText, errorTextSize, text);
            return code;
        },
        [&] {
            _internal_dumpErrorString(errorText, errorTextSize, "Memory allocation error while recovering a file.");
            return static_cast<int>(QMV3_LOAD_OUT_OF_MEMORY);
        },
        [&] {
            _internal_dumpErrorString(errorText, errorTextSize, "Unexpected error while recovering a file.");
            return static_cast<int>(QMV3_LOAD_OUT_OF_MEMORY);
        });
}

}  // extern "C"
