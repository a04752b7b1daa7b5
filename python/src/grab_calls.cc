// Grabbing from a video server: the multi-frame grab with progress, Ctrl-C and a time limit, and the
// single-frame grab.
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "calls.h"
#include "errors.h"
#include "library_lock.h"
#include "long_call.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

// The access mode the single-frame grab reads with, as the command-line tool does (TIMER).
constexpr int kSingleGrabMode = QMV3_CM_TIMER;

// The names the device reports; false when the control system cannot tell.
bool ListProperties(const std::string& address, std::vector<std::string>& names) {
    LibraryLock lock;
    // One query answers for any ordinary device; a longer list is asked for again at its size.
    std::string list(4096, '\0');
    int length = qmListDeviceProperties(address.c_str(), &list[0], static_cast<unsigned>(list.size()), nullptr);
    if (length >= static_cast<int>(list.size())) {
        list.assign(static_cast<size_t>(length) + 1, '\0');
        length = qmListDeviceProperties(address.c_str(), &list[0], static_cast<unsigned>(list.size()), nullptr);
    }
    if (length < 0 || length >= static_cast<int>(list.size())) return false;
    list.resize(static_cast<size_t>(length));
    names.clear();
    for (size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos; start = end + 1)
        names.push_back(list.substr(start, end - start));
    return true;
}

// As the command-line tool says it: when the device is known but lacks the property, the ones it has.
std::string Describe(const std::string& address, const std::string& property, const std::string& what, int zantCode) {
    std::string text = "grab of \"" + address + "\" \"" + property + "\": " + what;
    if (zantCode != 0) {
        const std::string codeText = ZantCodeText(zantCode);
        text += " (control system code " + std::to_string(zantCode);
        text += codeText.empty() ? ")" : ": " + codeText + ")";
        std::vector<std::string> names;
        if (ListProperties(address, names) && !names.empty() &&
            std::find(names.begin(), names.end(), property) == names.end()) {
            text += "; \"" + address + "\" has no property \"" + property + "\"; its properties: ";
            for (size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + names[i];
        }
    }
    return text;
}

}  // namespace

py::object DeviceProperties(const std::string& address) {
    std::vector<std::string> names;
    if (!ListProperties(address, names)) return py::none();
    return py::cast(names);
}

BunchPtr Grab(unsigned frames, const std::string& address, const std::string& property, int rateMs, int mode,
              long timeLimitMs, bool decompress, py::object progress) {
    // The library warns of such a rate in its log file only, where a Python user does not look.
    if (rateMs < QMV3_GRAB_RATE_MIN_RECOMMENDED || rateMs > QMV3_GRAB_RATE_MAX_RECOMMENDED) {
        const std::string note = "an access rate of " + std::to_string(rateMs) + " ms is " +
                                 (rateMs < QMV3_GRAB_RATE_MIN_RECOMMENDED ? "below" : "above") +
                                 " the recommended range of " + std::to_string(QMV3_GRAB_RATE_MIN_RECOMMENDED) +
                                 " to " + std::to_string(QMV3_GRAB_RATE_MAX_RECOMMENDED) + " ms";
        // Level 2: the warning names the line that called qmv3.grab.
        if (PyErr_WarnEx(PyExc_UserWarning, note.c_str(), 2) != 0) throw py::error_already_set();
    }
    auto bunch = std::make_shared<Bunch>();
    LongCall call(std::move(progress), timeLimitMs);
    int error = 0, zantCode = 0;
    call.Run([&] {
        qmGrabFramesEx(bunch->get(), address.c_str(), property.c_str(), frames, rateMs, mode, &error, &zantCode,
                       call.Interrupt(), call.Progress());
    });
    if (call.StoppedByKeyboardInterrupt()) {
        // Ctrl-C keeps the frames received: they go with the exception.
        const std::string what =
            "interrupted, " + std::to_string(bunch->size()) + " of " + std::to_string(frames) + " frames received";
        py::object partial = bunch->size() > 0 ? py::cast(bunch) : py::none();
        bunch.reset();
        RaiseGrabInterrupted(Describe(address, property, what, 0), partial);
    }
    if (call.Stopped()) {
        bunch.reset();
        call.Rethrow();
    }
    if (error != 0) {
        // A time limit stops the grab through the interrupt flag; it is reported as a timeout.
        const bool timedOut = error == QMV3_GRAB_INTERRUPTED && call.TimedOut();
        const int code = timedOut ? QMV3_GRAB_TIMEOUT : error;
        std::string what = timedOut ? "time limit of " + std::to_string(timeLimitMs) + " ms reached"
                                    : std::string(qmGrabErrorText(error));
        what += ", " + std::to_string(bunch->size()) + " of " + std::to_string(frames) + " frames received";
        py::object partial = bunch->size() > 0 ? py::cast(bunch) : py::none();
        bunch.reset();
        RaiseGrabError(code, zantCode, Describe(address, property, what, zantCode), partial);
    }
    if (decompress) {
        Indices all(bunch->size());
        for (uint32_t index = 0; index < all.size(); ++index) all[index] = index;
        Decompress(*bunch, all);
    }
    call.ReportDone();
    return bunch;
}

BunchPtr GrabOne(const std::string& address, const std::string& property, int timeoutMs) {
    auto bunch = std::make_shared<Bunch>();
    LongCall call{py::none()};
    int result = 0, zantCode = 0;
    bool allocated = true;
    // The library's single grab has no interrupt flag: Ctrl-C takes effect when it returns, at the
    // latest after its time limit.
    call.Run([&] {
        const unsigned size = qmEstimateMaxFrameSizeBytes(address.c_str(), property.c_str());
        if (qmCreateBunchStructure(bunch->get(), 1, size) != 1) {
            allocated = false;
            return;
        }
        DIMAGE& image = bunch->at(0);
        std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
        result = qmGrabFrame(&image, nullptr, address.c_str(), property.c_str(), timeoutMs, kSingleGrabMode, &zantCode);
    });
    if (call.Stopped()) {
        bunch.reset();
        call.Rethrow();
    }
    if (!allocated) throw std::bad_alloc();
    if (result != 1) {
        bunch.reset();
        RaiseGrabError(result, zantCode, Describe(address, property, qmGrabFrameErrorText(result), zantCode),
                       py::none());
    }
    // The buffer was sized for the largest frame of the property; keep only the frame's bytes.
    DIMAGE& image = bunch->at(0);
    const int32_t used = image.frameHeader.appendedFrameSize;
    if (used > 0 && static_cast<uint32_t>(used) < image.frameBufferSize) {
        void* smaller = std::realloc(image.frameBuffer, static_cast<size_t>(used));
        if (smaller != nullptr) {
            image.frameBuffer = static_cast<unsigned char*>(smaller);
            image.frameBufferSize = static_cast<uint32_t>(used);
        }
    }
    return bunch;
}

py::tuple DecodeMode(const std::string& text) {
    char reason[512];
    int mode;
    {
        LibraryLock lock;
        mode = qmDecodeAccessMode(text.c_str(), reason, sizeof reason);
    }
    return py::make_tuple(mode, std::string(mode < 0 ? reason : ""));
}

}  // namespace qmv3py
