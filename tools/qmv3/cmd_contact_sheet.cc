// "qmv3 contact-sheet": the report's thumbnails as one PNG grid, each labelled with its frame number
// and time in a small built-in font.
#include <cstdio>

#include "command.h"
#include "output_file.h"
#include "report_page.h"
#include "sequence_io.h"
#include "thumbnails.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"columns", 0, true}, {"thumbnails", 0, true}, {"palette", 0, true}, kForceOption};

int Run(const Arguments& arguments) {
    const Command& command = kContactSheetCommand;
    const std::string path = arguments.Positionals()[0];
    long columns = 6;
    if (const char* text = arguments.Value("columns"))
        if (!ParseNumber(text, 1, 100, columns)) return UsageError(command, "--columns needs a number from 1 to 100");
    uint32_t thumbnails = 24;
    Palette palette = Palette::kGray;
    if (const char* usage = ReadPictureOptions(arguments, thumbnails, palette)) return UsageError(command, "%s", usage);
    const std::string out = arguments.Positionals()[1];
    if (qmGetFileKindOfName(out.c_str()) != QMV3_FILE_PNG)
        return UsageError(command, "the contact sheet is a PNG file: name it OUT.png");
    const bool force = arguments.Has("force");
    std::string message;
    if (!CheckOutput(out, force, message)) return Failure(command, "%s", message.c_str());

    Sequence sequence;
    ReportInput input;
    if (!PrepareReport(path, thumbnails, palette, sequence, input, message))
        return Failure(command, "%s: %s", path.c_str(), message.c_str());
    if (sequence.size() == 0) return Failure(command, "%s holds no frames", path.c_str());
    const Picture sheet =
        ComposeSheet(input.thumbnails.pictures, input.thumbnails.labels, static_cast<uint32_t>(columns));
    Sequence sheetImages;
    QMBUNCHOFIMAGES* images = sheetImages.get();
    DIMAGE image;
    if (!PictureImage(sheet, image)) return Failure(command, "%s: the contact sheet is too large", out.c_str());
    images->imageArray = &image;
    images->numFrames = 1;
    QMV3_EXPORT_OPTIONS options = {sizeof options, QMV3_EXPORT_FLAG_COMPRESS | (force ? QMV3_SAVE_FLAG_REPLACE : 0u), 0,
                                   0};
    char errorText[1024] = "";
    const int code = qmExportImagesToFile(images, out.c_str(), &options, errorText, sizeof errorText, nullptr, nullptr);
    qmInitializeBunchStructure(images);  // the image is the sheet's, not the sequence's
    if (code == QMV3_SAVE_FILE_EXISTS) return Failure(command, "%s", ExistingOutputMessage(out).c_str());
    if (code != QMV3_SAVE_OK) return Failure(command, "%s", errorText);
    std::printf("%s: %u thumbnails in %ld columns, %u x %u pixels\n", out.c_str(),
                static_cast<unsigned>(input.thumbnails.pictures.size()), columns, sheet.width, sheet.height);
    return kExitSuccess;
}

}  // namespace

const Command kContactSheetCommand = {
    "contact-sheet",
    "FILE OUT.png [--columns C] [--thumbnails N] [--palette gray|false|jet] [--force]",
    "the thumbnails of a run as one labelled PNG grid",
    "options:\n"
    "      --columns C             thumbnails per row (default 6)\n"
    "      --thumbnails N          frames shown, sampled evenly over the run (default 24)\n"
    "      --palette gray|false|jet  colours of grey frames (default gray)\n" QMV3_FORCE_HELP
    "\nThe same thumbnails as qmv3 report shows: grey values stretched from the 0.5th to the\n"
    "99.5th percentile of the run, each labelled with its frame number and UTC time.\n",
    kOptions,
    4,
    2,
    2,
    Run,
};

}  // namespace qmv3tool
