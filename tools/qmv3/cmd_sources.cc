// "qmv3 sources": the image sources of a system list file, with their IDs on request.
#include <cstdio>
#include <vector>

#include "command.h"
#include "qmv3/qmv3.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"ids", 0, false}};

int Run(const Arguments& arguments) {
    const char* path = arguments.Positionals()[0].c_str();
    unsigned count = 0;
    int result = qmGetAllImageSourceNames(path, nullptr, nullptr, &count);
    if (result == QMV3_SYSLIST_OK) {
        const bool withIds = arguments.Has("ids");
        std::vector<NAME64> names(count ? count : 1);
        std::vector<NAME64I> ids(count ? count : 1);
        result =
            qmGetAllImageSourceNames(path, withIds ? nullptr : names.data(), withIds ? ids.data() : nullptr, &count);
        for (unsigned i = 0; result == QMV3_SYSLIST_OK && i < count && i < names.size(); ++i) {
            if (withIds)
                std::printf("%u\t%s\n", ids[i].ID, EscapeText(ids[i].name, sizeof ids[i].name).c_str());
            else
                std::printf("%s\n", EscapeText(names[i].name, sizeof names[i].name).c_str());
        }
    }
    if (result == QMV3_SYSLIST_OK) return kExitSuccess;
    return Failure(
        kSourcesCommand, "%s: %s (code %d)", path,
        result == QMV3_SYSLIST_LOAD_FAILED ? "the system list could not be loaded" : "the system list query failed",
        result);
}

}  // namespace

const Command kSourcesCommand = {
    "sources",
    "SYSLIST [--ids]",
    "list the image sources of a system list",
    "options:\n"
    "  --ids  print each source's ID before its name, separated by a tab\n",
    kOptions,
    1,
    1,
    1,
    Run,
};

}  // namespace qmv3tool
