// The log writer: line stamp and cut, destinations, initialisation rules, the path bound, and file
// rotation with its size checks.
#include "platform/logging.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "zant.h"

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

TEST(LoggingSimpleLog, MissingFormatGivesAnEmptyMessage) {
    TempDir dir;
    const std::string path = dir.file("empty.log");
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file);
    const char* noFormat = nullptr;
    CLogging::SimpleLog(file, noFormat);
    fclose(file);
    std::smatch match;
    const std::string text = ReadFileText(path);
    ASSERT_TRUE(std::regex_match(text, match, kStampedLine)) << text;
    EXPECT_EQ("", match[1].str());
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

// Lines of a text, each checked to be one stamped line; returns the messages.
std::vector<std::string> Messages(const std::string& text) {
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size() - 1;
        std::string line = text.substr(start, end + 1 - start);
        std::smatch match;
        EXPECT_TRUE(std::regex_match(line, match, kStampedLine)) << line;
        messages.push_back(match.size() > 1 ? match[1].str() : line);
        start = end + 1;
    }
    return messages;
}

constexpr off_t kMaxFileSize = 10485760;

void MakeFileOfSize(const std::string& path, off_t size) {
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fclose(file);
    ASSERT_EQ(0, truncate(path.c_str(), size));
}

off_t SizeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

// A logger that writes only to its file.
struct FileLogger {
    explicit FileLogger(const std::string& path) {
        EXPECT_TRUE(logging.InitializeLogging(path.c_str(), false, nullptr));
        logging.SetLogDestinations(false, false, true, false);
    }
    CLogging logging;
};

TEST(Logging, UninitialisedObjectWarnsWithTheRawFormat) {
    CLogging logging;
    StreamCapture capture(2);
    EXPECT_FALSE(logging.Log("%d items", 3));
    EXPECT_FALSE(logging.DedicatedLog(true, true, false, false, "raw %s", "x"));
    EXPECT_EQ(
        "WW: CLogging::Log() called without having initialized CLogging!\n%d items\n"
        "WW: CLogging::DedicatedLog() called without having initialized CLogging!\nraw %s\n",
        capture.End());
}

TEST(Logging, DestinationsReceiveTheStampedLineAndFeclogTheBareMessage) {
    TempDir dir;
    const std::string path = dir.file("dest.log");
    CLogging logging;
    ASSERT_TRUE(logging.InitializeLogging(path.c_str(), false, nullptr));
    // The control-system destination as the library frame hands it over.
    CLogging::SetControlSystemLog([](const char* message) { feclog("%s", message); });
    StreamCapture err(2);
    StreamCapture out(1);
    EXPECT_TRUE(logging.Log("default %d", 1));  // standard error and file
    logging.SetLogDestinations(true, false, false, true);
    EXPECT_TRUE(logging.Log("switched %d", 2));  // standard output and the control system's log
    EXPECT_TRUE(logging.DedicatedLog(false, true, true, false, "dedicated %d", 3));
    const std::string outText = out.End();
    std::string errText = err.End();
    CLogging::SetControlSystemLog(nullptr);
    const std::string feclogLine = "[zant] switched 2\n";
    const size_t feclogAt = errText.find(feclogLine);
    ASSERT_NE(std::string::npos, feclogAt) << errText;
    errText.erase(feclogAt, feclogLine.size());
    EXPECT_EQ(std::vector<std::string>{"switched 2"}, Messages(outText));
    EXPECT_EQ(std::vector<std::string>({"default 1", "dedicated 3"}), Messages(errText));
    EXPECT_EQ(std::vector<std::string>({"default 1", "dedicated 3"}), Messages(ReadFileText(path)));
}

TEST(Logging, FileSwitchNeedsAFileName) {
    CLogging logging;
    ASSERT_TRUE(logging.InitializeLogging(nullptr, false, nullptr));
    logging.SetLogDestinations(false, false, true, false);
    StreamCapture err(2);
    EXPECT_TRUE(logging.Log("nowhere"));
    EXPECT_TRUE(logging.DedicatedLog(false, false, true, false, "nowhere either"));
    EXPECT_EQ("", err.End());
}

TEST(Logging, InitialisationRules) {
    TempDir dir;
    const std::string first = dir.file("first.log"), second = dir.file("second.log");
    CLogging logging;
    EXPECT_FALSE(logging.InitializeLogging("", false, nullptr));
    EXPECT_EQ(nullptr, logging.getLoggingSemaphoreHandle());
    ASSERT_TRUE(logging.InitializeLogging(first.c_str(), false, nullptr));
    HANDLE semaphore = logging.getLoggingSemaphoreHandle();
    ASSERT_NE(nullptr, semaphore);
    EXPECT_FALSE(logging.InitializeLogging(second.c_str(), false, nullptr));
    EXPECT_EQ(semaphore, logging.getLoggingSemaphoreHandle());
    logging.SetLogDestinations(false, false, true, false);
    logging.Log("still first");
    EXPECT_EQ(std::vector<std::string>{"still first"}, Messages(ReadFileText(first)));
    EXPECT_FALSE(FileExists(second));
    logging.Done();
    EXPECT_EQ(nullptr, logging.getLoggingSemaphoreHandle());
    EXPECT_FALSE(logging.Log("after done"));
    ASSERT_TRUE(logging.InitializeLogging(second.c_str(), false, nullptr));
    logging.SetLogDestinations(false, false, true, false);
    logging.Log("second life");
    EXPECT_EQ(std::vector<std::string>{"second life"}, Messages(ReadFileText(second)));
}

TEST(Logging, SharedSemaphoreIsBorrowedNotDeleted) {
    TempDir dir;
    const std::string path = dir.file("shared.log");
    FileLogger owner(path);
    const int kLines = 200;
    {
        CLogging borrower;
        ASSERT_TRUE(borrower.InitializeLogging(path.c_str(), false, owner.logging.getLoggingSemaphoreHandle()));
        borrower.SetLogDestinations(false, false, true, false);
        EXPECT_EQ(owner.logging.getLoggingSemaphoreHandle(), borrower.getLoggingSemaphoreHandle());
        const std::string body(400, 'b');
        std::thread other([&] {
            for (int i = 0; i < kLines; ++i) borrower.Log("B%03d %s", i, body.c_str());
        });
        const std::string ownerBody(400, 'o');
        for (int i = 0; i < kLines; ++i) owner.logging.Log("O%03d %s", i, ownerBody.c_str());
        other.join();
    }
    // The borrower's end left the owner's semaphore usable.
    EXPECT_TRUE(owner.logging.Log("last"));
    const std::vector<std::string> messages = Messages(ReadFileText(path));
    ASSERT_EQ(2u * kLines + 1, messages.size());
    for (const std::string& message : messages) {
        if (message == "last") continue;
        EXPECT_EQ(message[0] == 'B' ? 'b' : 'o', message.back());
        EXPECT_EQ(405u, message.size());
    }
}

TEST(Logging, OverlongPathIsRefusedWithoutTouchingTheObject) {
    TempDir dir;
    const std::string prefix = dir.path() + "/";
    const std::string fits = prefix + std::string(CLogging::kMaxPathLength - prefix.size(), 'p');
    const std::string tooLong = fits + "q";
    CLogging logging;
    StreamCapture err(2);
    EXPECT_FALSE(logging.InitializeLogging(tooLong.c_str(), false, nullptr));
    EXPECT_FALSE(logging.InitializeLogging(std::string(5000, 'x').c_str(), true, nullptr));
    EXPECT_NE(std::string::npos, err.End().find("longer than 244 characters refused"));
    EXPECT_EQ(nullptr, logging.getLoggingSemaphoreHandle());
    ASSERT_TRUE(logging.InitializeLogging(fits.c_str(), false, nullptr));
    logging.SetLogDestinations(false, false, true, false);
    logging.Log("fits");
    EXPECT_EQ(std::vector<std::string>{"fits"}, Messages(ReadFileText(fits)));
}

TEST(Logging, PrefixPlacesTheNameInTheExecutablesFolder) {
    char executable[1024];
    ASSERT_TRUE(platformGetFullExecutablePath(executable, sizeof executable));
    std::string folder(executable);
    folder.resize(folder.rfind('/'));
    EXPECT_EQ(folder + "/name.log", std::string(CLogging::ObtainExecutablePathWithFilename("name.log")));
}

TEST(LoggingRotation, OversizedFileBecomesTheFirstBackupAndTheOldestGoes) {
    TempDir dir;
    const std::string path = dir.file("rot.log");
    MakeFileOfSize(path, kMaxFileSize + 1);
    for (int i = 1; i <= 9; ++i)
        qmv3test::WriteFileBytes(path + "." + std::to_string(i), {static_cast<unsigned char>('0' + i)});
    FileLogger logger(path);
    logger.logging.Log("fresh");
    EXPECT_EQ(std::vector<std::string>{"fresh"}, Messages(ReadFileText(path)));
    EXPECT_EQ(kMaxFileSize + 1, SizeOf(path + ".1"));
    for (int i = 2; i <= 9; ++i) EXPECT_EQ(std::to_string(i - 1), ReadFileText(path + "." + std::to_string(i)));
    EXPECT_FALSE(FileExists(path + ".10"));
}

TEST(LoggingRotation, GapInTheBackupsStopsTheShift) {
    TempDir dir;
    const std::string path = dir.file("gap.log");
    MakeFileOfSize(path, kMaxFileSize + 1);
    qmv3test::WriteFileBytes(path + ".1", {'1'});
    qmv3test::WriteFileBytes(path + ".3", {'3'});
    FileLogger logger(path);
    logger.logging.Log("fresh");
    EXPECT_EQ(kMaxFileSize + 1, SizeOf(path + ".1"));
    EXPECT_EQ("1", ReadFileText(path + ".2"));
    EXPECT_EQ("3", ReadFileText(path + ".3"));
    EXPECT_FALSE(FileExists(path + ".4"));
}

TEST(LoggingRotation, FileAtTheLimitIsKept) {
    TempDir dir;
    const std::string path = dir.file("limit.log");
    MakeFileOfSize(path, kMaxFileSize);
    FileLogger logger(path);
    logger.logging.Log("appended");
    EXPECT_FALSE(FileExists(path + ".1"));
    EXPECT_GT(SizeOf(path), kMaxFileSize);
}

TEST(LoggingRotation, SizeIsCheckedOnTheFirstWriteAndThenEvery1001st) {
    TempDir dir;
    const std::string path = dir.file("every.log");
    FileLogger logger(path);
    logger.logging.Log("write 1");  // checked: small file, kept
    MakeFileOfSize(path, kMaxFileSize + 1);
    for (int write = 2; write <= 1001; ++write) logger.logging.Log("write %d", write);
    EXPECT_FALSE(FileExists(path + ".1"));
    logger.logging.Log("write 1002");
    ASSERT_TRUE(FileExists(path + ".1"));
    EXPECT_EQ(std::vector<std::string>{"write 1002"}, Messages(ReadFileText(path)));
}

TEST(LoggingRotation, FailedRotationIsReportedAndTheLineStillWritten) {
    TempDir dir;
    const std::string path = dir.file("stuck.log");
    MakeFileOfSize(path, kMaxFileSize + 1);
    for (int i = 1; i <= 8; ++i) qmv3test::WriteFileBytes(path + "." + std::to_string(i), {'x'});
    // The oldest backup cannot be removed: it is a folder with content.
    ASSERT_EQ(0, mkdir((path + ".9").c_str(), 0700));
    qmv3test::WriteFileBytes(path + ".9/keep", {'k'});
    FileLogger logger(path);
    StreamCapture err(2);
    logger.logging.Log("still here");
    EXPECT_EQ("CLogging(): ArrangeOldLogs(): Error rearranging backup log files at \"" + path + "\".\n", err.End());
    EXPECT_GT(SizeOf(path), kMaxFileSize + 1);
}

TEST(LoggingRotation, UnwritableFileIsReportedPerLine) {
    TempDir dir;
    const std::string path = dir.file("missing/folder.log");
    FileLogger logger(path);
    logger.logging.SetLogDestinations(true, false, true, false);
    StreamCapture out(1);
    StreamCapture err(2);
    EXPECT_TRUE(logger.logging.Log("kept on stdout"));
    EXPECT_EQ("WW: Error print to log file \"" + path + "\".\n", err.End());
    EXPECT_EQ(std::vector<std::string>{"kept on stdout"}, Messages(out.End()));
}

}  // namespace
