// qmv3 report and qmv3 contact-sheet on files the tests make: every section with the figures info
// gives, gaps and saturation shown, nothing written for a bad file, the sheet's layout and labels.
#include <gtest/gtest.h>

#include <cstring>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

class ToolReport : public ::testing::Test {
  protected:
    qmv3test::TempDir dir;
};

TEST_F(ToolReport, ShowsEverySectionWithTheFiguresOfInfo) {
    const std::string path = dir.file("known.imc2");
    ASSERT_TRUE(tooltest::WriteSequenceFile(path, 3, 24, 10, 2, 5));
    const tooltest::ToolResult result = RunTool({"report", path}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, path + ".html\n");
    const std::string page = qmv3test::ReadFileText(path + ".html");
    const std::string size = std::to_string(qmv3test::ReadFileBytes(path).size()) + " bytes";
    for (const std::string& part :
         {std::string("<h2>Summary"), std::string("<h2>Contact sheet"), std::string("<h2>Values per frame"),
          std::string("<h2>Histogram"), std::string("<h2>Frame timing"), std::string("IMC2/BKC2"), size,
          std::string("24 &times; 10 pixels"), std::string("GRAY, 2 bytes per pixel, 12 effective bits"),
          std::string("0.125 &times; 0.125 mm per pixel"), std::string("&quot;TestCam&quot; (id 0)"),
          std::string("5 .. 7"),
          std::string("2023-07-27 15:04:10.250000 UTC .. 2023-07-27 15:04:12.250000 UTC (2.000000 s, mean rate "
                      "1.000 frames per second)"),
          std::string("complete sequence"), std::string("No gaps in the frame numbers"),
          std::string("No saturated pixels"), std::string("4095"), std::string("0.5th percentile")})
        EXPECT_TRUE(Contains(page, part)) << part;
    size_t thumbnails = 0;
    for (size_t at = page.find("data:image/png;base64,"); at != std::string::npos;
         at = page.find("data:image/png;base64,", at + 1))
        ++thumbnails;
    EXPECT_EQ(thumbnails, 3u);

    const tooltest::ToolResult again = RunTool({"report", path}, dir);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Contains(again.err, path + ".html")) << again.err;
}

TEST_F(ToolReport, ShowsAGapAndASaturatedFrame) {
    QMBUNCHOFIMAGES images;
    qmInitializeBunchStructure(&images);
    ASSERT_EQ(qmCreateBunchStructure(&images, 3, 24 * 10 * 2), QMV3_BUNCH_OK);
    const uint32_t numbers[] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) tooltest::FillImage(images.imageArray[i], 24, 10, 2, numbers[i]);
    const uint16_t top = 4095;
    for (int pixel = 0; pixel < 6; ++pixel) std::memcpy(images.imageArray[1].frameBuffer + 2 * pixel * 7, &top, 2);
    const std::string path = dir.file("gap.imc2");
    ASSERT_EQ(qmSaveImagesToFile(&images, path.c_str()), QMV3_SAVE_OK);
    qmFreeBunch(&images);

    const std::string out = dir.file("gap-report.html");
    const tooltest::ToolResult result = RunTool({"report", path, "-o", out, "--palette", "false"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string page = qmv3test::ReadFileText(out);
    EXPECT_TRUE(Contains(page, "sequence with gaps or repeats"));
    EXPECT_TRUE(Contains(page, "1 place where the frame numbers do not step by one"));
    EXPECT_TRUE(Contains(page, ">1 missing<"));
    EXPECT_TRUE(Contains(page, "Frames with saturated pixels: 1 of 3; the most in frame #2 (6 pixels)"));
}

TEST_F(ToolReport, BadFileGetsAMessageAndNoOutput) {
    const std::string path = dir.file("bad.imc2");
    qmv3test::WriteFileBytes(path, std::vector<unsigned char>(300, 0x5a));
    struct Case {
        std::vector<std::string> arguments;
        std::string output;
    };
    for (const Case& c : {Case{{"report", path}, path + ".html"},
                          Case{{"contact-sheet", path, dir.file("bad.png")}, dir.file("bad.png")}}) {
        const tooltest::ToolResult result = RunTool(c.arguments, dir);
        EXPECT_EQ(result.status, 1) << c.arguments[0];
        EXPECT_TRUE(Contains(result.err, "qmv3 " + c.arguments[0] + ": " + path + ": ")) << result.err;
        EXPECT_FALSE(qmv3test::FileExists(c.output)) << c.output;
    }
}

TEST_F(ToolReport, ContactSheetIsAGridOfLabelledThumbnails) {
    const std::string path = dir.file("sheet.imc2"), sheet = dir.file("sheet.png");
    ASSERT_TRUE(tooltest::WriteSequenceFile(path, 3, 24, 10, 1, 5));
    const tooltest::ToolResult result = RunTool({"contact-sheet", path, sheet, "--columns", "2"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    // Cells are as wide as the label "#5 15:04:10.250" (15 characters of 6 pixels, less the last
    // gap), thumbnails 24 x 10 with the label's 11 pixels below, 6 pixels between and around.
    const std::vector<unsigned char> png = qmv3test::ReadFileBytes(sheet);
    ASSERT_GT(png.size(), 24u);
    const auto be32 = [&](size_t at) {
        return uint32_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    };
    const uint32_t width = be32(16), height = be32(20);
    EXPECT_EQ(width, 6u + 2u * (89u + 6u));
    EXPECT_EQ(height, 6u + 2u * (10u + 11u + 6u));

    const std::string imported = dir.file("sheet-back.imc2");
    ASSERT_EQ(RunTool({"convert", sheet, imported}, dir).status, 0);
    QMBUNCHOFIMAGES images = tooltest::LoadSequence(imported);
    ASSERT_EQ(images.numFrames, 1u);
    const unsigned char* pixels = images.imageArray[0].frameBuffer;
    // The first label's ink spans exactly its width, starting at the cell's left edge.
    int first = -1, last = -1;
    for (uint32_t y = 6 + 10 + 2; y < 6 + 10 + 2 + 7; ++y)
        for (uint32_t x = 0; x < 6 + 89 + 3; ++x)
            if (pixels[y * width + x] == 230) {
                if (first < 0 || int(x) < first) first = int(x);
                if (int(x) > last) last = int(x);
            }
    EXPECT_EQ(first, 6);
    EXPECT_EQ(last, 6 + 88);
    qmFreeBunch(&images);
}

}  // namespace
