// Allocation failures in the older files, the BMP export and import, the sequence conversion and the
// analysis algorithms: every failed allocation gives the documented code, loses nothing and leaves
// no partial file.
#include <cstdio>
#include <string>

#include "faults/fault_fixtures.h"
#include "faults/fault_runner.h"

namespace {

using qmv3faults::MakeRecord;
using qmv3faults::MakeSequence;
using qmv3faults::Operation;
using qmv3faults::RunUntilSuccess;

class OlderAllocation : public ::testing::Test {
  protected:
    void SetUp() override { qmSetVerbose(0); }
    void TearDown() override {
        qmFreeBunch(&sequence);
        free_vidinfhdr(&record);
    }
    qmv3test::TempDir dir;
    QMBUNCHOFIMAGES sequence{};
    VIDINFHDR record{};
};

TEST_F(OlderAllocation, OlderFilesDirectly) {
    const struct {
        int type;
        const char* name;
        int frames;
    } kinds[] = {{1, "a.imm", 2}, {2, "a.imc", 2}, {3, "a.bkg", 1}, {4, "a.bkc", 1}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        free_vidinfhdr(&record);
        record = MakeRecord(kind.frames, 6, 4, 16, kind.type);
        const std::string path = dir.file(kind.name);
        Operation save;
        save.run = [&] { return save_file(kind.type, path.c_str(), &record); };
        // -4: the saver could not take the file name, so it created nothing.
        save.failureCodes = {-6, -4};
        save.outputs = {path};
        RunUntilSuccess(save);
        VIDINFHDR read;
        initialize_vidinfhdr(&read);
        Operation load;
        load.run = [&] { return load_file(kind.type, path.c_str(), &read); };
        load.failureCodes = {-7};
        load.correct = [&] { return read.numframes == kind.frames && read.width == 6; };
        load.release = [&] {
            free_vidinfhdr(&read);
            initialize_vidinfhdr(&read);
        };
        EXPECT_GT(RunUntilSuccess(load), 1u);
    }
}

TEST_F(OlderAllocation, BmpExportAndImport) {
    record = MakeRecord(2, 7, 3, 8, 1);
    const std::string prefix = dir.file("frame");
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(prefix.c_str(), &record, 1, 0));
    const std::vector<unsigned char> complete = qmv3test::ReadFileBytes(prefix + "1.bmp");
    // An export that fails keeps the frames it finished (-5), but never a partly written file.
    Operation save;
    save.prepare = [&] {
        std::remove((prefix + "1.bmp").c_str());
        std::remove((prefix + "2.bmp").c_str());
    };
    save.run = [&] { return save_bmp_files(prefix.c_str(), &record, 1, 0); };
    save.failureCodes = {-5};
    save.release = [&] {
        for (const char* name : {"1.bmp", "2.bmp"}) {
            if (!qmv3test::FileExists(prefix + name)) continue;
            EXPECT_EQ(complete.size(), qmv3test::ReadFileBytes(prefix + name).size()) << name;
        }
    };
    EXPECT_GT(RunUntilSuccess(save), 0u);
    VIDINFHDR read;
    initialize_vidinfhdr(&read);
    Operation load;
    const std::string first = prefix + "1.bmp";
    load.run = [&] { return load_bmp_file(first.c_str(), &read, 1); };
    load.failureCodes = {-7};
    load.correct = [&] { return read.numframes == 1 && read.width == 7 && read.height == 3; };
    load.release = [&] {
        free_vidinfhdr(&read);
        initialize_vidinfhdr(&read);
    };
    EXPECT_GT(RunUntilSuccess(load), 0u);
}

TEST_F(OlderAllocation, SequenceConversionInBothModes) {
    for (int lowMemory = 0; lowMemory <= 1; ++lowMemory) {
        SCOPED_TRACE(lowMemory);
        int kept = -1;
        Operation convert;
        convert.prepare = [&] {
            qmFreeBunch(&sequence);
            sequence = MakeSequence(4, 6, 4, 1, QMV3_FORMAT_GRAY);
            initialize_vidinfhdr(&record);
        };
        convert.run = [&] { return qmBunchToVIDINFHDREx2(&sequence, &record, nullptr, 0, lowMemory, &kept); };
        convert.successCode = 1;
        convert.failureCodes = {-3};
        convert.correct = [&] { return record.numframes == 4 && kept == (lowMemory ? 0 : 1); };
        convert.release = [&] {
            free_vidinfhdr(&record);
            initialize_vidinfhdr(&record);
            // A failure keeps the sequence whole, or (move mode past the first image) frees it.
            EXPECT_EQ(kept == 1 ? 4u : 0u, sequence.numFrames);
        };
        EXPECT_GT(RunUntilSuccess(convert), 2u);
    }
}

TEST_F(OlderAllocation, AnalysisAlgorithms) {
    VIDINFHDR second{}, map{};
    Operation significance;
    significance.prepare = [&] {
        record = MakeRecord(3, 6, 4, 8, 1);
        second = MakeRecord(3, 6, 4, 8, 1);
        initialize_vidinfhdr(&map);
    };
    significance.run = [&] { return calculate_significance_map(&record, &second, &map, 1.5); };
    significance.failureCodes = {-6};
    significance.release = [&] {
        free_vidinfhdr(&record);
        free_vidinfhdr(&second);
        free_vidinfhdr(&map);
    };
    EXPECT_GT(RunUntilSuccess(significance), 0u);

    for (int method = 1; method <= 2; ++method) {
        Operation reduce;
        reduce.prepare = [&] { record = MakeRecord(3, 6, 4, 16, 1); };
        reduce.run = [&, method] { return convert_format(&record, 3, method); };
        reduce.failureCodes = {-6};
        reduce.correct = [&] { return record.numframes == 1 && record.type == 3; };
        reduce.release = [&] { free_vidinfhdr(&record); };
        EXPECT_GT(RunUntilSuccess(reduce), 0u) << "method " << method;
    }
    Operation filters;
    filters.prepare = [&] { record = MakeRecord(3, 6, 4, 16, 1); };
    filters.run = [&] {
        int a = xrayfilter(&record), b = normalizeframes(&record), c = normalizeframes_rect(&record, 1, 1, 4, 3);
        return a < 0 ? a : b < 0 ? b : c;
    };
    filters.failureCodes = {-1};
    filters.release = [&] { free_vidinfhdr(&record); };
    RunUntilSuccess(filters);
}

}  // namespace
