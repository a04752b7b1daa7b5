// Loading, saving and detecting files, and new images from numpy arrays.
#include <cstring>
#include <new>

#include "calls.h"
#include "errors.h"
#include "library_lock.h"
#include "long_call.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

// Room for the library's longest messages (a path of up to 4096 bytes and its text).
constexpr size_t kMessageSize = 8192;

}  // namespace

BunchPtr Load(const std::string& path, py::object progress, unsigned flags, unsigned first, unsigned last) {
    auto bunch = std::make_shared<Bunch>();
    LongCall call(std::move(progress));
    std::vector<char> message(kMessageSize, '\0');
    int result = 0;
    call.Run([&] {
        QMV3_LOAD_OPTIONS options;
        std::memset(&options, 0, sizeof options);
        options.size = sizeof options;
        // A file of no kind is explained by the kind it comes closest to, as the tool explains it.
        options.flags = flags | QMV3_LOAD_FLAG_CLOSEST_REASON;
        options.firstImage = first;
        options.lastImage = last;
        result = qmLoadImagesFromFileEx2(path.c_str(), bunch->get(), &options, call.Interrupt(), call.Progress(),
                                         message.data(), static_cast<unsigned>(message.size()));
    });
    if (call.Stopped()) {
        bunch.reset();
        call.Rethrow();
    }
    if (result != 0) RaiseFileError(result, message.data());
    call.ReportDone();
    return bunch;
}

void Save(Bunch& bunch, const Indices& indices, const std::string& path, py::object progress, unsigned flags) {
    SelectionView view(bunch, indices);
    LongCall call(std::move(progress));
    std::vector<char> message(kMessageSize, '\0');
    int result = 0;
    call.Run([&] {
        result = qmSaveImagesToFileEx2(view.get(), path.c_str(), flags, message.data(),
                                       static_cast<unsigned>(message.size()), call.Interrupt(), call.Progress());
    });
    if (call.Stopped()) call.Rethrow();
    if (result != 0) RaiseFileError(result, message.data());
    call.ReportDone();
}

void Export(Bunch& bunch, const Indices& indices, const std::string& path, py::object progress, unsigned flags,
            unsigned first, unsigned last) {
    SelectionView view(bunch, indices);
    LongCall call(std::move(progress));
    std::vector<char> message(kMessageSize, '\0');
    int result = 0;
    call.Run([&] {
        QMV3_EXPORT_OPTIONS options;
        std::memset(&options, 0, sizeof options);
        options.size = sizeof options;
        options.flags = flags;
        options.firstImage = first;
        options.lastImage = last;
        result = qmExportImagesToFile(view.get(), path.c_str(), &options, message.data(),
                                      static_cast<unsigned>(message.size()), call.Interrupt(), call.Progress());
    });
    if (call.Stopped()) call.Rethrow();
    if (result != 0) RaiseFileError(result, message.data());
    call.ReportDone();
}

py::object CompressionOfName(const std::string& name) {
    unsigned int saveFlags = 0;
    int recorderCompression = 0;
    if (qmGetCompressionOfName(name.c_str(), &saveFlags, &recorderCompression) != 0) return py::none();
    return py::make_tuple(saveFlags, recorderCompression);
}

py::tuple CheckFile(const std::string& path) {
    std::vector<char> message(kMessageSize, '\0');
    std::vector<char> reason(kMessageSize, '\0');
    int kind, closest = QMV3_FILE_UNKNOWN;
    {
        LibraryLock lock;
        py::gil_scoped_release release;
        kind = qmCheckFileFormatEx(path.c_str(), &closest, reason.data(), reason.size());
        if (kind == QMV3_FILE_UNKNOWN) qmCheckFileFormat(path.c_str(), message.data(), message.size());
    }
    return py::make_tuple(kind, closest, std::string(reason.data()), std::string(message.data()));
}

py::object FileKindName(int kind) {
    const char* extensions = nullptr;
    const char* name = qmGetFileKindName(kind, &extensions);
    if (name == nullptr) return py::none();
    return py::make_tuple(std::string(name), std::string(extensions != nullptr ? extensions : ""));
}

void CheckOutput(const std::string& path, unsigned flags) {
    std::vector<char> message(kMessageSize, '\0');
    int result;
    {
        LibraryLock lock;
        py::gil_scoped_release release;
        result = qmSaveImagesToFileEx2(nullptr, path.c_str(), flags | QMV3_SAVE_FLAG_CHECK_ONLY, message.data(),
                                       static_cast<unsigned>(message.size()), nullptr, nullptr);
    }
    if (result != 0) RaiseFileError(result, message.data());
}

void CheckOutputName(const std::string& path) {
    std::vector<char> message(kMessageSize, '\0');
    int result;
    {
        LibraryLock lock;
        result = qmCheckOutputName(path.c_str(), nullptr, message.data(), message.size());
    }
    if (result != 0) RaiseFileError(result, message.data());
}

std::string DescribeSaveLoss(Bunch& bunch, const Indices& indices, const std::string& source, const std::string& path,
                             const std::string& timeName) {
    SelectionView view(bunch, indices);
    std::vector<char> text(kMessageSize, '\0');
    int length;
    {
        LibraryLock lock;
        // The source is detected by content, which reads it.
        py::gil_scoped_release release;
        length = qmDescribeSaveLoss(view.get(), source.empty() ? nullptr : source.c_str(), path.c_str(),
                                    timeName.c_str(), text.data(), text.size());
    }
    if (length < 0) throw std::bad_alloc();
    return text.data();
}

namespace {

// The library's valid header for the geometry and format, then what the caller gave for each image.
void FillHeader(DIMAGE& image, const NewImages& images, size_t index, int32_t width, int32_t height) {
    if (qmInitializeImageHeader(&image, width, height, static_cast<int>(images.bytesPerPixel), images.effectiveBits,
                                images.format) != QMV3_HEADER_OK)
        throw py::value_error("the library refuses a header of " + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels of this format");
    DIMAGE_SOURCEHEADER& source = image.sourceHeader;
    source.cameraPortId = images.cameraPortId;
    source.timestampSeconds = images.timestamps[index].first;
    source.timestampMicroseconds = images.timestamps[index].second;
    std::strncpy(source.cameraPortName, images.cameraPortName.c_str(), sizeof source.cameraPortName - 1);
    DIMAGE_FRAMEHEADER& frame = image.frameHeader;
    frame.frameNumber = images.frameNumbers[index];
    frame.xScale = images.xScale;
    frame.yScale = images.yScale;
}

}  // namespace

BunchPtr FromArray(const NewImages& images) {
    const py::array& pixels = images.pixels;
    const size_t count = static_cast<size_t>(pixels.shape(0));
    const int32_t height = static_cast<int32_t>(pixels.shape(1));
    const int32_t width = static_cast<int32_t>(pixels.shape(2));
    const int32_t frameBytes = static_cast<int32_t>(static_cast<size_t>(pixels.nbytes()) / count);
    auto bunch = std::make_shared<Bunch>();
    if (qmCreateBunchStructure(bunch->get(), static_cast<unsigned>(count), static_cast<unsigned>(frameBytes)) != 1)
        throw std::bad_alloc();
    const unsigned char* source = static_cast<const unsigned char*>(pixels.data());
    for (size_t index = 0; index < count; ++index) FillHeader(bunch->at(index), images, index, width, height);
    {
        py::gil_scoped_release release;
        for (size_t index = 0; index < count; ++index) {
            DIMAGE& image = bunch->at(index);
            std::memcpy(image.frameBuffer, source + index * static_cast<size_t>(frameBytes),
                        static_cast<size_t>(frameBytes));
        }
    }
    return bunch;
}

}  // namespace qmv3py
