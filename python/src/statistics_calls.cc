// Spot and region statistics for qmv3._statistics: the library's figures of one image (a record of a
// Bunch, or a record made over a numpy array's bytes, which the library only reads), its profiles, and
// the figures of many images in one call, as numpy arrays.
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <string>

#include "calls.h"
#include "library_lock.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

// An image to measure and what keeps its pixels alive.
struct Target {
    DIMAGE record;
    py::object owner;
};

// A record over a C-contiguous uint8/uint16 (H, W) or uint8 (H, W, 3) array in native byte order
// (the package makes it so); all bits count, no scale.
Target ArrayTarget(const py::array& array) {
    Target target;
    std::memset(&target.record, 0, sizeof target.record);
    const bool rgb = array.ndim() == 3;
    const int bytesPerPixel = rgb ? 3 : static_cast<int>(array.itemsize());
    const size_t bytes = static_cast<size_t>(array.nbytes());
    if (bytes == 0 || bytes > INT32_MAX ||
        qmInitializeImageHeaderEx(&target.record, static_cast<int>(array.shape(1)), static_cast<int>(array.shape(0)),
                                  bytesPerPixel, -1, rgb ? QMV3_FORMAT_RGB : QMV3_FORMAT_GRAY,
                                  QMV3_HEADER_FLAG_ANY_SIZE) != QMV3_HEADER_OK)
        throw py::value_error("the array is empty or too large");
    target.record.frameBufferSize = static_cast<uint32_t>(bytes);
    target.record.frameBuffer = static_cast<unsigned char*>(const_cast<void*>(array.data()));
    target.owner = array;
    return target;
}

// (bunch, index) of an Image, or an array.
Target TargetOf(const py::object& source) {
    if (py::isinstance<py::tuple>(source)) {
        const py::tuple pair = source.cast<py::tuple>();
        Bunch& bunch = pair[0].cast<Bunch&>();
        Target target;
        target.record = bunch.at(pair[1].cast<size_t>());
        target.owner = pair[0];
        return target;
    }
    return ArrayTarget(source.cast<py::array>());
}

// The options of a call; the background frame's target stays alive with them.
struct Options {
    QMV3_STATISTICS_OPTIONS options = {};
    Target background;
};

Options OptionsOf(const py::object& roi, int backgroundKind, double backgroundValue, const py::object& backgroundFrame,
                  int border, double threshold, int channel) {
    Options made;
    QMV3_STATISTICS_OPTIONS& o = made.options;
    o.size = sizeof o;
    if (!roi.is_none()) {
        const py::tuple region = roi.cast<py::tuple>();
        o.x = region[0].cast<int>();
        o.y = region[1].cast<int>();
        o.width = region[2].cast<int>();
        o.height = region[3].cast<int>();
    }
    o.background = backgroundKind;
    o.backgroundValue = backgroundValue;
    o.border = border;
    o.threshold = threshold;
    o.channel = channel;
    if (!backgroundFrame.is_none()) {
        made.background = TargetOf(backgroundFrame);
        o.backgroundFrame = &made.background.record;
    }
    return made;
}

[[noreturn]] void RaiseFailure(int code, const std::string& where) {
    if (code == QMV3_STATISTICS_OUT_OF_MEMORY) throw std::bad_alloc();
    throw py::value_error(where + qmGetStatisticsResultText(code));
}

// The record's figures by the names the header gives them.
py::dict FiguresOf(const QMV3_STATISTICS& s) {
    py::dict figures;
    figures["min"] = s.min;
    figures["max"] = s.max;
    figures["min_x"] = s.min_x;
    figures["min_y"] = s.min_y;
    figures["max_x"] = s.max_x;
    figures["max_y"] = s.max_y;
    figures["mean"] = s.mean;
    figures["sigma"] = s.sigma;
    figures["total"] = s.total;
    figures["net"] = s.net;
    figures["saturated"] = s.saturated;
    figures["centroid_x"] = s.centroid_x;
    figures["centroid_y"] = s.centroid_y;
    figures["sigma_x"] = s.sigma_x;
    figures["sigma_y"] = s.sigma_y;
    figures["sigma_xy"] = s.sigma_xy;
    figures["orientation_deg"] = s.orientation_deg;
    figures["eccentricity"] = s.eccentricity;
    figures["centroid_x_mm"] = s.centroid_x_mm;
    figures["centroid_y_mm"] = s.centroid_y_mm;
    figures["sigma_x_mm"] = s.sigma_x_mm;
    figures["sigma_y_mm"] = s.sigma_y_mm;
    figures["background"] = s.background;
    figures["pixels"] = s.pixels;
    return figures;
}

template <typename Value, typename Member>
py::array_t<Value> Column(const std::vector<QMV3_STATISTICS>& results, Member member) {
    py::array_t<Value> column(static_cast<py::ssize_t>(results.size()));
    Value* out = column.mutable_data();
    for (size_t k = 0; k < results.size(); ++k) out[k] = static_cast<Value>(results[k].*member);
    return column;
}

py::dict ColumnsOf(const std::vector<QMV3_STATISTICS>& r) {
    py::dict columns;
    const std::pair<const char*, double QMV3_STATISTICS::*> reals[] = {
        {"min", &QMV3_STATISTICS::min},
        {"max", &QMV3_STATISTICS::max},
        {"mean", &QMV3_STATISTICS::mean},
        {"sigma", &QMV3_STATISTICS::sigma},
        {"total", &QMV3_STATISTICS::total},
        {"net", &QMV3_STATISTICS::net},
        {"centroid_x", &QMV3_STATISTICS::centroid_x},
        {"centroid_y", &QMV3_STATISTICS::centroid_y},
        {"sigma_x", &QMV3_STATISTICS::sigma_x},
        {"sigma_y", &QMV3_STATISTICS::sigma_y},
        {"sigma_xy", &QMV3_STATISTICS::sigma_xy},
        {"orientation_deg", &QMV3_STATISTICS::orientation_deg},
        {"eccentricity", &QMV3_STATISTICS::eccentricity},
        {"centroid_x_mm", &QMV3_STATISTICS::centroid_x_mm},
        {"centroid_y_mm", &QMV3_STATISTICS::centroid_y_mm},
        {"sigma_x_mm", &QMV3_STATISTICS::sigma_x_mm},
        {"sigma_y_mm", &QMV3_STATISTICS::sigma_y_mm},
        {"background", &QMV3_STATISTICS::background},
    };
    for (const auto& [name, member] : reals) columns[name] = Column<double>(r, member);
    const std::pair<const char*, int32_t QMV3_STATISTICS::*> positions[] = {
        {"min_x", &QMV3_STATISTICS::min_x},
        {"min_y", &QMV3_STATISTICS::min_y},
        {"max_x", &QMV3_STATISTICS::max_x},
        {"max_y", &QMV3_STATISTICS::max_y},
    };
    for (const auto& [name, member] : positions) columns[name] = Column<int32_t>(r, member);
    columns["saturated"] = Column<uint64_t>(r, &QMV3_STATISTICS::saturated);
    columns["pixels"] = Column<uint64_t>(r, &QMV3_STATISTICS::pixels);
    return columns;
}

py::dict ImageStatistics(const py::object& source, const py::object& roi, int backgroundKind, double backgroundValue,
                         const py::object& backgroundFrame, int border, double threshold, int channel) {
    const Target target = TargetOf(source);
    const Options options = OptionsOf(roi, backgroundKind, backgroundValue, backgroundFrame, border, threshold, channel);
    QMV3_STATISTICS result;
    int status;
    {
        LibraryLock lock;
        py::gil_scoped_release release;
        status = qmImageStatistics(&target.record, &options.options, &result);
    }
    if (status != QMV3_STATISTICS_OK) RaiseFailure(status, "");
    return FiguresOf(result);
}

py::tuple ImageProfiles(const py::object& source, const py::object& roi, int backgroundKind, double backgroundValue,
                        const py::object& backgroundFrame, int border, double threshold, int channel) {
    const Target target = TargetOf(source);
    const Options options = OptionsOf(roi, backgroundKind, backgroundValue, backgroundFrame, border, threshold, channel);
    unsigned int columnCount = 0, rowCount = 0;
    LibraryLock lock;
    int status = qmImageProfiles(&target.record, &options.options, nullptr, &columnCount, nullptr, &rowCount);
    if (status != QMV3_STATISTICS_TOO_SMALL) RaiseFailure(status, "");
    py::array_t<double> columns(columnCount), rows(rowCount);
    double* columnData = columns.mutable_data();
    double* rowData = rows.mutable_data();
    {
        py::gil_scoped_release release;
        status = qmImageProfiles(&target.record, &options.options, columnData, &columnCount, rowData, &rowCount);
    }
    if (status != QMV3_STATISTICS_OK) RaiseFailure(status, "");
    return py::make_tuple(columns, rows);
}

py::dict SequenceStatistics(Bunch& bunch, const Indices& indices, const py::object& roi, int backgroundKind,
                            double backgroundValue, const py::object& backgroundFrame, int border, double threshold,
                            int channel) {
    const Options options = OptionsOf(roi, backgroundKind, backgroundValue, backgroundFrame, border, threshold, channel);
    std::vector<QMV3_STATISTICS> results(indices.size());
    int status = QMV3_STATISTICS_OK;
    unsigned int failed = 0;
    if (!indices.empty()) {
        SelectionView view(bunch, indices);
        LibraryLock lock;
        py::gil_scoped_release release;
        status = qmSequenceStatistics(view.get(), &options.options, results.data(),
                                      static_cast<unsigned int>(results.size()), &failed);
    }
    if (status != QMV3_STATISTICS_OK) RaiseFailure(status, "image " + std::to_string(failed) + ": ");
    return ColumnsOf(results);
}

}  // namespace

void RegisterStatisticsCalls(py::module_& module) {
    module.def("image_statistics", &ImageStatistics, "qmImageStatistics of (bunch, index) or an array, as a dict.");
    module.def("image_profiles", &ImageProfiles, "qmImageProfiles: (columns, rows) as float64 arrays.");
    module.def("sequence_statistics", &SequenceStatistics,
               "qmSequenceStatistics of the images at indices: a dict of arrays, one value per image.");
}

}  // namespace qmv3py
