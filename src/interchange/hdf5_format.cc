// HDF5 with the library's C interface, in the layout NeXus and HDF5 browsers recognise: /entry (NXentry),
// /entry/data (NXdata, signal "data"), the frames as one dataset of shape (N, H, W) or (N, H, W, 3) in
// their own integer type, one frame per chunk, and beside it frame numbers, event numbers and time
// stamps; the sequence's facts are attributes of the frame dataset.
#include <hdf5.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "interchange/interchange.h"

namespace interchange {

namespace {

// Closes an HDF5 identifier with its own close function when it goes out of scope.
class Handle {
  public:
    Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    hid_t get() const { return id_; }
    bool ok() const { return id_ >= 0; }
    // Closes now; false when closing fails (for the file: when its last data cannot be written).
    bool Close() {
        if (id_ < 0) return true;
        const herr_t status = close_(id_);
        id_ = -1;
        return status >= 0;
    }

  private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

bool StringAttribute(hid_t object, const char* name, const std::string& value) {
    Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!type.ok() || H5Tset_size(type.get(), value.empty() ? 1 : value.size()) < 0 ||
        H5Tset_strpad(type.get(), H5T_STR_NULLPAD) < 0)
        return false;
    Handle space(H5Screate(H5S_SCALAR), H5Sclose);
    Handle attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    const std::string stored = value.empty() ? std::string(1, '\0') : value;
    return attribute.ok() && H5Awrite(attribute.get(), type.get(), stored.data()) >= 0;
}

template <typename T>
bool NumberAttribute(hid_t object, const char* name, hid_t fileType, hid_t memoryType, T value) {
    Handle space(H5Screate(H5S_SCALAR), H5Sclose);
    Handle attribute(H5Acreate2(object, name, fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    return attribute.ok() && H5Awrite(attribute.get(), memoryType, &value) >= 0;
}

template <typename T>
bool OneDimensional(hid_t group, const char* name, hid_t fileType, hid_t memoryType, const std::vector<T>& values,
                    const char* units) {
    const hsize_t size = values.size();
    Handle space(H5Screate_simple(1, &size, nullptr), H5Sclose);
    Handle set(H5Dcreate2(group, name, fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Dclose);
    return set.ok() && H5Dwrite(set.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0 &&
           (units == nullptr || StringAttribute(set.get(), "units", units));
}

bool WriteFile(const std::string& path, const ExportFrames& frames, const std::vector<PixelLayout>& layouts,
               const ExportControl& control, std::string& message) {
    const PixelLayout& shape = layouts[0];
    Handle file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
    if (!file.ok()) return false;
    Handle entry(H5Gcreate2(file.get(), "entry", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
    if (!entry.ok() || !StringAttribute(entry.get(), "NX_class", "NXentry")) return false;
    Handle data(H5Gcreate2(entry.get(), "data", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Gclose);
    if (!data.ok() || !StringAttribute(data.get(), "NX_class", "NXdata") ||
        !StringAttribute(data.get(), "signal", "data"))
        return false;

    const int rank = shape.channels == 3 ? 4 : 3;
    const hsize_t dims[4] = {frames.size(), shape.height, shape.width, 3};
    const hsize_t chunk[4] = {1, shape.height, shape.width, 3};
    Handle space(H5Screate_simple(rank, dims, nullptr), H5Sclose);
    Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    if (!space.ok() || !properties.ok() || H5Pset_chunk(properties.get(), rank, chunk) < 0 ||
        H5Pset_fill_time(properties.get(), H5D_FILL_TIME_NEVER) < 0 ||
        (control.compress && H5Pset_deflate(properties.get(), 4) < 0))
        return false;
    const hid_t fileType = shape.bytesPerSample == 2 ? H5T_STD_U16LE : H5T_STD_U8LE;
    Handle set(H5Dcreate2(data.get(), "data", fileType, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT),
               H5Dclose);
    if (!set.ok()) return false;

    std::vector<unsigned char> packed(control.compress ? compressBound(static_cast<uLong>(shape.bytes())) : 0);
    std::vector<uint32_t> numbers, events;
    std::vector<double> times;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (control.Interrupted()) {
            message = "interrupted";
            return false;
        }
        const hsize_t offset[4] = {i, 0, 0, 0};
        // Each chunk is one frame, written straight to the file: as it is, or deflated here into a
        // buffer of one frame (the library's own filter would hold two), in the form its filter reads.
        const void* chunkData = layouts[i].pixels;
        size_t chunkBytes = layouts[i].bytes();
        if (control.compress) {
            uLongf packedBytes = static_cast<uLongf>(packed.size());
            if (compress2(packed.data(), &packedBytes, layouts[i].pixels, static_cast<uLong>(chunkBytes), 4) != Z_OK) {
                message = "compressing image " + std::to_string(frames[i].position) + " failed";
                return false;
            }
            chunkData = packed.data();
            chunkBytes = packedBytes;
        }
        if (H5Dwrite_chunk(set.get(), H5P_DEFAULT, 0, offset, chunkBytes, chunkData) < 0) return false;
        const DIMAGE& image = *frames[i].image;
        numbers.push_back(image.frameHeader.frameNumber);
        events.push_back(image.frameHeader.eventNumber);
        times.push_back(image.sourceHeader.timestampSeconds + image.sourceHeader.timestampMicroseconds * 1e-6);
        if (control.progress != nullptr) *control.progress = double(i + 1) / double(frames.size());
    }
    const FrameFacts facts = FactsOf(*frames[0].image);
    if (!NumberAttribute<int32_t>(set.get(), "effective_bits", H5T_STD_I32LE, H5T_NATIVE_INT32, facts.effectiveBits) ||
        !StringAttribute(set.get(), "pixel_format", shape.channels == 3 ? "RGB" : "GRAY") ||
        !StringAttribute(set.get(), "camera_port_name", facts.portName) ||
        !NumberAttribute<uint32_t>(set.get(), "camera_port_id", H5T_STD_U32LE, H5T_NATIVE_UINT32, facts.portId) ||
        !NumberAttribute<float>(set.get(), "x_scale", H5T_IEEE_F32LE, H5T_NATIVE_FLOAT, facts.xScale) ||
        !NumberAttribute<float>(set.get(), "y_scale", H5T_IEEE_F32LE, H5T_NATIVE_FLOAT, facts.yScale) ||
        !StringAttribute(set.get(), "scale_units", "mm per pixel (not set when <= 0)"))
        return false;
    if (!OneDimensional(data.get(), "frame_number", H5T_STD_U32LE, H5T_NATIVE_UINT32, numbers, nullptr) ||
        !OneDimensional(data.get(), "event_number", H5T_STD_U32LE, H5T_NATIVE_UINT32, events, nullptr) ||
        !OneDimensional(data.get(), "timestamp", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, times, "s"))
        return false;
    set.Close();
    data.Close();
    entry.Close();
    return file.Close();
}

// Whether the file system and the process's file size limit take a file of bytes at path.
bool RoomFor(const std::string& path, uint64_t bytes, std::string& message) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct statvfs space;
    const uint64_t free = statvfs(folder.c_str(), &space) == 0 ? uint64_t(space.f_bavail) * space.f_frsize : ~0ull;
    struct rlimit limit;
    const uint64_t allowed =
        getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? uint64_t(limit.rlim_cur) : ~0ull;
    if (bytes <= free && bytes <= allowed) return true;
    message = path + ": the HDF5 file needs about " + std::to_string(bytes) + " bytes, but only " +
              std::to_string(std::min(free, allowed)) + " can be written there";
    return false;
}

}  // namespace

bool WriteHdf5File(const std::string& path, const ExportFrames& frames, const ExportControl& control,
                   std::string& message) {
    std::vector<PixelLayout> layouts(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!PixelLayoutOf(*frames[i].image, frames[i].position, layouts[i], message)) return false;
        if (!layouts[i].SameShape(layouts[0])) {
            message = "image " + std::to_string(frames[i].position) + " differs in size or pixel format from image " +
                      std::to_string(frames[0].position) + "; an HDF5 dataset holds frames of one shape";
            return false;
        }
    }
    // The HDF5 library crashes when it closes a file whose data it could not write (at the latest when
    // the process ends), so a file that cannot fit is refused before it is begun.
    uint64_t needed = 65536;
    for (const PixelLayout& layout : layouts) needed += layout.bytes() + layout.bytes() / 64 + 64;
    if (!RoomFor(path, needed, message)) return false;
    // The library prints its error stack by itself unless told not to; the message here is enough.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    message.clear();
    if (!WriteFile(path, frames, layouts, control, message)) {
        if (message.empty()) message = path + ": writing the HDF5 file failed";
        return false;
    }
    return true;
}

}  // namespace interchange
