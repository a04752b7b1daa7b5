// Replay of recorded files: the stand-in reads them with the client library's own loaders, found at run
// time in the process, so that it never links against the library that links against it.
#ifndef ZANTSIM_REPLAY_H
#define ZANTSIM_REPLAY_H

#include <memory>
#include <string>

#include "sim_image.h"

namespace zantsim {

// Loads every frame of a file of any kind the library reads; null with a reason when the library's
// loader is not in the process, the file cannot be loaded or holds no frames.
std::shared_ptr<const Recording> LoadRecording(const std::string& path, std::string& reason);

// Loads the replay file of `property` and takes geometry, format, effective bits and scale from it;
// when it cannot be loaded, marks the property unavailable and reports that once per file on
// standard error.
void PrepareReplay(const std::string& address, PropertyModel& property);

}  // namespace zantsim

#endif
