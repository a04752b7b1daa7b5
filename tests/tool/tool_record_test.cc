// "qmv3 record" as a program: what lands in the files for each output kind, the stop signals, and a
// full disk.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

// Frames of the stand-in's camera, numbered without a gap from the first.
void ExpectRecorded(const std::string& path, unsigned count, int kind = QMV3_FILE_IMC2_BKC2) {
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(path);
    EXPECT_EQ(images.numFrames, count) << path;
    EXPECT_EQ(qmCheckFileFormat(path.c_str(), nullptr, 0), kind) << path;
    for (unsigned i = 1; i < images.numFrames; ++i) {
        EXPECT_EQ(images.imageArray[i].frameHeader.frameNumber, images.imageArray[0].frameHeader.frameNumber + i);
    }
    qmFreeBunch(&images);
}

TEST(ToolRecord, FramesGoToSplitFilesOfEachKind) {
    // Slow enough for zlib's default level on a busy machine: a drop fails the run.
    const struct {
        const char* name;
        const char* second;
        const char* third;
        const char* compress;
        const char* rate;
    } kinds[] = {{"run.imc2", "run-0002.imc2", "run-0003.imc2", "fast", "40"},
                 {"bg.BKC2", "bg-0002.BKC2", "bg-0003.BKC2", "default", "150"}};
    for (const auto& kind : kinds) {
        qmv3test::TempDir dir;
        const tooltest::ToolResult result = RunTool(
            {"record", "-n", "12", "--split", "5", "-r", kind.rate, "--compress", kind.compress, dir.file(kind.name)},
            dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Contains(result.out, "received 12, written 12, dropped by the writer 0,")) << result.out;
        EXPECT_TRUE(Contains(result.out, "files 3,")) << result.out;
        ExpectRecorded(dir.file(kind.name), 5);
        ExpectRecorded(dir.file(kind.second), 5);
        ExpectRecorded(dir.file(kind.third), 2);
    }
}

// One HDF5 file whatever --split says; the readers of other programs are the Python tests'.
TEST(ToolRecord, Hdf5GivesOneFileOfEveryFrame) {
    const struct {
        const char* name;
        const char* property;
        const char* compress;
        const char* rate;  // slow enough for zlib's default level on a busy machine
        bool split;
    } kinds[] = {{"run.h5", "Frame16", "fast", "150", false}, {"run.HDF5", "FrameRGB", "default", "250", true}};
    for (const auto& kind : kinds) {
        qmv3test::TempDir dir;
        std::vector<std::string> arguments = {"record", "-n", "12", "-r", kind.rate, "-p", kind.property, "--compress",
                                              kind.compress, dir.file(kind.name)};
        if (kind.split) arguments.insert(arguments.begin() + 1, {"--split", "5"});
        const tooltest::ToolResult result = RunTool(arguments, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Contains(result.out, "received 12, written 12, dropped by the writer 0, gaps 0, files 1,")) << result.out;
        EXPECT_EQ(Contains(result.err, "--split does not apply to HDF5"), kind.split) << result.err;
        ExpectRecorded(dir.file(kind.name), 12, QMV3_FILE_HDF5);
    }
}

TEST(ToolRecord, UsageErrorsComeBeforeAnythingIsWritten) {
    qmv3test::TempDir dir;
    const struct {
        std::vector<std::string> arguments;
        const char* said;
    } cases[] = {
        {{"record", dir.file("a.imc2")}, "give either -n N or --duration T"},
        {{"record", "-n", "3", "--duration", "5s", dir.file("a.imc2")}, "give either"},
        {{"record", "--duration", "5x", dir.file("a.imc2")}, "--duration needs a time"},
        {{"record", "-n", "3", "--compress", "best", dir.file("a.imc2")}, "--compress takes"},
        {{"record", "-n", "3", "--split", "10001", dir.file("a.imc2")}, "--split needs"},
        {{"record", "-n", "3", dir.file("a.tif")}, "must end in .imc2 or .bkc2"},
    };
    for (const auto& row : cases) {
        const tooltest::ToolResult result = RunTool(row.arguments, dir);
        EXPECT_EQ(result.status, 2) << row.said;
        EXPECT_TRUE(Contains(result.err, row.said)) << result.err;
    }
    EXPECT_FALSE(qmv3test::FileExists(dir.file("a.imc2")));
}

// A stop signal ends the run with status 1 and complete files holding every frame received.
TEST(ToolRecord, StopSignalsWriteWhatWasReceivedAndCompleteTheFile) {
    const struct {
        int signalNumber;
        const char* name;
        int kind;
    } cases[] = {{SIGTERM, "run.imc2", QMV3_FILE_IMC2_BKC2},
                 {SIGHUP, "run.imc2", QMV3_FILE_IMC2_BKC2},
                 {SIGINT, "run.imc2", QMV3_FILE_IMC2_BKC2},
                 {SIGTERM, "run.h5", QMV3_FILE_HDF5}};
    for (const auto& row : cases) {
        SCOPED_TRACE(std::to_string(row.signalNumber) + " " + row.name);
        qmv3test::TempDir dir;
        const std::string path = dir.file(row.name);
        const pid_t pid = tooltest::StartTool({"record", "--duration", "60s", "-r", "20", path}, dir);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(pid, row.signalNumber);
        const tooltest::ToolResult result = tooltest::WaitTool(pid, dir);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_TRUE(Contains(result.err, "interrupted; the ")) << result.err;
        QMBUNCHOFIMAGES images = tooltest::LoadSequence(path);
        EXPECT_GT(images.numFrames, 0u);
        EXPECT_TRUE(Contains(result.out, "written " + std::to_string(images.numFrames) + ",")) << result.out;
        qmFreeBunch(&images);
        EXPECT_EQ(qmCheckFileFormat(path.c_str(), nullptr, 0), row.kind);
    }
}

// A writer killed outright leaves the file marked open; it loads with every frame flushed before.
TEST(ToolRecord, AnHdf5RecordingKilledOutrightLoadsItsFlushedFrames) {
    qmv3test::TempDir dir;
    const std::string path = dir.file("killed.h5");
    const pid_t pid = tooltest::StartTool({"record", "--duration", "60s", "-r", "20", path}, dir);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    kill(pid, SIGKILL);
    tooltest::WaitTool(pid, dir);
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(path);
    EXPECT_GT(images.numFrames, 0u);
    qmFreeBunch(&images);
    EXPECT_EQ(qmCheckFileFormat(path.c_str(), nullptr, 0), QMV3_FILE_HDF5);
}

// A file size limit stands for a full disk: the file keeps every frame before the one that did not fit.
TEST(ToolRecord, AFullDiskStopsWithTheFileAndTheSystemsReason) {
    const struct {
        const char* name;
        int kind;
    } cases[] = {{"full.imc2", QMV3_FILE_IMC2_BKC2}, {"full.h5", QMV3_FILE_HDF5}};
    for (const auto& row : cases) {
        qmv3test::TempDir dir;
        const std::string path = dir.file(row.name);
        const pid_t pid = tooltest::StartTool({"record", "--duration", "60s", "-r", "10", "--compress", "none", path},
                                              dir, -1, 2000000);
        const tooltest::ToolResult result = tooltest::WaitTool(pid, dir);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, path)) << result.err;
        EXPECT_TRUE(Contains(result.err, "File too large")) << result.err;
        QMBUNCHOFIMAGES images = tooltest::LoadSequence(path);
        EXPECT_GT(images.numFrames, 0u);
        EXPECT_TRUE(Contains(result.out, "written " + std::to_string(images.numFrames) + ",")) << result.out;
        qmFreeBunch(&images);
        EXPECT_EQ(qmCheckFileFormat(path.c_str(), nullptr, 0), row.kind);
    }
}

}  // namespace
