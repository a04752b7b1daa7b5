// Raising the package's exceptions (defined in qmv3/_errors.py) from the extension.
#ifndef QMV3_PYTHON_ERRORS_H
#define QMV3_PYTHON_ERRORS_H

#include <pybind11/pybind11.h>

#include <string>

namespace qmv3py {

[[noreturn]] void RaiseError(const std::string& message);
[[noreturn]] void RaiseFileError(int code, const std::string& message);
// sequence: the frames received before the failure (a Bunch), or None.
[[noreturn]] void RaiseGrabError(int code, int zantCode, const std::string& message, pybind11::object sequence);

// Ctrl-C stopped a multi-frame grab; sequence: the frames received before it (a Bunch), or None.
[[noreturn]] void RaiseGrabInterrupted(const std::string& message, pybind11::object sequence);

// The control system's text of a completion code; empty when it has none.
std::string ZantCodeText(int code);

}  // namespace qmv3py

#endif
