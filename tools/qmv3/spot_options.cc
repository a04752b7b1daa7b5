// The spot options are read here once for every command that measures a spot, so that "stats" and
// "report" take the same words and describe them the same way.
#include "spot_options.h"

#include <cstdio>
#include <cstring>

namespace qmv3tool {

const OptionSpec kSpotOptionSpecs[4] = {
    {"roi", 0, true}, {"background", 0, true}, {"border", 0, true}, {"threshold", 0, true}};

namespace {

// "X,Y,W,H" of non-negative whole numbers, W and H at least 1.
bool ParseRegion(const char* text, QMV3_STATISTICS_OPTIONS& options) {
    long values[4];
    const char* at = text;
    for (int k = 0; k < 4; ++k) {
        const char* comma = std::strchr(at, ',');
        if ((comma == nullptr) != (k == 3)) return false;
        const std::string part = comma ? std::string(at, comma) : std::string(at);
        if (!ParseNumber(part.c_str(), k < 2 ? 0 : 1, 0x7fffffffL, values[k])) return false;
        at = comma ? comma + 1 : at;
    }
    options.x = static_cast<int>(values[0]);
    options.y = static_cast<int>(values[1]);
    options.width = static_cast<int>(values[2]);
    options.height = static_cast<int>(values[3]);
    return true;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::string SpotOptionsHelp(int defaultBorder) {
    return std::string(
               "      --roi X,Y,W,H         the region: left column, top row, width, height in pixels\n"
               "                            (default the whole frame)\n"
               "      --background FILE     take a background frame off pixel by pixel (one frame of the\n"
               "                            same size, e.g. made by 'qmv3 background')\n"
               "      --border N            take off the median of the region's outer ring, N pixels wide") +
           (defaultBorder > 0 ? " (default " + std::to_string(defaultBorder) + ")" : std::string()) +
           "\n      --threshold T         pixels count where value - background > T (default 0)\n";
}

std::string SpotOptions::Describe() const {
    const QMV3_STATISTICS_OPTIONS& o = options;
    std::string text = o.width > 0 ? "region " + std::to_string(o.x) + "," + std::to_string(o.y) + " " +
                                         std::to_string(o.width) + " x " + std::to_string(o.height)
                                   : std::string("whole frame");
    if (o.background == QMV3_BACKGROUND_BORDER)
        text += ", background the median of the outer ring " + std::to_string(o.border) + " pixel" +
                (o.border == 1 ? "" : "s") + " wide";
    else if (o.background == QMV3_BACKGROUND_FRAME)
        text += ", background frame " + backgroundPath;
    else
        text += ", no background";
    return text + ", threshold " + Number(o.threshold);
}

const char* ReadSpotOptions(const Arguments& arguments, int defaultBorder, SpotOptions& spot) {
    QMV3_STATISTICS_OPTIONS& options = spot.options;
    options = QMV3_STATISTICS_OPTIONS();
    options.size = sizeof options;
    if (const char* text = arguments.Value("roi"))
        if (!ParseRegion(text, options)) return "--roi needs X,Y,W,H: whole numbers, W and H at least 1";
    if (const char* text = arguments.Value("threshold"))
        if (!ParseDecimal(text, options.threshold)) return "--threshold needs a number";
    const char* border = arguments.Value("border");
    const char* background = arguments.Value("background");
    if (border != nullptr && background != nullptr) return "--background and --border exclude each other";
    if (background != nullptr) {
        if (*background == '\0') return "--background needs a file";
        options.background = QMV3_BACKGROUND_FRAME;
        spot.backgroundPath = background;
    } else if (border != nullptr || defaultBorder > 0) {
        long width = defaultBorder;
        if (border != nullptr && !ParseNumber(border, 1, 1000000, width))
            return "--border needs a whole number from 1 to 1000000";
        options.background = QMV3_BACKGROUND_BORDER;
        options.border = static_cast<int>(width);
    }
    return nullptr;
}

bool LoadBackground(SpotOptions& spot, std::string& message) {
    if (spot.options.background != QMV3_BACKGROUND_FRAME) return true;
    spot.background = std::make_unique<Sequence>();
    Sequence& background = *spot.background;
    if (!LoadSequence(spot.backgroundPath, background, message)) return false;
    if (background.size() != 1) {
        message = spot.backgroundPath + " holds " + std::to_string(background.size()) +
                  " frames; a background is one frame ('qmv3 background' averages a run into one)";
        return false;
    }
    if (HasCompressedImages(background) && !DecompressSequence(background, message)) return false;
    spot.options.backgroundFrame = &background[0];
    return true;
}

bool ComputeSpots(const Sequence& sequence, const SpotOptions& spot, std::vector<QMV3_STATISTICS>& results,
                  std::string& message) {
    results.assign(sequence.size(), QMV3_STATISTICS());
    if (sequence.size() == 0) return true;
    unsigned int failed = 0;
    const int status =
        qmSequenceStatistics(sequence.get(), &spot.options, results.data(), sequence.size(), &failed);
    if (status == QMV3_STATISTICS_OK) return true;
    message = "image " + std::to_string(failed + 1) + " of " + std::to_string(sequence.size()) + ": " +
              qmGetStatisticsResultText(status);
    results.clear();
    return false;
}

}  // namespace qmv3tool
