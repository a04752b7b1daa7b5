// Entry point of the qmv3 tool: global options, the choice of the command, its option parsing and the
// usage errors common to all commands. Exit status 0 success, 1 failure, 2 usage error.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "qmv3/qmv3.h"
#include "text_escape.h"

namespace qmv3tool {

const Command* const kCommands[] = {
    &kGrabCommand,
    &kRecordCommand,
    &kWatchCommand,
    &kViewCommand,
    &kInfoCommand,
    &kCheckCommand,
    &kConvertCommand,
    &kRecoverCommand,
    &kExportCommand,
    &kExportBmpCommand,
    &kReportCommand,
    &kStatsCommand,
    &kBackgroundCommand,
    &kContactSheetCommand,
    &kDumpCommand,
    &kServersCommand,
    &kSourcesCommand,
    &kDemoCommand,
    &kVersionCommand,
    &kHelpCommand,
    nullptr,
};

const Command* FindCommand(const char* name) {
    for (const Command* const* command = kCommands; *command != nullptr; ++command)
        if (std::strcmp((*command)->name, name) == 0) return *command;
    return nullptr;
}

void PrintCommandHelp(const Command& command) {
    std::printf("usage: qmv3 %s%s%s\n\n%s\n", command.name, command.synopsis[0] ? " " : "", command.synopsis,
                command.summary);
    if (command.details[0] != '\0') std::printf("\n%s", command.details);
}

int UsageError(const Command& command, const char* format, ...) {
    std::fprintf(stderr, "qmv3 %s: ", command.name);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "\nusage: qmv3 %s %s\nTry 'qmv3 %s --help'.\n", command.name, command.synopsis, command.name);
    return kExitUsage;
}

int Failure(const Command& command, const char* format, ...) {
    std::fflush(stdout);
    // Failures quote files and the library's messages about them: escaped, they stay one line.
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    std::fprintf(stderr, "qmv3 %s: %s\n", command.name, EscapeText(text).c_str());
    return kExitFailure;
}

namespace {

const char kGlobalUsage[] =
    "usage: qmv3 [--verbosity N | -v] COMMAND [ARGUMENTS]\n"
    "       qmv3 help [COMMAND]\n"
    "       qmv3 COMMAND --help\n";

int GlobalUsageError(const char* message, const char* argument) {
    std::fprintf(stderr, "qmv3: %s%s\n%sTry 'qmv3 help'.\n", message, argument, kGlobalUsage);
    return kExitUsage;
}

int RunCommand(const Command& command, int argc, char** argv, int first) {
    std::vector<OptionSpec> specs(command.options, command.options + command.optionCount);
    specs.push_back({"help", 'h', false});
    Arguments arguments;
    std::string error;
    if (!arguments.Parse(argc, argv, first, specs.data(), specs.size(), error))
        return UsageError(command, "%s", error.c_str());
    if (arguments.Has("help")) {
        PrintCommandHelp(command);
        return kExitSuccess;
    }
    const size_t count = arguments.Positionals().size();
    if (count < command.minPositionals) return UsageError(command, "missing argument");
    if (count > command.maxPositionals)
        return UsageError(command, "unexpected argument '%s'", arguments.Positionals()[command.maxPositionals].c_str());
    return command.run(arguments);
}

}  // namespace

// "qmv3 help [COMMAND]": the list of commands, or the help of one.
static int RunHelp(const Arguments& arguments) {
    if (!arguments.Positionals().empty()) {
        const Command* command = FindCommand(arguments.Positionals()[0].c_str());
        if (command == nullptr)
            return UsageError(kHelpCommand, "unknown command '%s'", arguments.Positionals()[0].c_str());
        PrintCommandHelp(*command);
        return kExitSuccess;
    }
    std::printf("qmv3 - grab, check, convert and inspect camera image sequences\n\n%s\ncommands:\n", kGlobalUsage);
    for (const Command* const* command = kCommands; *command != nullptr; ++command)
        std::printf("  %-11s %s\n", (*command)->name, (*command)->summary);
    std::printf(
        "\nglobal options:\n"
        "  --verbosity N  where the library writes its log: 0 nowhere, 1 standard error,\n"
        "                 2 standard output, 3 its log file (the default)\n"
        "  -v             the same as --verbosity 1\n"
        "\nExit status: 0 success, 1 failure (the library's message on standard error), 2 usage error.\n");
    return kExitSuccess;
}

const Command kHelpCommand = {"help", "[COMMAND]", "list the commands, or show the help of one", "", nullptr, 0, 0,
                              1,      RunHelp};

}  // namespace qmv3tool

int main(int argc, char** argv) {
    using namespace qmv3tool;
    int index = 1;
    for (; index < argc && argv[index][0] == '-'; ++index) {
        const char* option = argv[index];
        long level = 0;
        if (std::strcmp(option, "-v") == 0 || std::strcmp(option, "--verbose") == 0) {
            level = 1;
        } else if (std::strcmp(option, "--verbosity") == 0) {
            if (index + 1 >= argc || !ParseNumber(argv[index + 1], 0, 3, level))
                return GlobalUsageError("--verbosity needs a number from 0 to 3", "");
            ++index;
        } else if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
            return RunHelp(Arguments());
        } else {
            return GlobalUsageError("unknown option ", option);
        }
        qmSetVerbose(static_cast<int>(level));
    }
    if (index >= argc) return GlobalUsageError("no command given", "");
    const Command* command = FindCommand(argv[index]);
    if (command == nullptr) return GlobalUsageError("unknown command ", argv[index]);
    return RunCommand(*command, argc, argv, index + 1);
}
