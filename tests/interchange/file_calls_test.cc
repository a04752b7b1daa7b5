// The file calls through the C interface: every kind saved by its extension loads back with its pixels
// and is detected by content; the save flags; the export's range; the diagnosis of files of no kind;
// the removal of hidden folders left by ended processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"

namespace {

using filestest::MakeSequence;
using filestest::SequenceGuard;
using qmv3test::TempDir;

bool SamePixels(const QMBUNCHOFIMAGES& a, const QMBUNCHOFIMAGES& b) {
    if (a.numFrames != b.numFrames) return false;
    for (unsigned i = 0; i < a.numFrames; ++i) {
        const DIMAGE& x = a.imageArray[i];
        const DIMAGE& y = b.imageArray[i];
        if (x.frameHeader.appendedFrameSize != y.frameHeader.appendedFrameSize ||
            std::memcmp(x.frameBuffer, y.frameBuffer, x.frameHeader.appendedFrameSize) != 0)
            return false;
    }
    return true;
}

TEST(FileCalls, EveryKindSavesByItsExtensionAndLoadsBackByContent) {
    const struct {
        const char* name;
        unsigned frames;
        int bytesPerPixel;
        int format;
        int kind;
        const char* head;   // the file's first bytes
        const char* first;  // the file written first (a PNG series: its first file)
    } cases[] = {
        {"a.imc2", 3, 2, QMV3_FORMAT_GRAY, QMV3_FILE_IMC2_BKC2, "\0\0\0\0\1\0\0\0", "a.imc2"},
        {"a.imm", 3, 1, QMV3_FORMAT_GRAY, QMV3_FILE_IMM, "", "a.imm"},
        {"a.bkc", 2, 2, QMV3_FORMAT_GRAY, QMV3_FILE_IMC_BKC, "", "a.bkc"},
        {"a.bkg", 1, 1, QMV3_FORMAT_GRAY, QMV3_FILE_BKG, "", "a.bkg"},
        {"a.tif", 3, 2, QMV3_FORMAT_GRAY, QMV3_FILE_TIFF, "II*", "a.tif"},
        {"b.TIFF", 2, 3, QMV3_FORMAT_RGB, QMV3_FILE_TIFF, "II*", "b.TIFF"},
        {"a.png", 1, 2, QMV3_FORMAT_GRAY, QMV3_FILE_PNG, "\x89PNG", "a.png"},
        {"s.png", 12, 1, QMV3_FORMAT_GRAY, QMV3_FILE_PNG, "\x89PNG", "s-01.png"},
        {"a.h5", 3, 3, QMV3_FORMAT_RGB, QMV3_FILE_HDF5, "\x89HDF", "a.h5"},
        {"b.hdf5", 2, 2, QMV3_FORMAT_GRAY, QMV3_FILE_HDF5, "\x89HDF", "b.hdf5"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QMBUNCHOFIMAGES images = MakeSequence(c.frames, 16, 8, c.bytesPerPixel, c.format);
        SequenceGuard guard(images);
        char error[512] = "";
        ASSERT_EQ(QMV3_SAVE_OK,
                  qmSaveImagesToFileEx(&images, dir.file(c.name).c_str(), error, sizeof error, nullptr, nullptr))
            << error;
        const std::string first = dir.file(c.first);
        const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(first);
        const size_t headLength = c.kind == QMV3_FILE_IMC2_BKC2 ? 8 : std::strlen(c.head);
        ASSERT_GE(bytes.size(), headLength);
        EXPECT_EQ(0, std::memcmp(bytes.data(), c.head, headLength));
        EXPECT_EQ(c.kind, qmCheckFileFormat(first.c_str(), nullptr, 0));
        EXPECT_EQ(c.kind >= QMV3_FILE_TIFF ? 1 : 0, qmIsExportFileKind(qmGetFileKindOfName(c.name)));
        int kind = -2;
        char reason[256] = "x";
        EXPECT_EQ(c.kind, qmCheckFileFormatEx(first.c_str(), &kind, reason, sizeof reason));
        EXPECT_EQ(c.kind, kind);
        EXPECT_STREQ("", reason);
        QMBUNCHOFIMAGES loaded;
        qmInitializeBunchStructure(&loaded);
        ASSERT_EQ(QMV3_LOAD_OK, qmLoadImagesFromFileEx(first.c_str(), &loaded, nullptr, nullptr, error, sizeof error))
            << error;
        // A PNG series holds one frame per file; the older kinds keep the pixels only.
        if (c.kind == QMV3_FILE_PNG && c.frames > 1) {
            EXPECT_EQ(1u, loaded.numFrames);
            EXPECT_EQ(0, std::memcmp(loaded.imageArray[0].frameBuffer, images.imageArray[0].frameBuffer,
                                     images.imageArray[0].frameHeader.appendedFrameSize));
            EXPECT_TRUE(qmv3test::FileExists(dir.file("s-12.png")));
        } else {
            EXPECT_TRUE(SamePixels(images, loaded));
        }
        if (c.kind >= QMV3_FILE_IMC2_BKC2) {
            EXPECT_EQ(images.imageArray[0].frameHeader.frameNumber, loaded.imageArray[0].frameHeader.frameNumber);
        }
        qmFreeBunch(&loaded);
    }
    EXPECT_EQ(0, qmIsExportFileKind(QMV3_FILE_UNKNOWN));
    // Every kind once, in the order detection tries them (the older kinds' exact sizes before the signatures).
    std::string order;
    for (unsigned i = 0; qmGetFileKindInOrder(i) != QMV3_FILE_UNKNOWN; ++i)
        order += std::string(qmGetFileKindName(qmGetFileKindInOrder(i), nullptr)) + " ";
    EXPECT_EQ("IMC2/BKC2 IMC/BKC IMM BKG TIFF PNG HDF5 ", order);
    // The most images a save takes, by kind; the IMC2/BKC2 writer refuses one image more.
    EXPECT_EQ(1u, qmGetFileKindMaxImages(QMV3_FILE_BKG));
    EXPECT_EQ(0u, qmGetFileKindMaxImages(QMV3_FILE_TIFF));
    EXPECT_EQ(0u, qmGetFileKindMaxImages(QMV3_FILE_UNKNOWN));
    // Compression chooses how IMC2/BKC2 frames are stored, also under names no kind claims.
    for (int kind = QMV3_FILE_UNKNOWN; kind <= QMV3_FILE_HDF5; ++kind)
        EXPECT_EQ(kind == QMV3_FILE_UNKNOWN || kind == QMV3_FILE_IMC2_BKC2 ? 1 : 0, qmFileKindTakesCompression(kind));
    const unsigned most = qmGetFileKindMaxImages(QMV3_FILE_IMC2_BKC2);
    QMBUNCHOFIMAGES many = MakeSequence(most + 1, 2, 2, 1, QMV3_FORMAT_GRAY);
    SequenceGuard manyGuard(many);
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmSaveImagesToFile(&many, dir.file("many.imc2").c_str()));
    // Nothing but the files themselves is left in the folder.
    for (const std::string& name : qmv3test::FolderEntries(dir.path())) EXPECT_EQ(std::string::npos, name.find(".qmv3-partial-"));
}

TEST(FileCalls, SaveFlagsRefuseReplaceCheckAndCompress) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 64, 32, 2, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    char error[512] = "";
    for (const char* name : {"t.imc2", "t.imm", "t.tif", "t.h5", "t.png"}) {
        SCOPED_TRACE(name);
        // A PNG of two images writes a series; its first file stands for it here.
        const std::string path = dir.file(name);
        const std::string written = std::string(name) == "t.png" ? dir.file("t-1.png") : path;
        qmv3test::WriteFileBytes(written, {1, 2, 3});
        chmod(written.c_str(), 0640);
        const std::string target = std::string(name) == "t.png" ? written : path;
        EXPECT_EQ(QMV3_SAVE_FILE_EXISTS,
                  qmSaveImagesToFileEx2(&images, path.c_str(), 0, error, sizeof error, nullptr, nullptr));
        EXPECT_EQ("File \"" + target + "\" save error: File already exists.", std::string(error));
        EXPECT_EQ(QMV3_SAVE_FILE_EXISTS, qmSaveImagesToFileEx2(nullptr, target.c_str(), QMV3_SAVE_FLAG_CHECK_ONLY,
                                                               error, sizeof error, nullptr, nullptr));
        EXPECT_EQ(QMV3_SAVE_OK, qmSaveImagesToFileEx2(nullptr, target.c_str(),
                                                      QMV3_SAVE_FLAG_CHECK_ONLY | QMV3_SAVE_FLAG_REPLACE, error,
                                                      sizeof error, nullptr, nullptr));
        EXPECT_EQ(3u, qmv3test::ReadFileBytes(written).size());
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFileEx2(&images, path.c_str(), QMV3_SAVE_FLAG_REPLACE, error,
                                                      sizeof error, nullptr, nullptr))
            << error;
        struct stat status;
        ASSERT_EQ(0, stat(written.c_str(), &status));
        EXPECT_EQ(0640u, status.st_mode & 07777);
        EXPECT_GT(status.st_size, 3);
    }
    // The compression choices of IMC2/BKC2: every one loads back the same pixels.
    const std::string folder = dir.file("none/x.imc2");
    EXPECT_EQ(QMV3_SAVE_OPEN_FAILED, qmSaveImagesToFileEx2(&images, folder.c_str(), 0, error, sizeof error, nullptr,
                                                           nullptr));
    EXPECT_NE(std::string::npos, std::string(error).find("folder " + dir.file("none") + ": No such file or directory"));
    long long sizes[3] = {};
    const unsigned int flags[3] = {0, QMV3_SAVE_FLAG_COMPRESS_FAST, QMV3_SAVE_FLAG_COMPRESS_NONE};
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.file("c" + std::to_string(i) + ".imc2");
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFileEx2(&images, path.c_str(), flags[i], error, sizeof error, nullptr,
                                                      nullptr));
        sizes[i] = static_cast<long long>(qmv3test::ReadFileBytes(path).size());
        QMBUNCHOFIMAGES loaded;
        qmInitializeBunchStructure(&loaded);
        ASSERT_EQ(QMV3_LOAD_OK, qmLoadImagesFromFile(path.c_str(), &loaded));
        EXPECT_TRUE(SamePixels(images, loaded));
        qmFreeBunch(&loaded);
    }
    EXPECT_GT(sizes[2], 2 * 64 * 32 * 2);
    EXPECT_LT(sizes[0], sizes[2]);
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR,
              qmSaveImagesToFileEx2(&images, dir.file("d.imc2").c_str(),
                                    QMV3_SAVE_FLAG_COMPRESS_FAST | QMV3_SAVE_FLAG_COMPRESS_NONE, error, sizeof error,
                                    nullptr, nullptr));
}

TEST(FileCalls, ExportWritesTheRangeAskedFor) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(12, 8, 4, 1, QMV3_FORMAT_GRAY, 100);
    SequenceGuard guard(images);
    char error[512] = "";
    const struct {
        const char* name;
        unsigned first, last;
        int code;
        std::vector<std::string> written;
    } cases[] = {
        {"r.png", 3, 4, QMV3_SAVE_OK, {"r-03.png", "r-04.png"}},
        {"one.png", 12, 12, QMV3_SAVE_OK, {"one.png"}},
        {"r.tif", 0, 2, QMV3_SAVE_OK, {"r.tif"}},
        {"bad.tif", 5, 4, QMV3_SAVE_PARAMETER_ERROR, {}},
        {"beyond.h5", 1, 13, QMV3_SAVE_PARAMETER_ERROR, {}},
        {"wrong.imc2", 0, 0, QMV3_SAVE_PARAMETER_ERROR, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> before = qmv3test::FolderEntries(dir.path());
        QMV3_EXPORT_OPTIONS options = {sizeof options, QMV3_EXPORT_FLAG_COMPRESS, c.first, c.last};
        EXPECT_EQ(c.code, qmExportImagesToFile(&images, dir.file(c.name).c_str(), &options, error, sizeof error,
                                               nullptr, nullptr))
            << error;
        std::vector<std::string> expected = before;
        expected.insert(expected.end(), c.written.begin(), c.written.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, qmv3test::FolderEntries(dir.path()));
    }
    QMBUNCHOFIMAGES loaded;
    qmInitializeBunchStructure(&loaded);
    ASSERT_EQ(QMV3_LOAD_OK, qmLoadImagesFromFile(dir.file("r.tif").c_str(), &loaded));
    ASSERT_EQ(2u, loaded.numFrames);
    EXPECT_EQ(101u, loaded.imageArray[1].frameHeader.frameNumber);
    qmFreeBunch(&loaded);
    char name[64];
    EXPECT_EQ(0, qmGetExportFileName("x/r.PNG", 7, 100, name, sizeof name));
    EXPECT_STREQ("x/r-007.png", name);
}

// The tool's messages (its tests) rest on this split of the library's file messages.
TEST(FileCalls, FileMessageDetailSplitsTheLibrarysMessages) {
    char name[3] = "x";
    const char* detail = nullptr;
    const struct {
        const char* message;
        const char* name;
        const char* detail;
    } cases[] = {
        {"File \"a b\" save error: full.", "a b", "full."},
        {"File \"x/\"q\".tif\" load error: no TIFF signature", "x/\"q\".tif", "no TIFF signature"},
        {"File \"a\" is no IMM file: short", "", nullptr},
        {"save error: File \"a\"", "", nullptr},
        {nullptr, "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "null");
        detail = qmGetFileMessageDetail(c.message, name, 3);
        EXPECT_EQ(std::string(c.name).substr(0, 2), name);
        EXPECT_EQ(c.detail == nullptr, detail == nullptr);
        if (c.detail != nullptr && detail != nullptr) {
            EXPECT_STREQ(c.detail, detail);
        }
    }
}

TEST(FileCalls, DiagnosisNamesTheClosestKindAndItsReason) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 8, 4, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, dir.file("whole.imc2").c_str()));
    std::vector<unsigned char> cut = qmv3test::ReadFileBytes(dir.file("whole.imc2"));
    std::vector<unsigned char> tail = cut;
    tail.resize(tail.size() + 3, 0);
    qmv3test::WriteFileBytes(dir.file("tail.imc2"), tail);
    cut.resize(cut.size() - 5);
    qmv3test::WriteFileBytes(dir.file("cut.imc2"), cut);
    qmv3test::WriteFileBytes(dir.file("text.tif"), {'h', 'e', 'l', 'l', 'o'});
    // An IMM header of 4 x 2 pixels, 8 bits, without whole frames behind it.
    qmv3test::WriteFileBytes(dir.file("short.imm"), {4, 0, 8, 0, 2, 0, 8, 0, 1, 2, 3});
    mkdir(dir.file("folder.imc2").c_str(), 0700);
    const struct {
        const char* name;
        int closest;
        const char* reason;
    } cases[] = {
        {"cut.imc2", QMV3_FILE_IMC2_BKC2, "of image 2 of 2"},
        // Its images load; the bytes after them are the reason.
        {"tail.imc2", QMV3_FILE_IMC2_BKC2, "is not equal to wholeFileSize"},
        {"text.tif", QMV3_FILE_TIFF, "no TIFF signature"},
        {"short.imm", QMV3_FILE_IMM, "the header announces 4 x 2 pixels, 8 bits: frames of 24 bytes"},
        {"missing.png", QMV3_FILE_UNKNOWN, "No such file or directory"},
        {"folder.imc2", QMV3_FILE_UNKNOWN, "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int kind = -2;
        char reason[512] = "";
        EXPECT_EQ(QMV3_FILE_UNKNOWN, qmCheckFileFormatEx(dir.file(c.name).c_str(), &kind, reason, sizeof reason));
        EXPECT_EQ(c.closest, kind);
        EXPECT_NE(std::string::npos, std::string(reason).find(c.reason)) << reason;
        // A load that asks for it fails with the reason of an older closest kind; others keep their text.
        QMBUNCHOFIMAGES loaded;
        qmInitializeBunchStructure(&loaded);
        const QMV3_LOAD_OPTIONS options = {sizeof options, QMV3_LOAD_FLAG_CLOSEST_REASON, 0, 0};
        char text[512] = "";
        qmLoadImagesFromFileEx2(dir.file(c.name).c_str(), &loaded, &options, nullptr, nullptr, text, sizeof text);
        const bool older = c.closest == QMV3_FILE_IMM;
        EXPECT_EQ(older, std::string(text).find("\" is no IMM file: " + std::string(c.reason)) != std::string::npos)
            << text;
        qmFreeBunch(&loaded);
    }
}

// The fixed start each name suggests: 16 bytes for IMC/BKC, 8 for IMM and BKG, 14 for IMC2/BKC2 and the rest.
TEST(FileCalls, FileProblemGivesTheSystemsViewAndTheHeaderTheNameSuggests) {
    TempDir dir;
    mkdir(dir.file("folder.imc2").c_str(), 0700);
    mkfifo(dir.file("pipe.imm").c_str(), 0600);
    qmv3test::WriteFileBytes(dir.file("empty.imc2"), {});
    const struct {
        const char* name;
        size_t bytes;
        const char* text;
    } cases[] = {
        {"missing.imc2", 0, "No such file or directory"},
        {"folder.imc2", 0, "it is a folder"},
        {"pipe.imm", 0, "it is not a regular file"},
        {"empty.imc2", 0, "the file is empty"},
        {"a.imc", 15, "file is 15 bytes, shorter than one header"},
        {"a.bkc", 16, "file is 16 bytes"},
        {"a.imm", 7, "file is 7 bytes, shorter than one header"},
        {"a.bkg", 8, "file is 8 bytes"},
        {"a.imc2", 13, "file is 13 bytes, shorter than one header"},
        {"a.tif", 14, "file is 14 bytes"},
    };
    for (const auto& c : cases) {
        if (c.bytes != 0) qmv3test::WriteFileBytes(dir.file(c.name), std::vector<unsigned char>(c.bytes, 1));
        char text[128] = "";
        EXPECT_EQ(0, qmDescribeFileProblem(dir.file(c.name).c_str(), text, sizeof text));
        EXPECT_EQ(std::string(c.text), text) << c.name;
    }
    char small[8] = "kept";
    EXPECT_EQ(0, qmDescribeFileProblem(dir.file("folder.imc2").c_str(), small, sizeof small));
    EXPECT_EQ(std::string("it is a"), small);
    EXPECT_EQ(-1, qmDescribeFileProblem(nullptr, small, sizeof small));
    EXPECT_EQ(-1, qmDescribeFileProblem("x", small, 0));
}

TEST(FileCalls, CompressionNamesChooseTheSaveFlagsAndTheRecordersCompression) {
    const struct {
        const char* name;
        int result;
        unsigned int saveFlags;
        int recorderCompression;
    } cases[] = {
        {"fast", 0, QMV3_SAVE_FLAG_COMPRESS_FAST, QMV3_RECORDER_COMPRESS_FAST},
        {"default", 0, 0u, QMV3_RECORDER_COMPRESS_DEFAULT},
        {"none", 0, QMV3_SAVE_FLAG_COMPRESS_NONE, QMV3_RECORDER_COMPRESS_NONE},
        {"Fast", -1, 99u, 99},
        {"", -1, 99u, 99},
        {nullptr, -1, 99u, 99},
    };
    for (const auto& c : cases) {
        unsigned int saveFlags = 99u;
        int recorderCompression = 99;
        EXPECT_EQ(c.result, qmGetCompressionOfName(c.name, &saveFlags, &recorderCompression));
        EXPECT_EQ(c.saveFlags, saveFlags);
        EXPECT_EQ(c.recorderCompression, recorderCompression);
    }
    EXPECT_EQ(0, qmGetCompressionOfName("none", nullptr, nullptr));
}

TEST(FileCalls, HiddenFoldersOfEndedProcessesAreRemovedOnTheNextSave) {
    TempDir dir;
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const struct {
        const char* folder;
        std::string owner;  // "" for none
        bool kept;
    } cases[] = {
        {".qmv3-partial-ended", std::to_string(child) + "\n", false},
        {".qmv3-partial-living", std::to_string(getpid()) + "\n", true},
        {".qmv3-partial-unowned", "", true},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(0, mkdir(dir.file(c.folder).c_str(), 0700));
        qmv3test::WriteFileBytes(dir.file(std::string(c.folder) + "/half.imc2"), {1, 2});
        if (!c.owner.empty())
            qmv3test::WriteFileBytes(dir.file(std::string(c.folder) + "/.qmv3-owner"),
                                     std::vector<unsigned char>(c.owner.begin(), c.owner.end()));
    }
    QMBUNCHOFIMAGES images = MakeSequence(1, 8, 4, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, dir.file("new.imc2").c_str()));
    for (const auto& c : cases) EXPECT_EQ(c.kept, qmv3test::FileExists(dir.file(c.folder))) << c.folder;
}

// Files an application writes itself: nothing under a final name before the commit, nothing left
// behind by a close or a discard, an existing name refused or replaced keeping its permissions.
TEST(FileCalls, OutputFilesAppearOnlyWhenCommitted) {
    enum End { kCommit, kClose, kDiscard };
    const struct {
        bool exists;
        unsigned int flags;
        int open;  // the result of qmOpenOutputFiles
        End end;
        bool written;  // the new bytes stand under the final name afterwards
    } cases[] = {
        {false, 0, QMV3_SAVE_OK, kCommit, true},
        {false, 0, QMV3_SAVE_OK, kClose, false},
        {false, 0, QMV3_SAVE_OK, kDiscard, false},
        {true, 0, QMV3_SAVE_FILE_EXISTS, kClose, false},
        {true, QMV3_SAVE_FLAG_REPLACE, QMV3_SAVE_OK, kCommit, true},
        {true, QMV3_SAVE_FLAG_REPLACE, QMV3_SAVE_OK, kClose, false},
        {false, QMV3_SAVE_FLAG_CHECK_ONLY, QMV3_SAVE_OK, kClose, false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.file("page.html");
        if (c.exists) {
            qmv3test::WriteFileBytes(path, {'o', 'l', 'd'});
            ASSERT_EQ(0, chmod(path.c_str(), 0640));
        }
        const char* paths[] = {path.c_str()};
        QMV3_OUTPUT_FILES* files = nullptr;
        char text[512] = "";
        ASSERT_EQ(c.open, qmOpenOutputFiles(&files, paths, 1, c.flags, text, sizeof text)) << text;
        if (files != nullptr) {
            const char* write = qmGetOutputFileWritePath(files, 0);
            ASSERT_NE(nullptr, write);
            EXPECT_EQ(nullptr, qmGetOutputFileWritePath(files, 1));
            qmv3test::WriteFileBytes(write, {'n', 'e', 'w'});
            EXPECT_EQ(c.exists, qmv3test::FileExists(path));  // nothing new under the name yet
            if (c.end == kCommit) {
                EXPECT_EQ(QMV3_SAVE_OK, qmCommitOutputFiles(files, text, sizeof text)) << text;
            }
            if (c.end == kDiscard) qmDiscardOutputFiles(files);
        }
        qmCloseOutputFiles(files);
        EXPECT_EQ(c.written, qmv3test::ReadFileBytes(path) == std::vector<unsigned char>({'n', 'e', 'w'}));
        std::vector<std::string> expected;
        if (c.exists || c.written) expected.push_back("page.html");
        EXPECT_EQ(expected, qmv3test::FolderEntries(dir.path()));  // no hidden folder left
        struct stat status;
        if (c.exists && c.written) {
            ASSERT_EQ(0, stat(path.c_str(), &status));
            EXPECT_EQ(0640u, status.st_mode & 0777);
        }
    }
    const char* none[] = {""};
    QMV3_OUTPUT_FILES* files = nullptr;
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmOpenOutputFiles(&files, none, 1, 0, nullptr, 0));
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmOpenOutputFiles(&files, none, 0, 0, nullptr, 0));
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmCommitOutputFiles(nullptr, nullptr, 0));
}

}  // namespace
