// The log writer: line stamp and cut, destinations, initialisation rules, the path bound, and file
// rotation with its size checks.
#include "platform/logging.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <string>

#include "common/temp_dir.h"

namespace {

using qmv3test::FileExists;
using qmv3test::ReadFileText;
using qmv3test::StreamCapture;
using qmv3test::TempDir;

const std::regex kStampedLine(R"(\[\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d:\d\d\d LTM\] (.*)\n)");

TEST(LoggingSimpleLog, StampsTheLineWithAColonBeforeMilliseconds) {
    TempDir dir;
    const std::string path = dir.file("simple.log");
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file);
    int printed = CLogging::SimpleLog(file, "value %d of %s", 7, "seven");
    fclose(file);
    const std::string text = ReadFileText(path);
    EXPECT_EQ(static_cast<int>(text.size()), printed);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, kStampedLine)) << text;
    EXPECT_EQ("value 7 of seven", match[1].str());
}

TEST(LoggingSimpleLog, CutsLongMessagesTo509Characters) {
    TempDir dir;
    const std::string path = dir.file("long.log");
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file);
    const std::string message(600, 'm');
    CLogging::SimpleLog(file, "%s", message.c_str());
    fclose(file);
    const std::string text = ReadFileText(path);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, kStampedLine));
    EXPECT_EQ(std::string(509, 'm'), match[1].str());
    EXPECT_EQ(537u + 1u, text.size());
}

TEST(LoggingSimpleLog, NullStreamFallsBackToStandardErrorWithWarnings) {
    StreamCapture capture(2);
    CLogging::SimpleLog(nullptr, "fallback %s", "line");
    const std::string text = capture.End();
    const std::string warnings =
        "WW: CLogging::SimpleLog() called with aOutFile NULL!\n"
        "WW: CLogging::SimpleLog() will be printed to stderr instead!\n";
    ASSERT_EQ(0u, text.find(warnings)) << text;
    std::smatch match;
    const std::string rest = text.substr(warnings.size());
    ASSERT_TRUE(std::regex_match(rest, match, kStampedLine)) << rest;
    EXPECT_EQ("fallback line", match[1].str());
}

}  // namespace
