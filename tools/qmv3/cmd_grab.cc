// "qmv3 grab": grabs frames from a video server and saves them; the library chooses the file format by
// the extension. Frames received before a timeout, Ctrl-C, SIGTERM or SIGHUP are saved too, and the
// command then fails.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "command.h"
#include "grab_session.h"
#include "interrupt.h"
#include "output_file.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {
    {"address", 'a', true},   {"property", 'p', true}, {"frames", 'n', true}, {"rate", 'r', true}, {"mode", 'm', true},
    {"decompress", 0, false}, {"single", 0, false},    {"quiet", 'q', false}, {"compress", 0, true},
    kForceOption,
};

// Fills the request from the options; false after reporting a usage error into status.
bool ReadRequest(const Arguments& arguments, GrabRequest& request, int& status) {
    const Command& command = kGrabCommand;
    if (const char* address = arguments.Value("address")) request.address = address;
    if (const char* property = arguments.Value("property")) request.property = property;
    long number = 0;
    if (const char* frames = arguments.Value("frames")) {
        // As many as an IMC2/BKC2 file holds: the frames go there when they cannot go to OUT.
        const unsigned most = qmGetFileKindMaxImages(QMV3_FILE_IMC2_BKC2);
        if (!ParseNumber(frames, 1, static_cast<long>(most), number)) {
            status = UsageError(command, "-n needs a number of frames from 1 to %u, not '%s'", most, frames);
            return false;
        }
        request.frames = static_cast<unsigned>(number);
    }
    // A single grab retries until its time limit, which should outlast a few slow answers.
    if (arguments.Has("single")) request.rateMilliseconds = 2000;
    if (const char* rate = arguments.Value("rate")) {
        if (!ParseNumber(rate, 1, 3600000, number)) {
            status = UsageError(command, "--rate needs milliseconds from 1 to 3600000, not '%s'", rate);
            return false;
        }
        request.rateMilliseconds = static_cast<int>(number);
    }
    if (const char* mode = arguments.Value("mode")) {
        char reason[512];
        request.mode = qmDecodeAccessMode(mode, reason, sizeof reason);
        if (request.mode < 0) {
            status = UsageError(command, "--mode '%s' is not an access mode: %s", mode, reason);
            return false;
        }
    }
    return true;
}

// The name for frames that could not be saved under the requested one: STEM-K.imc2 in the folder,
// since IMC2/BKC2 holds every frame the tool grabs.
std::string RescueName(const std::string& folder, const std::string& output, int number) {
    const size_t slash = output.rfind('/');
    std::string stem = slash == std::string::npos ? output : output.substr(slash + 1);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    return folder + stem + "-" + std::to_string(number) + ".imc2";
}

// Saves the frames to a free name in the requested folder, else in the current folder, else in the
// system's temporary folder; the name used, or "" when nothing could be written.
std::string SaveElsewhere(Sequence& sequence, const std::string& output) {
    const size_t slash = output.rfind('/');
    const char* temporary = std::getenv("TMPDIR");
    const std::string folders[] = {
        slash == std::string::npos ? "" : output.substr(0, slash + 1), "",
        std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") + "/"};
    for (const std::string& folder : folders) {
        for (int number = 1; number <= 100; ++number) {
            const std::string name = RescueName(folder, output, number);
            std::string message;
            int code = 0;
            if (SaveSequence(sequence, name, 0, code, message)) return name;
            if (code != QMV3_SAVE_FILE_EXISTS) break;  // the folder refuses, or the frames
        }
    }
    return "";
}

int Run(const Arguments& arguments) {
    const Command& command = kGrabCommand;
    GrabRequest request;
    int status = kExitSuccess;
    if (!ReadRequest(arguments, request, status)) return status;
    const std::string output = arguments.Positionals()[0];
    const bool single = arguments.Has("single");
    const bool quiet = arguments.Has("quiet");
    // Everything that can be known before subscribing is checked first, so that no grab is lost to
    // a save that must fail.
    int kind = QMV3_FILE_UNKNOWN;
    char refusal[8192];
    if (qmCheckOutputName(output.c_str(), &kind, refusal, sizeof refusal) != QMV3_SAVE_OK)
        return UsageError(command, "%s", refusal);
    if (!single && request.frames > 1 && qmGetFileKindMaxImages(kind) == 1)
        return UsageError(command, "'%s' holds one frame only; grab with -n 1 or --single", output.c_str());
    unsigned int compression = 0;
    const char* compress = arguments.Value("compress");
    if (compress != nullptr && !ParseCompression(compress, compression))
        return UsageError(command, "--compress takes fast, default or none, not '%s'", compress);
    if (compress != nullptr && !qmFileKindTakesCompression(kind))
        return UsageError(command, "--compress chooses the compression of .imc2 and .bkc2 files only");
    const bool force = arguments.Has("force");
    std::string message;
    if (!CheckOutput(output, force, message)) return Failure(command, "%s", message.c_str());

    // The library warns of such a rate in its log file only, where a user of the tool does not look.
    const int rate = request.rateMilliseconds;
    if (!single && !quiet && (rate < QMV3_GRAB_RATE_MIN_RECOMMENDED || rate > QMV3_GRAB_RATE_MAX_RECOMMENDED))
        std::fprintf(stderr, "qmv3 grab: note: an access rate of %d ms is %s the recommended range of %d to %d ms\n",
                     rate, rate < QMV3_GRAB_RATE_MIN_RECOMMENDED ? "below" : "above", QMV3_GRAB_RATE_MIN_RECOMMENDED,
                     QMV3_GRAB_RATE_MAX_RECOMMENDED);
    Sequence sequence;
    const GrabOutcome outcome = single ? GrabSingleFrame(request, sequence) : GrabFrames(request, sequence);
    if (outcome.received == 0) return Failure(command, "%s", DescribeGrabFailure(request, outcome, single).c_str());
    // No file kind holds JPEG frames, so they are always decompressed.
    if (HasCompressedImages(sequence)) {
        if (!arguments.Has("decompress") && !quiet)
            std::fprintf(stderr, "qmv3 grab: the frames of \"%s\" are JPEG-compressed; decompressing them for %s\n",
                         request.property.c_str(), output.c_str());
        if (!DecompressSequence(sequence, message)) return Failure(command, "%s", message.c_str());
    }
    // A grab that stopped early never replaces a file the user has: --force asked to replace it with
    // a complete run, not with the few frames received before a stop or a failure.
    const bool incomplete = !single && outcome.received < static_cast<int>(request.frames);
    if (incomplete && !ExistingOutputMessage(output).empty()) {
        const std::string elsewhere = SaveElsewhere(sequence, output);
        const std::string reason = DescribeGrabFailure(request, outcome, single);
        if (elsewhere.empty())
            return Failure(command, "%s; %s was kept, and the frames received could not be saved anywhere",
                           reason.c_str(), output.c_str());
        return Failure(command, "%s; %s was kept, the %u frame%s received were saved to %s instead", reason.c_str(),
                       output.c_str(), sequence.size(), sequence.size() == 1 ? "" : "s", elsewhere.c_str());
    }
    const int presses = InterruptPresses();
    std::string savedAs;
    bool saved = false;
    if (qmIsExportFileKind(kind)) {
        saved = ExportSequence(sequence, 1, sequence.size(), output, false, force, savedAs, message);
    } else {
        int code = 0;
        saved = SaveSequence(sequence, output, (force ? QMV3_SAVE_FLAG_REPLACE : 0u) | compression, code, message);
        savedAs = output + " (" + std::to_string(FileSize(output)) + " bytes)";
    }
    if (!saved) {
        const std::string& reason = message;
        // A Ctrl-C during the save asked to stop it, not to write the frames elsewhere.
        if (InterruptPresses() != presses) return Failure(command, "%s; the frames were not saved", reason.c_str());
        const std::string elsewhere = SaveElsewhere(sequence, output);
        if (elsewhere.empty())
            return Failure(command, "%s; the %u frames received could not be saved anywhere", reason.c_str(),
                           sequence.size());
        return Failure(command, "%s; the %u frame%s received were saved to %s instead", reason.c_str(), sequence.size(),
                       sequence.size() == 1 ? "" : "s", elsewhere.c_str());
    }
    // Said once the file is there: a failed save tells the user where the frames went instead.
    char loss[8192];
    if (qmDescribeSaveLoss(sequence.get(), nullptr, output.c_str(), "the time of saving", loss, sizeof loss) > 0 &&
        !quiet)
        std::fprintf(stderr, "qmv3 grab: warning: %s\n", loss);
    std::printf("%u frame%s of \"%s\" \"%s\" saved to %s\n", sequence.size(), sequence.size() == 1 ? "" : "s",
                request.address.c_str(), request.property.c_str(), savedAs.c_str());
    if (outcome.error != 0)
        return Failure(command, "%s; the frames received were saved",
                       DescribeGrabFailure(request, outcome, single).c_str());
    return kExitSuccess;
}

}  // namespace

const Command kGrabCommand = {
    "grab",
    "[--address A] [--property P] [-n N] [--rate MS] [--mode TEXT] [--single] [--compress C] [--force] [--quiet] "
    "OUT",
    "grab frames from a video server and save them to OUT",
    "options:\n"
    "  -a, --address A   device address (default /SIM/CAMSERVER/CAM0, the simulated camera)\n"
    "  -p, --property P  image property (default Frame)\n"
    "  -n, --frames N    number of frames, 1 to 10000 (default 10)\n"
    "  -r, --rate MS     access rate of the subscription in milliseconds (default 300; a note\n"
    "                    says when it lies outside the recommended 300 to 4000);\n"
    "                    with --single the time limit of the grab (default 2000)\n"
    "  -m, --mode TEXT   access mode, e.g. TIMER, EVENT, TIMER|STREAM (default TIMER)\n"
    "      --single      grab one frame with a synchronous read instead of a subscription\n" QMV3_COMPRESS_HELP
        QMV3_FORCE_HELP
    "  -q, --quiet       no notes or warnings on standard error\n"
    "      --decompress  accepted for older scripts: JPEG frames are always decompressed,\n"
    "                    since no file kind holds them (a note says so without this option)\n"
    "\nThe extension of OUT chooses the format: .imc2 and .bkc2 IMC2/BKC2, .imm, .imc, .bkc and\n"
    ".bkg the older files, .tif/.tiff, .png and .h5/.hdf5 as 'qmv3 export' writes them; any other\n"
    "name is refused. The folder, the name and the kind are\n"
    "checked before the grab starts; an existing OUT is refused unless --force is given. When\n"
    "frames were received but cannot be saved as OUT, they are saved to a free name\n"
    "(STEM-1.imc2, ...) in OUT's folder, the current folder or the temporary folder, and the\n"
    "message says where. Ctrl-C, SIGTERM and SIGHUP stop the grab; the frames received so far\n"
    "are saved and the exit status is 1. A grab that stops early never replaces an existing\n"
    "OUT, even with --force: its frames go to a free STEM-N.imc2 beside it, and the message\n"
    "says where.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    1,
    1,
    Run,
};

}  // namespace qmv3tool
