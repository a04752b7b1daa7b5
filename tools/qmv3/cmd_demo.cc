// "qmv3 demo": the main job. With the default simulated camera it grabs a grey and a JPEG sequence,
// checks them, saves them as IMC2 files, reloads and compares them byte for byte, converts one to IMM
// and reads it back, exports a false-colour bitmap, and reports each step with its figures.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "command.h"
#include "demo_steps.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"frames", 'n', true}, {"dir", 'd', true}};

// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolder(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int Run(const Arguments& arguments) {
    const Command& command = kDemoCommand;
    long frames = 20;
    if (const char* text = arguments.Value("frames"))
        if (!ParseNumber(text, 1, 1000, frames)) return UsageError(command, "--frames needs a number from 1 to 1000");
    const char* folderOption = arguments.Value("dir");
    const std::string folder = folderOption ? folderOption : "qmv3-demo";
    if (!MakeFolder(folder))
        return Failure(command, "cannot create the folder %s: %s", folder.c_str(), std::strerror(errno));

    DemoRun demo(folder, static_cast<unsigned>(frames));
    const bool passed = demo.RunAll();
    demo.PrintSummary(passed);
    return passed ? kExitSuccess : kExitFailure;
}

}  // namespace

const Command kDemoCommand = {
    "demo",
    "[--frames N] [--dir D]",
    "run the demonstration with the default simulated camera",
    "options:\n"
    "  -n, --frames N  frames of the grey property \"Frame\" to grab (default 20)\n"
    "  -d, --dir D     folder of the files written (default qmv3-demo; created if missing)\n"
    "\nGrabs N frames of \"Frame\" and 5 of \"FrameJpeg\" from /SIM/CAMSERVER/CAM0, checks that\n"
    "each sequence is complete, decompresses the JPEG frames, saves both as IMC2 files,\n"
    "reloads and compares them byte for byte, converts the grey one to IMM and reads it back,\n"
    "exports its first frame as a false-colour bitmap, and writes the report of the grey run\n"
    "(report.html, see qmv3 report). Files of an earlier run in D are replaced. Exit\n"
    "status 1 when any step fails.\n",
    kOptions,
    2,
    0,
    0,
    Run,
};

}  // namespace qmv3tool
