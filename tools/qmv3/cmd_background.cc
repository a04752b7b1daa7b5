// "qmv3 background": a background frame for the statistics, the per-pixel mean of a run's frames
// (the library's average reduction of the older record) saved as a BKG file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "command.h"
#include "output_file.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

int Run(const Arguments& arguments) {
    const Command& command = kBackgroundCommand;
    const std::string input = arguments.Positionals()[0];
    const std::string output = arguments.Positionals()[1];
    if (qmGetFileKindOfName(output.c_str()) != QMV3_FILE_BKG) return UsageError(command, "'%s': the name of OUT must end in .bkg", output.c_str());
    long first = 0, last = 0;
    const char* range = arguments.Value("frames");
    if (range != nullptr && !ParseRange(range, first, last))
        return UsageError(command, "--frames needs A:B, A:, :B or K with 1 <= A <= B, not '%s'", range);
    OutputFiles outputs(arguments.Has("force"));
    outputs.Add(output);
    std::string message;
    if (!outputs.Check(message)) return Failure(command, "%s", message.c_str());

    Sequence sequence;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    if (sequence.size() == 0) return Failure(command, "%s holds no frames", input.c_str());
    if (first == 0) first = 1;
    if (last == 0) last = sequence.size();
    if (static_cast<unsigned long>(last) > sequence.size())
        return UsageError(command, "--frames %s goes beyond the %u frames of %s", range, sequence.size(),
                          input.c_str());
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s: %s", input.c_str(), message.c_str());

    // The chosen images, borrowed: the conversion copies them.
    QMBUNCHOFIMAGES chosen = {&sequence[static_cast<uint32_t>(first - 1)], static_cast<uint32_t>(last - first + 1)};
    OlderRecord record;
    char text[1024] = "";
    if (qmBunchToVIDINFHDREx2(&chosen, record.get(), text, sizeof text, 0, nullptr) != QMV3_BUNCH_CONVERT_OK)
        return Failure(command, "%s: %s", input.c_str(), text);
    const int method = chosen.numFrames > 1 ? QMV3_REDUCE_AVERAGE : QMV3_REDUCE_NONE;
    if (convert_format(record.get(), VIDINFHDR_TYPE_BKG, method) != QMV3_CONVERT_FORMAT_OK)
        return Failure(command, "%s: the frames could not be averaged", input.c_str());
    if (!outputs.Prepare(message)) return Failure(command, "%s", message.c_str());
    const int saved = save_bkg_file(outputs.WritePath(0).c_str(), record.get());
    if (saved != QMV3_LEGACY_SAVE_OK) {
        const bool system = saved == QMV3_LEGACY_SAVE_CREATE_FAILED || saved == QMV3_LEGACY_SAVE_WRITE_FAILED;
        return Failure(command, "cannot write %s: %s", output.c_str(),
                       system ? std::strerror(errno) : ("the BKG saver failed with " + std::to_string(saved)).c_str());
    }
    if (!outputs.Commit(message)) return Failure(command, "%s", message.c_str());
    std::printf("%s -> %s: mean of images %ld to %ld (%u frame%s)\n", input.c_str(), output.c_str(), first, last,
                chosen.numFrames, chosen.numFrames == 1 ? "" : "s");
    return kExitSuccess;
}

const OptionSpec kOptions[] = {{"frames", 0, true}, kForceOption};

}  // namespace

const Command kBackgroundCommand = {
    "background",
    "IN OUT.bkg [--frames A:B] [--force]",
    "average frames into one background frame for the statistics",
    "options:\n"
    "      --frames A:B  only images A to B in file order, counted from 1 (also A:, :B, K)\n" QMV3_FORCE_HELP
    "\nIN is any file the tool reads with grey frames of one size (JPEG frames are decompressed).\n"
    "Every pixel of OUT is the mean of that pixel over the chosen images, cut to a whole number,\n"
    "as the library's average reduction makes it. 'qmv3 stats --background OUT.bkg' and\n"
    "'qmv3 report --background OUT.bkg' take it off pixel by pixel.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    2,
    2,
    Run,
};

}  // namespace qmv3tool
