// Float metadata values: the writer refuses exactly the values whose text its reader would refuse,
// so that a saved sequence can always be loaded again.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/temp_dir.h"
#include "faults/fault_fixtures.h"
#include "files/metadata_sets.h"

namespace {

TEST(MetadataFloat, WriterRefusesWhatTheReaderRefuses) {
    const struct {
        double value;
        int written;
    } table[] = {{0.0125, 0}, {-1.0, 0}, {FLT_MAX, 0}, {INFINITY, -15}, {-INFINITY, -15}, {1e39, -15}};
    for (const auto& row : table) {
        FILE* stream = std::tmpfile();
        ASSERT_NE(nullptr, stream);
        EXPECT_EQ(row.written, _internal_write_metadata_set_to_file(stream, "scale_x_mm/px", row.value)) << row.value;
        EXPECT_EQ(row.written == 0 ? 252 : 0, std::ftell(stream)) << row.value;
        std::fclose(stream);
    }
}

TEST(MetadataFloat, SequenceWithInfiniteScaleIsNotSaved) {
    qmSetVerbose(0);
    qmv3test::TempDir dir;
    // One image: the sequence test compares scales between images, and infinity minus infinity is not close.
    QMBUNCHOFIMAGES images = qmv3faults::MakeSequence(1, 4, 3, 1, QMV3_FORMAT_GRAY);
    images.imageArray[0].frameHeader.xScale = images.imageArray[0].frameHeader.yScale = INFINITY;
    const std::string path = dir.file("inf.imc2");
    EXPECT_EQ(QMV3_SAVE_METADATA_ERROR, qmSaveImagesToFile(&images, path.c_str()));
    EXPECT_FALSE(qmv3test::FileExists(path));
    qmFreeBunch(&images);
}

}  // namespace
