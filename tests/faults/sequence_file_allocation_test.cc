// Allocation failures in saving and loading sequence files of every kind: every failed allocation
// gives the documented code, loses nothing and leaves no file.
#include <cstdio>
#include <string>

#include "faults/fault_fixtures.h"
#include "faults/fault_runner.h"

namespace {

using qmv3faults::MakeRecord;
using qmv3faults::MakeSequence;
using qmv3faults::Operation;
using qmv3faults::RunUntilSuccess;

class SequenceFileAllocation : public ::testing::Test {
  protected:
    void SetUp() override { qmSetVerbose(0); }
    void TearDown() override { qmFreeBunch(&sequence); }
    Operation sequenceSave(const std::string& name, std::set<int> failureCodes) {
        Operation save;
        const std::string path = dir.file(name);
        save.run = [this, path] { return qmSaveImagesToFileEx(&sequence, path.c_str(), nullptr, 0, nullptr, nullptr); };
        save.failureCodes = failureCodes;
        save.outputs = {path};
        return save;
    }
    Operation sequenceLoad(const std::string& name, std::set<int> failureCodes, unsigned frames) {
        Operation load;
        const std::string path = dir.file(name);
        load.run = [this, path] { return qmLoadImagesFromFileEx(path.c_str(), &loaded, nullptr, nullptr, nullptr, 0); };
        load.failureCodes = failureCodes;
        load.correct = [this, frames] { return loaded.numFrames == frames && loaded.imageArray != nullptr; };
        load.release = [this] { qmFreeBunch(&loaded); };
        return load;
    }
    qmv3test::TempDir dir;
    QMBUNCHOFIMAGES sequence{};
    QMBUNCHOFIMAGES loaded{};
};

TEST_F(SequenceFileAllocation, Imc2SaveAndLoad) {
    sequence = MakeSequence(3, 16, 8, 2, QMV3_FORMAT_GRAY);
    EXPECT_GT(RunUntilSuccess(sequenceSave("run.imc2", {-6, -15})), 0u);
    EXPECT_GT(RunUntilSuccess(sequenceLoad("run.imc2", {-6, -7}, 3)), 3u);
    qmFreeBunch(&sequence);
    sequence = MakeSequence(2, 5, 4, 3, QMV3_FORMAT_RGB);
    EXPECT_GT(RunUntilSuccess(sequenceSave("colour.bkc2", {-6, -15})), 0u);
    EXPECT_GT(RunUntilSuccess(sequenceLoad("colour.bkc2", {-6, -7}, 2)), 2u);
}

TEST_F(SequenceFileAllocation, OlderKindsSaveAndLoadThroughSequences) {
    const struct {
        const char* name;
        unsigned frames;
        int loadFailure;  // the sequence loader's code for a failed older loader
    } kinds[] = {{"run.imm", 3, -12}, {"run.imc", 3, -14}, {"run.bkc", 2, -14}, {"one.bkg", 1, -13}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        qmFreeBunch(&sequence);
        sequence = MakeSequence(kind.frames, 6, 4, 1, QMV3_FORMAT_GRAY);
        // -4: the older saver could not take the file name, so it created nothing.
        EXPECT_GT(RunUntilSuccess(sequenceSave(kind.name, {-6, -16, -4})), 0u);
        EXPECT_GT(RunUntilSuccess(sequenceLoad(kind.name, {kind.loadFailure, -15, -7}, kind.frames)), 0u);
    }
}

}  // namespace
