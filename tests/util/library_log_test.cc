// The library's log: automatic file name, start lines, level, verbosity routing and its messages.
#include "util/library_log.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::ReadFileText;
using qmv3test::StreamCapture;
using qmv3test::TempDir;

std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Strips the "[dd.mm.yy hh:mm:ss:mmm LTM] " stamp, failing the test when it is malformed.
std::string Unstamped(const std::string& line) {
    static const std::regex stamp(R"(^\[\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d:\d\d\d LTM\] )");
    std::smatch match;
    EXPECT_TRUE(std::regex_search(line, match, stamp)) << line;
    return match.empty() ? line : line.substr(match.length(0));
}

class LogFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("ORSEL_CLIENTLIB_LOGGING_PATH", dir_.path().c_str(), 1);
        unsetenv("ORSEL_CLIENTLIB_LOGLEVEL");
    }
    // The one log file the library created in the folder.
    std::string LogFile() {
        std::vector<std::string> files = FilesIn(dir_.path());
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : dir_.file(files[0]);
    }
    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        for (const std::string& line : Lines(ReadFileText(LogFile()))) lines.push_back(Unstamped(line));
        return lines;
    }
    TempDir dir_;
};

TEST_F(LogFileTest, FirstLineComposesTheFileNameAndWritesTheStartLines) {
    _internal_LOG("first %d", 1);

    char host[256] = {0};
    gethostname(host, sizeof host - 1);
    const std::string name = LogFile().substr(dir_.path().size() + 1);
    const std::regex expected("orsel-sharedlib--\\d{4}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\\d\\d--p-" +
                              std::to_string(getpid()) + "--u-[^-]+--h-" + std::string(host) + "\\.log");
    EXPECT_TRUE(std::regex_match(name, expected)) << name;

    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    char executable[1024] = {0};
    ASSERT_GT(readlink("/proc/self/exe", executable, sizeof executable - 1), 0);
    EXPECT_EQ(lines[0], "Logfile started. pid(" + std::to_string(getpid()) + ")->pname(\"" + executable + "\")");
    EXPECT_EQ(lines[1].rfind(" Library info: qmLibraryInfoEx() returned \"**** QMv3 shared client library", 0), 0u)
        << lines[1];
    EXPECT_NE(lines[1].find(" Zant # "), std::string::npos);
    EXPECT_NE(lines[1].find("(vX.Y=1.0.0)"), std::string::npos);
    EXPECT_EQ(lines[2], "first 1");
}

TEST_F(LogFileTest, LongMessagesAreCutTo508Characters) {
    const std::string longText(700, 'x');
    _internal_LOG("%s", longText.c_str());
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], std::string(508, 'x'));
}

TEST_F(LogFileTest, SilencingAsTheFirstCallStillStartsTheLog) {
    ASSERT_EQ(qmSetVerbose(0), QMV3_VERBOSE_OK);
    _internal_LOG("never written");
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].rfind("qmSetVerboseEx: verbosity setting about to be changed from 3 (old file=\"", 0), 0u);
    EXPECT_NE(lines[2].find("\") to 0"), std::string::npos) << lines[2];
    EXPECT_EQ(qmGetVerbose(), 0);
}

TEST_F(LogFileTest, NamedFileReceivesTheStartLinesAndTheChangeMessage) {
    const std::string named = dir_.file("my.log");
    _internal_LOG("into the automatic file");
    const std::string automatic = LogFile();
    ASSERT_EQ(qmSetVerboseEx(3, named.c_str()), QMV3_VERBOSE_OK);
    _internal_LOG("into my.log");

    std::vector<std::string> lines;
    for (const std::string& line : Lines(ReadFileText(named))) lines.push_back(Unstamped(line));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("Logfile started. pid(", 0), 0u);
    EXPECT_EQ(lines[2], "qmSetVerboseEx: verbosity setting changed from 3 (old file=\"" + automatic +
                            "\") to 3 (new file=\"" + named + "\")");
    EXPECT_EQ(lines[3], "into my.log");
    // The old file got the announcement before the switch.
    EXPECT_NE(ReadFileText(automatic).find("about to be changed from 3 (old file=\"" + automatic +
                                           "\") to 3 (new file=\"" + named + "\")"),
              std::string::npos);
}

TEST_F(LogFileTest, EmptyNameAtLevelThreeComposesTheAutomaticNameAgain) {
    _internal_LOG("start");
    const std::string automatic = LogFile();
    TempDir other;
    const std::string named = other.file("other.log");
    ASSERT_EQ(qmSetVerboseEx(3, named.c_str()), QMV3_VERBOSE_OK);
    ASSERT_EQ(qmSetVerboseEx(3, ""), QMV3_VERBOSE_OK);
    _internal_LOG("back again");

    EXPECT_EQ(LogFile(), automatic);
    int level = 0;
    char path[1024];
    int size = sizeof path;
    ASSERT_EQ(qmGetVerboseEx(&level, path, &size), QMV3_VERBOSE_OK);
    EXPECT_EQ(std::string(path), automatic);
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4].rfind("Logfile started. pid(", 0), 0u);
    EXPECT_EQ(lines[6], "qmSetVerboseEx: verbosity setting changed from 3 (old file=\"" + named +
                            "\") to 3 (new file=\"" + automatic + "\")");
    EXPECT_EQ(lines[7], "back again");
}

TEST_F(LogFileTest, UnwritableLogFileFallsBackToStandardError) {
    setenv("ORSEL_CLIENTLIB_LOGGING_PATH", dir_.file("missing/folder").c_str(), 1);
    StreamCapture capture(2);
    _internal_LOG("still visible");
    std::vector<std::string> lines = Lines(capture.End());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Unstamped(lines[0]).rfind("[qmv3 shared lib] Logfile (\"" + dir_.path() + "/missing/folder/", 0), 0u);
    EXPECT_NE(lines[0].find("\") could not be opened for writing! stderr will be used instead."), std::string::npos);
    EXPECT_EQ(Unstamped(lines[1]).rfind("[qmv3 shared lib] pid(", 0), 0u);
    EXPECT_EQ(Unstamped(lines[2]).rfind("[qmv3 shared lib] Library info: ", 0), 0u);
    EXPECT_EQ(Unstamped(lines[3]), "[qmv3 shared lib] still visible");
}

TEST(LogFileLocation, EmptyPathMeansTheCurrentFolder) {
    TempDir dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    setenv("ORSEL_CLIENTLIB_LOGGING_PATH", "", 1);
    _internal_LOG("here");
    std::vector<std::string> files = FilesIn(dir.path());
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("orsel-sharedlib--", 0), 0u);
    int level = 0;
    char path[1024];
    int size = sizeof path;
    ASSERT_EQ(qmGetVerboseEx(&level, path, &size), QMV3_VERBOSE_OK);
    EXPECT_EQ(std::string(path), files[0]);
}

struct LogLevelCase {
    const char* value;
    int level;
    const char* message;
};

class LogLevelTest : public LogFileTest, public ::testing::WithParamInterface<LogLevelCase> {};

TEST_P(LogLevelTest, EnvironmentIsReadOnceAndReported) {
    setenv("ORSEL_CLIENTLIB_LOGLEVEL", GetParam().value, 1);
    EXPECT_EQ(_internal_getLogLevel(), GetParam().level);
    setenv("ORSEL_CLIENTLIB_LOGLEVEL", "2", 1);
    EXPECT_EQ(_internal_getLogLevel(), GetParam().level);
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LogLevelTest,
    ::testing::Values(
        LogLevelCase{"1", 1, "Log-Level has been set to 1 (via environment variable ORSEL_CLIENTLIB_LOGLEVEL)."},
        LogLevelCase{"2", 2, "Log-Level has been set to 2 (via environment variable ORSEL_CLIENTLIB_LOGLEVEL)."},
        LogLevelCase{"3", 1,
                     "_internal_getLogLevel(): environment variable \"ORSEL_CLIENTLIB_LOGLEVEL=3\" parse error."},
        LogLevelCase{"0", 1,
                     "_internal_getLogLevel(): environment variable \"ORSEL_CLIENTLIB_LOGLEVEL=0\" parse error."},
        LogLevelCase{"two", 1,
                     "_internal_getLogLevel(): environment variable \"ORSEL_CLIENTLIB_LOGLEVEL=two\" parse error."},
        LogLevelCase{"2x", 1,
                     "_internal_getLogLevel(): environment variable \"ORSEL_CLIENTLIB_LOGLEVEL=2x\" parse error."}));

TEST(LogLevel, UnsetMeansOneWithoutAMessage) {
    TempDir dir;
    setenv("ORSEL_CLIENTLIB_LOGGING_PATH", dir.path().c_str(), 1);
    unsetenv("ORSEL_CLIENTLIB_LOGLEVEL");
    EXPECT_EQ(_internal_getLogLevel(), 1);
    EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST_F(LogFileTest, StandardOutputLinesCarryThePrefix) {
    ASSERT_EQ(qmSetVerbose(1), QMV3_VERBOSE_OK);
    ASSERT_EQ(qmSetVerbose(1), QMV3_VERBOSE_OK);  // unchanged: no further message
    StreamCapture capture(1);
    ASSERT_EQ(qmSetVerbose(2), QMV3_VERBOSE_OK);
    _internal_LOG("to stdout");
    std::vector<std::string> lines = Lines(capture.End());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Unstamped(lines[0]), "[qmv3 shared lib] qmSetVerboseEx: verbosity setting changed from 1 to 2");
    EXPECT_EQ(Unstamped(lines[1]), "[qmv3 shared lib] to stdout");

    std::vector<std::string> fileLines = LogLines();
    ASSERT_EQ(fileLines.size(), 3u);  // only the announcement of the first change went into the file
    EXPECT_NE(fileLines[2].find("about to be changed from 3 (old file="), std::string::npos);
}

TEST_F(LogFileTest, ChangeMessagesBetweenStreamLevels) {
    _internal_LOG("start");
    const std::string automatic = LogFile();
    StreamCapture capture(2);
    ASSERT_EQ(qmSetVerbose(1), QMV3_VERBOSE_OK);
    ASSERT_EQ(qmSetVerboseEx(3, dir_.file("next.log").c_str()), QMV3_VERBOSE_OK);
    std::vector<std::string> lines = Lines(capture.End());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Unstamped(lines[0]), "[qmv3 shared lib] qmSetVerboseEx: verbosity setting changed from 3 (old file=\"" +
                                       automatic + "\") to 1");
    EXPECT_EQ(Unstamped(lines[1]),
              "[qmv3 shared lib] qmSetVerboseEx: verbosity setting about to be changed from 1 "
              "to 3 (new file=\"" +
                  dir_.file("next.log") + "\")");
}

TEST(Verbosity, RejectedSettingsChangeNothing) {
    EXPECT_EQ(qmSetVerboseEx(3, nullptr), QMV3_VERBOSE_REFUSED);
    EXPECT_EQ(qmSetVerboseEx(4, "x.log"), QMV3_VERBOSE_REFUSED);
    EXPECT_EQ(qmSetVerboseEx(-1, "x.log"), QMV3_VERBOSE_REFUSED);
    EXPECT_EQ(qmSetVerbose(3), QMV3_VERBOSE_REFUSED);
    EXPECT_EQ(qmGetVerbose(), 3);
}

TEST(Verbosity, GetVerboseExSizeProtocol) {
    int level = -5;
    char path[8];
    int size = 0;
    EXPECT_EQ(qmGetVerboseEx(nullptr, path, &size), QMV3_VERBOSE_NULL_ARGUMENT);
    EXPECT_EQ(qmGetVerboseEx(&level, nullptr, &size), QMV3_VERBOSE_NULL_ARGUMENT);
    EXPECT_EQ(qmGetVerboseEx(&level, path, nullptr), QMV3_VERBOSE_NULL_ARGUMENT);

    ASSERT_EQ(qmSetVerbose(0), QMV3_VERBOSE_OK);
    EXPECT_EQ(qmGetVerboseEx(&level, path, &size), QMV3_VERBOSE_REFUSED);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(level, -5);
    size = sizeof path;
    path[0] = 'x';
    EXPECT_EQ(qmGetVerboseEx(&level, path, &size), QMV3_VERBOSE_OK);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(path[0], '\0');
    EXPECT_EQ(level, 0);

    TempDir dir;
    const std::string named = dir.file("abcdefghij.log");
    ASSERT_EQ(qmSetVerboseEx(3, named.c_str()), QMV3_VERBOSE_OK);
    size = sizeof path;
    EXPECT_EQ(qmGetVerboseEx(&level, path, &size), QMV3_VERBOSE_REFUSED);
    EXPECT_EQ(size, static_cast<int>(named.size()) + 1);
    std::vector<char> room(named.size() + 1);
    size = static_cast<int>(room.size());
    EXPECT_EQ(qmGetVerboseEx(&level, room.data(), &size), QMV3_VERBOSE_OK);
    EXPECT_EQ(std::string(room.data()), named);
    EXPECT_EQ(level, 3);
}

TEST(LibraryInfo, SizesAndText) {
    unsigned major = 9, minor = 9, third = 9;
    unsigned size = 0;
    EXPECT_EQ(qmLibraryInfoEx(&major, &minor, &third, nullptr, nullptr), nullptr);
    EXPECT_EQ(major, 1u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(third, 0u);
    EXPECT_EQ(qmLibraryInfoEx(nullptr, nullptr, nullptr, nullptr, &size), nullptr);
    EXPECT_EQ(size, 107u);

    char text[200];
    size = sizeof text;
    ASSERT_EQ(qmLibraryInfo(nullptr, nullptr, text, &size), text);
    EXPECT_EQ(size, 107u);
    EXPECT_EQ(std::string(text), std::string("**** QMv3 shared client library, Linux, v1.0.0, b883(Release) (Jul 27, "
                                             "2023) *** Zant # ") +
                                     "ZANT sim 1.0 ****");

    char small[11];
    memset(small, '#', sizeof small);
    size = 10;
    ASSERT_EQ(qmLibraryInfo(nullptr, nullptr, small, &size), small);
    EXPECT_EQ(std::string(small), "**** QMv");  // at most size - 2 characters
    EXPECT_EQ(small[10], '#');
    size = 1;
    ASSERT_EQ(qmLibraryInfo(nullptr, nullptr, small, &size), small);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(size, 107u);
    small[0] = '*';

    size = 0;
    EXPECT_EQ(qmLibraryInfo(nullptr, nullptr, small, &size), nullptr);
    EXPECT_EQ(size, 107u);
    EXPECT_EQ(small[0], '*');
}

// A caller that allocates the size it was told gets the whole text, not a cut one.
TEST(LibraryInfo, WholeTextFitsTheReportedSize) {
    unsigned size = 0;
    ASSERT_EQ(qmLibraryInfoEx(nullptr, nullptr, nullptr, nullptr, &size), nullptr);
    std::vector<char> told(size, '#');
    ASSERT_EQ(qmLibraryInfoEx(nullptr, nullptr, nullptr, told.data(), &size), told.data());
    char whole[1024];
    unsigned wholeSize = sizeof whole;
    ASSERT_EQ(qmLibraryInfoEx(nullptr, nullptr, nullptr, whole, &wholeSize), whole);
    EXPECT_EQ(std::string(told.data()), std::string(whole));
    EXPECT_EQ(std::string(whole).substr(std::strlen(whole) - 5), " ****");
}

}  // namespace
