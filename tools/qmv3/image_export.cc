// The table of file kinds the tool writes, by extension, and the dispatch of an export to its format.
#include <strings.h>

#include <cstring>

#include "interchange.h"

namespace qmv3tool {

namespace {

struct WritableExtension {
    const char* extension;
    OutputKind kind;
};

// Every name the tool writes ends in one of these (compared without regard to case).
const WritableExtension kWritable[] = {
    {".imc2", OutputKind::kImc2}, {".bkc2", OutputKind::kImc2}, {".imm", OutputKind::kOlder},
    {".imc", OutputKind::kOlder}, {".bkc", OutputKind::kOlder}, {".bkg", OutputKind::kOlder},
    {".tif", OutputKind::kTiff},  {".tiff", OutputKind::kTiff}, {".png", OutputKind::kPng},
    {".h5", OutputKind::kHdf5},   {".hdf5", OutputKind::kHdf5},
};

}  // namespace

OutputKind OutputKindOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const WritableExtension& entry : kWritable) {
        const size_t length = std::strlen(entry.extension);
        // A name that is nothing but the extension (".png") has no stem to write under.
        if (base.size() > length && strcasecmp(base.c_str() + base.size() - length, entry.extension) == 0)
            return entry.kind;
    }
    return OutputKind::kUnwritable;
}

std::string WritableExtensions() {
    std::string text;
    for (const WritableExtension& entry : kWritable) text += (text.empty() ? "" : ", ") + std::string(entry.extension);
    return text;
}

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
