// "qmv3 version": the tool's version and the library's information text.
#include <cstdio>

#include "command.h"
#include "qmv3/qmv3.h"

namespace qmv3tool {

namespace {

int Run(const Arguments&) {
    unsigned major = 0, minor = 0, third = 0;
    char text[512];
    unsigned size = sizeof text;
    if (qmLibraryInfoEx(&major, &minor, &third, text, &size) == nullptr)
        return Failure(kVersionCommand, "the library gave no information (needs %u bytes)", size);
    std::printf("qmv3 tool, library version %u.%u.%u\n%s\n", major, minor, third, text);
    return kExitSuccess;
}

}  // namespace

const Command kVersionCommand = {
    "version", "", "print the library's version and information text", "", nullptr, 0, 0, 0, Run,
};

}  // namespace qmv3tool
