// What the writing commands do to files that exist already: refuse them, replace them with --force
// only by a complete new file, and leave them untouched (and nothing else behind) when the
// replacement fails.
#include <dirent.h>
#include <gtest/gtest.h>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

// The names in a folder other than the tool's own output captures.
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name.rfind(".tool-", 0) != 0) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ToolOutput, EveryKindIsRefusedReplacedOnlyWithForceAndKeptWhenReplacingFails) {
    qmv3test::TempDir dir;
    // Two sources whose frames differ (the pixels depend on the frame number); BKG holds one frame.
    const std::string oldMany = dir.file("old-many.imc2"), newMany = dir.file("new-many.imc2");
    const std::string oldOne = dir.file("old-one.imc2"), newOne = dir.file("new-one.imc2");
    ASSERT_TRUE(tooltest::WriteSequenceFile(oldMany, 3, 64, 32, 2, 5));
    ASSERT_TRUE(tooltest::WriteSequenceFile(newMany, 2, 64, 32, 2, 50));
    ASSERT_TRUE(tooltest::WriteSequenceFile(oldOne, 1, 64, 32, 2, 5));
    ASSERT_TRUE(tooltest::WriteSequenceFile(newOne, 1, 64, 32, 2, 50));

    const struct {
        const char* target;                // the file the command writes
        std::vector<std::string> command;  // without the source, the target and --force
        bool oneFrame;
    } cases[] = {
        {"t.imc2", {"convert"}, false}, {"t.imm", {"convert"}, false}, {"t.imc", {"convert"}, false},
        {"t.bkc", {"convert"}, false},  {"t.bkg", {"convert"}, true},  {"t1.bmp", {"export-bmp"}, true},
        {"t.BKC2", {"convert"}, false},
    };
    for (const auto& row : cases) {
        const std::string target = dir.file(row.target);
        const bool bitmap = row.command[0] == "export-bmp";
        const auto run = [&](const std::string& source, bool force, long limit = -1) {
            std::vector<std::string> arguments = row.command;
            arguments.push_back(source);
            arguments.push_back(bitmap ? dir.file("t") : target);
            if (force) arguments.push_back("--force");
            return tooltest::WaitTool(tooltest::StartTool(arguments, dir, -1, limit), dir);
        };
        const std::string& oldSource = row.oneFrame ? oldOne : oldMany;
        const std::string& newSource = row.oneFrame ? newOne : newMany;
        ASSERT_EQ(run(oldSource, false).status, 0) << row.target;
        const std::vector<unsigned char> old = qmv3test::ReadFileBytes(target);
        const std::vector<std::string> names = FolderNames(dir.path());

        const tooltest::ToolResult refused = run(newSource, false);
        EXPECT_EQ(refused.status, 1) << row.target;
        EXPECT_TRUE(Contains(refused.err, target + " exists already (--force replaces it)")) << refused.err;
        EXPECT_EQ(qmv3test::ReadFileBytes(target), old) << row.target;

        // Every write beyond 1 KiB fails: the replacement cannot be completed.
        const tooltest::ToolResult failing = run(newSource, true, 1024);
        EXPECT_EQ(failing.status, 1) << row.target << ": " << failing.out;
        EXPECT_EQ(qmv3test::ReadFileBytes(target), old) << row.target;
        EXPECT_EQ(FolderNames(dir.path()), names) << row.target << ": " << failing.err;

        const tooltest::ToolResult forced = run(newSource, true);
        EXPECT_EQ(forced.status, 0) << row.target << ": " << forced.err;
        EXPECT_EQ(FolderNames(dir.path()), names) << row.target;
        if (bitmap) {
            EXPECT_NE(qmv3test::ReadFileBytes(target), old);
            EXPECT_EQ(qmv3test::ReadFileBytes(target).size(), old.size());
            continue;
        }
        QMBUNCHOFIMAGES expected = tooltest::LoadSequence(newSource), actual = tooltest::LoadSequence(target);
        ASSERT_EQ(actual.numFrames, expected.numFrames) << row.target;
        EXPECT_EQ(0, std::memcmp(actual.imageArray[0].frameBuffer, expected.imageArray[0].frameBuffer, 64 * 32 * 2))
            << row.target;
        qmFreeBunch(&expected);
        qmFreeBunch(&actual);
    }
}

TEST(ToolOutput, GrabRefusesWhatWouldFailBeforeItSubscribes) {
    qmv3test::TempDir dir;
    qmv3test::WriteFileBytes(dir.file("taken.imc2"), {1, 2, 3});
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    } cases[] = {
        {{"grab", "-n", "2", dir.file("taken.imc2")}, 1, dir.file("taken.imc2") + " exists already"},
        {{"grab", dir.file("none/out.imc2")},
         1,
         "cannot write " + dir.file("none/out.imc2") + ": folder " + dir.file("none") + ": No such file or directory"},
        {{"grab", dir.file("taken.imc2/x.imc2")}, 1, "folder " + dir.file("taken.imc2") + ": Not a directory"},
        {{"grab", dir.file("out.tif")}, 2, "the name of OUT must end in one of .imc2, .bkc2, .imm"},
        {{"grab", dir.file("out")}, 2, "the name of OUT must end in one of"},
        {{"grab", "-n", "3", dir.file("three.bkg")}, 2, "holds one frame only; grab with -n 1 or --single"},
    };
    for (const auto& row : cases) {
        const tooltest::ToolResult result = RunTool(row.arguments, dir);
        EXPECT_EQ(result.status, row.status) << row.message;
        EXPECT_TRUE(Contains(result.err, row.message)) << result.err;
        EXPECT_FALSE(Contains(result.err, "grab of")) << result.err;  // refused before any subscription
    }
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"taken.imc2"});

    const tooltest::ToolResult forced =
        RunTool({"grab", "-n", "2", "-r", "10", "--force", dir.file("taken.imc2")}, dir);
    EXPECT_EQ(forced.status, 0) << forced.err;
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(dir.file("taken.imc2"));
    EXPECT_EQ(images.numFrames, 2u);
    qmFreeBunch(&images);
}

TEST(ToolOutput, GrabSavesFramesItCannotSaveAsAskedUnderAFreeName) {
    qmv3test::TempDir dir;
    // The older kinds hold grey frames only, which only the frames themselves reveal.
    qmv3test::WriteFileBytes(dir.file("rgb-1.imc2"), {1});
    const tooltest::ToolResult result =
        RunTool({"grab", "-p", "FrameRGB", "-n", "2", "-r", "10", dir.file("rgb.imm")}, dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "File \"" + dir.file("rgb.imm") + "\" save error: Transcoding Error"))
        << result.err;
    EXPECT_TRUE(Contains(result.err, "the 2 frames received were saved to " + dir.file("rgb-2.imc2") + " instead"))
        << result.err;
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(dir.file("rgb-2.imc2"));
    EXPECT_EQ(images.numFrames, 2u);
    qmFreeBunch(&images);
    EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{"rgb-1.imc2", "rgb-2.imc2"}));
}

}  // namespace
