// "qmv3 check": the library's verdict on a file (which kind it is, or why it is none), then every
// image's validity with the library's message, and whether the images form a complete sequence.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "open_regular.h"
#include "salvage_listing.h"
#include "sequence_io.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

// Why a file no loader accepts is not of the kind it comes closest to: the kinds are tried from their
// headers, and the one whose header makes sense (or, failing that, the one the name suggests) says
// where the rest of the file disagrees.
struct Attempt {
    const char* kind;
    int closeness;  // 2 when the header fits the kind, plus 1 when the name suggests it
    std::string reason;
};

uint32_t Little(const unsigned char* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

bool NameEndsWith(const std::string& path, const char* extension) {
    const size_t length = std::strlen(extension);
    return path.size() > length && strcasecmp(path.c_str() + path.size() - length, extension) == 0;
}

std::string Diagnose(const std::string& path) {
    std::vector<unsigned char> head(16, 0);
    long long size = FileSize(path);
    if (FILE* file = OpenRegularFile(path)) {
        head.resize(std::fread(head.data(), 1, head.size(), file));
        std::fclose(file);
    }
    std::vector<Attempt> attempts;
    // IMC2/BKC2: two magic numbers, then the reader knows best where the file goes wrong.
    {
        Sequence sequence;
        char text[512] = "";
        qmLoadImagesFromFileEx(path.c_str(), sequence.get(), nullptr, nullptr, text, sizeof text);
        const bool magic = head.size() >= 8 && Little(&head[0], 4) == 0 && Little(&head[4], 4) == 1;
        const bool named = NameEndsWith(path, ".imc2") || NameEndsWith(path, ".bkc2");
        attempts.push_back({"IMC2/BKC2", (magic ? 2 : 0) + (named ? 1 : 0), text});
    }
    // IMC/BKC: width, height (32 bits), bits, effective bits (16 bits), image count (32 bits).
    {
        const uint32_t w = head.size() >= 16 ? Little(&head[0], 4) : 0, h = head.size() >= 16 ? Little(&head[4], 4) : 0;
        uint32_t bits = head.size() >= 16 ? Little(&head[8], 2) : 0,
                 count = head.size() >= 16 ? Little(&head[12], 4) : 0;
        if (bits == 0) bits = 8;
        const bool header = head.size() >= 16 && w != 0 && h != 0 && (bits == 8 || bits == 16) && count != 0 &&
                            Little(&head[10], 2) <= 16;
        const bool named = NameEndsWith(path, ".imc") || NameEndsWith(path, ".bkc");
        std::string reason = "no IMC/BKC header (width, height, bits and image count)";
        if (header) {
            OlderRecord record;
            char text[128];
            const std::string shape = "the header announces " + std::to_string(count) + " images of " +
                                      std::to_string(w) + " x " + std::to_string(h) + " pixels, " +
                                      std::to_string(bits) + " bits";
            // The loader's text is a reason only when it failed; its success says nothing about the file.
            const int loaded = load_imc_file(path.c_str(), record.get());
            reason = loaded == QMV3_LEGACY_LOAD_OK
                         ? shape + ", and its images load, but a value breaks the kind's rules (a scale must be a "
                                   "number and not negative)"
                         : shape + ", but the images do not fill the " + std::to_string(size) +
                               " bytes: " + load_file__return_code_to_string(loaded, text, sizeof text);
        }
        attempts.push_back({"IMC/BKC", (header ? 2 : 0) + (named ? 1 : 0), reason});
    }
    // IMM and BKG: width, bits, height, effective bits (16 bits each), then whole frames (IMM, each
    // with 8 bytes before and after the pixels) or exactly one frame (BKG).
    {
        const uint32_t w = head.size() >= 8 ? Little(&head[0], 2) : 0, h = head.size() >= 8 ? Little(&head[4], 2) : 0;
        uint32_t bits = head.size() >= 8 ? Little(&head[2], 2) : 0;
        if (bits == 0) bits = 8;
        const bool header =
            head.size() >= 8 && w != 0 && h != 0 && (bits == 8 || bits == 16) && Little(&head[6], 2) <= 16;
        const long long pixels = static_cast<long long>(w) * h * bits / 8;
        const std::string shape = "the header announces " + std::to_string(w) + " x " + std::to_string(h) +
                                  " pixels, " + std::to_string(bits) + " bits";
        std::string imm = "no IMM header (width, bits, height, effective bits)", bkg = "no BKG header";
        if (header) {
            imm = shape + ": frames of " + std::to_string(pixels + 16) + " bytes, but the file's " +
                  std::to_string(size) + " bytes are not a whole number of them";
            bkg = shape + ": the file should be " + std::to_string(pixels + 8) + " bytes, but it is " +
                  std::to_string(size);
        }
        attempts.push_back({"IMM", (header ? 2 : 0) + (NameEndsWith(path, ".imm") ? 1 : 0), imm});
        attempts.push_back({"BKG", (header ? 2 : 0) + (NameEndsWith(path, ".bkg") ? 1 : 0), bkg});
    }
    const Attempt* closest = &attempts[0];
    for (const Attempt& attempt : attempts)
        if (attempt.closeness > closest->closeness) closest = &attempt;
    return std::string("tried IMC2/BKC2, IMC/BKC, IMM and BKG; the closest, ") + closest->kind +
           ", refused: " + closest->reason;
}

// The validity rules let a frame hold fewer bytes than its geometry needs (a damaged or crafted file):
// a warning says so for the uncompressed formats, whose size the geometry fixes.
void WarnOfShortFrame(const DIMAGE& image, uint32_t number, uint32_t count) {
    const DIMAGE_FRAMEHEADER& header = image.frameHeader;
    if (header.imageFormat != QMV3_FORMAT_GRAY && header.imageFormat != QMV3_FORMAT_RGB) return;
    const int width = ImageWidth(image), height = ImageHeight(image);
    if (width <= 0 || height <= 0 || header.bytesPerPixel <= 0) return;
    const unsigned long long needed =
        static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) * header.bytesPerPixel;
    const unsigned long long held = header.appendedFrameSize > 0 ? header.appendedFrameSize : 0;
    if (held < needed)
        std::printf("image %u of %u: warning: the frame holds %llu bytes, its %d x %d pixels need %llu\n", number,
                    count, held, width, height, needed);
}

// Checks every image; returns the number of invalid ones.
unsigned CheckImages(const Sequence& sequence) {
    unsigned invalid = 0;
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        char message[512] = "";
        if (qmCheckImageValidity(&sequence[i], message, sizeof message) == QMV3_IMAGE_VALID) {
            std::printf("image %u of %u: valid (frame %u)\n", i + 1, sequence.size(),
                        sequence[i].frameHeader.frameNumber);
            WarnOfShortFrame(sequence[i], i + 1, sequence.size());
        } else {
            ++invalid;
            std::printf("image %u of %u: invalid: %s\n", i + 1, sequence.size(),
                        EscapeText(message, sizeof message).c_str());
        }
    }
    return invalid;
}

// A file that does not load may still hold intact images: the salvage walks it to its end and
// names every bad image, not only the first one that stopped the load.
void ListDamage(const std::string& path) {
    Sequence intact;
    const SalvageResult result = RecoverFile(path, intact);
    if (result.report.fileKind == QMV3_FILE_UNKNOWN || result.code == QMV3_LOAD_INTERRUPTED) return;
    PrintFindings(result, path + ": ", stdout);
    std::printf("%s: %u image%s intact, %u bad; 'qmv3 recover' saves the intact ones\n", path.c_str(),
                result.report.kept, result.report.kept == 1 ? "" : "s", result.report.dropped);
}

int Run(const Arguments& arguments) {
    const std::string path = arguments.Positionals()[0];
    char detectionText[1024] = "";
    const int detection = qmCheckFileFormat(path.c_str(), detectionText, sizeof detectionText);
    const char* kind = ImportedKindName(path, detection);
    if (kind != nullptr)
        std::printf("%s: %s file\n", path.c_str(), kind);
    else
        std::printf("%s: not recognised: %s\n", path.c_str(), EscapeText(detectionText, sizeof detectionText).c_str());
    // A file that can be read but is of no kind: say how close it came.
    if (kind == nullptr && FileProblem(path).rfind("file is ", 0) == 0)
        std::printf("%s: %s\n", path.c_str(), EscapeText(Diagnose(path)).c_str());

    Sequence sequence;
    std::string message;
    if (!LoadSequence(path, sequence, message)) {
        ListDamage(path);
        return Failure(kCheckCommand, "%s", message.c_str());
    }
    const unsigned invalid = CheckImages(sequence);
    const int complete = qmIsCompleteSequence(sequence.get());
    if (complete == QMV3_SEQUENCE_YES)
        std::printf("%u images: a complete sequence\n", sequence.size());
    else
        std::printf("%u images: %s\n", sequence.size(),
                    qmIsSequence(sequence.get()) == QMV3_SEQUENCE_YES ? "a sequence with gaps in its frame numbers"
                                                                      : "not one sequence");
    if (kind == nullptr) return Failure(kCheckCommand, "%s is not recognised as a sequence file", path.c_str());
    if (invalid != 0) return Failure(kCheckCommand, "%u of %u images are invalid", invalid, sequence.size());
    return kExitSuccess;
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "FILE",
    "check a sequence file: its kind, every image's validity, the sequence",
    "The file's kind is decided by its content. The file is then loaded and every image\n"
    "checked against the validity rules. A file that does not load is walked to its end, and\n"
    "every bad image is listed with the reason (as 'qmv3 recover' finds them). Exit status 1\n"
    "when the file is not recognised, cannot be loaded or holds an invalid image.\n",
    nullptr,
    0,
    1,
    1,
    Run,
};

}  // namespace qmv3tool
