// The recorder's IMC2/BKC2 output (recorder_imc2.cc).
#ifndef QMV3_STREAM_RECORDER_IMC2_H
#define QMV3_STREAM_RECORDER_IMC2_H

#include <memory>
#include <string>

#include "stream/recorder.h"

namespace recorder {

// Creates the first file (path) and starts the output's sync thread; null with code and message when the
// file cannot be created.
std::unique_ptr<Sink> OpenImc2Sink(const std::string& path, unsigned int split, bool replace, int& code,
                                   std::string& message);

}  // namespace recorder

#endif
