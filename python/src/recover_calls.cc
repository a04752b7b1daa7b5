// Salvage of damaged files: the library keeps the intact images and names the dropped ones. The
// library's callback runs on the helper thread of the long call, without the GIL, so the findings are
// gathered in C++ and become Python objects afterwards.
#include <string>
#include <tuple>
#include <vector>

#include "calls.h"
#include "errors.h"
#include "long_call.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

constexpr size_t kMessageSize = 8192;

using Finding = std::tuple<unsigned, unsigned long long, int, std::string>;

void Collect(void* context, unsigned image, unsigned long long offset, int code, const char* reason) {
    static_cast<std::vector<Finding>*>(context)->emplace_back(image, offset, code, reason);
}

// (Bunch, kept, dropped, announced, [(image, offset, code, reason)]); raises FileError when nothing
// could be kept.
py::tuple Recover(const std::string& path, py::object progress) {
    auto bunch = std::make_shared<Bunch>();
    std::vector<Finding> findings;
    QMV3_RECOVER_REPORT report{};
    report.size = sizeof report;
    LongCall call(std::move(progress));
    std::vector<char> message(kMessageSize, '\0');
    int result = 0;
    call.Run([&] {
        result = qmRecoverImagesFromFile(path.c_str(), bunch->get(), &report, Collect, &findings, call.Interrupt(),
                                         call.Progress(), message.data(), static_cast<unsigned>(message.size()));
    });
    if (call.Stopped()) {
        bunch.reset();
        call.Rethrow();
    }
    if (result != 0) RaiseFileError(result, message.data());
    call.ReportDone();
    py::list reasons;
    for (const Finding& finding : findings)
        reasons.append(
            py::make_tuple(std::get<0>(finding), std::get<1>(finding), std::get<2>(finding), std::get<3>(finding)));
    return py::make_tuple(bunch, report.kept, report.dropped, report.announced, reasons);
}

}  // namespace

void RegisterRecoverCalls(py::module_& module) {
    module.def("recover", &Recover, "Salvage of a damaged file: (Bunch, kept, dropped, announced, findings).",
               py::arg("path"), py::arg("progress"));
}

}  // namespace qmv3py
