// The HDF5 objects both HDF5 writers make: see hdf5_objects.h.
#include "interchange/hdf5_objects.h"

#include <sys/resource.h>
#include <sys/statvfs.h>

#include "interchange/frame_metadata.h"

namespace interchange {

namespace {

template <typename T>
bool NumberAttribute(hid_t object, const char* name, hid_t fileType, hid_t memoryType, T value) {
    Hdf5Handle space(H5Screate(H5S_SCALAR), H5Sclose);
    Hdf5Handle attribute(H5Acreate2(object, name, fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    return attribute.ok() && H5Awrite(attribute.get(), memoryType, &value) >= 0;
}

}  // namespace

Hdf5Room Hdf5RoomAt(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    Hdf5Room room;
    struct statvfs space;
    if (statvfs(folder.c_str(), &space) == 0) room.free = uint64_t(space.f_bavail) * space.f_frsize;
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) room.sizeLimit = limit.rlim_cur;
    return room;
}

bool Hdf5StringAttribute(hid_t object, const char* name, const std::string& value) {
    Hdf5Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!type.ok() || H5Tset_size(type.get(), value.empty() ? 1 : value.size()) < 0 ||
        H5Tset_strpad(type.get(), H5T_STR_NULLPAD) < 0)
        return false;
    Hdf5Handle space(H5Screate(H5S_SCALAR), H5Sclose);
    Hdf5Handle attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    const std::string stored = value.empty() ? std::string(1, '\0') : value;
    return attribute.ok() && H5Awrite(attribute.get(), type.get(), stored.data()) >= 0;
}

hid_t Hdf5CreateNexusGroups(hid_t file) {
    Hdf5Handle entry(H5Gcreate2(file, "entry", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
    if (!entry.ok() || !Hdf5StringAttribute(entry.get(), "NX_class", "NXentry")) return -1;
    const hid_t data = H5Gcreate2(entry.get(), "data", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    if (data < 0) return -1;
    if (!Hdf5StringAttribute(data, "NX_class", "NXdata") || !Hdf5StringAttribute(data, "signal", "data")) {
        H5Gclose(data);
        return -1;
    }
    return data;
}

bool Hdf5FrameAttributes(hid_t set, const DIMAGE& first, const PixelLayout& shape) {
    const FrameFacts facts = FactsOf(first);
    return NumberAttribute<int32_t>(set, "effective_bits", H5T_STD_I32LE, H5T_NATIVE_INT32, facts.effectiveBits) &&
           Hdf5StringAttribute(set, "pixel_format", shape.channels == 3 ? "RGB" : "GRAY") &&
           Hdf5StringAttribute(set, "camera_port_name", facts.portName) &&
           NumberAttribute<uint32_t>(set, "camera_port_id", H5T_STD_U32LE, H5T_NATIVE_UINT32, facts.portId) &&
           NumberAttribute<float>(set, "x_scale", H5T_IEEE_F32LE, H5T_NATIVE_FLOAT, facts.xScale) &&
           NumberAttribute<float>(set, "y_scale", H5T_IEEE_F32LE, H5T_NATIVE_FLOAT, facts.yScale) &&
           Hdf5StringAttribute(set, "scale_units", "mm per pixel (not set when <= 0)");
}

}  // namespace interchange
