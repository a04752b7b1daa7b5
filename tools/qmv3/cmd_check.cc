// "qmv3 check": the library's verdict on a file (which kind it is, or why it is none), then every
// image's validity with the library's message, and whether the images form a complete sequence.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "salvage_listing.h"
#include "sequence_io.h"
#include "value_warning.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

// A frame the validity rules let pass with fewer bytes than its pixels need: the library's judgement.
void WarnOfShortFrame(const DIMAGE& image, uint32_t number, uint32_t count) {
    uint64_t held = 0, needed = 0;
    if (qmIsShortFrame(&image, &held, &needed) == 1)
        std::printf("image %u of %u: warning: the frame holds %llu bytes, its %d x %d pixels need %llu\n", number,
                    count, static_cast<unsigned long long>(held), ImageWidth(image), ImageHeight(image),
                    static_cast<unsigned long long>(needed));
}

// The library's kinds in the order it tries them, "IMC2/BKC2, IMC/BKC, IMM and BKG": the export kinds
// too when the file comes closest to one of them.
std::string TriedKinds(bool exportKinds) {
    std::vector<std::string> names;
    for (unsigned i = 0; qmGetFileKindInOrder(i) != QMV3_FILE_UNKNOWN; ++i) {
        const int kind = qmGetFileKindInOrder(i);
        if (exportKinds || !qmIsExportFileKind(kind)) names.push_back(FileKindName(kind));
    }
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return list;
}

// Checks every image; returns the number of invalid ones. Values above the effective bits are
// warned of, without making the image invalid. Images loaded without pixels are checked by their
// headers.
unsigned CheckImages(const Sequence& sequence, unsigned& aboveEffectiveBits) {
    unsigned invalid = 0;
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        char message[512] = "";
        if (qmCheckImageValidityEx(&sequence[i], QMV3_CHECK_FLAG_HEADERS_ONLY, message, sizeof message) ==
            QMV3_IMAGE_VALID) {
            std::printf("image %u of %u: valid (frame %u)\n", i + 1, sequence.size(),
                        sequence[i].frameHeader.frameNumber);
            WarnOfShortFrame(sequence[i], i + 1, sequence.size());
            const bool pixels = sequence[i].frameBuffer != nullptr;
            const std::string above = pixels ? ValuesAboveEffectiveBits(sequence[i]) : std::string();
            if (!above.empty()) {
                ++aboveEffectiveBits;
                std::printf("image %u of %u: warning: %s\n", i + 1, sequence.size(), above.c_str());
            }
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
    const char* kind = FileKindName(detection);
    if (kind != nullptr)
        std::printf("%s: %s file\n", path.c_str(), kind);
    else
        std::printf("%s: not recognised: %s\n", path.c_str(), EscapeText(detectionText, sizeof detectionText).c_str());
    // A file that can be read but is of no kind: say how close it came.
    int closest = QMV3_FILE_UNKNOWN;
    char reason[1024] = "";
    if (kind == nullptr && FileProblem(path).rfind("file is ", 0) == 0 &&
        qmCheckFileFormatEx(path.c_str(), &closest, reason, sizeof reason) == QMV3_FILE_UNKNOWN &&
        FileKindName(closest) != nullptr)
        std::printf("%s: tried %s; the closest, %s, refused: %s\n", path.c_str(),
                    TriedKinds(qmIsExportFileKind(closest) != 0).c_str(), FileKindName(closest),
                    EscapeText(reason, sizeof reason).c_str());

    // The pixels are read only when asked for: whether every block inflates, and the values above
    // the effective bits, need them; everything else is in the headers.
    const bool quick = arguments.Has("quick");
    Sequence sequence;
    std::string message;
    if (!(quick ? LoadHeaders(path, sequence, message) : LoadSequence(path, sequence, message))) {
        if (!quick) ListDamage(path);
        return Failure(kCheckCommand, "%s", message.c_str());
    }
    unsigned aboveEffectiveBits = 0;
    const unsigned invalid = CheckImages(sequence, aboveEffectiveBits);
    const int verdict = qmGetSequenceVerdict(sequence.get(), QMV3_CHECK_FLAG_HEADERS_ONLY);
    std::printf("%u images: %s\n", sequence.size(),
                verdict == QMV3_VERDICT_COMPLETE ? "a complete sequence"
                : verdict == QMV3_VERDICT_GAPS   ? "a sequence with gaps in its frame numbers"
                                                 : "not one sequence");
    if (aboveEffectiveBits != 0)
        std::printf("warning: %u of %u images hold values above their effective bits\n", aboveEffectiveBits,
                    sequence.size());
    if (kind == nullptr) return Failure(kCheckCommand, "%s is not recognised as a sequence file", path.c_str());
    if (invalid != 0) return Failure(kCheckCommand, "%u of %u images are invalid", invalid, sequence.size());
    return kExitSuccess;
}

const OptionSpec kOptions[] = {{"quick", 0, false}};

}  // namespace

const Command kCheckCommand = {
    "check",
    "[--quick] FILE",
    "check a sequence file: its kind, every image's validity, the sequence",
    "options:\n"
    "      --quick  read the headers only: the pixels are neither inflated nor looked at\n"
    "\nThe file's kind is decided by its content. The file is then loaded and every image\n"
    "checked against the validity rules; images holding pixel values above their effective\n"
    "bits get a warning (they stay valid). A file that does not load is walked to its end, and\n"
    "every bad image is listed with the reason (as 'qmv3 recover' finds them). With --quick a\n"
    "damaged compressed pixel block and values above the effective bits go unnoticed; the time\n"
    "and memory needed no longer grow with the pixels. Exit status 1 when the file is not\n"
    "recognised, cannot be loaded or holds an invalid image.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    1,
    1,
    Run,
};

}  // namespace qmv3tool
