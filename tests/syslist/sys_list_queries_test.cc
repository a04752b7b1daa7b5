// Queries on a loaded system list: the list protocol with too little room, the servers possible for
// an SGP, where an image source may be served, and the connection rule codes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "syslist_fixture.h"

namespace {

using namespace syslisttest;

const std::string k64(64, 'L');

class SysListQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string sources = Source("CamA=11", "PCVision") + Source("CamB=12", "ProsilicaGigE") +
                                    Source("CamC=13", "PCVision") + Source("CamD=14", "ProsilicaGigE") +
                                    Source(k64 + "=15", "DirectShow");
        const std::string sgps =
            Sgp("SgpA", "PCVision") + Sgp("SgpB", "ProsilicaGigE", Element("oImageSourceName", "CamB")) +
            Sgp("SgpC", "ProsilicaGigE", Element("oImageSourceName", "CamB") + Element("oImageSourceName", "CamD"));
        const std::string gs2cls =
            Server("GS2CL", "GAll") + Server("GS2CL", "GTwice", "SgpA:sgpa") + Server("GS2CL", "GB", "SgpB:SgpC:SgpA");
        const std::string raw2Jpegs = Server("Raw2Jpeg", "R1", "SgpA:SgpB:SgpC") + Server("Raw2Jpeg", "REmpty");
        const LoadResult result = LoadText(list, dir, Document(Components(sources, sgps, gs2cls, raw2Jpegs)));
        ASSERT_TRUE(result.loaded) << result.err;
    }

    qmv3test::TempDir dir;
    CSysList list;
};

// Names written to out, or "" for an entry left as it was (filled with '#').
std::vector<std::string> Names(const NAME64* out, unsigned int count) {
    std::vector<std::string> names;
    for (unsigned int i = 0; i < count; ++i) {
        names.push_back(out[i].name[0] == '#' ? "" : std::string(out[i].name, strnlen(out[i].name, 64)));
    }
    return names;
}

struct Lister {
    const char* what;
    std::function<int(NAME64*, unsigned int&)> call;
    std::vector<std::string> all;
};

TEST_F(SysListQueries, ListProtocolCountsAndCutsToTheRoom) {
    const std::vector<Lister> listers = {
        {"image sources",
         [&](NAME64* out, unsigned int& n) { return list.returnImageSources(out, n); },
         {"CamA", "CamB", "CamC", "CamD", k64}},
        {"SGPs", [&](NAME64* out, unsigned int& n) { return list.returnSGPs(out, n); }, {"SgpA", "SgpB", "SgpC"}},
        {"GS2CLs", [&](NAME64* out, unsigned int& n) { return list.returnGS2CLs(out, n); }, {"GAll", "GTwice", "GB"}},
        {"Raw2Jpegs", [&](NAME64* out, unsigned int& n) { return list.returnRaw2Jpegs(out, n); }, {"R1", "REmpty"}},
        {"SGPs at a GS2CL",
         [&](NAME64* out, unsigned int& n) { return list.returnSGPsAvailableAtGS2CL("gb", out, n); },
         {"SgpB", "SgpC", "SgpA"}},
    };
    for (const Lister& lister : listers) {
        SCOPED_TRACE(lister.what);
        unsigned int n = 0;
        EXPECT_EQ(lister.call(nullptr, n), 1);
        EXPECT_EQ(n, lister.all.size()) << "count query";
        NAME64 out[8];
        memset(out, '#', sizeof out);
        n = 0;
        EXPECT_EQ(lister.call(out, n), 1);
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(out[0].name[0], '#') << "no room, nothing written";
        n = 2;
        EXPECT_EQ(lister.call(out, n), 1);
        ASSERT_EQ(n, 2u);
        EXPECT_EQ(Names(out, 3), (std::vector<std::string>{lister.all[0], lister.all[1], ""}));
        n = 8;
        EXPECT_EQ(lister.call(out, n), 1);
        EXPECT_EQ(Names(out, n), lister.all);
    }
}

TEST_F(SysListQueries, FullLengthNamesAndIDs) {
    NAME64I out[6];
    memset(out, '#', sizeof out);
    unsigned int n = 6;
    ASSERT_EQ(list.returnImageSources(out, n), 1);
    ASSERT_EQ(n, 5u);
    EXPECT_EQ(std::string(out[4].name, 64), k64);
    EXPECT_EQ(out[4].ID, 15u);
    EXPECT_EQ(out[0].ID, 11u);
    EXPECT_EQ(out[5].name[0], '#');
    n = 6;
    ASSERT_EQ(list.returnImageSourcesAvailableAtSGP("SGPC", out, n), 1);
    ASSERT_EQ(n, 2u);
    EXPECT_STREQ(out[1].name, "CamD");
    EXPECT_EQ(out[1].ID, 14u);
    n = 1;
    EXPECT_EQ(list.returnImageSourcesAvailableAtSGP("SgpC", static_cast<NAME64*>(nullptr), n), 1);
    EXPECT_EQ(n, 1u) << "counting stops at the room";
}

TEST_F(SysListQueries, Raw2JpegListIsAllOrNothing) {
    NAME64 out[4];
    memset(out, '#', sizeof out);
    unsigned int n = 2;
    EXPECT_EQ(list.returnSGPsAvailableAtRaw2Jpeg("R1", out, n), 0);
    EXPECT_EQ(out[0].name[0], '#');
    n = 3;
    EXPECT_EQ(list.returnSGPsAvailableAtRaw2Jpeg("R1", out, n), 1);
    EXPECT_EQ(Names(out, n), (std::vector<std::string>{"SgpA", "SgpB", "SgpC"}));
    EXPECT_EQ(list.returnSGPsAvailableAtRaw2Jpeg("R1", nullptr, n), 0);
    n = 4;
    EXPECT_EQ(list.returnSGPsAvailableAtRaw2Jpeg("REmpty", out, n), 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(list.returnSGPsAvailableAtRaw2Jpeg("Nope", out, n), 0);
    EXPECT_EQ(list.returnNumSGPsAvailableAtRaw2Jpeg("r1", n), 1);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(list.returnNumSGPsAvailableAtGS2CL("GAll", n), 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(list.returnNumSGPsAvailableAtGS2CL("Nope", n), 0);
}

TEST_F(SysListQueries, ServersPossibleForAnSGP) {
    unsigned int n = 0;
    EXPECT_EQ(list.returnNumGS2CLsPossibleForSGP("SgpA", n), 1);
    EXPECT_EQ(n, 3u) << "servers, not entries";
    EXPECT_EQ(list.returnNumRaw2JpegsPossibleForSGP("sgpc", n), 1);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(list.returnNumGS2CLsPossibleForSGP("CamA", n), 0) << "not an SGP";

    NAME64 out[8];
    n = 8;
    EXPECT_EQ(list.returnGS2CLsPossibleForSGP("sgpa", out, n), 1);
    EXPECT_EQ(Names(out, n), (std::vector<std::string>{"GAll", "GTwice", "GTwice", "GB"}));
    n = 2;
    EXPECT_EQ(list.returnGS2CLsPossibleForSGP("SgpA", out, n), 1);
    EXPECT_EQ(n, 2u);
    // Without an array both forms count every entry instead of writing through a null pointer.
    n = 0;
    EXPECT_EQ(list.returnGS2CLsPossibleForSGP("SgpA", nullptr, n), 1);
    EXPECT_EQ(n, 4u);
    n = 0;
    EXPECT_EQ(list.returnRaw2JpegsPossibleForSGP("SgpB", nullptr, n), 1);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(list.returnGS2CLsPossibleForSGP("Nope", out, n), 0);
}

TEST_F(SysListQueries, LayersFillGS2CLsFirst) {
    unsigned int n = 0;
    EXPECT_EQ(list.returnNumLayersPossibleForSGP("SgpA", n), 1);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(list.returnNumLayersPossibleForSGP("Nope", n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(list.returnNumLayersPossibleForSGP(nullptr, n), 0);

    NAME64 out[8];
    memset(out, '#', sizeof out);
    n = 5;
    EXPECT_EQ(list.returnLayersPossibleForSGP("SgpA", out, n), 1);
    EXPECT_EQ(Names(out, 6), (std::vector<std::string>{"GAll", "GTwice", "GTwice", "GB", "R1", ""}));
    EXPECT_EQ(n, 5u);
    n = 0;
    EXPECT_EQ(list.returnLayersPossibleForSGP("SgpA", nullptr, n), 1);
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(list.returnLayersPossibleForSGP(nullptr, out, n), 0);
    EXPECT_EQ(list.returnLayersPossibleForSGP("Nope", out, n), 0);
}

TEST_F(SysListQueries, WhereAnImageSourceMayBeServed) {
    NAME64 out[4];
    memset(out, '#', sizeof out);
    unsigned int n = 1;
    EXPECT_EQ(list.returnSGPsWhereTheImageSourceMayBeAvailableAt("CamB", out, n), 1);
    EXPECT_EQ(n, 2u) << "more matches than room";
    EXPECT_EQ(Names(out, 2), (std::vector<std::string>{"SgpB", ""}));
    n = 4;
    EXPECT_EQ(list.returnSGPsWhereTheImageSourceMayBeAvailableAt("camb", out, n), 1);
    EXPECT_EQ(n, 0u) << "case-sensitive";
    n = 0;
    EXPECT_EQ(list.returnSGPsWhereTheImageSourceMayBeAvailableAt("CamB", out, n), 0);
    EXPECT_EQ(list.returnSGPsWhereTheImageSourceMayBeAvailableAt("", out, n), 0);
    EXPECT_EQ(list.returnSGPsWhereTheImageSourceMayBeAvailableAt(nullptr, out, n), 0);
    EXPECT_EQ(list.returnNumSGPsWhereTheImageSourceMayBeAvailableAt("CamA", n), 1);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(list.returnNumSGPsWhereTheImageSourceMayBeAvailableAt("CamB", n), 1);
    EXPECT_EQ(n, 2u);
}

TEST_F(SysListQueries, ConnectionRuleCodes) {
    const struct {
        const char* a;
        const char* b;
        int reason;
    } rows[] = {
        {"CamA", "SgpA", 0},  {"camd", "SGPC", 0},  {"CamA", "SgpB", -4},   {"CamA", "GAll", -3},
        {"SgpB", "GAll", 0},  {"SgpA", "GB", 0},    {"SgpC", "GTwice", -4}, {"SgpA", "R1", 0},
        {"SgpA", "CamA", -3}, {"GAll", "SgpC", 0},  {"GTwice", "SgpB", -4}, {"REmpty", "SgpB", 0},
        {"R1", "R1", -3},     {"Nope", "SgpA", -2}, {nullptr, "SgpA", -2},  {"GB", nullptr, -3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.a ? row.a : "null") + " at " + (row.b ? row.b : "null"));
        int reason = 99;
        EXPECT_EQ(list.isComponentAAllowedAtB(row.a, row.b, reason), row.reason == 0 ? 1 : 0);
        EXPECT_EQ(reason, row.reason);
        EXPECT_EQ(list.isComponentAAllowedAtB(row.a, row.b), row.reason == 0 ? 1 : 0);
    }
}

TEST(SysListQueriesUnloaded, EveryCheckedQueryFails) {
    CSysList list;
    unsigned int n = 5;
    NAME64 out[2];
    NAME64I outI[2];
    tSGPTYPES type = SGPTYPE_NONE;
    int reason = 99;
    const int results[] = {
        list.returnNumImageSources(n),
        list.returnNumSGPs(n),
        list.returnNumGS2CLs(n),
        list.returnNumRaw2Jpegs(n),
        list.returnImageSources(outI, n),
        list.returnSGPs(out, n),
        list.returnImageSourceSGPType(1u, type),
        list.returnImageSourcesAvailableAtSGP("S", out, n),
        list.returnGS2CLsPossibleForSGP("S", out, n),
        list.returnLayersPossibleForSGP("S", out, n),
        list.returnSGPsWhereTheImageSourceMayBeAvailableAt("C", out, n),
        list.isComponentAAllowedAtB("A", "B", reason),
    };
    for (int result : results) EXPECT_EQ(result, 0);
    EXPECT_EQ(reason, 99) << "the reason is left alone without a list";
    EXPECT_STREQ(list.getZantContext(), "");
    EXPECT_EQ(list.returnNumSGPsWhereTheImageSourceMayBeAvailableAt("C", n), 1) << "does not need a loaded list";
    EXPECT_EQ(n, 0u);
}

}  // namespace
