// "qmv3 recover": keeps every intact image of a damaged or cut sequence file and saves them; the
// library finds them and says which images it dropped and why, one line each.
#include <cstdio>

#include "command.h"
#include "output_file.h"
#include "salvage_listing.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

const char* KindName(int kind) {
    const char* name = qmGetFileKindName(kind, nullptr);
    return name != nullptr ? name : "no known kind";
}

int Run(const Arguments& arguments) {
    const Command& command = kRecoverCommand;
    const std::string input = arguments.Positionals()[0];
    const std::string output = arguments.Positionals()[1];
    int kind = QMV3_FILE_UNKNOWN;
    char refusal[8192];
    if (qmCheckOutputName(output.c_str(), &kind, refusal, sizeof refusal) != QMV3_SAVE_OK)
        return UsageError(command, "%s", refusal);
    const bool force = arguments.Has("force");
    std::string message;
    // A PNG series is written under names of its own, which the library checks.
    if (kind != QMV3_FILE_PNG && !CheckOutput(output, force, message)) return Failure(command, "%s", message.c_str());
    Sequence sequence;
    const SalvageResult result = RecoverFile(input, sequence);
    if (!arguments.Has("quiet")) PrintFindings(result, input + ": ", stdout);
    if (result.code != QMV3_LOAD_OK) return Failure(command, "%s", result.message.c_str());
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    std::string written = output;
    int code = 0;
    if (qmIsExportFileKind(kind)) {
        if (!ExportSequence(sequence, 1, sequence.size(), output, false, force, written, message))
            return Failure(command, "%s", message.c_str());
    } else if (!SaveSequence(sequence, output, force ? QMV3_SAVE_FLAG_REPLACE : 0u, code, message)) {
        return Failure(command, "%s", message.c_str());
    }
    const QMV3_RECOVER_REPORT& report = result.report;
    std::printf("%s (%s) -> %s: %u image%s kept, %u dropped", input.c_str(), KindName(report.fileKind), written.c_str(),
                report.kept, report.kept == 1 ? "" : "s", report.dropped);
    if (report.announced != 0) std::printf(", the header announces %u", report.announced);
    if (report.skippedBytes != 0) std::printf(", %llu bytes hold no image", report.skippedBytes);
    std::printf("\n");
    return kExitSuccess;
}

const OptionSpec kOptions[] = {{"quiet", 'q', false}, kForceOption};

}  // namespace

const Command kRecoverCommand = {
    "recover",
    "[--force] [--quiet] DAMAGED OUT",
    "save every intact image of a damaged or cut sequence file",
    "options:\n"
    "  -q, --quiet       do not list the dropped images\n" QMV3_FORCE_HELP
    "\nDAMAGED may be an IMC2/BKC2 file cut at any byte or with damaged bytes, or an IMM, IMC or\n"
    "BKC file cut short (a full disk, a crash, a killed recording). An IMC2/BKC2 image whose\n"
    "header, metadata or compressed pixels are damaged is dropped, and the images after it are\n"
    "found again by the file's structure; the image count in the file's header is not needed.\n"
    "Every dropped image is listed with the reason, then one summary line. OUT is written as\n"
    "'qmv3 convert' writes it (the extension chooses the kind). Exit status 0 when OUT was\n"
    "written, 1 when no image could be kept or OUT could not be written.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    2,
    2,
    Run,
};

}  // namespace qmv3tool
