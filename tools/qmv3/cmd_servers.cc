// "qmv3 servers": the frame-grabber servers that deliver raw video, and the control-system context,
// from a system list file. The library reports a list it cannot load on standard error.
#include <cstdio>
#include <vector>

#include "command.h"
#include "qmv3/qmv3.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

int ListFailure(const char* path, int result) {
    return Failure(
        kServersCommand, "%s: %s (code %d)", path,
        result == QMV3_SYSLIST_LOAD_FAILED ? "the system list could not be loaded" : "the system list query failed",
        result);
}

int Run(const Arguments& arguments) {
    const char* path = arguments.Positionals()[0].c_str();
    char context[64] = "";
    unsigned count = 0;
    int result = qmGetAllRawVideoServerNames(path, context, nullptr, &count);
    if (result != QMV3_SYSLIST_OK) return ListFailure(path, result);
    std::vector<NAME64> names(count ? count : 1);
    result = qmGetAllRawVideoServerNames(path, nullptr, names.data(), &count);
    if (result != QMV3_SYSLIST_OK) return ListFailure(path, result);
    std::printf("context: %s\n", EscapeText(context, sizeof context).c_str());
    for (unsigned i = 0; i < count && i < names.size(); ++i)
        std::printf("%s\n", EscapeText(names[i].name, sizeof names[i].name).c_str());
    return kExitSuccess;
}

}  // namespace

const Command kServersCommand = {
    "servers",
    "SYSLIST",
    "list the raw-video frame-grabber servers of a system list",
    "Prints the control-system context, then one server name a line in the order of the file.\n",
    nullptr,
    0,
    1,
    1,
    Run,
};

}  // namespace qmv3tool
