// TIFF, PNG and HDF5 through the tool: round trips export -> import for 8-bit, 16-bit and RGB frames,
// files written by other programs (tifffile, Pillow) read in, the exported files read by them and h5py,
// the one front door of convert and grab, and a table of bad inputs.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

// The helper script beside this test, run by the system's Python with Debian's packages.
int RunPython(const std::string& mode, const qmv3test::TempDir& dir, std::string& output) {
    const std::string log = dir.file(".python-log");
    const std::string command = std::string("/usr/bin/python3 " QMV3_TOOL_TEST_DIR "/interchange_files.py ") + mode +
                                " " + dir.file("") + " >" + log + " 2>&1";
    const int status = std::system(command.c_str());
    output = qmv3test::ReadFileText(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The names in a folder but the runners' own output files, sorted.
std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dir != nullptr) {
        const struct dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        if (entry->d_name[0] != '.' || std::strstr(entry->d_name, ".partial") != nullptr)
            names.push_back(entry->d_name);
    }
    if (dir != nullptr) closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The frames' bytes back to back.
std::vector<unsigned char> FrameBytes(const QMBUNCHOFIMAGES& images) {
    std::vector<unsigned char> bytes;
    for (uint32_t i = 0; i < images.numFrames; ++i) {
        const DIMAGE& image = images.imageArray[i];
        bytes.insert(bytes.end(), image.frameBuffer, image.frameBuffer + image.frameHeader.appendedFrameSize);
    }
    return bytes;
}

class ToolInterchange : public ::testing::Test {
  protected:
    // Three frames numbered 5..7 of 24 x 10 pixels: 8-bit or 16-bit grey, or (bytes 3) RGB; frame bytes
    // are also written to NAME.raw for the Python side.
    std::string MakeSource(const std::string& name, int bytes) {
        const std::string path = dir.file(name + ".imc2");
        if (bytes != 3) {
            EXPECT_TRUE(tooltest::WriteSequenceFile(path, 3, 24, 10, bytes, 5));
        } else {
            QMBUNCHOFIMAGES images;
            qmInitializeBunchStructure(&images);
            EXPECT_EQ(qmCreateBunchStructure(&images, 3, 24 * 10 * 3), QMV3_BUNCH_OK);
            for (uint32_t i = 0; i < 3; ++i) {
                DIMAGE& image = images.imageArray[i];
                tooltest::FillImage(image, 72, 10, 1, 5 + i);  // the bytes of 24 x 10 RGB pixels
                image.frameHeader.sourceWidth = 24;
                image.frameHeader.bytesPerPixel = 3;
                image.frameHeader.effectiveBitsPerPixel = 24;
                image.frameHeader.sourceFormat = image.frameHeader.imageFormat = QMV3_FORMAT_RGB;
            }
            EXPECT_EQ(qmSaveImagesToFile(&images, path.c_str()), QMV3_SAVE_OK);
            qmFreeBunch(&images);
        }
        QMBUNCHOFIMAGES loaded = tooltest::LoadSequence(path);
        qmv3test::WriteFileBytes(dir.file(name + ".raw"), FrameBytes(loaded));
        qmFreeBunch(&loaded);
        return path;
    }
    qmv3test::TempDir dir;
};

TEST_F(ToolInterchange, ExportThenImportKeepsFramesAndFacts) {
    for (const auto& source : {std::make_pair("x8", 1), std::make_pair("x16", 2), std::make_pair("xrgb", 3)}) {
        const std::string original = MakeSource(source.first, source.second);
        QMBUNCHOFIMAGES want = tooltest::LoadSequence(original);
        ASSERT_EQ(want.numFrames, 3u);
        for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--compress"}}) {
            const std::string tag = std::string(source.first) + (options.empty() ? "" : "-z");
            for (const char* extension : {".tif", ".png", ".h5"}) {
                std::vector<std::string> arguments = {"export", original, dir.file(tag + extension)};
                arguments.insert(arguments.end(), options.begin(), options.end());
                const tooltest::ToolResult exported = RunTool(arguments, dir);
                ASSERT_EQ(exported.status, 0) << tag << extension << ": " << exported.err;
            }
            // TIFF back as a whole; the PNGs one frame each.
            std::vector<std::string> imports = {tag + ".tif"};
            for (int i = 1; i <= 3; ++i) imports.push_back(tag + "-" + std::to_string(i) + ".png");
            std::vector<DIMAGE> got;
            std::vector<QMBUNCHOFIMAGES> loaded;
            for (const std::string& name : imports) {
                const tooltest::ToolResult back = RunTool({"convert", dir.file(name), dir.file(name + ".imc2")}, dir);
                ASSERT_EQ(back.status, 0) << name << ": " << back.err;
                loaded.push_back(tooltest::LoadSequence(dir.file(name + ".imc2")));
            }
            ASSERT_EQ(loaded[0].numFrames, 3u) << tag;
            for (uint32_t i = 0; i < 3; ++i) {
                const DIMAGE& w = want.imageArray[i];
                for (const DIMAGE* g : {&loaded[0].imageArray[i], &loaded[i + 1].imageArray[0]}) {
                    EXPECT_EQ(std::memcmp(&g->sourceHeader, &w.sourceHeader, sizeof w.sourceHeader), 0) << tag;
                    EXPECT_EQ(g->frameHeader.frameNumber, w.frameHeader.frameNumber) << tag;
                    EXPECT_EQ(g->frameHeader.effectiveBitsPerPixel, w.frameHeader.effectiveBitsPerPixel) << tag;
                    EXPECT_EQ(g->frameHeader.xScale, w.frameHeader.xScale) << tag;
                    EXPECT_EQ(g->frameHeader.imageFormat, w.frameHeader.imageFormat) << tag;
                    ASSERT_EQ(g->frameHeader.appendedFrameSize, w.frameHeader.appendedFrameSize) << tag;
                    EXPECT_EQ(std::memcmp(g->frameBuffer, w.frameBuffer, w.frameHeader.appendedFrameSize), 0) << tag;
                }
            }
            for (QMBUNCHOFIMAGES& images : loaded) qmFreeBunch(&images);
        }
        qmFreeBunch(&want);
    }
    // The uncompressed exports, read by tifffile, h5py and Pillow.
    std::string output;
    EXPECT_EQ(RunPython("check", dir, output), 0) << output;
}

// PNG holds a resolution as whole pixels per metre below 2^31: a TIFF's resolution beyond that (268 435 457
// pixels per centimetre) is left out of the PNG, not wrapped (the sanitizer build catches a wrapping cast).
TEST_F(ToolInterchange, PngExportLeavesOutAResolutionItCannotHold) {
    const struct {
        float millimetresPerPixel;
        bool kept;
    } cases[] = {{0.125f, true}, {10.0f / 268435457.0f, false}, {1e-30f, false}};
    for (const auto& c : cases) {
        QMBUNCHOFIMAGES images;
        qmInitializeBunchStructure(&images);
        ASSERT_EQ(qmCreateBunchStructure(&images, 1, 24 * 10), QMV3_BUNCH_OK);
        tooltest::FillImage(images.imageArray[0], 24, 10, 1, 1);
        images.imageArray[0].frameHeader.xScale = images.imageArray[0].frameHeader.yScale = c.millimetresPerPixel;
        const std::string tiff = dir.file("resolution.tif"), png = dir.file("resolution.png");
        std::remove(tiff.c_str());
        const int saved = qmSaveImagesToFile(&images, tiff.c_str());
        qmFreeBunch(&images);
        ASSERT_EQ(saved, QMV3_SAVE_OK);
        const tooltest::ToolResult result = RunTool({"export", tiff, png, "--force"}, dir);
        ASSERT_EQ(result.status, 0) << c.millimetresPerPixel << ": " << result.err;
        const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(png);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(c.kept, Contains(text, "pHYs")) << c.millimetresPerPixel;
    }
}

TEST_F(ToolInterchange, FilesOfOtherProgramsAreReadIn) {
    std::string output;
    ASSERT_EQ(RunPython("make", dir, output), 0) << output;
    const struct {
        const char* name;
        uint32_t frames;
        int format;
        int bytesPerPixel;
    } cases[] = {
        {"grey16.tif", 3, QMV3_FORMAT_GRAY, 2}, {"planar.tif", 2, QMV3_FORMAT_RGB, 3},
        {"tiled.tif", 1, QMV3_FORMAT_GRAY, 1},  {"grey8.png", 1, QMV3_FORMAT_GRAY, 1},
        {"grey16.png", 1, QMV3_FORMAT_GRAY, 2}, {"rgb.png", 1, QMV3_FORMAT_RGB, 3},
        {"palette.png", 1, QMV3_FORMAT_RGB, 3}, {"alpha.png", 1, QMV3_FORMAT_GRAY, 1},
    };
    for (const auto& c : cases) {
        const std::string target = dir.file(std::string(c.name) + ".imc2");
        const tooltest::ToolResult result = RunTool({"convert", dir.file(c.name), target}, dir);
        ASSERT_EQ(result.status, 0) << c.name << ": " << result.err;
        QMBUNCHOFIMAGES images = tooltest::LoadSequence(target);
        ASSERT_EQ(images.numFrames, c.frames) << c.name;
        for (uint32_t i = 0; i < images.numFrames; ++i) {
            const DIMAGE& image = images.imageArray[i];
            EXPECT_EQ(qmCheckImageValidity(&image, nullptr, 0), QMV3_IMAGE_VALID) << c.name;
            EXPECT_EQ(image.frameHeader.imageFormat, c.format) << c.name;
            EXPECT_EQ(image.frameHeader.bytesPerPixel, c.bytesPerPixel) << c.name;
            EXPECT_EQ(image.frameHeader.frameNumber, i + 1) << c.name;
        }
        EXPECT_EQ(FrameBytes(images), qmv3test::ReadFileBytes(dir.file(std::string(c.name) + ".raw"))) << c.name;
        qmFreeBunch(&images);
    }
}

TEST_F(ToolInterchange, ConvertAndGrabWriteTheFormatTheirExtensionNames) {
    const std::string source = MakeSource("run", 1);
    const struct {
        std::vector<std::string> arguments;
        const char* written;
        const char* head;
    } cases[] = {
        {{"convert", source, dir.file("run.png")}, "run-1.png", "\x89PNG"},
        {{"convert", source, dir.file("run.TIFF")}, "run.TIFF", "II*"},
        {{"convert", source, dir.file("run.hdf5")}, "run.hdf5", "\x89HDF"},
        {{"grab", "-n", "2", dir.file("grabbed.tif")}, "grabbed.tif", "II*"},
        {{"grab", "--single", dir.file("one.png")}, "one.png", "\x89PNG"},
    };
    for (const auto& c : cases) {
        const tooltest::ToolResult result = RunTool(c.arguments, dir);
        ASSERT_EQ(result.status, 0) << c.written << ": " << result.err;
        const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(dir.file(c.written));
        ASSERT_GE(bytes.size(), std::strlen(c.head)) << c.written;
        EXPECT_EQ(std::memcmp(bytes.data(), c.head, std::strlen(c.head)), 0) << c.written;
    }
    for (const char* command : {"convert", "grab"}) {
        std::vector<std::string> arguments = {command};
        if (std::string(command) == "convert") arguments.push_back(source);
        arguments.push_back(dir.file("run.jpg"));
        const tooltest::ToolResult refused = RunTool(arguments, dir);
        EXPECT_EQ(refused.status, 2) << command;
        EXPECT_TRUE(Contains(refused.err,
                             "must end in one of .imc2, .bkc2, .imm, .imc, .bkc, .bkg, .tif, .tiff, "
                             ".png, .h5, .hdf5"))
            << refused.err;
        EXPECT_FALSE(qmv3test::FileExists(dir.file("run.jpg")));
    }
}

TEST_F(ToolInterchange, BadInputEndsWithOneLineAndLeavesNothing) {
    std::string output;
    ASSERT_EQ(RunPython("make", dir, output), 0) << output;
    const std::string source = MakeSource("good", 2);
    ASSERT_EQ(RunTool({"export", source, dir.file("taken.tif")}, dir).status, 0);
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* reason;
    } cases[] = {
        {{"convert", "float.tif", "out.imc2"}, 1, "float.tif: page 1 has floating-point samples"},
        {{"convert", "wide32.tif", "out.tif"}, 1, "wide32.tif: page 1 has 32-bit samples"},
        {{"convert", "cmyk.tif", "out.imc2"}, 1, "cmyk.tif: page 1 is CMYK"},
        {{"export", "rgba.tif", "out.h5"}, 1, "rgba.tif: page 1 has 4 channels (at most 3)"},
        {{"convert", "rgba.png", "out.png"}, 1, "rgba.png: RGB with alpha has 4 channels"},
        {{"convert", "huge.png", "out.imc2"}, 1, "huge.png: the image of 6000 x 5000 pixels needs 30000000 bytes"},
        {{"convert", "cut-grey16.tif", "out.imc2"}, 1, "cut-grey16.tif: page 2 is truncated or corrupt"},
        {{"export", "cut-grey8.png", "out.tif"}, 1, "cut-grey8.png: the image is truncated or corrupt"},
        {{"export", "good.imc2", "taken.tif"}, 1, "taken.tif exists already"},
        {{"export", "good.imc2", "missing/out.h5"}, 1, "missing/out.h5: folder"},
        {{"export", "good.imc2", "out.imm"}, 2, "export writes .tif, .tiff, .png, .h5 and .hdf5 files"},
        {{"export", "good.imc2", "out.tif", "--frames", "2:9"}, 2, "--frames 2:9 goes beyond the 3 frames"},
    };
    const std::vector<std::string> before = ListFiles(dir.file(""));
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {c.arguments[0]};
        for (size_t i = 1; i < c.arguments.size(); ++i)
            arguments.push_back(c.arguments[i].find('.') == std::string::npos ? c.arguments[i]
                                                                              : dir.file(c.arguments[i]));
        const tooltest::ToolResult result = RunTool(arguments, dir);
        EXPECT_EQ(result.status, c.status) << c.reason;
        EXPECT_TRUE(Contains(result.err, c.reason)) << result.err;
        if (c.status == 1) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
        EXPECT_EQ(ListFiles(dir.file("")), before) << c.reason;
    }
    const tooltest::ToolResult forced = RunTool({"export", source, dir.file("taken.tif"), "--force"}, dir);
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(ListFiles(dir.file("")), before);
}

}  // namespace
