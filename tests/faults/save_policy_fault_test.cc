// The save policy under faults: a replacing save of every kind that fails at any write (the file size
// limit stops it there) or at any allocation leaves the old file byte for byte and nothing beside it;
// the save that finally succeeds replaces it.

#include <cstring>
#include <string>
#include <vector>

#include "common/file_size_limit.h"
#include "common/temp_dir.h"
#include "faults/fault_fixtures.h"
#include "faults/fault_runner.h"

namespace {

using qmv3faults::MakeSequence;
using qmv3faults::Operation;
using qmv3faults::RunUntilSuccess;

struct Kind {
    const char* name;
    const char* written;  // the file the old one stands for (a PNG series: its first file)
    int bytesPerPixel;
    int format;
};

const Kind kKinds[] = {
    {"r.imc2", "r.imc2", 2, QMV3_FORMAT_GRAY}, {"r.imm", "r.imm", 1, QMV3_FORMAT_GRAY},
    {"r.bkc", "r.bkc", 2, QMV3_FORMAT_GRAY},   {"r.tif", "r.tif", 3, QMV3_FORMAT_RGB},
    {"r.png", "r-1.png", 2, QMV3_FORMAT_GRAY}, {"r.h5", "r.h5", 2, QMV3_FORMAT_GRAY},
};

class SavePolicyFaults : public ::testing::Test {
  protected:
    void SetUp() override { qmSetVerbose(0); }
    void TearDown() override { qmFreeBunch(&sequence); }
    int Save(const std::string& path) {
        return qmSaveImagesToFileEx2(&sequence, path.c_str(), QMV3_SAVE_FLAG_REPLACE, nullptr, 0, nullptr, nullptr);
    }
    qmv3test::TempDir dir;
    QMBUNCHOFIMAGES sequence{};
};

TEST_F(SavePolicyFaults, AFailureAtEveryWriteKeepsTheOldFile) {
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        qmFreeBunch(&sequence);
        sequence = MakeSequence(2, 48, 32, kind.bytesPerPixel, kind.format);
        const std::string written = dir.file(kind.written);
        qmv3test::WriteFileBytes(written, old);
        const size_t names = qmv3test::FolderEntries(dir.path()).size();
        // Every limit from nothing up to the whole file, in steps small enough to stop each write.
        int code = -1;
        for (rlim_t limit = 0; code != QMV3_SAVE_OK; limit += 97) {
            ASSERT_LT(limit, 1u << 20) << "the save never completed";
            {
                qmv3test::FileSizeLimit stop(limit);
                code = Save(dir.file(kind.name));
            }
            if (code == QMV3_SAVE_OK) break;
            EXPECT_EQ(old, qmv3test::ReadFileBytes(written)) << "limit " << limit;
            EXPECT_EQ(names, qmv3test::FolderEntries(dir.path()).size()) << "limit " << limit;
        }
        EXPECT_NE(old, qmv3test::ReadFileBytes(written));
        EXPECT_EQ(names + (std::string(kind.name) == "r.png" ? 1 : 0), qmv3test::FolderEntries(dir.path()).size());
    }
}

TEST_F(SavePolicyFaults, AFailedAllocationKeepsTheOldFile) {
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        qmFreeBunch(&sequence);
        sequence = MakeSequence(2, 8, 4, kind.bytesPerPixel, kind.format);
        const std::string written = dir.file(kind.written);
        Operation save;
        size_t names = 0;
        save.prepare = [&] {
            qmv3test::WriteFileBytes(written, old);
            names = qmv3test::FolderEntries(dir.path()).size();
        };
        const std::string path = dir.file(kind.name);
        save.run = [&] { return Save(path); };
        save.failureCodes = {QMV3_SAVE_OUT_OF_MEMORY, QMV3_SAVE_WRITE_FAILED, QMV3_SAVE_METADATA_ERROR,
                             QMV3_SAVE_TRANSCODING_FAILED, QMV3_SAVE_OPEN_FAILED, QMV3_SAVE_COMPRESSION_FAILED};
        // A failed run keeps the old file; a successful one replaced it.
        save.correct = [&] { return qmv3test::ReadFileBytes(written) != old; };
        save.release = [&] {
            if (qmv3test::ReadFileBytes(written) == old) {
                EXPECT_EQ(names, qmv3test::FolderEntries(dir.path()).size());
            }
        };
        EXPECT_GT(RunUntilSuccess(save), 0u);
    }
}

}  // namespace
