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

BunchPtr Load(const std::string& path, py::object progress) {
    auto bunch = std::make_shared<Bunch>();
    LongCall call(std::move(progress));
    std::vector<char> message(kMessageSize, '\0');
    int result = 0;
    call.Run([&] {
        result = qmLoadImagesFromFileEx(path.c_str(), bunch->get(), call.Interrupt(), call.Progress(), message.data(),
                                        static_cast<unsigned>(message.size()));
    });
    if (call.Stopped()) {
        bunch.reset();
        call.Rethrow();
    }
    if (result != 0) RaiseFileError(result, message.data());
    call.ReportDone();
    return bunch;
}

void Save(Bunch& bunch, const Indices& indices, const std::string& path, py::object progress) {
    SelectionView view(bunch, indices);
    LongCall call(std::move(progress));
    std::vector<char> message(kMessageSize, '\0');
    int result = 0;
    call.Run([&] {
        result = qmSaveImagesToFileEx(view.get(), path.c_str(), message.data(), static_cast<unsigned>(message.size()),
                                      call.Interrupt(), call.Progress());
    });
    if (call.Stopped()) call.Rethrow();
    if (result != 0) RaiseFileError(result, message.data());
    call.ReportDone();
}

py::tuple CheckFile(const std::string& path) {
    std::vector<char> message(kMessageSize, '\0');
    int kind;
    {
        LibraryLock lock;
        py::gil_scoped_release release;
        kind = qmCheckFileFormat(path.c_str(), message.data(), message.size());
    }
    return py::make_tuple(kind, std::string(message.data()));
}

namespace {

void FillHeader(DIMAGE& image, const NewImages& images, size_t index, int32_t width, int32_t height,
                int32_t frameBytes) {
    std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
    DIMAGE_SOURCEHEADER& source = image.sourceHeader;
    std::memcpy(source.baseTag, "QMV3", 4);
    source.cameraPortId = images.cameraPortId;
    source.versionTag = 1;
    source.totalLength = QMV3_IMAGE_HEADER_SIZE + static_cast<uint32_t>(frameBytes);
    source.timestampSeconds = images.timestamps[index].first;
    source.timestampMicroseconds = images.timestamps[index].second;
    std::strncpy(source.cameraPortName, images.cameraPortName.c_str(), sizeof source.cameraPortName - 1);

    DIMAGE_FRAMEHEADER& frame = image.frameHeader;
    frame.sourceWidth = width;
    frame.sourceHeight = height;
    frame.aoiWidth = -1;
    frame.aoiHeight = -1;
    frame.bytesPerPixel = static_cast<int32_t>(images.bytesPerPixel);
    frame.effectiveBitsPerPixel = images.effectiveBits;
    frame.horizontalBinning = 1;
    frame.verticalBinning = 1;
    frame.sourceFormat = images.format;
    frame.imageFormat = images.format;
    frame.frameNumber = images.frameNumbers[index];
    frame.xScale = images.xScale;
    frame.yScale = images.yScale;
    frame.scale_x_offset = -1.0f;
    frame.scale_y_offset = -1.0f;
    frame.fspare3 = -1.0f;
    // numpy hands over pixels in the host's byte order; raw pixels are lossless.
    const uint16_t probe = 1;
    unsigned char lowByte;
    std::memcpy(&lowByte, &probe, 1);
    frame.imageFlags = QMV3_FLAG_IMAGE_LOSSLESS | (lowByte == 1 ? QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER : 0);
    frame.ispare1 = frame.ispare2 = frame.ispare3 = -1;
    frame.appendedFrameSize = frameBytes;
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
    {
        py::gil_scoped_release release;
        for (size_t index = 0; index < count; ++index) {
            DIMAGE& image = bunch->at(index);
            FillHeader(image, images, index, width, height, frameBytes);
            std::memcpy(image.frameBuffer, source + index * static_cast<size_t>(frameBytes),
                        static_cast<size_t>(frameBytes));
        }
    }
    return bunch;
}

}  // namespace qmv3py
