// The recorder's HDF5 output (recorder_hdf5.cc).
#ifndef QMV3_STREAM_RECORDER_HDF5_H
#define QMV3_STREAM_RECORDER_HDF5_H

#include <memory>
#include <string>

#include "stream/recorder.h"

namespace recorder {

// Creates the file (path, or a hidden name beside it when it replaces one); null with code and message
// when it cannot be created. compress: the frame dataset carries the deflate filter and the workers
// deflate its chunks.
std::unique_ptr<Sink> OpenHdf5Sink(const std::string& path, bool compress, bool replace, int& code,
                                   std::string& message);

}  // namespace recorder

#endif
