// Header fields, pixel views and frame arrays of images, sequence checks and in-place decompression.
#include <cstdlib>
#include <cstring>

#include "calls.h"
#include "errors.h"
#include "library_lock.h"
#include "long_call.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

py::str Text(const char* bytes, size_t capacity) {
    const size_t length = strnlen(bytes, capacity);
    PyObject* text = PyUnicode_DecodeUTF8(bytes, static_cast<Py_ssize_t>(length), "replace");
    if (text == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

py::dtype SampleType(const PixelLayout& layout) {
    return layout.bytesPerSample == 2 ? py::dtype::of<uint16_t>() : py::dtype::of<uint8_t>();
}

std::vector<py::ssize_t> Shape(const PixelLayout& layout) {
    std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(layout.height), static_cast<py::ssize_t>(layout.width)};
    if (layout.channels == 3) shape.push_back(3);
    return shape;
}

[[noreturn]] void RaiseValueError(const std::string& message) { throw py::value_error(message); }

}  // namespace

py::dict Header(Bunch& bunch, size_t index) {
    const DIMAGE& image = bunch.at(index);
    const DIMAGE_SOURCEHEADER& s = image.sourceHeader;
    const DIMAGE_FRAMEHEADER& f = image.frameHeader;
    py::dict header;
    header["baseTag"] = py::bytes(s.baseTag, sizeof s.baseTag);
    header["cameraPortId"] = s.cameraPortId;
    header["versionTag"] = s.versionTag;
    header["totalLength"] = s.totalLength;
    header["timestampSeconds"] = s.timestampSeconds;
    header["timestampMicroseconds"] = s.timestampMicroseconds;
    header["cameraPortName"] = Text(s.cameraPortName, sizeof s.cameraPortName);
    header["sourceWidth"] = f.sourceWidth;
    header["sourceHeight"] = f.sourceHeight;
    header["aoiWidth"] = f.aoiWidth;
    header["aoiHeight"] = f.aoiHeight;
    header["xStart"] = f.xStart;
    header["yStart"] = f.yStart;
    header["bytesPerPixel"] = f.bytesPerPixel;
    header["effectiveBitsPerPixel"] = f.effectiveBitsPerPixel;
    header["horizontalBinning"] = f.horizontalBinning;
    header["verticalBinning"] = f.verticalBinning;
    header["sourceFormat"] = f.sourceFormat;
    header["imageFormat"] = f.imageFormat;
    header["frameNumber"] = f.frameNumber;
    header["eventNumber"] = f.eventNumber;
    header["xScale"] = f.xScale;
    header["yScale"] = f.yScale;
    header["imageRotation"] = f.imageRotation;
    header["scale_x_offset"] = f.scale_x_offset;
    header["scale_y_offset"] = f.scale_y_offset;
    header["fspare3"] = f.fspare3;
    header["imageFlags"] = f.imageFlags;
    header["ispare1"] = f.ispare1;
    header["ispare2"] = f.ispare2;
    header["ispare3"] = f.ispare3;
    header["appendedFrameSize"] = f.appendedFrameSize;
    header["frameBufferSize"] = image.frameBufferSize;
    return header;
}

py::array Pixels(py::object bunchObject, size_t index) {
    Bunch& bunch = bunchObject.cast<Bunch&>();
    const DIMAGE& image = bunch.at(index);
    PixelLayout layout;
    const std::string problem = DescribePixels(image, layout);
    if (!problem.empty()) RaiseValueError("image " + std::to_string(index) + " has no pixel array: " + problem);
    const py::dtype type = SampleType(layout);
    std::vector<py::ssize_t> shape = Shape(layout);
    std::vector<py::ssize_t> strides(shape.size());
    py::ssize_t stride = type.itemsize();
    for (size_t axis = shape.size(); axis-- > 0;) {
        strides[axis] = stride;
        stride *= shape[axis];
    }
    // The Bunch is the base of the view: its frame buffer lives as long as the view does.
    return py::array(type, shape, strides, image.frameBuffer, bunchObject);
}

py::array Frames(py::object bunchObject, const Indices& indices) {
    Bunch& bunch = bunchObject.cast<Bunch&>();
    if (indices.empty()) RaiseValueError("the sequence is empty");
    LibraryLock lock;  // decompression replaces frame buffers under this lock
    PixelLayout first;
    std::vector<const unsigned char*> sources;
    for (size_t position = 0; position < indices.size(); ++position) {
        const DIMAGE& image = bunch.at(indices[position]);
        PixelLayout layout;
        const std::string problem = DescribePixels(image, layout);
        if (!problem.empty())
            RaiseValueError("the frames have no common array: image " + std::to_string(position) + " " + problem);
        if (position == 0) {
            first = layout;
        } else if (layout.width != first.width || layout.height != first.height || layout.channels != first.channels ||
                   layout.bytesPerSample != first.bytesPerSample) {
            RaiseValueError("the frames have no common array: image " + std::to_string(position) + " is " +
                            std::to_string(layout.width) + " x " + std::to_string(layout.height) + " " +
                            FormatText(image.frameHeader.imageFormat) + " with " +
                            std::to_string(image.frameHeader.bytesPerPixel) + " bytes per pixel, image 0 is " +
                            std::to_string(first.width) + " x " + std::to_string(first.height) + " " +
                            FormatText(bunch.at(indices[0]).frameHeader.imageFormat) + " with " +
                            std::to_string(bunch.at(indices[0]).frameHeader.bytesPerPixel) + " bytes per pixel");
        }
        sources.push_back(image.frameBuffer);
    }
    std::vector<py::ssize_t> shape = Shape(first);
    shape.insert(shape.begin(), static_cast<py::ssize_t>(indices.size()));
    // Frames that lie back to back (a load puts a file's frames in one block) are shown as they are: the
    // Bunch is the base of the view, so the block lives as long as the array.
    bool adjacent = true;
    for (size_t position = 1; position < sources.size() && adjacent; ++position)
        adjacent = sources[position] == sources[0] + position * first.bytes;
    if (adjacent) {
        std::vector<py::ssize_t> strides(shape.size());
        py::ssize_t stride = SampleType(first).itemsize();
        for (size_t axis = shape.size(); axis-- > 0;) {
            strides[axis] = stride;
            stride *= shape[axis];
        }
        return py::array(SampleType(first), shape, strides, sources[0], bunchObject);
    }
    py::array frames(SampleType(first), shape);
    unsigned char* destination = static_cast<unsigned char*>(frames.mutable_data());
    {
        py::gil_scoped_release release;
        for (size_t position = 0; position < sources.size(); ++position)
            std::memcpy(destination + position * first.bytes, sources[position], first.bytes);
    }
    return frames;
}

std::string Validity(Bunch& bunch, size_t index) { return ValidityMessage(bunch.at(index)); }

py::tuple AppendedSize(Bunch& bunch, size_t index) {
    int width = 0, height = 0;
    qmGetAppendedSize(&bunch.at(index), &width, &height);
    return py::make_tuple(width, height);
}

int EffectiveBits(Bunch& bunch, size_t index) { return qmGetEffectiveBits(&bunch.at(index)); }

py::object FirstValuesAboveEffectiveBits(Bunch& bunch) {
    int count = 0;
    unsigned first = 0;
    size_t index = 0;
    {
        py::gil_scoped_release release;
        for (; index < bunch.size() && count <= 0; ++index)
            count = qmCountValuesAboveEffectiveBits(&bunch.at(index), &first);
    }
    if (count <= 0) return py::none();
    return py::make_tuple(index - 1, count, first);
}

int IsCompleteSequence(Bunch& bunch, const Indices& indices) {
    SelectionView view(bunch, indices);
    LibraryLock lock;
    return qmIsCompleteSequence(view.get());
}

int Decompress(Bunch& bunch, const Indices& indices) {
    struct Decoded {
        uint32_t index;
        DIMAGE image;
    };
    std::vector<uint32_t> compressed;
    for (uint32_t index : indices) {
        if (bunch.at(index).frameHeader.imageFormat == QMV3_FORMAT_JPEG) compressed.push_back(index);
    }
    if (compressed.empty()) return 0;
    // Every frame is decoded into a new buffer first; the records change only when all succeeded, so
    // that a failure or Ctrl-C leaves the sequence as it was.
    std::vector<Decoded> decoded;
    decoded.reserve(compressed.size());
    int failure = 0;
    uint32_t failedIndex = 0;
    LongCall call{py::none()};
    call.Run([&] {
        for (size_t position = 0; position < compressed.size(); ++position) {
            if (__atomic_load_n(call.Interrupt(), __ATOMIC_RELAXED) == 1) return;
            Decoded item{compressed[position], bunch.at(compressed[position])};
            const int result = qmDecompressImage(&item.image, &bunch.at(item.index));
            if (result != 1) {
                failure = result;
                failedIndex = item.index;
                return;
            }
            decoded.push_back(item);
        }
    });
    if (call.Stopped() || failure != 0) {
        for (Decoded& item : decoded) std::free(item.image.frameBuffer);
        if (call.Stopped()) call.Rethrow();
        RaiseError("decompression of image " + std::to_string(failedIndex) + " failed (qmDecompressImage returned " +
                   std::to_string(failure) + ")");
    }
    LibraryLock lock;
    for (Decoded& item : decoded) {
        DIMAGE& image = bunch.at(item.index);
        qmReleaseFrameBuffer(&image);
        image = item.image;
    }
    return static_cast<int>(decoded.size());
}

std::string FlagsText(int flags) {
    char text[256];
    size_t size = sizeof text;
    qmGetFlagNames(flags, text, size);
    text[sizeof text - 1] = '\0';
    return text;
}

}  // namespace qmv3py
