// Opening a file for a detector, with the common messages. The detectors read their fields through
// byte_io's reader.
#ifndef QMV3_FILES_DETECT_COMMON_H
#define QMV3_FILES_DETECT_COMMON_H

#include <cstddef>
#include <cstdint>

#include "util/byte_io.h"

namespace detect {

using byte_io::ByteReader;

// Opens the file for binary reading; on failure writes the common message and returns false.
bool OpenForDetection(ByteReader& file, const char* path, char* errorText, size_t errorTextSize);

// Takes the file's size by a move to its end and back to resumeAt; on failure writes the common message
// (seekBackMessage for the move back) and returns false.
bool MeasureAndResume(ByteReader& file, uint64_t resumeAt, const char* seekBackMessage, int64_t& size, char* errorText,
                      size_t errorTextSize);

}  // namespace detect

#endif
