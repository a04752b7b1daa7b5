// What "qmv3 stats" and "qmv3 report" measure of a spot: the options --roi, --background, --border and
// --threshold read into the library's statistics options, the background file loaded, and the figures
// of every image computed by the library.
#ifndef QMV3_TOOL_SPOT_OPTIONS_H
#define QMV3_TOOL_SPOT_OPTIONS_H

#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "qmv3/qmv3.h"
#include "sequence_io.h"

namespace qmv3tool {

// The option specs of the spot options, to append to a command's own.
extern const OptionSpec kSpotOptionSpecs[4];

// The help lines of the spot options; defaultBorder 0: no background by default.
std::string SpotOptionsHelp(int defaultBorder);

struct SpotOptions {
    QMV3_STATISTICS_OPTIONS options = {};
    std::string backgroundPath;            // --background FILE, empty when none
    std::unique_ptr<Sequence> background;  // its one frame, once loaded

    // "whole frame, border background 8 pixels wide, threshold 0" and the like.
    std::string Describe() const;
};

// Reads the spot options; defaultBorder > 0 makes the border background the default. Returns null, or
// the usage message.
const char* ReadSpotOptions(const Arguments& arguments, int defaultBorder, SpotOptions& spot);

// Loads the background file of --background, when given (one frame, decompressed); false with a message.
bool LoadBackground(SpotOptions& spot, std::string& message);

// The figures of every image; false with a message naming the image that failed and why.
bool ComputeSpots(const Sequence& sequence, const SpotOptions& spot, std::vector<QMV3_STATISTICS>& results,
                  std::string& message);

}  // namespace qmv3tool

#endif
