// The HDF5 objects both HDF5 writers make (the export of a sequence, the recorder's growing file): the
// NeXus groups, the sequence's facts as attributes of the frame dataset, and a handle that closes an
// identifier. Kept once so that a recording and an export of the same frames look alike to readers.
//
// Thread rules: none of their own; the HDF5 library is built thread-safe.
#ifndef QMV3_INTERCHANGE_HDF5_OBJECTS_H
#define QMV3_INTERCHANGE_HDF5_OBJECTS_H

#include <hdf5.h>

#include <cstdint>
#include <string>

#include "interchange/interchange.h"
#include "qmv3/qmv3.h"

namespace interchange {

// Closes an HDF5 identifier with its own close function when it goes out of scope.
class Hdf5Handle {
  public:
    Hdf5Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Hdf5Handle() {
        if (id_ >= 0) close_(id_);
    }
    Hdf5Handle(const Hdf5Handle&) = delete;
    Hdf5Handle& operator=(const Hdf5Handle&) = delete;
    hid_t get() const { return id_; }
    bool ok() const { return id_ >= 0; }
    // Closes now; false when closing fails (for the file: when its last data cannot be written).
    bool Close() {
        const herr_t status = id_ >= 0 ? close_(id_) : 0;
        id_ = -1;
        return status >= 0;
    }

  private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

// The room for a file at path: the free space of its folder's file system and the process's file size
// limit (~0 when unknown or unlimited). The HDF5 library crashes closing a file whose data it could not
// write, so its writers check the room before they write instead of relying on a failed write.
struct Hdf5Room {
    uint64_t free = ~0ull;
    uint64_t sizeLimit = ~0ull;
};
Hdf5Room Hdf5RoomAt(const std::string& path);

bool Hdf5StringAttribute(hid_t object, const char* name, const std::string& value);

// /entry (NXentry) and /entry/data (NXdata, signal "data"); the data group, or -1. The caller closes it.
hid_t Hdf5CreateNexusGroups(hid_t file);

// The sequence's facts (effective bits, pixel format, camera port, scale) as attributes of the frame
// dataset, taken from its first frame.
bool Hdf5FrameAttributes(hid_t set, const DIMAGE& first, const PixelLayout& shape);

}  // namespace interchange

#endif
