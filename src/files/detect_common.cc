// Helpers shared by the file detectors.
#include "files/detect_common.h"

#include "files/metadata_sets.h"

namespace detect {

bool OpenForDetection(ByteReader& file, const char* path, char* errorText, size_t errorTextSize) {
    if (path == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize, "Error opening file. Parameter asFilePath is NULL.");
        return false;
    }
    if (path[0] == '\0') {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Error opening file. Parameter asFilePath is empty string.");
        return false;
    }
    if (file.Open(path)) return true;
    _internal_dumpErrorString(errorText, errorTextSize, "Error opening file \"%s\".", path);
    return false;
}

bool MeasureAndResume(ByteReader& file, uint64_t resumeAt, const char* seekBackMessage, int64_t& size, char* errorText,
                      size_t errorTextSize) {
    if (!file.SeekToEnd()) {
        _internal_dumpErrorString(errorText, errorTextSize, "File seek to end failed.");
        return false;
    }
    size = file.Position();
    if (size < 0) {
        _internal_dumpErrorString(errorText, errorTextSize, "Getting max. file position failed.");
        return false;
    }
    if (!file.Seek(resumeAt)) {
        _internal_dumpErrorString(errorText, errorTextSize, "%s", seekBackMessage);
        return false;
    }
    return true;
}

}  // namespace detect
