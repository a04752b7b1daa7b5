// Reading HDF5 files with the HDF5 C library: our own layout (hdf5_format.cc) with its frame numbers,
// time stamps and facts, and the files other programs make with one image stack in them.
//
// The HDF5 library is not hardened against hostile files. Before any frame is read, everything that
// sizes a buffer is checked here: the rank and extent of the dataset, its element type, the chunk size,
// the filters (only those built into the library: no plugin is ever loaded) and the total against the
// limits; the reads go frame by frame into buffers of the checked size.
#include <hdf5.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "interchange/interchange.h"

namespace interchange {

namespace {

class Id {
  public:
    Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Id() {
        if (id_ >= 0) close_(id_);
    }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    hid_t get() const { return id_; }
    bool ok() const { return id_ >= 0; }

  private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

// The stack found in a file: frames of height x width x channels samples of bytes each.
struct Stack {
    hsize_t frames = 0, height = 0, width = 0;
    int channels = 1;
    int bytes = 1;
};

// Silences the library's own printing of its error stack, and loads no filter plugin a file names.
void QuietLibrary() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    H5PLset_loading_state(0);
}

bool LinkExists(hid_t file, const char* path) {
    // Each step must exist before the next may be asked for.
    std::string partial;
    for (const char* p = path + 1;; ++p) {
        if (*p == '/' || *p == '\0') {
            partial = std::string(path, static_cast<size_t>(p - path));
            if (H5Lexists(file, partial.c_str(), H5P_DEFAULT) <= 0) return false;
            if (*p == '\0') return true;
        }
    }
}

struct Search {
    std::vector<std::string> names;
};

herr_t Collect(hid_t, const char* name, const H5O_info_t* info, void* data) {
    Search* search = static_cast<Search*>(data);
    if (info->type == H5O_TYPE_DATASET && search->names.size() < 1000) search->names.push_back(name);
    return search->names.size() < 1000 ? 0 : 1;
}

// The shape of a dataset as a stack, or false with the reason.
bool ShapeOf(hid_t set, Stack& stack, std::string& message) {
    Id type(H5Dget_type(set), H5Tclose);
    Id space(H5Dget_space(set), H5Sclose);
    if (!type.ok() || !space.ok()) {
        message = "the dataset cannot be read";
        return false;
    }
    const size_t size = H5Tget_size(type.get());
    if (H5Tget_class(type.get()) != H5T_INTEGER || H5Tget_sign(type.get()) != H5T_SGN_NONE || (size != 1 && size != 2)) {
        message = "the dataset holds no uint8 or uint16 values";
        return false;
    }
    const int rank = H5Sget_simple_extent_ndims(space.get());
    if (rank < 2 || rank > 4) {
        message = "the dataset has " + std::to_string(rank) + " dimensions (2 to 4)";
        return false;
    }
    hsize_t dims[4] = {0, 0, 0, 0};
    H5Sget_simple_extent_dims(space.get(), dims, nullptr);
    const bool rgb = size == 1 && dims[rank - 1] == 3 && rank >= 3;
    if (rank == 4 && !rgb) {
        message = "a dataset of 4 dimensions must be uint8 with a last axis of 3 (RGB)";
        return false;
    }
    stack.bytes = static_cast<int>(size);
    stack.channels = rgb ? 3 : 1;
    const int planes = rgb ? rank - 1 : rank;  // the axes before the colour axis
    stack.frames = planes == 3 ? dims[0] : 1;
    stack.height = dims[planes - 2];
    stack.width = dims[planes - 1];
    if (stack.frames == 0 || stack.frames > 0xffffffffu || stack.height == 0 || stack.width == 0) {
        message = "the dataset is empty";
        return false;
    }
    const uint64_t frameBytes = uint64_t(stack.height) * stack.width * uint64_t(stack.channels) * size;
    if (stack.height > 0xffffffu || stack.width > 0xffffffu || frameBytes > QMV3_MAX_TRANSPORT_SIZE) {
        message = "a frame of " + std::to_string(stack.width) + " x " + std::to_string(stack.height) +
                  " pixels is larger than the largest frame (" + std::to_string(QMV3_MAX_TRANSPORT_SIZE) + " bytes)";
        return false;
    }
    // A chunk is decoded whole: it may not be larger than a frame could be, and only the filters the
    // library holds itself may decode it.
    Id create(H5Dget_create_plist(set), H5Pclose);
    if (!create.ok()) {
        message = "the dataset cannot be read";
        return false;
    }
    if (H5Pget_layout(create.get()) == H5D_CHUNKED) {
        hsize_t chunk[32];
        const int chunkRank = H5Pget_chunk(create.get(), 32, chunk);
        uint64_t chunkBytes = size;
        for (int i = 0; i < chunkRank && i < 32; ++i) {
            chunkBytes *= chunk[i];
            if (chunkBytes > 2ull * QMV3_MAX_TRANSPORT_SIZE) break;
        }
        if (chunkRank != rank || chunkBytes > 2ull * QMV3_MAX_TRANSPORT_SIZE) {
            message = "the dataset's chunks are larger than any frame";
            return false;
        }
    }
    const int filters = H5Pget_nfilters(create.get());
    for (int i = 0; i < filters; ++i) {
        unsigned flags = 0;
        size_t count = 0;
        const H5Z_filter_t filter = H5Pget_filter2(create.get(), static_cast<unsigned>(i), &flags, &count, nullptr, 0,
                                                   nullptr, nullptr);
        if (filter != H5Z_FILTER_DEFLATE && filter != H5Z_FILTER_SHUFFLE && filter != H5Z_FILTER_FLETCHER32) {
            message = "the dataset is compressed with filter " + std::to_string(filter) + " (deflate only)";
            return false;
        }
    }
    return true;
}

// Opens the image stack of a file: /entry/data/data, else the only dataset of 2 to 4 dimensions.
hid_t OpenStack(hid_t file, std::string& where, std::string& message) {
    if (LinkExists(file, "/entry/data/data")) {
        where = "/entry/data";
        const hid_t set = H5Dopen2(file, "/entry/data/data", H5P_DEFAULT);
        if (set < 0) message = "/entry/data/data is no dataset";
        return set;
    }
    Search search;
    if (H5Ovisit2(file, H5_INDEX_NAME, H5_ITER_NATIVE, Collect, &search, H5O_INFO_BASIC) < 0) {
        message = "the file's structure cannot be read";
        return -1;
    }
    std::vector<std::string> stacks;
    for (const std::string& name : search.names) {
        Id set(H5Dopen2(file, name.c_str(), H5P_DEFAULT), H5Dclose);
        if (!set.ok()) continue;
        Id space(H5Dget_space(set.get()), H5Sclose);
        const int rank = space.ok() ? H5Sget_simple_extent_ndims(space.get()) : -1;
        if (rank >= 2 && rank <= 4) stacks.push_back(name);
    }
    if (stacks.size() != 1) {
        message = stacks.empty() ? "no /entry/data/data and no dataset of 2 or 3 dimensions"
                                 : "no /entry/data/data and " + std::to_string(stacks.size()) +
                                       " datasets of 2 or more dimensions: which one is the image stack is unclear";
        return -1;
    }
    const size_t slash = stacks[0].rfind('/');
    where = slash == std::string::npos ? "/" : "/" + stacks[0].substr(0, slash);
    return H5Dopen2(file, stacks[0].c_str(), H5P_DEFAULT);
}

hid_t OpenFile(const std::string& path, std::string& message) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        message = "not a regular file";
        return -1;
    }
    QuietLibrary();
    hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    // A file still marked open by a writer in single-writer/multiple-reader mode (a recording that grows,
    // or one killed outright) opens as its readers open it, with every frame flushed.
    if (file < 0) file = H5Fopen(path.c_str(), H5F_ACC_RDONLY | H5F_ACC_SWMR_READ, H5P_DEFAULT);
    if (file < 0) message = "not a readable HDF5 file";
    return file;
}

// A one-dimensional value per frame beside the stack, when there is one of the stack's length.
template <typename T>
bool ReadColumn(hid_t group, const char* name, hid_t memoryType, hsize_t frames, std::vector<T>& values) {
    if (H5Lexists(group, name, H5P_DEFAULT) <= 0) return false;
    Id set(H5Dopen2(group, name, H5P_DEFAULT), H5Dclose);
    if (!set.ok()) return false;
    Id space(H5Dget_space(set.get()), H5Sclose);
    Id type(H5Dget_type(set.get()), H5Tclose);
    hsize_t length = 0;
    if (!space.ok() || !type.ok() || H5Sget_simple_extent_ndims(space.get()) != 1 ||
        H5Tget_class(type.get()) != H5Tget_class(memoryType))
        return false;
    H5Sget_simple_extent_dims(space.get(), &length, nullptr);
    if (length != frames) return false;
    values.resize(frames);
    return H5Dread(set.get(), memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
}

template <typename T>
bool ReadNumberAttribute(hid_t object, const char* name, hid_t memoryType, T& value) {
    if (H5Aexists(object, name) <= 0) return false;
    Id attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    Id space(attribute.ok() ? H5Aget_space(attribute.get()) : -1, H5Sclose);
    Id type(attribute.ok() ? H5Aget_type(attribute.get()) : -1, H5Tclose);
    if (!space.ok() || !type.ok() || H5Sget_simple_extent_npoints(space.get()) != 1 ||
        H5Tget_class(type.get()) != H5Tget_class(memoryType))
        return false;
    T read{};
    if (H5Aread(attribute.get(), memoryType, &read) < 0) return false;
    value = read;
    return true;
}

bool ReadTextAttribute(hid_t object, const char* name, std::string& value) {
    if (H5Aexists(object, name) <= 0) return false;
    Id attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    Id space(attribute.ok() ? H5Aget_space(attribute.get()) : -1, H5Sclose);
    Id type(attribute.ok() ? H5Aget_type(attribute.get()) : -1, H5Tclose);
    if (!space.ok() || !type.ok() || H5Sget_simple_extent_npoints(space.get()) != 1 ||
        H5Tget_class(type.get()) != H5T_STRING || H5Tis_variable_str(type.get()) != 0)
        return false;
    const size_t size = H5Tget_size(type.get());
    if (size == 0 || size > 4096) return false;
    std::vector<char> text(size + 1, '\0');
    if (H5Aread(attribute.get(), type.get(), text.data()) < 0) return false;
    value.assign(text.data(), strnlen(text.data(), size));
    return true;
}

// The facts our writer keeps as attributes of the stack; frame numbers and times come per frame.
FrameFacts StackFacts(hid_t set) {
    FrameFacts facts;
    int32_t bits = -1;
    if (ReadNumberAttribute(set, "effective_bits", H5T_NATIVE_INT32, bits)) facts.effectiveBits = bits;
    std::string name;
    if (ReadTextAttribute(set, "camera_port_name", name) && name.size() < sizeof(DIMAGE_SOURCEHEADER::cameraPortName))
        facts.portName = name;
    ReadNumberAttribute(set, "camera_port_id", H5T_NATIVE_UINT32, facts.portId);
    float scale = 0;
    if (ReadNumberAttribute(set, "x_scale", H5T_NATIVE_FLOAT, scale) && scale > 0) facts.xScale = scale;
    if (ReadNumberAttribute(set, "y_scale", H5T_NATIVE_FLOAT, scale) && scale > 0) facts.yScale = scale;
    return facts;
}

bool ReadFrames(hid_t file, hid_t set, const std::string& where, const Stack& stack, const ImportLimits& limits,
                ImportedFrames& frames, std::string& message) {
    const FrameFacts common = StackFacts(set);
    std::vector<uint32_t> numbers, events;
    std::vector<double> times;
    Id group(H5Gopen2(file, where.c_str(), H5P_DEFAULT), H5Gclose);
    const bool haveNumbers = group.ok() && ReadColumn(group.get(), "frame_number", H5T_NATIVE_UINT32, stack.frames, numbers);
    const bool haveEvents = group.ok() && ReadColumn(group.get(), "event_number", H5T_NATIVE_UINT32, stack.frames, events);
    const bool haveTimes = group.ok() && ReadColumn(group.get(), "timestamp", H5T_NATIVE_DOUBLE, stack.frames, times);
    Id fileSpace(H5Dget_space(set), H5Sclose);
    const int rank = H5Sget_simple_extent_ndims(fileSpace.get());
    const hid_t memoryType = stack.bytes == 2 ? H5T_NATIVE_UINT16 : H5T_NATIVE_UINT8;
    for (hsize_t i = 0; i < stack.frames && !frames.Done(limits); ++i) {
        const ImportedFrames::Take take = frames.Next(limits);
        if (take == ImportedFrames::Take::kSkip) {
            frames.Pass();
            continue;
        }
        FrameFacts facts = common;
        facts.frameNumber = haveNumbers ? numbers[i] : static_cast<uint32_t>(i + 1);
        if (haveEvents) facts.eventNumber = events[i];
        if (haveTimes && times[i] >= 0 && times[i] < 4294967296.0) {
            facts.seconds = static_cast<uint32_t>(times[i]);
            facts.microseconds = static_cast<uint32_t>((times[i] - facts.seconds) * 1e6 + 0.5);
            if (facts.microseconds >= 1000000u) facts.microseconds = 999999u;
        }
        if (take == ImportedFrames::Take::kHeader) {
            if (!frames.AddHeader(static_cast<uint32_t>(stack.width), static_cast<uint32_t>(stack.height),
                                  stack.channels, stack.bytes, facts, message))
                return false;
            continue;
        }
        unsigned char* pixels = frames.Add(static_cast<uint32_t>(stack.width), static_cast<uint32_t>(stack.height),
                                           stack.channels, stack.bytes, facts, limits, message);
        if (pixels == nullptr) return false;
        // The frame's part of the file, and the frame's buffer as one block of the same shape.
        const bool stacked = rank == (stack.channels == 3 ? 4 : 3);
        hsize_t start[4] = {0, 0, 0, 0}, count[4] = {1, 1, 1, 1};
        int axis = 0;
        if (stacked) start[axis++] = i;
        count[axis++] = stack.height;
        count[axis++] = stack.width;
        if (stack.channels == 3) count[axis++] = 3;
        const hsize_t frameElements = stack.height * stack.width * static_cast<hsize_t>(stack.channels);
        Id memorySpace(H5Screate_simple(1, &frameElements, nullptr), H5Sclose);
        if (!memorySpace.ok() ||
            H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start, nullptr, count, nullptr) < 0 ||
            H5Dread(set, memoryType, memorySpace.get(), fileSpace.get(), H5P_DEFAULT, pixels) < 0) {
            message = "image " + std::to_string(i + 1) + " is truncated or corrupt";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ProbeHdf5(const std::string& path, std::string& message) {
    Id file(OpenFile(path, message), H5Fclose);
    if (!file.ok()) return false;
    std::string where;
    Id set(OpenStack(file.get(), where, message), H5Dclose);
    Stack stack;
    return set.ok() && ShapeOf(set.get(), stack, message);
}

bool ImportHdf5(const std::string& path, QMBUNCHOFIMAGES* sequence, const ImportLimits& limits, std::string& message,
                uint32_t* positions) {
    Id file(OpenFile(path, message), H5Fclose);
    if (!file.ok()) return false;
    std::string where;
    Id set(OpenStack(file.get(), where, message), H5Dclose);
    Stack stack;
    if (!set.ok() || !ShapeOf(set.get(), stack, message)) return false;
    ImportedFrames frames;
    if (!ReadFrames(file.get(), set.get(), where, stack, limits, frames, message)) return false;
    if (positions != nullptr) *positions = static_cast<uint32_t>(std::min<hsize_t>(stack.frames, UINT32_MAX));
    return frames.MoveInto(sequence, message);
}

}  // namespace interchange
