// The commands that talk to the control system's stand-in (grabs from the default simulated camera,
// Ctrl-C, the progress bar on a terminal, the demo) and the system-list listings.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

// Watch prints a line a second and a summary, and fails when no frame comes.
TEST(ToolGrab, WatchReportsTheStreamAndFailsWithoutFrames) {
    qmv3test::TempDir dir;
    const tooltest::ToolResult alive = RunTool({"watch", "-p", "Frame16", "--rate", "10", "--duration", "2"}, dir);
    ASSERT_EQ(alive.status, 0) << alive.err;
    EXPECT_TRUE(Contains(alive.out, "watching \"/SIM/CAMSERVER/CAM0\" \"Frame16\"")) << alive.out;
    EXPECT_TRUE(Contains(alive.out, "   1s ")) << alive.out;
    EXPECT_TRUE(Contains(alive.out, "queue ")) << alive.out;
    EXPECT_TRUE(Contains(alive.out, "  max 4095")) << alive.out;
    EXPECT_TRUE(Contains(alive.out, "dropped 0, gaps 0, repeats 0, link losses 0")) << alive.out;
    const tooltest::ToolResult absent = RunTool({"watch", "-p", "Absent", "--duration", "1"}, dir);
    EXPECT_EQ(absent.status, 1);
    EXPECT_TRUE(Contains(absent.err, "cannot subscribe to \"/SIM/CAMSERVER/CAM0\" \"Absent\"")) << absent.err;
}

TEST(ToolGrab, GrabsFromTheSimulatedCameraInEveryForm) {
    qmv3test::TempDir dir;
    const struct {
        std::vector<std::string> options;
        const char* file;
        unsigned frames;
        int bytesPerPixel;
        int imageFormat;
    } cases[] = {
        {{"-n", "3", "--rate", "10"}, "frames.imc2", 3, 1, QMV3_FORMAT_GRAY},
        {{"--single", "-p", "Frame16"}, "single.imc2", 1, 2, QMV3_FORMAT_GRAY},
        {{"-p", "FrameJpeg", "-n", "2", "-r", "10", "--decompress"}, "jpeg.imc2", 2, 1, QMV3_FORMAT_GRAY},
        {{"-p", "FrameJpeg", "-n", "2", "-r", "10", "--decompress"}, "jpeg.imm", 2, 1, QMV3_FORMAT_GRAY},
        {{"--address", "/SIM/CAMSERVER/CAM0", "--property", "FrameRGB", "-n", "2", "-r", "10", "--mode", "timer"},
         "rgb.imc2",
         2,
         3,
         QMV3_FORMAT_RGB},
    };
    for (const auto& row : cases) {
        std::vector<std::string> arguments = {"grab"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        arguments.push_back(dir.file(row.file));
        const tooltest::ToolResult result = RunTool(arguments, dir);
        ASSERT_EQ(result.status, 0) << row.file << ": " << result.err;
        EXPECT_TRUE(Contains(result.out, " saved to " + dir.file(row.file))) << result.out;
        QMBUNCHOFIMAGES images = tooltest::LoadSequence(dir.file(row.file));
        EXPECT_EQ(images.numFrames, row.frames) << row.file;
        if (images.numFrames == row.frames) {
            EXPECT_EQ(qmIsCompleteSequence(&images), QMV3_SEQUENCE_YES) << row.file;
            EXPECT_EQ(images.imageArray[0].frameHeader.bytesPerPixel, row.bytesPerPixel) << row.file;
            EXPECT_EQ(images.imageArray[0].frameHeader.imageFormat, row.imageFormat) << row.file;
        }
        qmFreeBunch(&images);
    }
}

TEST(ToolGrab, FailedGrabsExitWithOneAndSaveNothing) {
    qmv3test::TempDir dir;
    const tooltest::ToolResult unknown = RunTool({"grab", "-p", "NoSuchProperty", "-n", "2", dir.file("a.imc2")}, dir);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(Contains(unknown.err, "qmv3 grab: grab of \"/SIM/CAMSERVER/CAM0\" \"NoSuchProperty\"")) << unknown.err;
    EXPECT_TRUE(Contains(unknown.err,
                         "; \"/SIM/CAMSERVER/CAM0\" has no property \"NoSuchProperty\"; its properties: "
                         "Frame, Frame16, FrameRGB, FrameJpeg\n"))
        << unknown.err;
    EXPECT_FALSE(qmv3test::FileExists(dir.file("a.imc2")));

    const tooltest::ToolResult single =
        RunTool({"grab", "--single", "-a", "/SIM/NOWHERE/CAM9", dir.file("b.imc2")}, dir);
    EXPECT_EQ(single.status, 1);
    EXPECT_TRUE(Contains(single.err, "reading the property characteristics failed (control system code")) << single.err;
    EXPECT_FALSE(Contains(single.err, "its properties")) << single.err;  // an unknown device has none to offer

    // JPEG frames are decompressed for every kind, with one line that says so.
    const tooltest::ToolResult jpeg = RunTool({"grab", "-p", "FrameJpeg", "-n", "1", dir.file("c.imc2")}, dir);
    EXPECT_EQ(jpeg.status, 0) << jpeg.err;
    EXPECT_EQ(jpeg.err, "qmv3 grab: the frames of \"FrameJpeg\" are JPEG-compressed; decompressing them for " +
                            dir.file("c.imc2") + "\n");

    qmv3test::WriteFileBytes(dir.file("taken.imm"), {1, 2, 3});
    const tooltest::ToolResult taken = RunTool({"grab", "-n", "1", dir.file("taken.imm")}, dir);
    EXPECT_EQ(taken.status, 1);
    EXPECT_TRUE(Contains(taken.err, "taken.imm exists already")) << taken.err;
    EXPECT_EQ(qmv3test::ReadFileBytes(dir.file("taken.imm")).size(), 3u);
}

TEST(ToolGrab, CtrlCStopsTheGrabAndKeepsItsFrames) {
    qmv3test::TempDir dir;
    const std::string path = dir.file("stopped.imc2");
    const pid_t pid = tooltest::StartTool({"grab", "-n", "10000", "-r", "20", path}, dir);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    kill(pid, SIGINT);
    const tooltest::ToolResult result = tooltest::WaitTool(pid, dir);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "interrupted")) << result.err;
    EXPECT_TRUE(Contains(result.err, "the frames received were saved")) << result.err;
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(path);
    EXPECT_GT(images.numFrames, 0u);
    EXPECT_LT(images.numFrames, 10000u);
    EXPECT_EQ(qmIsCompleteSequence(&images), QMV3_SEQUENCE_YES);
    qmFreeBunch(&images);
}

// SIGTERM and SIGHUP once ended the grab with the default action, losing every frame; and a stopped
// grab with --force replaced a longer existing file with the few frames it had.
TEST(ToolGrab, StopSignalsKeepTheFramesAndNeverReplaceAFileWithFewer) {
    const struct {
        int signalNumber;
        bool existing;  // OUT holds 20 frames and --force is given
        const char* said;
    } cases[] = {
        {SIGTERM, false, "terminated (SIGTERM)"},
        {SIGHUP, false, "hang-up (SIGHUP)"},
        {SIGTERM, true, "terminated (SIGTERM)"},
        {SIGINT, true, "interrupted"},
    };
    for (const auto& row : cases) {
        qmv3test::TempDir dir;
        const std::string path = dir.file("run.imc2");
        std::vector<std::string> arguments = {"grab", "-n", "10000", "-r", "20", path};
        if (row.existing) {
            ASSERT_TRUE(tooltest::WriteSequenceFile(path, 20, 16, 8, 1, 1));
            arguments.insert(arguments.begin() + 1, "--force");
        }
        const pid_t pid = tooltest::StartTool(arguments, dir);
        ASSERT_GT(pid, 0);
        // Long enough for the tool to start and receive frames on a busy machine.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        kill(pid, row.signalNumber);
        const tooltest::ToolResult result = tooltest::WaitTool(pid, dir);
        EXPECT_EQ(result.status, 1) << row.said << ": " << result.err;
        EXPECT_TRUE(Contains(result.err, row.said)) << result.err;
        // The frames received end up in OUT, or beside a kept OUT under a name the message gives.
        const std::string received = row.existing ? dir.file("run-1.imc2") : path;
        EXPECT_TRUE(Contains(result.err, row.existing ? path + " was kept, the " : "the frames received were saved"))
            << result.err;
        if (row.existing) {
            EXPECT_TRUE(Contains(result.err, "saved to " + received + " instead")) << result.err;
        }
        QMBUNCHOFIMAGES kept = tooltest::LoadSequence(path);
        if (row.existing) {
            EXPECT_EQ(kept.numFrames, 20u) << row.said;
        }
        qmFreeBunch(&kept);
        QMBUNCHOFIMAGES images = tooltest::LoadSequence(received);
        EXPECT_GT(images.numFrames, 0u) << row.said;
        EXPECT_LT(images.numFrames, 10000u) << row.said;
        qmFreeBunch(&images);
    }
}

TEST(ToolGrab, ProgressBarOnlyOnATerminal) {
    qmv3test::TempDir dir;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    const pid_t pid = tooltest::StartTool({"grab", "-n", "5", "-r", "100", dir.file("tty.imc2")}, dir, terminal);
    close(terminal);
    std::string screen;
    char buffer[4096];
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, static_cast<size_t>(got));
    close(master);
    EXPECT_EQ(tooltest::WaitTool(pid, dir).status, 0);
    EXPECT_TRUE(Contains(screen, "\rgrabbing Frame [")) << screen;
    EXPECT_TRUE(Contains(screen, "\rsaving " + dir.file("tty.imc2") + " [")) << screen;

    const tooltest::ToolResult piped = RunTool({"grab", "-n", "2", "-r", "300", dir.file("pipe.imc2")}, dir);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
}

TEST(ToolGrab, NotesARateOutsideTheRecommendedRange) {
    qmv3test::TempDir dir;
    const struct {
        std::vector<std::string> options;
        const char* note;  // null: none
    } cases[] = {
        {{"-r", "10"}, "qmv3 grab: note: an access rate of 10 ms is below the recommended range of 300 to 4000 ms\n"},
        // The note comes before the grab, which fails here at once.
        {{"-r", "4001", "-p", "NoSuchProperty"},
         "qmv3 grab: note: an access rate of 4001 ms is above the recommended range of 300 to 4000 ms\n"},
        {{"-r", "300"}, nullptr},
        {{"-r", "10", "--quiet"}, nullptr},
        {{"-r", "10", "--single"}, nullptr},  // there the time limit of the read
    };
    int file = 0;
    for (const auto& row : cases) {
        std::vector<std::string> arguments = {"grab", "-n", "1"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        arguments.push_back(dir.file("rate" + std::to_string(++file) + ".imc2"));
        const tooltest::ToolResult result = RunTool(arguments, dir);
        if (row.note != nullptr)
            EXPECT_EQ(result.err.rfind(row.note, 0), 0u) << result.err;
        else
            EXPECT_FALSE(Contains(result.err, "recommended range")) << result.err;
    }
}

TEST(ToolGrab, DemoRunsEveryStepAndReports) {
    qmv3test::TempDir dir;
    const std::string folder = dir.file("demo/out");
    for (int run = 0; run < 2; ++run) {  // a second run replaces the files of the first
        const tooltest::ToolResult result = RunTool({"demo", "--frames", "4", "--dir", folder}, dir);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Contains(result.out, "4 frames 640 x 480 GRAY 8-bit, numbers ")) << result.out;
        EXPECT_TRUE(Contains(result.out, "4 headers and 1228800 frame bytes identical")) << result.out;
        EXPECT_TRUE(Contains(result.out, "5 headers and 1536000 frame bytes identical")) << result.out;
        EXPECT_TRUE(Contains(result.out, "read back: 4 frames, frame bytes identical")) << result.out;
        EXPECT_TRUE(Contains(result.out, "report: " + folder + "/report.html\n")) << result.out;
        EXPECT_TRUE(Contains(result.out, "demo passed: 9 frames grabbed, 5 files written")) << result.out;
    }
    for (const char* name : {"frame.imc2", "jpeg.imc2", "frame.imm", "frame1.bmp", "report.html"})
        EXPECT_TRUE(qmv3test::FileExists(folder + "/" + name)) << name;
}

std::string SystemList() {
    const auto element = [](const std::string& name, const std::string& text) {
        return "<" + name + ">" + text + "</" + name + ">";
    };
    const auto source = [&](const std::string& nameID) {
        return element("ImageSource", element("NameID", nameID) + element("SGPType", "PCVision"));
    };
    const auto sgp = [&](const std::string& name) {
        return element("SGP", element("Name", name) + element("Type", "PCVision"));
    };
    return "<?xml version=\"1.0\"?>\n" +
           element("QMv3", element("Name", "Plant") + element("ZantContext", "PLANT_CONTEXT") +
                               element("ComponentList", element("ImageSources", source("Gate=7") + source("Yard=3")) +
                                                            element("SGPs", sgp("SgpNorth") + sgp("SgpSouth"))));
}

TEST(ToolSystemList, ListsServersAndSources) {
    qmv3test::TempDir dir;
    const std::string xml = SystemList(), path = dir.file("system.xml");
    qmv3test::WriteFileBytes(path, std::vector<unsigned char>(xml.begin(), xml.end()));
    const struct {
        std::vector<std::string> arguments;
        const char* output;
    } cases[] = {
        {{"servers", path}, "context: PLANT_CONTEXT\nSgpNorth\nSgpSouth\n"},
        {{"sources", path}, "Gate\nYard\n"},
        {{"sources", "--ids", path}, "7\tGate\n3\tYard\n"},
    };
    for (const auto& row : cases) {
        const tooltest::ToolResult result = RunTool(row.arguments, dir);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, row.output);
    }
    for (const char* command : {"servers", "sources"}) {
        const tooltest::ToolResult missing = RunTool({command, dir.file("none.xml")}, dir);
        EXPECT_EQ(missing.status, 1);
        EXPECT_TRUE(Contains(missing.err, std::string("qmv3 ") + command + ": " + dir.file("none.xml") +
                                              ": the system list could not be loaded (code -1)"))
            << missing.err;
    }
}

}  // namespace
