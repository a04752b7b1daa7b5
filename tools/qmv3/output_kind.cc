// The table of file kinds the tool writes, by extension.
#include "output_kind.h"

#include <strings.h>

#include <cstring>

namespace qmv3tool {

namespace {

struct WritableExtension {
    const char* extension;
    OutputKind kind;
};

// Every name the tool writes ends in one of these (compared without regard to case).
const WritableExtension kWritable[] = {
    {".imc2", OutputKind::kImc2}, {".bkc2", OutputKind::kImc2}, {".imm", OutputKind::kOlder},
    {".imc", OutputKind::kOlder}, {".bkc", OutputKind::kOlder}, {".bkg", OutputKind::kOlder},
};

bool EndsWith(const std::string& base, const char* extension) {
    const size_t length = std::strlen(extension);
    // A name that is nothing but the extension has no stem to write under.
    return base.size() > length && strcasecmp(base.c_str() + base.size() - length, extension) == 0;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

OutputKind OutputKindOf(const std::string& path) {
    const std::string base = BaseName(path);
    for (const WritableExtension& entry : kWritable)
        if (EndsWith(base, entry.extension)) return entry.kind;
    return OutputKind::kUnwritable;
}

std::string WritableExtensions() {
    std::string text;
    for (const WritableExtension& entry : kWritable) text += (text.empty() ? "" : ", ") + std::string(entry.extension);
    return text;
}

bool HoldsOneFrameOnly(const std::string& path) { return EndsWith(BaseName(path), ".bkg"); }

}  // namespace qmv3tool
