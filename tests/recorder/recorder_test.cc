// The recorder's C interface: what lands in the files (split, shape changes, compression), the names it
// refuses or replaces, a full or failing disk, the queue's drops, and files of a recording killed at
// random moments.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/file_size_limit.h"
#include "common/temp_dir.h"
#include "common/write_faults.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::MakeImage;
using qmv3test::TempDir;

struct Loaded {
    int code = 0;
    QMBUNCHOFIMAGES images{};
    explicit Loaded(const std::string& path) {
        qmInitializeBunchStructure(&images);
        code = qmLoadImagesFromFileEx(path.c_str(), &images, nullptr, nullptr, nullptr, 0);
    }
    ~Loaded() { qmFreeBunch(&images); }
};

QMV3_RECORDER_OPTIONS Options(int compression = QMV3_RECORDER_COMPRESS_FAST, unsigned split = 0,
                              unsigned flags = 0) {
    QMV3_RECORDER_OPTIONS options{};
    options.size = sizeof(options);
    options.compression = compression;
    options.split = split;
    options.flags = flags;
    return options;
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* listing = opendir(folder.c_str())) {
        while (dirent* entry = readdir(listing)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        }
        closedir(listing);
    }
    return names;
}

QMV3_RECORDER_STATISTICS Statistics() {
    QMV3_RECORDER_STATISTICS statistics{};
    statistics.size = sizeof(statistics);
    return statistics;
}

// Frames 1 .. count of one shape, each with its own pixels (seed = frame number).
void WriteFrames(QMV3_RECORDER* recorder, uint32_t first, uint32_t count, int width = 64, int bytesPerPixel = 2) {
    for (uint32_t number = first; number < first + count; ++number) {
        DIMAGE frame = MakeImage(width, 48, bytesPerPixel, QMV3_FORMAT_GRAY, number, static_cast<int>(number));
        ASSERT_EQ(qmRecorderWrite(recorder, &frame), QMV3_RECORDER_OK) << number;
        std::free(frame.frameBuffer);
    }
}

// Every image of the file is frame `first`, `first + 1`, ... with the pixels WriteFrames gave it.
void ExpectFrames(const std::string& path, uint32_t first, uint32_t count, int width = 64, int bytesPerPixel = 2) {
    Loaded loaded(path);
    ASSERT_EQ(loaded.code, QMV3_LOAD_OK) << path;
    ASSERT_EQ(loaded.images.numFrames, count) << path;
    const bool hdf5 = path.size() > 3 && path.compare(path.size() - 3, 3, ".h5") == 0;
    EXPECT_EQ(qmCheckFileFormat(path.c_str(), nullptr, 0), hdf5 ? QMV3_FILE_HDF5 : QMV3_FILE_IMC2_BKC2) << path;
    for (uint32_t i = 0; i < count; ++i) {
        DIMAGE expected = MakeImage(width, 48, bytesPerPixel, QMV3_FORMAT_GRAY, first + i, static_cast<int>(first + i));
        const DIMAGE& image = loaded.images.imageArray[i];
        EXPECT_EQ(image.frameHeader.frameNumber, first + i);
        EXPECT_EQ(0, std::memcmp(image.frameBuffer, expected.frameBuffer, expected.frameHeader.appendedFrameSize));
        std::free(expected.frameBuffer);
    }
}

TEST(Recorder, SplitFilesHoldEveryFrameInOrderForEachCompression) {
    for (int compression : {QMV3_RECORDER_COMPRESS_FAST, QMV3_RECORDER_COMPRESS_DEFAULT, QMV3_RECORDER_COMPRESS_NONE}) {
        SCOPED_TRACE(compression);
        TempDir dir;
        QMV3_RECORDER* recorder = nullptr;
        const QMV3_RECORDER_OPTIONS options = Options(compression, 10);
        ASSERT_EQ(qmRecorderOpen(&recorder, dir.file("run.imc2").c_str(), &options, nullptr, 0), QMV3_RECORDER_OK);
        WriteFrames(recorder, 1, 25);
        QMV3_RECORDER_STATISTICS statistics = Statistics();
        ASSERT_EQ(qmRecorderClose(recorder, &statistics, nullptr, 0), QMV3_RECORDER_OK);
        ExpectFrames(dir.file("run.imc2"), 1, 10);
        ExpectFrames(dir.file("run-0002.imc2"), 11, 10);
        ExpectFrames(dir.file("run-0003.imc2"), 21, 5);
        EXPECT_FALSE(qmv3test::FileExists(dir.file("run-0004.imc2")));
        EXPECT_EQ(statistics.received, 25u);
        EXPECT_EQ(statistics.written, 25u);
        EXPECT_EQ(statistics.dropped + statistics.lost + statistics.gaps, 0u);
        EXPECT_EQ(statistics.files, 3u);
        struct stat a, b, c;
        ASSERT_EQ(0, stat(dir.file("run.imc2").c_str(), &a) + stat(dir.file("run-0002.imc2").c_str(), &b) +
                         stat(dir.file("run-0003.imc2").c_str(), &c));
        EXPECT_EQ(statistics.bytes, static_cast<unsigned long long>(a.st_size + b.st_size + c.st_size));
        const bool stored = compression == QMV3_RECORDER_COMPRESS_NONE;
        EXPECT_EQ(stored, a.st_size > 10 * 64 * 48 * 2);
    }
}

// A run past the format's limit of images per file, with the default split: every file loads whole.
TEST(Recorder, ALongRunSplitsAtTheFormatsLimitAndEveryFileLoadsComplete) {
    TempDir dir;
    QMV3_RECORDER* recorder = nullptr;
    ASSERT_EQ(qmRecorderOpen(&recorder, dir.file("long.imc2").c_str(), nullptr, nullptr, 0), QMV3_RECORDER_OK);
    const uint32_t total = 2 * QMV3_RECORDER_MAX_SPLIT + 1;
    WriteFrames(recorder, 1, total, 8, 1);
    QMV3_RECORDER_STATISTICS statistics = Statistics();
    ASSERT_EQ(qmRecorderClose(recorder, &statistics, nullptr, 0), QMV3_RECORDER_OK);
    EXPECT_EQ(statistics.written, total);
    EXPECT_EQ(statistics.files, 3u);
    ExpectFrames(dir.file("long.imc2"), 1, QMV3_RECORDER_MAX_SPLIT, 8, 1);
    ExpectFrames(dir.file("long-0002.imc2"), QMV3_RECORDER_MAX_SPLIT + 1, QMV3_RECORDER_MAX_SPLIT, 8, 1);
    ExpectFrames(dir.file("long-0003.imc2"), total, 1, 8, 1);
}

TEST(Recorder, AFrameOfAnotherShapeBeginsTheNextFileAndGapsAreCounted) {
    TempDir dir;
    QMV3_RECORDER* recorder = nullptr;
    ASSERT_EQ(qmRecorderOpen(&recorder, dir.file("run.bkc2").c_str(), nullptr, nullptr, 0), QMV3_RECORDER_OK);
    WriteFrames(recorder, 1, 3);
    WriteFrames(recorder, 6, 2, 32, 1);
    DIMAGE jpeg = MakeImage(8, 8, 1, QMV3_FORMAT_GRAY, 9);
    jpeg.frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    EXPECT_EQ(qmRecorderWrite(recorder, &jpeg), QMV3_RECORDER_INVALID_FRAME);
    std::free(jpeg.frameBuffer);
    char name[512];
    size_t size = sizeof(name);
    ASSERT_EQ(qmRecorderGetFileName(recorder, 2, name, &size), QMV3_RECORDER_OK);
    EXPECT_EQ(std::string(name), dir.file("run-0002.bkc2"));
    QMV3_RECORDER_STATISTICS statistics = Statistics();
    ASSERT_EQ(qmRecorderClose(recorder, &statistics, nullptr, 0), QMV3_RECORDER_OK);
    ExpectFrames(dir.file("run.bkc2"), 1, 3);
    ExpectFrames(dir.file("run-0002.bkc2"), 6, 2, 32, 1);
    EXPECT_EQ(statistics.gaps, 2u);
    EXPECT_EQ(statistics.received, 5u);
}

TEST(Recorder, NamesThatExistAreRefusedOrReplacedWhenAsked) {
    struct Case {
        const char* existing;
        unsigned flags;
        int opened;
    } cases[] = {
        {"run.imc2", 0, QMV3_RECORDER_FILE_EXISTS},
        {"run-0007.imc2", 0, QMV3_RECORDER_FILE_EXISTS},
        {"run.imc2", QMV3_RECORDER_FLAG_REPLACE, QMV3_RECORDER_OK},
        {"run-0002.imc2", QMV3_RECORDER_FLAG_REPLACE, QMV3_RECORDER_OK},
        {"run-12.imc2", 0, QMV3_RECORDER_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.existing) + " " + std::to_string(c.flags));
        TempDir dir;
        qmv3test::WriteFileBytes(dir.file(c.existing), {'o', 'l', 'd'});
        chmod(dir.file(c.existing).c_str(), 0640);
        QMV3_RECORDER* recorder = nullptr;
        const QMV3_RECORDER_OPTIONS options = Options(QMV3_RECORDER_COMPRESS_FAST, 2, c.flags);
        char message[300] = "";
        ASSERT_EQ(qmRecorderOpen(&recorder, dir.file("run.imc2").c_str(), &options, message, sizeof(message)),
                  c.opened);
        if (c.opened != QMV3_RECORDER_OK) {
            EXPECT_EQ(recorder, nullptr);
            EXPECT_NE(std::string(message).find(c.existing), std::string::npos) << message;
            EXPECT_EQ(qmv3test::ReadFileText(dir.file(c.existing)), "old");
            continue;
        }
        // The old file stays until the new one is complete.
        WriteFrames(recorder, 1, 3);
        ASSERT_EQ(qmRecorderClose(recorder, nullptr, nullptr, 0), QMV3_RECORDER_OK);
        ExpectFrames(dir.file("run.imc2"), 1, 2);
        ExpectFrames(dir.file("run-0002.imc2"), 3, 1);
        struct stat status;
        ASSERT_EQ(stat(dir.file(c.existing).c_str(), &status), 0);
        if (c.flags != 0) {
            EXPECT_EQ(status.st_mode & 0777, 0640u);
        } else {
            EXPECT_EQ(qmv3test::ReadFileText(dir.file(c.existing)), "old");
        }
        for (const std::string& name : Listing(dir.path())) EXPECT_NE(name[0], '.') << name;
    }
}

// A full disk or an I/O error stops the recording with the file's name and the system's reason, and
// the file holds the frames counted as written: every one before the failure, or, when HDF5 metadata
// could not be written, those of the last flush. The file size limit plays a full disk, the write
// fault injector a disk failing under a frame's pixels, under a flush, or under the final flush.
TEST(Recorder, AFullDiskOrAnIoErrorStopsWithTheFileAndReasonAndKeepsTheFramesWritten) {
    const size_t frameBytes = 64 * 48 * 2;
    const struct Case {
        const char* name;
        int error;  // injected; 0: the file size limit
        qmv3test::FaultedWrites writes;
        bool atClose;  // armed just before closing, else after ten frames and a flush
        const char* reason;
        size_t bytes = 0;  // of the writes kOfSize fails, when not a frame's pixels
    } cases[] = {
        {"full.imc2", 0, qmv3test::FaultedWrites::kAll, false, "File too large"},
        {"full.h5", 0, qmv3test::FaultedWrites::kAll, false, "File too large"},
        {"eio.imc2", EIO, qmv3test::FaultedWrites::kAll, false, "Input/output error"},
        {"pixels.h5", EIO, qmv3test::FaultedWrites::kOfSize, false, "Input/output error"},
        {"flush.h5", ENOSPC, qmv3test::FaultedWrites::kOfOtherSize, false, "No space left on device"},
        {"close.h5", EIO, qmv3test::FaultedWrites::kOfOtherSize, true, "Input/output error"},
        // Every frame flushed, only the close's own write of the file's first block fails.
        {"superblock.h5", EIO, qmv3test::FaultedWrites::kOfSize, true, "Input/output error", 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file(c.name);
        QMV3_RECORDER* recorder = nullptr;
        const QMV3_RECORDER_OPTIONS options = Options(QMV3_RECORDER_COMPRESS_NONE);
        ASSERT_EQ(qmRecorderOpen(&recorder, path.c_str(), &options, nullptr, 0), QMV3_RECORDER_OK);
        int result = QMV3_RECORDER_OK;
        uint32_t handed = 0;
        auto hand = [&](uint32_t upTo, int pause) {
            while (result == QMV3_RECORDER_OK && handed < upTo) {
                DIMAGE frame = MakeImage(64, 48, 2, QMV3_FORMAT_GRAY, handed + 1, static_cast<int>(handed + 1));
                result = qmRecorderWrite(recorder, &frame);
                std::free(frame.frameBuffer);
                if (result == QMV3_RECORDER_OK) ++handed;
                std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            }
        };
        std::unique_ptr<qmv3test::FileSizeLimit> limit;
        if (c.error == 0) {
            // Room for 15 frames and their headers (HDF5 keeps 1 MiB free for its metadata).
            const bool hdf5 = std::string(c.name).find(".h5") != std::string::npos;
            limit = std::make_unique<qmv3test::FileSizeLimit>(100000 + (hdf5 ? 1 << 20 : 0));
        } else {
            hand(10, 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            if (c.atClose) hand(13, 0);
            if (c.bytes != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            qmv3test::ArmWriteFaults(dir.path(), c.error, c.writes, c.bytes != 0 ? c.bytes : frameBytes);
        }
        if (!c.atClose) hand(100, 20);
        char message[400] = "";
        QMV3_RECORDER_STATISTICS statistics = Statistics();
        EXPECT_EQ(qmRecorderClose(recorder, &statistics, message, sizeof(message)), QMV3_RECORDER_WRITE_FAILED);
        qmv3test::DisarmWriteFaults();
        limit.reset();
        EXPECT_EQ(result, c.atClose ? QMV3_RECORDER_OK : QMV3_RECORDER_WRITE_FAILED);
        EXPECT_NE(std::string(message).find(path), std::string::npos) << message;
        EXPECT_NE(std::string(message).find(c.reason), std::string::npos) << message;
        EXPECT_EQ(statistics.written + statistics.lost, handed);
        EXPECT_GE(statistics.written, 10u);
        ExpectFrames(path, 1, static_cast<uint32_t>(statistics.written));
    }
}

TEST(Recorder, AFullQueueDropsAndCountsWhenAskedNotToWait) {
    TempDir dir;
    QMV3_RECORDER* recorder = nullptr;
    QMV3_RECORDER_OPTIONS options = Options(QMV3_RECORDER_COMPRESS_DEFAULT, 0, QMV3_RECORDER_FLAG_DROP_WHEN_FULL);
    options.workers = 1;
    options.queueFrames = 2;
    ASSERT_EQ(qmRecorderOpen(&recorder, dir.file("drops.imc2").c_str(), &options, nullptr, 0), QMV3_RECORDER_OK);
    DIMAGE frame = MakeImage(1024, 768, 2, QMV3_FORMAT_GRAY, 1);
    int dropped = 0;
    for (uint32_t number = 1; number <= 20; ++number) {
        frame.frameHeader.frameNumber = number;
        const int result = qmRecorderWrite(recorder, &frame);
        ASSERT_TRUE(result == QMV3_RECORDER_OK || result == QMV3_RECORDER_DROPPED) << result;
        dropped += result == QMV3_RECORDER_DROPPED;
    }
    std::free(frame.frameBuffer);
    QMV3_RECORDER_STATISTICS statistics = Statistics();
    ASSERT_EQ(qmRecorderClose(recorder, &statistics, nullptr, 0), QMV3_RECORDER_OK);
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(statistics.dropped, static_cast<unsigned long long>(dropped));
    EXPECT_EQ(statistics.received, 20u);
    EXPECT_EQ(statistics.written + statistics.dropped, 20u);
    EXPECT_LE(statistics.queueHighWater, 2u);
    Loaded loaded(dir.file("drops.imc2"));
    EXPECT_EQ(loaded.images.numFrames, statistics.written);
}

TEST(Recorder, MisuseIsRefused) {
    TempDir dir;
    QMV3_RECORDER* recorder = nullptr;
    QMV3_RECORDER_OPTIONS bad = Options(7);
    EXPECT_EQ(qmRecorderOpen(&recorder, dir.file("a.imc2").c_str(), &bad, nullptr, 0), QMV3_RECORDER_PARAMETER_ERROR);
    bad = Options(QMV3_RECORDER_COMPRESS_FAST, QMV3_RECORDER_MAX_SPLIT + 1);
    EXPECT_EQ(qmRecorderOpen(&recorder, dir.file("a.imc2").c_str(), &bad, nullptr, 0), QMV3_RECORDER_PARAMETER_ERROR);
    EXPECT_EQ(qmRecorderOpen(&recorder, dir.file("no/such/folder.imc2").c_str(), nullptr, nullptr, 0),
              QMV3_RECORDER_OPEN_FAILED);
    EXPECT_EQ(qmRecorderWrite(nullptr, nullptr), QMV3_RECORDER_PARAMETER_ERROR);
    EXPECT_EQ(qmRecorderClose(nullptr, nullptr, nullptr, 0), QMV3_RECORDER_OK);
    ASSERT_EQ(qmRecorderOpen(&recorder, dir.file("a.imc2").c_str(), nullptr, nullptr, 0), QMV3_RECORDER_OK);
    QMV3_RECORDER_STATISTICS statistics{};
    EXPECT_EQ(qmRecorderGetStatistics(recorder, &statistics), QMV3_RECORDER_PARAMETER_ERROR);
    EXPECT_EQ(qmRecorderClose(recorder, nullptr, nullptr, 0), QMV3_RECORDER_OK);
    // Without frames nothing stays behind.
    EXPECT_FALSE(qmv3test::FileExists(dir.file("a.imc2")));
}

// A child records small frames without end and reports, every 20 ms, how many frames its files hold;
// killed at a random moment, its files must give every frame reported a second before the kill.
TEST(Recorder, AKilledRecordingKeepsEveryFrameOlderThanASecond) {
    std::mt19937 random(20261209);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        TempDir dir;
        const std::string path = dir.file("killed.imc2");
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(report[0]);
            QMV3_RECORDER* recorder = nullptr;
            const QMV3_RECORDER_OPTIONS options = Options(QMV3_RECORDER_COMPRESS_FAST, 40);
            if (qmRecorderOpen(&recorder, path.c_str(), &options, nullptr, 0) != QMV3_RECORDER_OK) _exit(2);
            auto last = std::chrono::steady_clock::now();
            for (uint32_t number = 1;; ++number) {
                DIMAGE frame = MakeImage(64, 48, 2, QMV3_FORMAT_GRAY, number, static_cast<int>(number));
                if (qmRecorderWrite(recorder, &frame) != QMV3_RECORDER_OK) _exit(3);
                std::free(frame.frameBuffer);
                if (std::chrono::steady_clock::now() - last > std::chrono::milliseconds(20)) {
                    QMV3_RECORDER_STATISTICS statistics = Statistics();
                    qmRecorderGetStatistics(recorder, &statistics);
                    const unsigned long long written = statistics.written;
                    if (write(report[1], &written, sizeof(written)) != sizeof(written)) _exit(4);
                    last = std::chrono::steady_clock::now();
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        }
        close(report[1]);
        const auto started = std::chrono::steady_clock::now();
        const auto killAt = started + std::chrono::milliseconds(1100 + random() % 500);
        unsigned long long olderThanASecond = 0;
        std::vector<std::pair<std::chrono::steady_clock::time_point, unsigned long long>> reports;
        while (std::chrono::steady_clock::now() < killAt) {
            unsigned long long written = 0;
            if (read(report[0], &written, sizeof(written)) != sizeof(written)) break;
            reports.emplace_back(std::chrono::steady_clock::now(), written);
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(report[0]);
        const auto killed = std::chrono::steady_clock::now();
        for (const auto& [when, written] : reports) {
            if (killed - when > std::chrono::seconds(1)) olderThanASecond = written;
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
        // Complete files first, then the one being written, which holds at least the rest.
        uint32_t kept = 0;
        for (unsigned index = 1;; ++index) {
            char name[600];
            std::snprintf(name, sizeof(name), index == 1 ? "%s/killed.imc2" : "%s/killed-%04u.imc2",
                          dir.path().c_str(), index);
            if (!qmv3test::FileExists(name)) break;
            Loaded loaded(name);
            if (loaded.code != QMV3_LOAD_OK) break;  // only the newest file may hold no image yet
            for (uint32_t i = 0; i < loaded.images.numFrames; ++i) {
                ASSERT_EQ(loaded.images.imageArray[i].frameHeader.frameNumber, kept + i + 1);
            }
            kept += loaded.images.numFrames;
        }
        EXPECT_GE(kept, olderThanASecond);
        EXPECT_GT(olderThanASecond, 0u);
    }
}

}  // namespace
