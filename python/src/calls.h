// The functions of the extension module qmv3._qmv3, grouped by the files that define them. The pure-
// Python package qmv3 checks and converts arguments and gives them their public names and documentation.
#ifndef QMV3_PYTHON_CALLS_H
#define QMV3_PYTHON_CALLS_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bunch.h"

namespace qmv3py {

using BunchPtr = std::shared_ptr<Bunch>;
using Indices = std::vector<uint32_t>;

// file_calls.cc
BunchPtr Load(const std::string& path, pybind11::object progress, unsigned flags, unsigned first, unsigned last);
void Save(Bunch& bunch, const Indices& indices, const std::string& path, pybind11::object progress, unsigned flags);
// qmExportImagesToFile of the images at indices, images first..last of them (from 1; 0: all).
void Export(Bunch& bunch, const Indices& indices, const std::string& path, pybind11::object progress, unsigned flags,
            unsigned first, unsigned last);
// (kind, closest kind, qmCheckFileFormatEx's reason, qmCheckFileFormat's message for a file of no kind).
pybind11::object CompressionOfName(const std::string& name);
pybind11::tuple CheckFile(const std::string& path);
// qmGetFileKindName: (name, extensions), or None for an unknown kind.
pybind11::object FileKindName(int kind);
// Raises FileError when a save with these flags could not start (qmSaveImagesToFileEx2's check only).
void CheckOutput(const std::string& path, unsigned flags);
// Raises FileError with the library's refusal of an output name that chooses no kind (qmCheckOutputName).
void CheckOutputName(const std::string& path);
// Raises ValueError with the library's refusal of a name the export does not write (qmCheckExportName).
void CheckExportName(const std::string& path);
// qmDescribeSaveLoss of the images at indices, loaded from source ("": not from a file); "" when nothing is lost.
std::string DescribeSaveLoss(Bunch& bunch, const Indices& indices, const std::string& source, const std::string& path,
                             const std::string& timeName);

// Pixel data and the header fields of new images, for Sequence.from_numpy.
struct NewImages {
    pybind11::array pixels;  // C-contiguous (N, H, W) or (N, H, W, 3), native byte order
    uint32_t bytesPerPixel = 1;
    int format = QMV3_FORMAT_GRAY;
    int effectiveBits = 8;
    std::vector<uint32_t> frameNumbers;
    std::vector<std::pair<uint32_t, uint32_t>> timestamps;  // seconds, microseconds
    std::string cameraPortName;
    uint32_t cameraPortId = 0;
    float xScale = 0.0f;
    float yScale = 0.0f;
};
BunchPtr FromArray(const NewImages& images);

// image_calls.cc
pybind11::dict Header(Bunch& bunch, size_t index);
pybind11::array Pixels(pybind11::object bunch, size_t index);
pybind11::array Frames(pybind11::object bunchObject, const Indices& indices);
std::string Validity(Bunch& bunch, size_t index);
pybind11::tuple AppendedSize(Bunch& bunch, size_t index);
// The first image holding values above its effective bits: (index, count, first value), or None.
pybind11::object FirstValuesAboveEffectiveBits(Bunch& bunch);
int EffectiveBits(Bunch& bunch, size_t index);
int IsCompleteSequence(Bunch& bunch, const Indices& indices);
int Decompress(Bunch& bunch, const Indices& indices);
std::string FlagsText(int flags);

// grab_calls.cc
BunchPtr Grab(unsigned frames, const std::string& address, const std::string& property, int rateMs, int mode,
              long timeLimitMs, bool decompress, pybind11::object progress);
BunchPtr GrabOne(const std::string& address, const std::string& property, int timeoutMs);
// qmListDeviceProperties: the device's property names, or None when the control system cannot tell.
pybind11::object DeviceProperties(const std::string& address);
pybind11::tuple DecodeMode(const std::string& text);

// recover_calls.cc: registers recover() in the module.
void RegisterRecoverCalls(pybind11::module_& module);

// stream_calls.cc: the class StreamEngine and copy_frame.
void RegisterStreamCalls(pybind11::module_& module);

// record_calls.cc: record.
void RegisterRecordCalls(pybind11::module_& module);

// system_calls.cc
pybind11::tuple ServerNames(const std::string& path);
pybind11::tuple ImageSources(const std::string& path);
pybind11::tuple LibraryInfo();
bool SetVerbose(int level, pybind11::object logFile);

// statistics_calls.cc
void RegisterStatisticsCalls(pybind11::module_& module);

}  // namespace qmv3py

#endif
