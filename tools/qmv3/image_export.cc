// The dispatch of an export to the writer of its format.
#include "interchange.h"

namespace qmv3tool {

bool ExportFrameList(const std::string& path, OutputKind kind, const ExportFrames& frames, uint32_t sequenceSize,
                     const ExportControl& control, std::vector<std::string>& written, std::string& message) {
    if (frames.empty()) {
        message = "no frames to export";
        return false;
    }
    switch (kind) {
        case OutputKind::kTiff:
            if (!WriteTiffFile(path, frames, control, message)) return false;
            written.push_back(path);
            return true;
        case OutputKind::kHdf5:
            if (!WriteHdf5File(path, frames, control, message)) return false;
            written.push_back(path);
            return true;
        case OutputKind::kPng:
            return WritePngFiles(path, frames, sequenceSize, control, written, message);
        default:
            message = path + ": not an interchange format";
            return false;
    }
}

}  // namespace qmv3tool
