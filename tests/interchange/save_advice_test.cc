// What the faces say before a save: the refusal of an output name of no kind, and the sentence naming
// the metadata an older kind loses (only what the sequence holds, nothing for a sequence loaded from an
// older file).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "files/files_test_util.h"

namespace {

using filestest::MakeSequence;
using filestest::SequenceGuard;

TEST(SaveAdvice, OutputNamesOfNoKindAreRefusedWithTheExtensions) {
    const struct {
        const char* name;
        int result;
        int kind;
        const char* message;
        int (*check)(const char*, int*, char*, size_t) = qmCheckOutputName;
    } cases[] = {
        {"run.TIFF", QMV3_SAVE_OK, QMV3_FILE_TIFF, ""},
        {"dir.x/run.bkc", QMV3_SAVE_OK, QMV3_FILE_IMC_BKC, ""},
        {"out.xyz", QMV3_SAVE_PARAMETER_ERROR, QMV3_FILE_UNKNOWN,
         "'out.xyz': the name of OUT must end in one of .imc2, .bkc2, .imm, .imc, .bkc, .bkg, .tif, .tiff, .png, .h5, "
         ".hdf5"},
        {"imm", QMV3_SAVE_PARAMETER_ERROR, QMV3_FILE_UNKNOWN, "'imm': the name of OUT must end in one of .imc2,"},
        {"run.H5", QMV3_SAVE_OK, QMV3_FILE_HDF5, "", qmCheckExportName},
        {"run.imm", QMV3_SAVE_PARAMETER_ERROR, QMV3_FILE_UNKNOWN,
         "'run.imm': export writes .tif, .tiff, .png, .h5 and .hdf5 files", qmCheckExportName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int kind = -2;
        char message[256] = "x";
        EXPECT_EQ(c.result, c.check(c.name, &kind, message, sizeof message));
        EXPECT_EQ(c.kind, kind);
        EXPECT_EQ(0, std::string(message).rfind(c.message, 0)) << message;
    }
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmCheckOutputName(nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmCheckExportName(nullptr, nullptr, nullptr, 0));
}

TEST(SaveAdvice, TheLossNamesWhatTheSequenceHoldsAndTheOlderKindDrops) {
    qmv3test::TempDir dir;
    QMBUNCHOFIMAGES older = MakeSequence(2, 8, 4, 1, QMV3_FORMAT_GRAY);
    SequenceGuard olderGuard(older);
    const std::string olderFile = dir.file("older.imm");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&older, olderFile.c_str()));
    enum Held { kNumbers = 1, kTimes = 2, kPort = 4, kScale = 8, kAll = 15 };
    const struct {
        int held;
        const char* output;
        const char* source;
        const char* timeName;
        const char* sentence;
    } cases[] = {
        {kAll, "t.imm", nullptr, "the conversion time",
         "t.imm keeps no frame numbers, time stamps, camera port name or scale: they become 1..3, the conversion "
         "time, the file name and 1 mm per pixel"},
        {kTimes | kPort | kScale, "b.BKC", nullptr, "the conversion time",
         "b.BKC keeps no time stamps, camera port name or scale: they become the conversion time, the file name "
         "and 1 mm per pixel"},
        {kNumbers | kTimes, "c.bkg", nullptr, nullptr,
         "c.bkg keeps no frame numbers or time stamps: they become 1..3 and the time of saving"},
        {kPort, "d.imc", nullptr, nullptr, "d.imc keeps no camera port name: it becomes the file name"},
        {0, "e.imm", nullptr, nullptr, ""},
        {kAll, "f.imc2", nullptr, nullptr, ""},
        {kAll, "g.tif", nullptr, nullptr, ""},
        {kAll, "h.imc", olderFile.c_str(), nullptr, ""},  // an older source has nothing of its own to lose
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        QMBUNCHOFIMAGES images = MakeSequence(3, 8, 4, 1, QMV3_FORMAT_GRAY, (c.held & kNumbers) ? 5 : 1);
        SequenceGuard guard(images);
        for (unsigned i = 0; i < images.numFrames; ++i) {
            DIMAGE& image = images.imageArray[i];
            if (!(c.held & kTimes)) image.sourceHeader.timestampSeconds = 0;
            if (c.held & kPort) std::strcpy(image.sourceHeader.cameraPortName, "Cam");
            if (!(c.held & kScale)) image.frameHeader.xScale = image.frameHeader.yScale = 1.0f;
        }
        char text[512] = "x";
        const int length = qmDescribeSaveLoss(&images, c.source, c.output, c.timeName, text, sizeof text);
        EXPECT_EQ(std::string(c.sentence), text);
        EXPECT_EQ(static_cast<int>(std::strlen(c.sentence)), length);
        // Too small a buffer gets nothing, and the length it would take.
        char small[8] = "x";
        EXPECT_EQ(length, qmDescribeSaveLoss(&images, c.source, c.output, c.timeName, small, sizeof small));
        EXPECT_STREQ("", small);
    }
    char text[8];
    EXPECT_EQ(-1, qmDescribeSaveLoss(nullptr, nullptr, "t.imm", nullptr, text, sizeof text));
    EXPECT_EQ(-1, qmDescribeSaveLoss(&older, nullptr, nullptr, nullptr, text, sizeof text));
}

}  // namespace
