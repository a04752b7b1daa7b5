// Why a file no detector accepts is not of the kind it comes closest to: the kinds are tried from their
// headers, and the one whose header makes sense (or, failing that, the one the name suggests) says where
// the rest of the file disagrees.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "files/file_detect.h"
#include "files/imc2_format.h"
#include "files/sequence_files.h"
#include "interchange/file_kinds.h"
#include "interchange/interchange.h"
#include "interchange/save_policy.h"
#include "legacy/legacy_io.h"
#include "qmv3/qmv3.h"

namespace interchange {

namespace {

struct Attempt {
    int kind;
    int closeness;  // 2 when the header fits the kind, plus 1 when the name suggests it
    std::string reason;
};

uint32_t Little(const unsigned char* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

bool Named(const char* path, int kind) {
    const FileKind* byName = FileKindOfName(path);
    return byName != nullptr && byName->code == kind;
}

Attempt TryImc2(const char* path, const std::vector<unsigned char>& head) {
    QMBUNCHOFIMAGES sequence;
    qmInitializeBunchStructure(&sequence);
    char text[512] = "";
    const int loaded = qmLoadImagesFromFileEx(path, &sequence, nullptr, nullptr, text, sizeof text);
    qmFreeBunch(&sequence);
    // A file whose images load is refused by the stricter detector (bytes after the last image, as a
    // recording that was killed leaves them): its text says why.
    if (loaded == QMV3_LOAD_OK) _internal_is_file_imc2_bkc2(path, text, sizeof text);
    const bool magic = head.size() >= 8 && Little(&head[0], 4) == 0 && Little(&head[4], 4) == 1;
    return {QMV3_FILE_IMC2_BKC2, (magic ? 2 : 0) + (Named(path, QMV3_FILE_IMC2_BKC2) ? 1 : 0), text};
}

// IMC/BKC: width, height (32 bits), bits, effective bits (16 bits), image count (32 bits).
Attempt TryImcBkc(const char* path, const std::vector<unsigned char>& head, long long size) {
    const bool full = head.size() >= 16;
    const uint32_t w = full ? Little(&head[0], 4) : 0, h = full ? Little(&head[4], 4) : 0;
    uint32_t bits = full ? Little(&head[8], 2) : 0;
    const uint32_t count = full ? Little(&head[12], 4) : 0;
    if (bits == 0) bits = 8;
    const bool header = full && w != 0 && h != 0 && (bits == 8 || bits == 16) && count != 0 && Little(&head[10], 2) <= 16;
    std::string reason = "no IMC/BKC header (width, height, bits and image count)";
    if (header) {
        VIDINFHDR record;
        initialize_vidinfhdr(&record);
        char text[128];
        const std::string shape = "the header announces " + std::to_string(count) + " images of " +
                                  std::to_string(w) + " x " + std::to_string(h) + " pixels, " +
                                  std::to_string(bits) + " bits";
        // The loader's text is a reason only when it failed; its success says nothing about the file.
        const int loaded = load_imc_file(path, &record);
        reason = loaded == QMV3_LEGACY_LOAD_OK
                     ? shape + ", and its images load, but a value breaks the kind's rules (a scale must be a "
                               "number and not negative)"
                     : shape + ", but the images do not fill the " + std::to_string(size) +
                           " bytes: " + load_file__return_code_to_string(loaded, text, sizeof text);
        free_vidinfhdr(&record);
    }
    return {QMV3_FILE_IMC_BKC, (header ? 2 : 0) + (Named(path, QMV3_FILE_IMC_BKC) ? 1 : 0), reason};
}

// IMM and BKG: width, bits, height, effective bits (16 bits each), then whole frames (IMM, each with 8
// bytes before and after the pixels) or exactly one frame (BKG).
void TryImmBkg(const char* path, const std::vector<unsigned char>& head, long long size,
               std::vector<Attempt>& attempts) {
    const bool full = head.size() >= 8;
    const uint32_t w = full ? Little(&head[0], 2) : 0, h = full ? Little(&head[4], 2) : 0;
    uint32_t bits = full ? Little(&head[2], 2) : 0;
    if (bits == 0) bits = 8;
    const bool header = full && w != 0 && h != 0 && (bits == 8 || bits == 16) && Little(&head[6], 2) <= 16;
    const long long pixels = static_cast<long long>(w) * h * bits / 8;
    const std::string shape = "the header announces " + std::to_string(w) + " x " + std::to_string(h) + " pixels, " +
                              std::to_string(bits) + " bits";
    std::string imm = "no IMM header (width, bits, height, effective bits)", bkg = "no BKG header";
    if (header) {
        imm = shape + ": frames of " + std::to_string(pixels + 16) + " bytes, but the file's " + std::to_string(size) +
              " bytes are not a whole number of them";
        bkg = shape + ": the file should be " + std::to_string(pixels + 8) + " bytes, but it is " +
              std::to_string(size);
    }
    attempts.push_back({QMV3_FILE_IMM, (header ? 2 : 0) + (Named(path, QMV3_FILE_IMM) ? 1 : 0), imm});
    attempts.push_back({QMV3_FILE_BKG, (header ? 2 : 0) + (Named(path, QMV3_FILE_BKG) ? 1 : 0), bkg});
}

// TIFF, PNG and HDF5: the signature, then what their readers say.
void TryInterchange(const char* path, std::vector<Attempt>& attempts) {
    const ImportKind signature = ImportKindOfFile(path);
    const struct {
        int kind;
        ImportKind import;
        const char* name;
    } kinds[] = {{QMV3_FILE_TIFF, ImportKind::kTiff, "TIFF"},
                 {QMV3_FILE_PNG, ImportKind::kPng, "PNG"},
                 {QMV3_FILE_HDF5, ImportKind::kHdf5, "HDF5"}};
    for (const auto& kind : kinds) {
        std::string reason = std::string("no ") + kind.name + " signature at the start of the file";
        const bool carries = signature == kind.import;
        if (carries && kind.kind == QMV3_FILE_HDF5) ProbeHdf5(path, reason);
        attempts.push_back({kind.kind, (carries ? 2 : 0) + (Named(path, kind.kind) ? 1 : 0), reason});
    }
}

}  // namespace

int DiagnoseFile(const char* path, std::string& reason) {
    struct stat status;
    if (stat(path, &status) != 0) {
        reason = SystemReason(errno);
        return QMV3_FILE_UNKNOWN;
    }
    if (S_ISDIR(status.st_mode)) {
        reason = SystemReason(EISDIR);
        return QMV3_FILE_UNKNOWN;
    }
    // Without blocking: a FIFO or device is no file of ours either.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = SystemReason(errno);
        return QMV3_FILE_UNKNOWN;
    }
    std::vector<unsigned char> head(16, 0);
    ssize_t got = S_ISREG(status.st_mode) ? read(fd, head.data(), head.size()) : -1;
    close(fd);
    if (!S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return QMV3_FILE_UNKNOWN;
    }
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    const long long size = static_cast<long long>(status.st_size);
    std::vector<Attempt> attempts;
    attempts.push_back(TryImc2(path, head));
    attempts.push_back(TryImcBkc(path, head, size));
    TryImmBkg(path, head, size, attempts);
    TryInterchange(path, attempts);
    const Attempt* closest = &attempts[0];
    for (const Attempt& attempt : attempts)
        if (attempt.closeness > closest->closeness) closest = &attempt;
    reason = closest->reason;
    return closest->kind;
}

std::string DescribeFileProblem(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return SystemReason(errno);
    if (S_ISDIR(status.st_mode)) return "it is a folder";
    if (!S_ISREG(status.st_mode)) return "it is not a regular file";
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemReason(errno);
    close(fd);
    if (status.st_size == 0) return "the file is empty";
    // The fixed start of the kind the name suggests: magic numbers and count (IMC2/BKC2, and every name
    // of no older kind), width, height and bits (IMM and BKG), the same with the image count (IMC/BKC).
    const FileKind* named = FileKindOfName(path);
    const int kind = named != nullptr ? named->code : QMV3_FILE_UNKNOWN;
    const long long header = kind == QMV3_FILE_IMC_BKC                          ? qmv3::legacy::kImcFileHeaderBytes
                             : kind == QMV3_FILE_IMM || kind == QMV3_FILE_BKG ? qmv3::legacy::kFrameWordsBytes
                                                                                : imc2::kFileHeaderSize;
    const std::string size = "file is " + std::to_string(static_cast<long long>(status.st_size)) + " bytes";
    return status.st_size < header ? size + ", shorter than one header" : size;
}

}  // namespace interchange
