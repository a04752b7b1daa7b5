// "qmv3 report": one self-contained HTML page that shows a run at a glance: its summary, a contact
// sheet, values per frame, the spot, the histogram of the run and the frame timing.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "output_file.h"
#include "report_page.h"

namespace qmv3tool {

namespace {

// The border background of the Spot section when no other is asked for.
constexpr int kDefaultBorder = 8;

std::vector<OptionSpec> Options() {
    std::vector<OptionSpec> options = {{"output", 'o', true}, {"thumbnails", 0, true}, {"palette", 0, true}};
    options.insert(options.end(), std::begin(kSpotOptionSpecs), std::end(kSpotOptionSpecs));
    options.push_back(kForceOption);
    return options;
}

const std::vector<OptionSpec> kOptions = Options();

int Run(const Arguments& arguments) {
    const Command& command = kReportCommand;
    const std::string path = arguments.Positionals()[0];
    uint32_t thumbnails = 24;
    Palette palette = Palette::kGray;
    if (const char* usage = ReadPictureOptions(arguments, thumbnails, palette)) return UsageError(command, "%s", usage);
    SpotOptions spot;
    if (const char* usage = ReadSpotOptions(arguments, kDefaultBorder, spot)) return UsageError(command, "%s", usage);
    const char* output = arguments.Value("output");
    OutputFile page(output ? output : path + ".html", arguments.Has("force"));
    std::string message;
    if (!page.Create(message)) return Failure(command, "%s", message.c_str());

    Sequence sequence;
    ReportInput input;
    std::string html;
    if (!PrepareReport(path, thumbnails, palette, sequence, input, message) ||
        !PrepareSpots(spot, input, message) || !BuildReportPage(input, html, message))
        return Failure(command, "%s: %s", path.c_str(), message.c_str());
    if (!WriteWholeFile(page.TemporaryPath(), html.data(), html.size(), message) || !page.Commit(message))
        return Failure(command, "%s", page.UserText(message).c_str());
    std::printf("%s\n", page.Path().c_str());
    return kExitSuccess;
}

const std::string kDetails =
    "options:\n"
    "  -o, --output OUT.html       the page (default FILE.html beside the input)\n"
    "      --thumbnails N          frames on the contact sheet, sampled evenly (default 24)\n"
    "      --palette gray|false|jet  colours of grey frames (default gray)\n" +
    SpotOptionsHelp(kDefaultBorder) + QMV3_FORCE_HELP
    "\nReads every file kind the tool reads. The page needs nothing else: pictures are embedded\n"
    "as PNG, plots as SVG, and it asks nothing from outside. It shows the kind, size and\n"
    "compression ratio, frame count, geometry, pixel format, scale, camera port, frame numbers,\n"
    "time span and rate, the library's verdict and every invalid image; thumbnails with a\n"
    "contrast stretch from the 0.5th to the 99.5th percentile of the run; mean, minimum,\n"
    "maximum and saturated pixels per frame; the spot (the statistics of 'qmv3 stats' with the\n"
    "options above): centroid and widths over the run and the centroid's scatter with its mean\n"
    "and rms, in millimetres when the images carry a scale; the histogram of the run; the\n"
    "interval between frames with gaps in the frame numbers marked. Plots count images from 1\n"
    "as --frames does. Prints the page's name.\n";

}  // namespace

const Command kReportCommand = {
    "report",
    "FILE [-o OUT.html] [--thumbnails N] [--palette gray|false|jet] [--roi X,Y,W,H] "
    "[--background FILE | --border N] [--threshold T] [--force]",
    "one self-contained HTML page showing a run: summary, thumbnails, plots, the spot",
    kDetails.c_str(),
    kOptions.data(),
    kOptions.size(),
    1,
    1,
    Run,
};

}  // namespace qmv3tool
