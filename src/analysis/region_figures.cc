// The figures and profiles made of a pass's exact sums. Moments are taken about the region's top left
// corner, where the numbers stay small, and shifted to frame coordinates at the end; the background is
// taken off each sum as b times the matching count.
#include <cmath>
#include <limits>

#include "analysis/region_statistics.h"

namespace qmv3::analysis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

// Sums of w, w i, w i^2, w j, w j^2 and w i j over the region (i, j from its top left corner).
struct Moments {
    double weight = 0, i = 0, ii = 0, j = 0, jj = 0, ij = 0;
};

double Sum128(__int128 units, __int128 counts, const Request& request) {
    return static_cast<double>(units) / request.scale - request.constant * static_cast<double>(counts);
}

Moments MomentsOf(const Request& request, const RegionSums& sums) {
    __int128 weight = 0, count = 0, wi = 0, ni = 0, wii = 0, nii = 0;
    for (size_t i = 0; i < sums.columnWeights.size(); ++i) {
        const __int128 column = static_cast<__int128>(i);
        weight += sums.columnWeights[i];
        count += sums.columnCounts[i];
        wi += column * sums.columnWeights[i];
        ni += column * sums.columnCounts[i];
        wii += column * column * sums.columnWeights[i];
        nii += column * column * sums.columnCounts[i];
    }
    __int128 wj = 0, nj = 0, wjj = 0, njj = 0, wij = 0, nij = 0;
    for (size_t j = 0; j < sums.rowWeights.size(); ++j) {
        const __int128 row = static_cast<__int128>(j);
        wj += row * sums.rowWeights[j];
        nj += row * sums.rowCounts[j];
        wjj += row * row * sums.rowWeights[j];
        njj += row * row * sums.rowCounts[j];
        wij += row * sums.rowColumnWeights[j];
        nij += row * sums.rowColumnCounts[j];
    }
    Moments moments;
    moments.weight = Sum128(weight, count, request);
    moments.i = Sum128(wi, ni, request);
    moments.ii = Sum128(wii, nii, request);
    moments.j = Sum128(wj, nj, request);
    moments.jj = Sum128(wjj, njj, request);
    moments.ij = Sum128(wij, nij, request);
    return moments;
}

void SpotFigures(const Request& request, const Moments& m, QMV3_STATISTICS& result) {
    result.centroid_x = result.centroid_y = result.sigma_x = result.sigma_y = result.sigma_xy = kNaN;
    result.orientation_deg = result.eccentricity = kNaN;
    if (m.weight == 0.0) return;
    const double cx = m.i / m.weight, cy = m.j / m.weight;
    const double xx = std::max(0.0, m.ii / m.weight - cx * cx);
    const double yy = std::max(0.0, m.jj / m.weight - cy * cy);
    const double xy = m.ij / m.weight - cx * cy;
    result.centroid_x = request.x + cx;
    result.centroid_y = request.y + cy;
    result.sigma_x = std::sqrt(xx);
    result.sigma_y = std::sqrt(yy);
    result.sigma_xy = xy;
    result.orientation_deg = 0.5 * std::atan2(2.0 * xy, xx - yy) * 180.0 / kPi;
    const double half = (xx + yy) / 2.0, spread = std::hypot((xx - yy) / 2.0, xy);
    const double largest = half + spread, smallest = std::max(0.0, half - spread);
    result.eccentricity = std::sqrt(std::max(0.0, 1.0 - smallest / largest));
}

}  // namespace

void FinishStatistics(const Request& request, const RegionSums& sums, QMV3_STATISTICS& result) {
    result = QMV3_STATISTICS();
    const double scale = request.scale;
    const double pixels = static_cast<double>(sums.pixels);
    result.pixels = static_cast<uint64_t>(sums.pixels);
    result.x = request.x;
    result.y = request.y;
    result.width = request.width;
    result.height = request.height;
    result.min = static_cast<double>(sums.minimumUnits) / scale;
    result.max = static_cast<double>(sums.maximumUnits) / scale;
    result.min_x = request.x + sums.minimumX;
    result.min_y = request.y + sums.minimumY;
    result.max_x = request.x + sums.maximumX;
    result.max_y = request.y + sums.maximumY;
    result.total = static_cast<double>(sums.valueUnits) / scale;
    result.mean = result.total / pixels;
    // n * sum(u^2) - sum(u)^2 is exact in 128 bits, so a narrow spread on a high level keeps its digits.
    const unsigned __int128 n = static_cast<unsigned __int128>(sums.pixels);
    const unsigned __int128 sum = static_cast<unsigned __int128>(sums.valueUnits);
    result.sigma = std::sqrt(static_cast<double>(n * sums.squareUnits - sum * sum)) / pixels / scale;
    result.saturated = sums.saturated;
    result.background = request.backgroundKind == QMV3_BACKGROUND_FRAME ? kNaN : request.constant;
    const Moments moments = MomentsOf(request, sums);
    result.net = moments.weight;
    SpotFigures(request, moments, result);
    const bool scaled = request.xScale > 0.0 && request.yScale > 0.0;
    result.centroid_x_mm = scaled ? result.centroid_x * request.xScale : kNaN;
    result.centroid_y_mm = scaled ? result.centroid_y * request.yScale : kNaN;
    result.sigma_x_mm = scaled ? result.sigma_x * request.xScale : kNaN;
    result.sigma_y_mm = scaled ? result.sigma_y * request.yScale : kNaN;
}

void FinishProfiles(const Request& request, const RegionSums& sums, double* columns, double* rows) {
    for (size_t i = 0; i < sums.columnWeights.size(); ++i)
        columns[i] = static_cast<double>(sums.columnWeights[i]) / request.scale -
                     request.constant * static_cast<double>(sums.columnCounts[i]);
    for (size_t j = 0; j < sums.rowWeights.size(); ++j)
        rows[j] = static_cast<double>(sums.rowWeights[j]) / request.scale -
                  request.constant * static_cast<double>(sums.rowCounts[j]);
}

}  // namespace qmv3::analysis
