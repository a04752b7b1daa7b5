// The file commands on files the tests make: info and dump output, check on a good and a damaged
// file, convert round trips between every pair of kinds that can hold the data, and bitmap export.
#include <gtest/gtest.h>

#include <cstdio>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

class ToolFiles : public ::testing::Test {
  protected:
    std::string Make(const std::string& name, unsigned count, int bytesPerPixel, uint32_t first = 5) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(tooltest::WriteSequenceFile(path, count, 24, 10, bytesPerPixel, first));
        return path;
    }
    qmv3test::TempDir dir;
};

TEST_F(ToolFiles, InfoDescribesAKnownFile) {
    const std::string path = Make("known.imc2", 3, 2);
    const tooltest::ToolResult result = RunTool({"info", path}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string expected = "file:          " + path +
                                 "\n"
                                 "kind:          IMC2/BKC2, " +
                                 std::to_string(qmv3test::ReadFileBytes(path).size()) +
                                 " bytes\n"
                                 "frames:        3\n"
                                 "geometry:      24 x 10 pixels\n"
                                 "pixel format:  GRAY, 2 bytes per pixel, 12 effective bits\n"
                                 "scale:         0.125 x 0.125 mm per pixel\n"
                                 "camera port:   \"TestCam\" (id 0)\n"
                                 "frame bytes:   1440\n"
                                 "frame numbers: 5 .. 7 (complete sequence)\n"
                                 "time stamps:   2023-07-27 15:04:10.250000 UTC .. 2023-07-27 15:04:12.250000 UTC\n";
    EXPECT_EQ(result.out, expected);
}

TEST_F(ToolFiles, CheckPassesAGoodFileAndRejectsADamagedOne) {
    const std::string good = Make("good.imc2", 2, 1);
    const tooltest::ToolResult pass = RunTool({"check", good}, dir);
    EXPECT_EQ(pass.status, 0) << pass.err;
    EXPECT_EQ(pass.out, good +
                            ": IMC2/BKC2 file\nimage 1 of 2: valid (frame 5)\nimage 2 of 2: valid (frame 6)\n"
                            "2 images: a complete sequence\n");

    std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(good);
    bytes.resize(bytes.size() - 7);
    const std::string damaged = dir.file("damaged.imc2");
    qmv3test::WriteFileBytes(damaged, bytes);
    const tooltest::ToolResult fail = RunTool({"check", damaged}, dir);
    EXPECT_EQ(fail.status, 1);
    EXPECT_TRUE(Contains(fail.out, damaged + ": not recognised: File (" + damaged + ") is either no IMC2")) << fail.out;
    EXPECT_TRUE(Contains(fail.err, "qmv3 check: File \"" + damaged + "\"")) << fail.err;
    EXPECT_TRUE(
        Contains(fail.out, damaged + ": tried IMC2/BKC2, IMC/BKC, IMM and BKG; the closest, IMC2/BKC2, refused: "))
        << fail.out;

    // A cut IMM file: its header still says what it is, and how the size disagrees.
    ASSERT_EQ(RunTool({"convert", good, dir.file("good.imm")}, dir).status, 0);
    bytes = qmv3test::ReadFileBytes(dir.file("good.imm"));
    bytes.resize(300);
    qmv3test::WriteFileBytes(dir.file("cut.imm"), bytes);
    const tooltest::ToolResult cut = RunTool({"check", dir.file("cut.imm")}, dir);
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Contains(cut.out, dir.file("cut.imm") +
                                      ": tried IMC2/BKC2, IMC/BKC, IMM and BKG; the closest, IMM, refused: the header "
                                      "announces 24 x 10 pixels, 8 bits: frames of 256 bytes, but the file's 300 "
                                      "bytes are not a whole number of them\n"))
        << cut.out;
    EXPECT_TRUE(Contains(cut.err, " (file is 300 bytes)\n")) << cut.err;

    // An HDF5 signature without an image stack: the kinds tried include the export kinds.
    qmv3test::WriteFileBytes(dir.file("bad.h5"), {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0});
    const tooltest::ToolResult h5 = RunTool({"check", dir.file("bad.h5")}, dir);
    EXPECT_TRUE(Contains(h5.out, "bad.h5: tried IMC2/BKC2, IMC/BKC, IMM, BKG, TIFF, PNG and HDF5; the closest, HDF5"))
        << h5.out;
}

TEST_F(ToolFiles, ConvertRoundTripsBetweenEveryPairOfKinds) {
    // BKG holds exactly one frame, the others any number; all hold 8- and 16-bit grey.
    const char* const kinds[] = {"imc2", "imm", "imc", "bkc", "bkg"};
    for (int bytesPerPixel : {1, 2}) {
        for (const char* from : kinds) {
            for (const char* to : kinds) {
                if (std::string(from) == to) continue;
                const unsigned frames = (std::string(from) == "bkg" || std::string(to) == "bkg") ? 1 : 3;
                const std::string tag = std::to_string(bytesPerPixel) + "-" + from + "-" + to;
                const std::string original = Make("original-" + tag + ".imc2", frames, bytesPerPixel);
                const std::string source = dir.file("source-" + tag + "." + from);
                const std::string target = dir.file("target-" + tag + "." + to);
                if (std::string(from) != "imc2") {
                    ASSERT_EQ(RunTool({"convert", original, source}, dir).status, 0) << tag;
                }
                const tooltest::ToolResult result =
                    RunTool({"convert", std::string(from) == "imc2" ? original : source, target}, dir);
                ASSERT_EQ(result.status, 0) << tag << ": " << result.err;

                QMBUNCHOFIMAGES expected = tooltest::LoadSequence(original);
                QMBUNCHOFIMAGES actual = tooltest::LoadSequence(target);
                ASSERT_EQ(actual.numFrames, frames) << tag;
                for (unsigned i = 0; i < frames; ++i) {
                    const DIMAGE& a = expected.imageArray[i];
                    const DIMAGE& b = actual.imageArray[i];
                    ASSERT_EQ(b.frameHeader.appendedFrameSize, a.frameHeader.appendedFrameSize) << tag;
                    EXPECT_EQ(0, std::memcmp(a.frameBuffer, b.frameBuffer, a.frameHeader.appendedFrameSize)) << tag;
                    EXPECT_EQ(b.frameHeader.bytesPerPixel, bytesPerPixel) << tag;
                }
                qmFreeBunch(&expected);
                qmFreeBunch(&actual);
            }
        }
    }
}

TEST_F(ToolFiles, ConvertRefusesWhatTheTargetCannotHold) {
    const std::string three = Make("three.imc2", 3, 1);
    const tooltest::ToolResult result = RunTool({"convert", three, dir.file("three.bkg")}, dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "Multiple video images can not be saved as bkg file.")) << result.err;
    EXPECT_FALSE(qmv3test::FileExists(dir.file("three.bkg")));
}

TEST_F(ToolFiles, ConvertWarnsWhatTheTargetLoses) {
    const std::string fromFive = Make("five.imc2", 3, 1, 5);
    const struct {
        std::vector<std::string> arguments;
        std::string warning;  // "" for none
    } cases[] = {
        {{fromFive, dir.file("a.imm")},
         "qmv3 convert: warning: " + dir.file("a.imm") +
             " keeps no frame numbers, time stamps, camera port name or scale: they become 1..3, the conversion "
             "time, the file name and 1 mm per pixel\n"},
        {{"--quiet", fromFive, dir.file("c.imc")}, ""},
        {{dir.file("a.imm"), dir.file("e.imc")}, ""},  // an older source has nothing of its own to lose
    };
    for (const auto& row : cases) {
        std::vector<std::string> arguments = {"convert"};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        const tooltest::ToolResult result = RunTool(arguments, dir);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, row.warning);
    }
}

TEST_F(ToolFiles, DumpPrintsOneHeaderAsTextOrHex) {
    const std::string path = Make("dump.imc2", 3, 1);
    const tooltest::ToolResult text = RunTool({"dump", path, "--frame", "2"}, dir);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Information of qmv3 image header\n================================\n\n", 0), 0u);
    for (const char* line : {"   baseTag='QMV3' (33564d51h)\n", "    =\"TestCam\"\n", "   frameNumber = 6\n",
                             "   sourceFormat = 0\n    (=GRAY)\n",
                             "   imageFlags = 3h\n    (=LITTLE_ENDIAN LOSSLESS XYSTART_ZERO_BASED LOCAL_TIMESTAMP)\n",
                             "   xScale = 0.125000 (millimetre per pixel (mm/px))\n"})
        EXPECT_TRUE(Contains(text.out, line)) << line;
    const std::string last = "   appendedFrameSize = 240 (bytes)\n";
    ASSERT_GT(text.out.size(), last.size());
    EXPECT_EQ(text.out.substr(text.out.size() - last.size()), last);

    const tooltest::ToolResult hex = RunTool({"dump", path, "--hex", "-k", "3"}, dir);
    ASSERT_EQ(hex.status, 0) << hex.err;
    EXPECT_TRUE(Contains(hex.out, "Contents: 188 (bytes)\n\n--\n\n     1:.51.4d.56.33.00.00.00.00.01.00.00.00."))
        << hex.out;
    EXPECT_TRUE(Contains(hex.out, " QMV3........")) << hex.out;
    EXPECT_TRUE(Contains(hex.out, "\n    B0:")) << hex.out;
    EXPECT_EQ(hex.out.substr(hex.out.find("    B0:")).size(), 7u + 12u * 3u + 1u);

    const tooltest::ToolResult beyond = RunTool({"dump", path, "--frame", "4"}, dir);
    EXPECT_EQ(beyond.status, 1);
    EXPECT_TRUE(Contains(beyond.err, "holds 3 images, there is no image 4")) << beyond.err;
}

TEST_F(ToolFiles, ExportBmpWritesOneBitmapPerFrame) {
    const std::string path = Make("export.imc2", 3, 2);
    const tooltest::ToolResult result = RunTool({"export-bmp", path, dir.file("f"), "--digits", "2"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* name : {"f001.bmp", "f002.bmp", "f003.bmp"}) {
        const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(dir.file(name));
        ASSERT_EQ(bytes.size(), 1078u + 24u * 10u) << name;
        EXPECT_EQ(bytes[28], 8);  // bits per pixel
    }
    // 12-bit values are spread over 0..255; the bottom row is stored first.
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(path);
    ASSERT_EQ(images.numFrames, 3u);
    const std::vector<unsigned char> bitmap = qmv3test::ReadFileBytes(dir.file("f002.bmp"));
    const unsigned char* pixels = images.imageArray[1].frameBuffer;
    for (int x = 0; x < 24; ++x) {
        uint16_t value;
        std::memcpy(&value, pixels + 2 * (9 * 24 + x), 2);
        EXPECT_EQ(bitmap[1078 + x], (value * 255 + 2047) / 4095) << x;
    }
    qmFreeBunch(&images);

    const tooltest::ToolResult jet = RunTool({"export-bmp", path, dir.file("j"), "--palette", "jet"}, dir);
    EXPECT_EQ(jet.status, 0) << jet.err;
    EXPECT_TRUE(qmv3test::FileExists(dir.file("j3.bmp")));
}

// A damaged file: check names every bad image, not only the first, and recover saves the others.
TEST_F(ToolFiles, RecoverAndCheckNameEveryBadImage) {
    const std::string path = Make("damaged.imc2", 4, 2, 1);
    std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(path);
    // Flip bytes in the middle of image 2's pixel block, then cut image 4's.
    auto field = [&](size_t at, int size) {
        uint64_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
        return static_cast<size_t>(value);
    };
    const size_t second = 14 + field(8, 4) * 252 + 22 + field(14 + field(8, 4) * 252 + 16, 4) * 252 +
                          field(14 + field(8, 4) * 252 + 8, 8);
    const size_t block = second + 22 + field(second + 16, 4) * 252;
    ASSERT_LT(field(second + 8, 8), field(second, 8)) << "image 2 must be compressed";
    for (size_t i = 0; i < 4; ++i) bytes[block + field(second + 8, 8) / 2 + i] ^= 0x5A;
    bytes.resize(bytes.size() - 3);
    qmv3test::WriteFileBytes(path, bytes);

    const tooltest::ToolResult check = RunTool({"check", path}, dir);
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(Contains(check.out, path + ": image 2: dropped: its compressed pixel block is damaged")) << check.out;
    EXPECT_TRUE(Contains(check.out, path + ": image 4: dropped: the file ends inside its pixel block")) << check.out;
    EXPECT_TRUE(Contains(check.out, path + ": 2 images intact, 2 bad")) << check.out;

    const std::string saved = dir.file("saved.imc2");
    const tooltest::ToolResult recover = RunTool({"recover", path, saved}, dir);
    ASSERT_EQ(recover.status, 0) << recover.err;
    EXPECT_TRUE(Contains(recover.out, "-> " + saved + ": 2 images kept, 2 dropped, the header announces 4"))
        << recover.out;
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(saved);
    ASSERT_EQ(images.numFrames, 2u);
    EXPECT_EQ(images.imageArray[0].frameHeader.frameNumber, 1u);
    EXPECT_EQ(images.imageArray[1].frameHeader.frameNumber, 3u);
    qmFreeBunch(&images);
    EXPECT_EQ(RunTool({"recover", path, saved}, dir).status, 1);  // OUT exists
}

}  // namespace

namespace {

// A camera port name that holds a newline, an escape sequence, markup and a byte of no UTF-8 character
// must not forge lines of the output, reach the terminal or become markup of the report: every command
// shows it escaped (the report also as HTML).
TEST(ToolEscaping, TextsFromAFileCannotForgeLinesOrDriveTheTerminal) {
    qmv3test::TempDir dir;
    const std::string path = dir.file("forged.imc2");
    QMBUNCHOFIMAGES images;
    qmInitializeBunchStructure(&images);
    ASSERT_EQ(QMV3_BUNCH_OK, qmCreateBunchStructure(&images, 1, 24 * 10));
    tooltest::FillImage(images.imageArray[0], 24, 10, 1, 1);
    std::snprintf(images.imageArray[0].sourceHeader.cameraPortName, 64,
                  "cam\nframes:        99\x1b[31m<script>'x\\\xff");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str()));
    qmFreeBunch(&images);
    const std::string escaped = "cam\\nframes:        99\\x1b[31m<script>'x\\\\\\xff";
    const std::string markup = "cam\\nframes:        99\\x1b[31m&lt;script&gt;&#39;x\\\\\\xff";
    struct Case {
        std::vector<std::string> arguments;
        std::string page;  // the report's page, whose text is checked instead of standard output
        std::string shown;
    } cases[] = {
        {{"info", path}, "", escaped},
        {{"dump", path}, "", escaped},
        {{"check", path}, "", ""},  // names no port, but nothing of it may leak
        {{"report", path, "-o", dir.file("forged.html")}, dir.file("forged.html"), markup},
    };
    for (const Case& c : cases) {
        const tooltest::ToolResult result = tooltest::RunTool(c.arguments, dir);
        const std::string text = c.page.empty() ? result.out : qmv3test::ReadFileText(c.page);
        EXPECT_EQ(0, result.status) << c.arguments[0] << ": " << result.err;
        EXPECT_TRUE(tooltest::Contains(text, c.shown)) << c.arguments[0] << ": " << text.substr(0, 2000);
        for (const char* raw : {"\nframes:        99", "\x1b", "\xff", c.page.empty() ? "\x1b" : "<script>"})
            EXPECT_FALSE(tooltest::Contains(text + result.err, raw)) << c.arguments[0] << " shows " << raw;
    }
}

}  // namespace
