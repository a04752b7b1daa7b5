// System lists, library information and verbosity. The name-listing calls write why a list cannot be
// loaded to standard error only; the extension catches that text for the exception it raises.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "calls.h"
#include "library_lock.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

// Runs call with file descriptor 2 pointing into a temporary file and returns what was written there.
// The GIL stays held, so that no Python thread writes to standard error meanwhile.
template <typename Call>
std::string CaptureStandardError(Call&& call) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = capture != nullptr ? dup(STDERR_FILENO) : -1;
    if (saved < 0 || dup2(fileno(capture), STDERR_FILENO) < 0) {
        if (saved >= 0) close(saved);
        if (capture != nullptr) std::fclose(capture);
        call();
        return std::string();
    }
    call();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    std::rewind(capture);
    char block[4096];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, capture)) > 0) text.append(block, count);
    std::fclose(capture);
    return text;
}

std::string Name(const char* name) { return std::string(name, strnlen(name, 64)); }

}  // namespace

py::tuple ServerNames(const std::string& path) {
    char context[64] = "";
    unsigned count = 0;
    int result = 0;
    std::vector<NAME64> names;
    LibraryLock lock;
    const std::string errors = CaptureStandardError([&] {
        result = qmGetAllRawVideoServerNames(path.c_str(), context, nullptr, &count);
        if (result == 1 && count > 0) {
            names.resize(count);
            result = qmGetAllRawVideoServerNames(path.c_str(), nullptr, names.data(), &count);
            names.resize(result == 1 ? count : 0);
        }
    });
    py::list list;
    for (const NAME64& name : names) list.append(Name(name.name));
    return py::make_tuple(result, Name(context), list, errors);
}

py::tuple ImageSources(const std::string& path) {
    unsigned count = 0;
    int result = 0;
    std::vector<NAME64I> sources;
    LibraryLock lock;
    const std::string errors = CaptureStandardError([&] {
        result = qmGetAllImageSourceNames(path.c_str(), nullptr, nullptr, &count);
        if (result == 1 && count > 0) {
            sources.resize(count);
            result = qmGetAllImageSourceNames(path.c_str(), nullptr, sources.data(), &count);
            sources.resize(result == 1 ? count : 0);
        }
    });
    py::list list;
    for (const NAME64I& source : sources) list.append(py::make_tuple(Name(source.name), source.ID));
    return py::make_tuple(result, list, errors);
}

py::tuple LibraryInfo() {
    unsigned major = 0, minor = 0, third = 0;
    char text[512] = "";
    unsigned size = sizeof text;
    LibraryLock lock;
    const char* info = qmLibraryInfoEx(&major, &minor, &third, text, &size);
    return py::make_tuple(std::string(info != nullptr ? info : ""), major, minor, third);
}

bool SetVerbose(int level, py::object logFile) {
    const std::string file = logFile.is_none() ? std::string() : logFile.cast<std::string>();
    LibraryLock lock;
    return qmSetVerboseEx(level, level == 3 ? file.c_str() : nullptr) == 1;
}

}  // namespace qmv3py
