// qmv3 stats, qmv3 background and the report's Spot section on files the tests make: a run's own
// frame as background leaves no weight, the convert hint, the refusals of the spot options.
#include <gtest/gtest.h>

#include <sstream>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

class ToolStats : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tooltest::WriteSequenceFile(run, 4, 16, 8, 1, 1)); }
    qmv3test::TempDir dir;
    const std::string run = dir.file("run.imc2");
};

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream stream(line);
    for (std::string cell; std::getline(stream, cell, ',');) cells.push_back(cell);
    return cells;
}

TEST_F(ToolStats, AFrameAsItsOwnBackgroundLeavesNoWeight) {
    const std::string background = dir.file("second.bkg");
    const tooltest::ToolResult made = RunTool({"background", run, background, "--frames", "2:2"}, dir);
    ASSERT_EQ(made.status, 0) << made.err;
    const tooltest::ToolResult stats = RunTool({"stats", run, "--background", background, "--csv"}, dir);
    ASSERT_EQ(stats.status, 0) << stats.err;
    std::stringstream lines(stats.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line,
              "position,frame_number,timestamp,min,max,min_x,min_y,max_x,max_y,mean,sigma,total,net,saturated,"
              "centroid_x,centroid_y,sigma_x,sigma_y,sigma_xy,orientation_deg,eccentricity,centroid_x_mm,"
              "centroid_y_mm,sigma_x_mm,sigma_y_mm");
    std::vector<std::vector<std::string>> rows;
    while (std::getline(lines, line)) rows.push_back(Split(line));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][0], "2");
    EXPECT_EQ(rows[1][2], "2023-07-27T15:04:07.250000Z");
    EXPECT_EQ(rows[1][12], "0");     // net
    EXPECT_EQ(rows[1][14], "nan");   // centroid_x
    EXPECT_NE(rows[0][12], "0");
}

TEST_F(ToolStats, ConvertOfSeveralFramesToBkgNamesTheBackgroundCommand) {
    const tooltest::ToolResult result = RunTool({"convert", run, dir.file("x.bkg")}, dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "Multiple video images can not be saved as bkg file.")) << result.err;
    EXPECT_TRUE(Contains(result.err, "qmv3 background " + run + " " + dir.file("x.bkg"))) << result.err;
}

TEST_F(ToolStats, RefusesBadSpotOptions) {
    const struct {
        std::vector<std::string> options;
        int status;
        const char* message;
    } cases[] = {
        {{"--roi", "1,2,3"}, 2, "--roi needs X,Y,W,H"},
        {{"--roi", "1,2,0,4"}, 2, "--roi needs X,Y,W,H"},
        {{"--border", "3", "--background", run}, 2, "exclude each other"},
        {{"--threshold", "abc"}, 2, "--threshold needs a number"},
        {{"--csv", "--json"}, 2, "exclude each other"},
        {{"--roi", "10,0,7,8"}, 1, "image 1 of 4: the region is empty or reaches outside the frame"},
        {{"--background", run}, 1, "holds 4 frames; a background is one frame"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"stats", run};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const tooltest::ToolResult result = RunTool(arguments, dir);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
    }
}

TEST_F(ToolStats, ReportShowsTheSpotAndCountsImagesFromOne) {
    const tooltest::ToolResult result = RunTool({"report", run, "--roi", "2,1,12,6", "--threshold", "3"}, dir);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string page = qmv3test::ReadFileText(run + ".html");
    for (const char* part : {"<h2>Spot</h2>", "region 2,1 12 x 6, background the median of the outer ring 8",
                             "Centroid mean (", " mm", "image position (1 = first image of the file)",
                             "aria-label=\"Mean value\"", "aria-label=\"Centroid scatter"})
        EXPECT_TRUE(Contains(page, part)) << part;
    EXPECT_FALSE(Contains(page, "frame index"));
}

}  // namespace
