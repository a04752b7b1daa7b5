// The names of a PNG export: one file per frame, numbered by its position in the sequence.
#include <strings.h>

#include <cstdio>

#include "interchange/interchange.h"

namespace interchange {

std::string PngFrameName(const std::string& path, uint32_t position, uint32_t sequenceSize) {
    std::string stem = path;
    if (stem.size() >= 4 && strcasecmp(stem.c_str() + stem.size() - 4, ".png") == 0) stem.resize(stem.size() - 4);
    const int digits = static_cast<int>(std::to_string(sequenceSize).size());
    char number[16];
    std::snprintf(number, sizeof number, "%0*u", digits, position);
    return stem + "-" + number + ".png";
}

std::vector<std::string> PngNames(const std::string& path, const ExportFrames& frames, uint32_t sequenceSize) {
    std::vector<std::string> names;
    for (const ExportFrame& frame : frames)
        names.push_back(frames.size() == 1 ? path : PngFrameName(path, frame.position, sequenceSize));
    return names;
}

}  // namespace interchange
