// Sequence files under I/O faults: saves of every kind past the file size limit, into a folder that
// cannot exist and onto /dev/full give the documented code and leave nothing; every kind truncated
// at every byte offset loads with an error, or (where the kind allows) as a shorter equal sequence.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/file_size_limit.h"
#include "common/temp_dir.h"
#include "faults/fault_fixtures.h"
#include "gtest/gtest.h"

namespace {

using qmv3faults::MakeSequence;
using qmv3test::FileSizeLimit;

struct Kind {
    const char* name;
    unsigned frames;
};
const Kind kKinds[] = {{"run.imc2", 3}, {"run.bkc2", 2}, {"run.imm", 3},
                       {"run.imc", 3},  {"run.bkc", 2},  {"one.bkg", 1}};

class SequenceIo : public ::testing::Test {
  protected:
    void SetUp() override { qmSetVerbose(0); }
    void TearDown() override { qmFreeBunch(&sequence); }
    int save(const std::string& path) {
        return qmSaveImagesToFileEx(&sequence, path.c_str(), nullptr, 0, nullptr, nullptr);
    }
    void makeSequence(unsigned frames) {
        qmFreeBunch(&sequence);
        sequence = MakeSequence(frames, 24, 16, 1, QMV3_FORMAT_GRAY);
        // Noise, so that compressed kinds are not much smaller than the pixels.
        for (unsigned f = 0; f < frames; ++f)
            for (int i = 0; i < 24 * 16; ++i)
                sequence.imageArray[f].frameBuffer[i] = static_cast<unsigned char>(((i + 1) * (f + 3) * 7919) >> 4);
    }
    qmv3test::TempDir dir;
    QMBUNCHOFIMAGES sequence{};
};

TEST_F(SequenceIo, SavesPastTheFileSizeLimitLeaveNothing) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        makeSequence(kind.frames);
        const std::string path = dir.file(kind.name);
        int code;
        {
            FileSizeLimit limit(200);
            code = save(path);
        }
        EXPECT_EQ(-5, code);
        EXPECT_FALSE(qmv3test::FileExists(path));
    }
}

TEST_F(SequenceIo, SavesIntoAFolderThatCannotBeMadeLeaveNothing) {
    const std::string blocker = dir.file("plain-file");
    qmv3test::WriteFileBytes(blocker, {1, 2, 3});
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        makeSequence(kind.frames);
        for (const std::string& folder : {blocker, dir.file("missing-folder")}) {
            const std::string path = folder + "/" + kind.name;
            EXPECT_EQ(-4, save(path));
            EXPECT_FALSE(qmv3test::FileExists(path));
        }
    }
}

TEST_F(SequenceIo, DevFullIsNeverOverwritten) {
    makeSequence(2);
    // The sequence format never overwrites a file; the device stays.
    EXPECT_EQ(-14, save("/dev/full"));
    struct stat info;
    EXPECT_EQ(0, stat("/dev/full", &info));
    // Older kinds through a link to the device: the write fails and only the link goes.
    for (const char* name : {"full.imm", "full.imc"}) {
        const std::string link = dir.file(name);
        ASSERT_EQ(0, symlink("/dev/full", link.c_str()));
        EXPECT_EQ(-5, save(link));
        EXPECT_NE(0, lstat(link.c_str(), &info));
        EXPECT_EQ(0, stat("/dev/full", &info));
    }
}

// A truncated file loads with an error, or as the first frames of the original, each equal to it.
void ExpectTruncationsHandled(const std::string& path, const QMBUNCHOFIMAGES& original, const std::string& name) {
    const std::vector<unsigned char> whole = qmv3test::ReadFileBytes(path);
    ASSERT_GT(whole.size(), 0u);
    const std::string cut = path + ".cut" + name.substr(name.find('.'));
    for (size_t length = 0; length < whole.size(); length += length < 256 ? 1 : 31) {
        qmv3test::WriteFileBytes(cut, std::vector<unsigned char>(whole.begin(), whole.begin() + length));
        char message[256];
        qmCheckFileFormat(cut.c_str(), message, sizeof message);
        QMBUNCHOFIMAGES loaded{};
        const int code = qmLoadImagesFromFileEx(cut.c_str(), &loaded, nullptr, nullptr, message, sizeof message);
        if (code != QMV3_LOAD_OK) {
            ASSERT_LT(code, 0) << length;
            ASSERT_EQ(0u, loaded.numFrames) << length;
            ASSERT_EQ(nullptr, loaded.imageArray) << length;
            continue;
        }
        EXPECT_LT(loaded.numFrames, original.numFrames) << "a cut at " << length << " loaded whole";
        for (uint32_t i = 0; i < loaded.numFrames && i < original.numFrames; ++i) {
            const DIMAGE& a = loaded.imageArray[i];
            const DIMAGE& b = original.imageArray[i];
            ASSERT_EQ(a.frameHeader.appendedFrameSize, b.frameHeader.appendedFrameSize) << length;
            EXPECT_EQ(0, std::memcmp(a.frameBuffer, b.frameBuffer, b.frameHeader.appendedFrameSize)) << length;
        }
        qmFreeBunch(&loaded);
    }
}

TEST_F(SequenceIo, EveryKindTruncatedAtEveryOffset) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        makeSequence(kind.frames);
        const std::string path = dir.file(kind.name);
        ASSERT_EQ(0, save(path));
        ExpectTruncationsHandled(path, sequence, kind.name);
    }
}

}  // namespace
