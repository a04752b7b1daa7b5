// "qmv3 grab": grabs frames from a video server and saves them; the library chooses the file format by
// the extension. Frames received before a timeout or Ctrl-C are saved too, and the command then fails.
#include <unistd.h>

#include <cstdio>

#include "command.h"
#include "grab_session.h"
#include "interchange.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {
    {"address", 'a', true}, {"property", 'p', true},  {"frames", 'n', true}, {"rate", 'r', true},
    {"mode", 'm', true},    {"decompress", 0, false}, {"single", 0, false},
};

// Fills the request from the options; false after reporting a usage error into status.
bool ReadRequest(const Arguments& arguments, GrabRequest& request, int& status) {
    const Command& command = kGrabCommand;
    if (const char* address = arguments.Value("address")) request.address = address;
    if (const char* property = arguments.Value("property")) request.property = property;
    long number = 0;
    if (const char* frames = arguments.Value("frames")) {
        if (!ParseNumber(frames, 1, 10000, number)) {
            status = UsageError(command, "-n needs a number of frames from 1 to 10000, not '%s'", frames);
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
        request.mode = QMV3_INTERNAL_zantDecodeModeStringCMnew(mode);
        if (request.mode < 0) {
            status = UsageError(command, "--mode '%s' is not an access mode (error %d)", mode, request.mode);
            return false;
        }
    }
    return true;
}

int Run(const Arguments& arguments) {
    const Command& command = kGrabCommand;
    GrabRequest request;
    int status = kExitSuccess;
    if (!ReadRequest(arguments, request, status)) return status;
    const std::string output = arguments.Positionals()[0];
    const bool single = arguments.Has("single");
    const OutputKind kind = OutputKindOf(output);
    if (kind == OutputKind::kUnwritable)
        return UsageError(command, "'%s': the name of OUT must end in one of %s", output.c_str(),
                          WritableExtensions().c_str());
    // Checked before grabbing, so that no grab is lost to a save that must fail.
    if (access(output.c_str(), F_OK) == 0) return Failure(command, "%s exists already", output.c_str());

    Sequence sequence;
    const GrabOutcome outcome = single ? GrabSingleFrame(request, sequence) : GrabFrames(request, sequence);
    if (outcome.received == 0) return Failure(command, "%s", DescribeGrabFailure(request, outcome, single).c_str());
    std::string message;
    if (HasCompressedImages(sequence)) {
        if (!arguments.Has("decompress"))
            return Failure(command, "the frames are JPEG-compressed, which no file kind holds; use --decompress");
        if (!DecompressSequence(sequence, message)) return Failure(command, "%s", message.c_str());
    }
    std::string saved;
    if (IsInterchangeKind(kind)) {
        if (!ExportSequence(sequence, 1, sequence.size(), output, false, saved, message))
            return Failure(command, "%s", message.c_str());
    } else {
        if (!SaveSequence(sequence, output, message)) return Failure(command, "%s", message.c_str());
        saved = output + " (" + std::to_string(FileSize(output)) + " bytes)";
    }
    std::printf("%u frame%s of \"%s\" \"%s\" saved to %s\n", sequence.size(), sequence.size() == 1 ? "" : "s",
                request.address.c_str(), request.property.c_str(), saved.c_str());
    if (outcome.error != 0)
        return Failure(command, "%s; the frames received were saved",
                       DescribeGrabFailure(request, outcome, single).c_str());
    return kExitSuccess;
}

}  // namespace

const Command kGrabCommand = {
    "grab",
    "[--address A] [--property P] [-n N] [--rate MS] [--mode TEXT] [--decompress] [--single] OUT",
    "grab frames from a video server and save them to OUT",
    "options:\n"
    "  -a, --address A   device address (default /SIM/CAMSERVER/CAM0, the simulated camera)\n"
    "  -p, --property P  image property (default Frame)\n"
    "  -n, --frames N    number of frames, 1 to 10000 (default 10)\n"
    "  -r, --rate MS     access rate of the subscription in milliseconds (default 300);\n"
    "                    with --single the time limit of the grab (default 2000)\n"
    "  -m, --mode TEXT   access mode, e.g. TIMER, EVENT, TIMER|STREAM (default TIMER)\n"
    "      --decompress  decompress JPEG frames before saving (files hold only\n"
    "                    uncompressed frames, so JPEG properties need it)\n"
    "      --single      grab one frame with a synchronous read instead of a subscription\n"
    "\nThe extension of OUT chooses the format: .imc2 and .bkc2 IMC2/BKC2, .imm, .imc, .bkc and\n"
    ".bkg the older files, .tif/.tiff, .png and .h5/.hdf5 as 'qmv3 export' writes them; any other\n"
    "name is refused. An existing OUT is never replaced. Ctrl-C stops the grab;\n"
    "the frames received so far are saved and the exit status is 1.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    1,
    1,
    Run,
};

}  // namespace qmv3tool
