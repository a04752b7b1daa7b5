// The exported statistics calls: a checked request, one pass, the figures, and the texts of their results.
// No exception leaves them.
#include <new>

#include "analysis/region_statistics.h"
#include "util/c_boundary.h"

using qmv3::analysis::FinishProfiles;
using qmv3::analysis::FinishStatistics;
using qmv3::analysis::MeasureRegion;
using qmv3::analysis::PrepareRequest;
using qmv3::analysis::RegionSums;
using qmv3::analysis::Request;

namespace {

// The figures of one image into result; the sums are reused from image to image of a sequence.
int StatisticsOf(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options, QMV3_STATISTICS* result,
                 RegionSums& sums) {
    Request request;
    const int checked = PrepareRequest(image, options, request);
    if (checked != QMV3_STATISTICS_OK) return checked;
    MeasureRegion(request, sums);
    FinishStatistics(request, sums, *result);
    return QMV3_STATISTICS_OK;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmImageStatistics(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options,
                                  QMV3_STATISTICS* result) {
    return qmv3::Guarded<int>(QMV3_STATISTICS_OUT_OF_MEMORY, QMV3_STATISTICS_FAILED, [&] {
        if (result == nullptr) return static_cast<int>(QMV3_STATISTICS_BAD_ARGUMENT);
        RegionSums sums;
        return StatisticsOf(image, options, result, sums);
    });
}

QMV3_EXPORT int qmImageProfiles(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options, double* columns,
                                unsigned int* columnCount, double* rows, unsigned int* rowCount) {
    return qmv3::Guarded<int>(QMV3_STATISTICS_OUT_OF_MEMORY, QMV3_STATISTICS_FAILED, [&] {
        if (columnCount == nullptr || rowCount == nullptr) return static_cast<int>(QMV3_STATISTICS_BAD_ARGUMENT);
        Request request;
        const int checked = PrepareRequest(image, options, request);
        if (checked != QMV3_STATISTICS_OK) return checked;
        const unsigned int columnRoom = *columnCount, rowRoom = *rowCount;
        *columnCount = static_cast<unsigned int>(request.width);
        *rowCount = static_cast<unsigned int>(request.height);
        if (columns == nullptr || rows == nullptr || columnRoom < *columnCount || rowRoom < *rowCount)
            return static_cast<int>(QMV3_STATISTICS_TOO_SMALL);
        RegionSums sums;
        MeasureRegion(request, sums);
        FinishProfiles(request, sums, columns, rows);
        return static_cast<int>(QMV3_STATISTICS_OK);
    });
}

QMV3_EXPORT int qmSequenceStatistics(const QMBUNCHOFIMAGES* images, const QMV3_STATISTICS_OPTIONS* options,
                                     QMV3_STATISTICS* results, unsigned int resultCount, unsigned int* failedImage) {
    return qmv3::Guarded<int>(QMV3_STATISTICS_OUT_OF_MEMORY, QMV3_STATISTICS_FAILED, [&] {
        if (failedImage != nullptr) *failedImage = 0;
        if (images == nullptr || results == nullptr) return static_cast<int>(QMV3_STATISTICS_BAD_ARGUMENT);
        const unsigned int count = images->imageArray != nullptr ? images->numFrames : 0;
        if (resultCount < count) return static_cast<int>(QMV3_STATISTICS_BAD_ARGUMENT);
        RegionSums sums;
        for (unsigned int k = 0; k < count; ++k) {
            if (failedImage != nullptr) *failedImage = k;
            const int status = StatisticsOf(&images->imageArray[k], options, &results[k], sums);
            if (status != QMV3_STATISTICS_OK) return status;
        }
        if (failedImage != nullptr) *failedImage = count;
        return static_cast<int>(QMV3_STATISTICS_OK);
    });
}

QMV3_EXPORT const char* qmGetStatisticsResultText(int code) {
    const char* const failed = "the statistics could not be computed";
    return qmv3::Guarded<const char*>(failed, failed, [&] {
        switch (code) {
            case QMV3_STATISTICS_OK:
                return "computed";
            case QMV3_STATISTICS_BAD_ARGUMENT:
                return "the options were refused";
            case QMV3_STATISTICS_UNSUPPORTED_IMAGE:
                return "holds no uncompressed GRAY or RGB frame";
            case QMV3_STATISTICS_BAD_REGION:
                return "the region is empty or reaches outside the frame";
            case QMV3_STATISTICS_BACKGROUND_MISMATCH:
                return "the background frame differs in size or pixel layout";
            case QMV3_STATISTICS_TOO_SMALL:
                return "a buffer is null or too small";
            case QMV3_STATISTICS_OUT_OF_MEMORY:
                return "out of memory";
            default:
                return failed;
        }
    });
}

}  // extern "C"
