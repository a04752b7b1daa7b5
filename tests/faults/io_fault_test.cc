// Saving when the disk fills up or the folder cannot take the file: every saver returns its write
// or open error and leaves nothing behind. A full device is played by /dev/full behind a link (so a
// saver that removes its failed file removes only the link) and by the file size limit of the
// process; an unwritable folder by a path below a regular file, which even root cannot create.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "common/file_size_limit.h"
#include "common/temp_dir.h"
#include "faults/fault_fixtures.h"
#include "gtest/gtest.h"

namespace {

using qmv3faults::MakeRecord;
using qmv3test::FileSizeLimit;

struct Saver {
    const char* name;  // file name, the extension picks the kind
    std::function<int(const char* path, VIDINFHDR* rec)> save;
    int openFailure;  // the code for a file that cannot be created
};

// Older savers by name; each gets a record large enough to overflow a few hundred bytes.
std::vector<Saver> OlderSavers() {
    return {
        {"a.imm", [](const char* p, VIDINFHDR* r) { return save_file(1, p, r); }, QMV3_LEGACY_SAVE_CREATE_FAILED},
        {"a.imc", [](const char* p, VIDINFHDR* r) { return save_file(2, p, r); }, QMV3_LEGACY_SAVE_CREATE_FAILED},
        {"a.bkg", [](const char* p, VIDINFHDR* r) { return save_file(3, p, r); }, QMV3_LEGACY_SAVE_CREATE_FAILED},
        {"a.bkc", [](const char* p, VIDINFHDR* r) { return save_file(4, p, r); }, QMV3_LEGACY_SAVE_CREATE_FAILED},
        {"a", [](const char* p, VIDINFHDR* r) { return save_bmp_files(p, r, 0, 0); },
         QMV3_LEGACY_SAVE_WRITE_FAILED},  // the export reports every failure of its writer as a write error
    };
}

// The file a saver writes for name (the BMP export appends the frame number and extension).
std::string Written(const std::string& path, const Saver& saver) {
    return std::string(saver.name) == "a" ? path + "1.bmp" : path;
}

class IoFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        qmSetVerbose(0);
        // Noise defeats the IMC compression, so the compressed file is as large as the pixels.
        record = MakeRecord(1, 64, 64, 8, 1);
        for (int i = 0; i < 64 * 64; ++i) record.framebits[0][i] = static_cast<unsigned char>((i * 7919) >> 3);
    }
    void TearDown() override { free_vidinfhdr(&record); }
    qmv3test::TempDir dir;
    VIDINFHDR record{};
};

TEST_F(IoFaults, OlderSaversOnAFullDevice) {
    for (const Saver& saver : OlderSavers()) {
        SCOPED_TRACE(saver.name);
        const std::string link = dir.file(std::string("full-") + saver.name);
        const std::string target = Written(link, saver);
        ASSERT_EQ(0, symlink("/dev/full", target.c_str()));
        EXPECT_EQ(QMV3_LEGACY_SAVE_WRITE_FAILED, saver.save(link.c_str(), &record));
        // The failed file is gone; /dev/full itself is untouched.
        struct stat info;
        EXPECT_NE(0, lstat(target.c_str(), &info));
        EXPECT_EQ(0, stat("/dev/full", &info));
        unlink(target.c_str());
    }
}

TEST_F(IoFaults, OlderSaversPastTheFileSizeLimit) {
    for (const Saver& saver : OlderSavers()) {
        SCOPED_TRACE(saver.name);
        const std::string path = dir.file(saver.name);
        int code;
        {
            FileSizeLimit limit(300);
            code = saver.save(path.c_str(), &record);
        }
        EXPECT_EQ(QMV3_LEGACY_SAVE_WRITE_FAILED, code);
        EXPECT_FALSE(qmv3test::FileExists(Written(path, saver)));
    }
}

TEST_F(IoFaults, OlderSaversIntoAFolderThatCannotBeMade) {
    const std::string blocker = dir.file("plain-file");
    qmv3test::WriteFileBytes(blocker, {1, 2, 3});
    for (const Saver& saver : OlderSavers()) {
        SCOPED_TRACE(saver.name);
        for (const std::string& folder : {blocker, dir.file("missing-folder")}) {
            const std::string path = folder + "/" + saver.name;
            EXPECT_EQ(saver.openFailure, saver.save(path.c_str(), &record));
            EXPECT_FALSE(qmv3test::FileExists(Written(path, saver)));
        }
    }
    EXPECT_EQ(3u, qmv3test::ReadFileBytes(blocker).size());
}

}  // namespace
