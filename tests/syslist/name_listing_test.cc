// The exported name-listing calls: argument checks, the count-then-fetch protocol, the results in
// file order, and what a list that cannot be loaded leaves behind.
#include <gtest/gtest.h>

#include <cstring>

#include "qmv3/qmv3.h"
#include "syslist_fixture.h"

namespace {

using namespace syslisttest;

class NameListing : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string sources = Source("Cam5=50", "PCVision") + Source("Cam1=10", "PCVision") +
                                    Source("Cam3=30", "ProsilicaGigE") + Source("Cam2=20", "PCVision") +
                                    Source("Cam4=40", "DirectShow");
        const std::string sgps = Sgp("SgpZ", "PCVision") + Sgp("SgpY", "ProsilicaGigE") + Sgp("SgpX", "DirectShow");
        path = dir.file("system.xml");
        Write(path, Document(Components(sources, sgps), "Plant", "ContextOfThePlant"));
    }

    static void Write(const std::string& file, const std::string& xml) {
        qmv3test::WriteFileBytes(file, std::vector<unsigned char>(xml.begin(), xml.end()));
    }

    qmv3test::TempDir dir;
    std::string path;
};

TEST_F(NameListing, MissingArgumentsGiveZero) {
    NAME64 names[2];
    unsigned int count = 2;
    EXPECT_EQ(qmGetAllRawVideoServerNames(path.c_str(), nullptr, names, nullptr), QMV3_SYSLIST_NULL_ARGUMENT);
    EXPECT_EQ(qmGetAllRawVideoServerNames(nullptr, nullptr, names, &count), QMV3_SYSLIST_NULL_ARGUMENT);
    EXPECT_EQ(qmGetAllImageSourceNames(path.c_str(), names, nullptr, nullptr), QMV3_SYSLIST_NULL_ARGUMENT);
    EXPECT_EQ(qmGetAllImageSourceNames(nullptr, names, nullptr, &count), QMV3_SYSLIST_NULL_ARGUMENT);
    EXPECT_EQ(count, 2u);
}

TEST_F(NameListing, ServerNamesCountThenFetch) {
    char context[64];
    unsigned int count = 0;
    EXPECT_EQ(qmGetAllRawVideoServerNames(path.c_str(), context, nullptr, &count), QMV3_SYSLIST_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(context, "ContextOfThePlant");

    NAME64 names[3];
    memset(names, '#', sizeof names);
    count = 2;
    EXPECT_EQ(qmGetAllRawVideoServerNames(path.c_str(), nullptr, names, &count), QMV3_SYSLIST_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(names[0].name, "SgpZ");
    EXPECT_STREQ(names[1].name, "SgpY");
    EXPECT_EQ(names[2].name[0], '#');
}

TEST_F(NameListing, ImageSourcesInFileOrderWithIDs) {
    unsigned int count = 0;
    EXPECT_EQ(qmGetAllImageSourceNames(path.c_str(), nullptr, nullptr, &count), QMV3_SYSLIST_OK);
    ASSERT_EQ(count, 5u);
    NAME64 names[5];
    NAME64I ids[5];
    EXPECT_EQ(qmGetAllImageSourceNames(path.c_str(), names, ids, &count), QMV3_SYSLIST_OK);
    ASSERT_EQ(count, 5u);
    const char* expected[] = {"Cam5", "Cam1", "Cam3", "Cam2", "Cam4"};
    const uint32_t expectedIDs[] = {50, 10, 30, 20, 40};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(names[i].name, expected[i]);
        EXPECT_STREQ(ids[i].name, expected[i]);
        EXPECT_EQ(ids[i].ID, expectedIDs[i]);
    }
    // IDs alone, with room for fewer than there are.
    memset(ids, 0, sizeof ids);
    count = 3;
    EXPECT_EQ(qmGetAllImageSourceNames(path.c_str(), nullptr, ids, &count), QMV3_SYSLIST_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(ids[2].ID, 30u);
    EXPECT_EQ(ids[3].ID, 0u);
    count = 0;
    EXPECT_EQ(qmGetAllImageSourceNames(path.c_str(), names, ids, &count), QMV3_SYSLIST_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(NameListing, UnloadableListGivesMinusOneAndTouchesNothing) {
    const std::string bad = dir.file("bad.xml");
    Write(bad, Document(Components(Source("Cam1=10", "PCVision"), Sgp("S", "PCVision") + "<SGP><Name>T</Name></SGP>")));
    char context[64] = "untouched";
    unsigned int count = 7;
    qmv3test::StreamCapture capture(STDERR_FILENO);
    EXPECT_EQ(qmGetAllRawVideoServerNames(bad.c_str(), context, nullptr, &count), QMV3_SYSLIST_LOAD_FAILED);
    EXPECT_EQ(qmGetAllImageSourceNames(dir.file("absent.xml").c_str(), nullptr, nullptr, &count),
              QMV3_SYSLIST_LOAD_FAILED);
    const std::string err = capture.End();
    EXPECT_STREQ(context, "untouched");
    EXPECT_EQ(count, 7u);
    EXPECT_NE(err.find(Line("<SGPs>/<SGP> #002 Type node not found.")), std::string::npos) << err;
    EXPECT_NE(err.find(Line("[syslist] Syslist file contents could not be validated. File=\"" + bad + "\"")),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("[syslist] Opening up syslist on startup failed."), std::string::npos);
}

}  // namespace
