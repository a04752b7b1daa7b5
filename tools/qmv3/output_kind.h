// The one table of what the tool writes: the extension of an output name chooses its kind. Every
// command that writes asks here, so a new kind is one row in output_kind.cc.
#ifndef QMV3_TOOL_OUTPUT_KIND_H
#define QMV3_TOOL_OUTPUT_KIND_H

#include <string>

namespace qmv3tool {

enum class OutputKind { kUnwritable, kImc2, kOlder };

// The kind an output name's extension names (compared without regard to case), kUnwritable for
// any other name.
OutputKind OutputKindOf(const std::string& path);
// ".imc2, .bkc2, .imm, ..." for messages.
std::string WritableExtensions();
// Whether the kind holds one frame only (the older BKG file).
bool HoldsOneFrameOnly(const std::string& path);

}  // namespace qmv3tool

#endif
