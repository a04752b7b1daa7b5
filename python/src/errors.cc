// Raising the package's exceptions from the extension.
#include "errors.h"

#include "library_lock.h"
#include "qmv3/qmv3.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

[[noreturn]] void Raise(const char* name, py::object exception) {
    py::object type = py::module_::import("qmv3._errors").attr(name);
    PyErr_SetObject(type.ptr(), exception.ptr());
    throw py::error_already_set();
}

py::object ErrorType(const char* name) { return py::module_::import("qmv3._errors").attr(name); }

}  // namespace

void RaiseError(const std::string& message) { Raise("Error", ErrorType("Error")(message)); }

void RaiseFileError(int code, const std::string& message) { Raise("FileError", ErrorType("FileError")(code, message)); }

void RaiseGrabError(int code, int zantCode, const std::string& message, py::object sequence) {
    Raise("GrabError", ErrorType("GrabError")(code, zantCode, message, sequence));
}

void RaiseGrabInterrupted(const std::string& message, py::object sequence) {
    Raise("GrabInterrupted", ErrorType("GrabInterrupted")(message, sequence));
}

std::string ZantCodeText(int code) {
    char text[256] = "";
    size_t size = sizeof text;
    LibraryLock lock;
    if (qmZantCodeToString(code, text, &size) != 1) return std::string();
    return text;
}

}  // namespace qmv3py
