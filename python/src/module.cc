// The extension module qmv3._qmv3: thin functions over the public C interface of libqmv3. The package
// qmv3 (python/qmv3/__init__.py) is the interface for users; this module is its private engine.
#include <pybind11/stl.h>

#include <cstring>

#include "calls.h"

namespace py = pybind11;
using namespace qmv3py;

namespace {

// File paths come as bytes (os.fsencode); the library takes NUL-terminated texts.
std::string Path(const std::string& path) {
    if (path.empty()) throw py::value_error("the path is empty");
    if (std::memchr(path.data(), '\0', path.size()) != nullptr) throw py::value_error("the path contains a NUL byte");
    return path;
}

BunchPtr FromArrayCall(py::array pixels, uint32_t bytesPerPixel, int format, int effectiveBits,
                       std::vector<uint32_t> frameNumbers, std::vector<std::pair<uint32_t, uint32_t>> timestamps,
                       std::string cameraPortName, uint32_t cameraPortId, float xScale, float yScale) {
    NewImages images;
    images.pixels = std::move(pixels);
    images.bytesPerPixel = bytesPerPixel;
    images.format = format;
    images.effectiveBits = effectiveBits;
    images.frameNumbers = std::move(frameNumbers);
    images.timestamps = std::move(timestamps);
    images.cameraPortName = std::move(cameraPortName);
    images.cameraPortId = cameraPortId;
    images.xScale = xScale;
    images.yScale = yScale;
    const size_t count = images.pixels.ndim() >= 3 ? static_cast<size_t>(images.pixels.shape(0)) : 0;
    if (count == 0 || images.frameNumbers.size() != count || images.timestamps.size() != count ||
        !(images.pixels.flags() & py::array::c_style))
        throw py::value_error("inconsistent arguments for new images");
    return FromArray(images);
}

}  // namespace

PYBIND11_MODULE(_qmv3, module) {
    module.doc() = "Private engine of the qmv3 package: thin calls over the public C interface of libqmv3.";

    py::class_<Bunch, BunchPtr>(module, "Bunch",
                                "An image sequence allocated by the library, freed with its last user.")
        .def("__len__", &Bunch::size);

    module.def(
        "load",
        [](const std::string& path, py::object progress, unsigned flags, unsigned first, unsigned last) {
            return Load(Path(path), progress, flags, first, last);
        },
        "Loads images first..last (from 1; 0: from the first / to the last) of a file into a new Bunch.",
        py::arg("path"), py::arg("progress"), py::arg("flags") = 0u, py::arg("first") = 0u, py::arg("last") = 0u);
    module.def(
        "save",
        [](Bunch& bunch, const Indices& indices, const std::string& path, py::object progress, unsigned flags) {
            Save(bunch, indices, Path(path), progress, flags);
        },
        "qmSaveImagesToFileEx2 of the images at indices.", py::arg("bunch"), py::arg("indices"), py::arg("path"),
        py::arg("progress"), py::arg("flags") = 0u);
    module.def(
        "export",
        [](Bunch& bunch, const Indices& indices, const std::string& path, py::object progress, unsigned flags,
           unsigned first, unsigned last) { Export(bunch, indices, Path(path), progress, flags, first, last); },
        "qmExportImagesToFile of the images at indices, first..last of them (from 1; 0: all).");
    module.def(
        "check_file", [](const std::string& path) { return CheckFile(Path(path)); },
        "qmCheckFileFormatEx: (kind, closest kind, reason, qmCheckFileFormat's message).", py::arg("path"));
    module.def(
        "kind_of_name", [](const std::string& path) { return qmGetFileKindOfName(Path(path).c_str()); },
        "qmGetFileKindOfName: the kind a save chooses for a name.");
    module.def("file_kind_name", &FileKindName, "qmGetFileKindName: (name, extensions), or None.");
    module.def(
        "kind_takes_compression", [](int kind) { return qmFileKindTakesCompression(kind) == 1; },
        "qmFileKindTakesCompression: whether compress chooses how the kind's frames are stored.");
    module.def("compression_of_name", &CompressionOfName,
               "qmGetCompressionOfName: (save flags, recorder compression), or None.");
    module.def(
        "check_output", [](const std::string& path, unsigned flags) { CheckOutput(Path(path), flags); },
        "Raises FileError when a save to path with flags could not start.");
    module.def(
        "check_output_name", [](const std::string& path) { CheckOutputName(Path(path)); },
        "qmCheckOutputName: raises FileError with the library's refusal of a name that chooses no kind.");
    module.def(
        "check_export_name", [](const std::string& path) { CheckExportName(Path(path)); },
        "qmCheckExportName: raises ValueError with the library's refusal of a name the export does not write.");
    module.def(
        "save_loss",
        [](Bunch& bunch, const Indices& indices, const std::string& source, const std::string& path,
           const std::string& timeName) {
            return DescribeSaveLoss(bunch, indices, Path(source), Path(path), timeName);
        },
        "qmDescribeSaveLoss: the sentence naming what saving as path loses, or \"\".");
    module.def("from_array", &FromArrayCall, "New images from a C-contiguous array.");

    module.def("header", &Header, "Every header field of one image as a dict.");
    module.def("pixels", &Pixels, "A writable view of one image's frame buffer.");
    module.def("frames", &Frames, "A copy of the frames at indices as one array.");
    module.def("validity", &Validity, "The validity sentence of one image, empty when valid.");
    module.def("appended_size", &AppendedSize, "qmGetAppendedSize of one image: (width, height).");
    module.def("effective_bits", &EffectiveBits, "qmGetEffectiveBits of one image.");
    module.def("first_values_above_effective_bits", &FirstValuesAboveEffectiveBits,
               "(index, count, first value) of the first image with values above its effective bits, or None.");
    module.def("is_complete_sequence", &IsCompleteSequence, "qmIsCompleteSequence of the images at indices.");
    module.def("decompress", &Decompress, "Decompresses the JPEG images at indices in place; returns their number.");
    module.def("flags_text", &FlagsText, "The library's text of image flag bits.");
    module.def("format_text", &FormatText, "The library's text of a pixel-format code.");

    module.def("grab", &Grab, "Multi-frame grab into a new Bunch.");
    module.def("grab_one", &GrabOne, "Single-frame grab into a new Bunch of one image.");
    module.def("device_properties", &DeviceProperties, "A device's property names, or None.");
    module.def("decode_mode", &DecodeMode, "Mode bits of an access-mode text, or a negative error.");
    RegisterStreamCalls(module);
    RegisterRecordCalls(module);

    module.def(
        "server_names", [](const std::string& path) { return ServerNames(Path(path)); },
        "(result, context, names, standard error text) of a system list.");
    module.def(
        "image_sources", [](const std::string& path) { return ImageSources(Path(path)); },
        "(result, [(name, id)], standard error text) of a system list.");
    // The header's named constants, so that the package holds no copies of their values.
    module.attr("CM_TIMER") = static_cast<int>(QMV3_CM_TIMER);
    module.attr("SAVE_PARAMETER_ERROR") = static_cast<int>(QMV3_SAVE_PARAMETER_ERROR);
    module.attr("MAX_TRANSPORT_SIZE") = QMV3_MAX_TRANSPORT_SIZE;
    module.attr("FORMAT_GRAY") = QMV3_FORMAT_GRAY;
    module.attr("FORMAT_RGB") = QMV3_FORMAT_RGB;
    module.attr("LOAD_FLAG_HEADERS_ONLY") = QMV3_LOAD_FLAG_HEADERS_ONLY;
    module.attr("LOAD_FLAG_ONE_BLOCK") = QMV3_LOAD_FLAG_ONE_BLOCK;
    module.attr("FILE_IMM") = static_cast<int>(QMV3_FILE_IMM);
    module.attr("FILE_BKG") = static_cast<int>(QMV3_FILE_BKG);
    module.attr("FILE_IMC_BKC") = static_cast<int>(QMV3_FILE_IMC_BKC);
    module.attr("FILE_IMC2_BKC2") = static_cast<int>(QMV3_FILE_IMC2_BKC2);
    module.attr("FILE_TIFF") = static_cast<int>(QMV3_FILE_TIFF);
    module.attr("FILE_PNG") = static_cast<int>(QMV3_FILE_PNG);
    module.attr("FILE_HDF5") = static_cast<int>(QMV3_FILE_HDF5);
    module.attr("FILE_UNKNOWN") = static_cast<int>(QMV3_FILE_UNKNOWN);
    module.attr("SAVE_FLAG_REPLACE") = QMV3_SAVE_FLAG_REPLACE;
    module.attr("SAVE_FLAG_COMPRESS_FAST") = QMV3_SAVE_FLAG_COMPRESS_FAST;
    module.attr("SAVE_FLAG_COMPRESS_NONE") = QMV3_SAVE_FLAG_COMPRESS_NONE;
    module.attr("EXPORT_FLAG_COMPRESS") = QMV3_EXPORT_FLAG_COMPRESS;
    module.attr("STREAM_OK") = static_cast<int>(QMV3_STREAM_OK);
    module.attr("STREAM_CLOSED") = static_cast<int>(QMV3_STREAM_CLOSED);
    module.attr("BACKGROUND_NONE") = static_cast<int>(QMV3_BACKGROUND_NONE);
    module.attr("BACKGROUND_CONSTANT") = static_cast<int>(QMV3_BACKGROUND_CONSTANT);
    module.attr("BACKGROUND_BORDER") = static_cast<int>(QMV3_BACKGROUND_BORDER);
    module.attr("BACKGROUND_FRAME") = static_cast<int>(QMV3_BACKGROUND_FRAME);
    module.attr("CHANNEL_LUMINANCE") = static_cast<int>(QMV3_CHANNEL_LUMINANCE);
    module.attr("CHANNEL_RED") = static_cast<int>(QMV3_CHANNEL_RED);
    module.attr("CHANNEL_GREEN") = static_cast<int>(QMV3_CHANNEL_GREEN);
    module.attr("CHANNEL_BLUE") = static_cast<int>(QMV3_CHANNEL_BLUE);
    module.attr("RECORDER_MAX_SPLIT") = QMV3_RECORDER_MAX_SPLIT;
    module.def("library_info", &LibraryInfo, "(text, major, minor, third) of the library.");
    module.def("set_verbose", &SetVerbose, "qmSetVerboseEx; True when accepted.");
    RegisterRecoverCalls(module);
    RegisterStatisticsCalls(module);
}
