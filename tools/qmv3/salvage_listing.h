// The library's salvage as the recover and check commands present it: the call with a progress bar and
// Ctrl-C, and one line per dropped image or damaged part of the file.
#ifndef QMV3_TOOL_SALVAGE_LISTING_H
#define QMV3_TOOL_SALVAGE_LISTING_H

#include <cstdio>
#include <string>
#include <vector>

#include "sequence_io.h"

namespace qmv3tool {

struct SalvageFinding {
    unsigned image;  // position in the file from 1; 0 for damage that belongs to no image
    unsigned long long offset;
    int code;
    std::string reason;
};

struct SalvageResult {
    int code = 0;         // the library's QMV3_LOAD_* result
    std::string message;  // its message when code is not 0
    QMV3_RECOVER_REPORT report{};
    std::vector<SalvageFinding> findings;
};

// Recovers the intact images of path into the empty sequence.
SalvageResult RecoverFile(const std::string& path, Sequence& sequence);

// One line per finding, "image 3: dropped: ..." or "at byte 5558: ...", each after the prefix.
void PrintFindings(const SalvageResult& result, const std::string& prefix, FILE* stream);

}  // namespace qmv3tool

#endif
