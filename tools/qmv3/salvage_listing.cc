// The library's salvage as the recover and check commands present it.
#include "salvage_listing.h"

#include "interrupt.h"
#include "progress_bar.h"

namespace qmv3tool {

namespace {

void Collect(void* context, unsigned image, unsigned long long offset, int code, const char* reason) {
    static_cast<SalvageResult*>(context)->findings.push_back({image, offset, code, reason});
}

}  // namespace

SalvageResult RecoverFile(const std::string& path, Sequence& sequence) {
    SalvageResult result;
    result.report.size = sizeof result.report;
    InterruptScope interrupt;
    double progress = 0.0;
    char errorText[1024] = "";
    {
        ProgressBar bar("recovering " + path, &progress);
        result.code = qmRecoverImagesFromFile(path.c_str(), sequence.get(), &result.report, Collect, &result,
                                              interrupt.Flag(), &progress, errorText, sizeof errorText);
    }
    if (result.code != QMV3_LOAD_OK)
        result.message =
            errorText[0] != '\0' ? errorText : "recovering failed with code " + std::to_string(result.code);
    return result;
}

void PrintFindings(const SalvageResult& result, const std::string& prefix, FILE* stream) {
    for (const SalvageFinding& finding : result.findings) {
        if (finding.image > 0)
            std::fprintf(stream, "%simage %u: dropped: %s\n", prefix.c_str(), finding.image, finding.reason.c_str());
        else
            std::fprintf(stream, "%sat byte %llu: %s\n", prefix.c_str(), finding.offset, finding.reason.c_str());
    }
}

}  // namespace qmv3tool
