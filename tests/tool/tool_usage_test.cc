// The tool's command line: help texts, usage errors (exit status 2) and failures (exit status 1)
// with the library's message on standard error.
#include <gtest/gtest.h>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

const char* const kCommands[] = {"grab",    "watch",   "info",  "check",   "export", "export-bmp", "dump", "convert",
                                 "servers", "sources", "demo",  "version", "help"};

TEST(ToolUsage, HelpListsEveryCommandAndEachCommandHasItsHelp) {
    qmv3test::TempDir dir;
    const tooltest::ToolResult list = RunTool({"help"}, dir);
    EXPECT_EQ(list.status, 0);
    for (const char* command : kCommands) {
        EXPECT_TRUE(Contains(list.out, std::string("\n  ") + command + " ")) << command;
        for (const char* form : {"--help", "-h"}) {
            const tooltest::ToolResult help = RunTool({command, form}, dir);
            EXPECT_EQ(help.status, 0) << command;
            EXPECT_EQ(help.out.rfind(std::string("usage: qmv3 ") + command, 0), 0u) << help.out;
            EXPECT_EQ(help.err, "");
        }
        const tooltest::ToolResult viaHelp = RunTool({"help", command}, dir);
        EXPECT_EQ(viaHelp.status, 0);
        EXPECT_EQ(viaHelp.out, RunTool({command, "--help"}, dir).out);
    }
}

TEST(ToolUsage, UsageErrorsExitWithTwo) {
    qmv3test::TempDir dir;
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"--verbosity", "7", "version"}, "--verbosity needs a number from 0 to 3"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"grab"}, "missing argument"},
        {{"grab", "a.imc2", "b.imc2"}, "unexpected argument 'b.imc2'"},
        {{"grab", "-n", "0", "a.imc2"}, "-n needs a number of frames from 1 to 10000, not '0'"},
        {{"grab", "-n", "12x", "a.imc2"}, "not '12x'"},
        {{"grab", "--rate", "-5", "a.imc2"}, "--rate needs milliseconds"},
        {{"grab", "--mode", "TIMER|EVENT", "a.imc2"},
         "--mode 'TIMER|EVENT' is not an access mode: 'TIMER' and 'EVENT' exclude each other"},
        {{"grab", "--mode", "cm_timer stream,MCAST", "a.imc2"}, "'stream' and 'MCAST' exclude each other"},
        {{"grab", "--mode", "TIMER|TIMER", "a.imc2"}, "'TIMER' is named twice"},
        {{"grab", "--mode", "TIMER|FOO", "a.imc2"}, "'FOO' is not an access-mode keyword (known: EVENT or TIMER,"},
        {{"grab", "--mode", "STREAM", "a.imc2"}, "it names neither EVENT nor TIMER, and one of them is needed"},
        {{"grab", "--mode", " | ", "a.imc2"}, "it names no keyword"},
        {{"grab", "--frames"}, "option --frames needs a value"},
        {{"grab", "--single=yes", "a"}, "option --single takes no value"},
        {{"watch", "--duration", "0"}, "--duration needs seconds from 1 to 2678400, not '0'"},
        {{"watch", "--rate", "x"}, "--rate needs milliseconds from 1 to 3600000, not 'x'"},
        {{"watch", "extra"}, "unexpected argument 'extra'"},
        {{"info", "--what", "a"}, "unknown option --what"},
        {{"convert", "in.imc2"}, "missing argument"},
        {{"export-bmp", "in", "out", "--palette", "pink"}, "--palette must be gray, false or jet"},
        {{"export-bmp", "in", "out", "--digits", "4"}, "--digits must be 0, 1, 2 or 3"},
        {{"export-bmp", "in", "out", "--contrast", "high"}, "--contrast must be bits or auto"},
        {{"export-bmp", "in", "out", "--frame", "0"}, "--frame needs a number from 1 to 10000"},
        {{"dump", "in", "--frame", "0"}, "--frame needs an image number from 1"},
        {{"demo", "--frames", "0"}, "--frames needs a number from 1 to 1000"},
        {{"version", "extra"}, "unexpected argument 'extra'"},
        {{"help", "nothing"}, "unknown command 'nothing'"},
    };
    for (const auto& row : cases) {
        const tooltest::ToolResult result = RunTool(row.arguments, dir);
        EXPECT_EQ(result.status, 2) << row.message;
        EXPECT_TRUE(Contains(result.err, row.message)) << result.err;
        EXPECT_TRUE(Contains(result.err, "usage: qmv3")) << result.err;
        EXPECT_EQ(result.out, "") << row.message;
    }
}

TEST(ToolUsage, OptionsMayFollowAndPrecedeArgumentsAndTakeInlineValues) {
    qmv3test::TempDir dir;
    // Each form reaches the load of the missing file, so the options were accepted.
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"dump", "--frame=2", "missing.imc2"},
                                                      {"dump", "missing.imc2", "-k2", "--hex"},
                                                      {"dump", "--", "missing.imc2"}}) {
        const tooltest::ToolResult result = RunTool(arguments, dir);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, "qmv3 dump: File \"missing.imc2\"")) << result.err;
    }
}

TEST(ToolUsage, FailuresExitWithOneAndTheLibraryMessage) {
    qmv3test::TempDir dir;
    const std::string missing = dir.file("missing.imc2");
    for (const char* command : {"info", "check", "dump"}) {
        const tooltest::ToolResult result = RunTool({command, missing}, dir);
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_TRUE(Contains(result.err, std::string("qmv3 ") + command + ": File \"" + missing + "\"")) << result.err;
        EXPECT_TRUE(Contains(result.err, " (No such file or directory)\n")) << result.err;
    }
    // The system's view follows the library's text: a folder, a file too short for any header.
    qmv3test::WriteFileBytes(dir.file("short.imm"), {1, 2, 3, 4, 5});
    const struct {
        std::string path, reason;
    } reasons[] = {{dir.path(), " (it is a folder)\n"},
                   {dir.file("short.imm"), " (file is 5 bytes, shorter than one header)\n"}};
    for (const auto& row : reasons) {
        const tooltest::ToolResult result = RunTool({"info", row.path}, dir);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, row.reason)) << result.err;
    }
    const tooltest::ToolResult convert = RunTool({"convert", missing, dir.file("out.imm")}, dir);
    EXPECT_EQ(convert.status, 1);
    EXPECT_FALSE(qmv3test::FileExists(dir.file("out.imm")));
}

TEST(ToolUsage, VersionShowsTheLibraryInformation) {
    qmv3test::TempDir dir;
    const tooltest::ToolResult result = RunTool({"version"}, dir);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(Contains(result.out, "library version 1.0.0\n**** QMv3 shared client library, Linux, v1.0.0"))
        << result.out;
}

}  // namespace
