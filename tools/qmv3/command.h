// The command table of the qmv3 tool: what every command declares (its options, its positional
// arguments, its help text) and the entry point main() dispatches to. Each command lives in a file of
// its own (cmd_NAME.cc) and defines one Command object.
#ifndef QMV3_TOOL_COMMAND_H
#define QMV3_TOOL_COMMAND_H

#include <cstddef>

#include "arguments.h"

namespace qmv3tool {

// Exit statuses of every command.
enum ExitStatus { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2 };

struct Command {
    const char* name;
    const char* synopsis;  // arguments after the command name, as shown in the usage line
    const char* summary;   // one line for "qmv3 help"
    const char* details;   // the rest of "qmv3 COMMAND --help": options and what the command does
    const OptionSpec* options;
    size_t optionCount;
    size_t minPositionals;
    size_t maxPositionals;
    int (*run)(const Arguments& arguments);
};

extern const Command kGrabCommand;
extern const Command kRecordCommand;
extern const Command kInfoCommand;
extern const Command kCheckCommand;
extern const Command kConvertCommand;
extern const Command kRecoverCommand;
extern const Command kExportCommand;
extern const Command kExportBmpCommand;
extern const Command kReportCommand;
extern const Command kContactSheetCommand;
extern const Command kDumpCommand;
extern const Command kStatsCommand;
extern const Command kBackgroundCommand;
extern const Command kServersCommand;
extern const Command kSourcesCommand;
extern const Command kDemoCommand;
extern const Command kViewCommand;
extern const Command kVersionCommand;
extern const Command kHelpCommand;
extern const Command kWatchCommand;

// All commands in the order "qmv3 help" lists them; null-terminated.
extern const Command* const kCommands[];

const Command* FindCommand(const char* name);

// Writes "usage: qmv3 NAME SYNOPSIS", the summary and the details to standard output.
void PrintCommandHelp(const Command& command);

// Reports a usage error of a command on standard error and returns kExitUsage.
int UsageError(const Command& command, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reports a failure on standard error as "qmv3 NAME: message" and returns kExitFailure.
int Failure(const Command& command, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace qmv3tool

#endif
