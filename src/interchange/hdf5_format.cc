// HDF5 with the library's C interface, in the layout NeXus and HDF5 browsers recognise: /entry (NXentry),
// /entry/data (NXdata, signal "data"), the frames as one dataset of shape (N, H, W) or (N, H, W, 3) in
// their own integer type, one frame per chunk, and beside it frame numbers, event numbers and time
// stamps; the sequence's facts are attributes of the frame dataset.
#include <hdf5.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "interchange/hdf5_objects.h"
#include "interchange/interchange.h"

namespace interchange {

namespace {

template <typename T>
bool OneDimensional(hid_t group, const char* name, hid_t fileType, hid_t memoryType, const std::vector<T>& values,
                    const char* units) {
    const hsize_t size = values.size();
    Hdf5Handle space(H5Screate_simple(1, &size, nullptr), H5Sclose);
    Hdf5Handle set(H5Dcreate2(group, name, fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Dclose);
    return set.ok() && H5Dwrite(set.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0 &&
           (units == nullptr || Hdf5StringAttribute(set.get(), "units", units));
}

bool WriteFile(const std::string& path, const ExportFrames& frames, const std::vector<PixelLayout>& layouts,
               const ExportControl& control, std::string& message) {
    const PixelLayout& shape = layouts[0];
    Hdf5Handle file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
    if (!file.ok()) return false;
    Hdf5Handle data(Hdf5CreateNexusGroups(file.get()), H5Gclose);
    if (!data.ok()) return false;

    const int rank = shape.channels == 3 ? 4 : 3;
    const hsize_t dims[4] = {frames.size(), shape.height, shape.width, 3};
    const hsize_t chunk[4] = {1, shape.height, shape.width, 3};
    Hdf5Handle space(H5Screate_simple(rank, dims, nullptr), H5Sclose);
    Hdf5Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    if (!space.ok() || !properties.ok() || H5Pset_chunk(properties.get(), rank, chunk) < 0 ||
        H5Pset_fill_time(properties.get(), H5D_FILL_TIME_NEVER) < 0 ||
        (control.compress && H5Pset_deflate(properties.get(), 4) < 0))
        return false;
    const hid_t fileType = shape.bytesPerSample == 2 ? H5T_STD_U16LE : H5T_STD_U8LE;
    Hdf5Handle set(H5Dcreate2(data.get(), "data", fileType, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT),
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
    if (!Hdf5FrameAttributes(set.get(), *frames[0].image, shape)) return false;
    if (!OneDimensional(data.get(), "frame_number", H5T_STD_U32LE, H5T_NATIVE_UINT32, numbers, nullptr) ||
        !OneDimensional(data.get(), "event_number", H5T_STD_U32LE, H5T_NATIVE_UINT32, events, nullptr) ||
        !OneDimensional(data.get(), "timestamp", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, times, "s"))
        return false;
    set.Close();
    data.Close();
    return file.Close();
}

// Whether the file system and the process's file size limit take a file of bytes at path.
bool RoomFor(const std::string& path, uint64_t bytes, std::string& message) {
    const Hdf5Room limits = Hdf5RoomAt(path);
    const uint64_t room = std::min(limits.free, limits.sizeLimit);
    if (bytes <= room) return true;
    message = path + ": the HDF5 file needs about " + std::to_string(bytes) + " bytes, but only " +
              std::to_string(room) + " can be written there";
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
