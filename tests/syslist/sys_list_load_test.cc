// Loading system lists: the load messages, group expansion, type assignment, name uniqueness and
// the case rules of the lookups.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "syslist_fixture.h"

namespace {

using namespace syslisttest;

const std::string kSources = Source("CamA=11", "PCVision") + Source("CamB=12", "ProsilicaGigE") +
                             Source("CamC=13", "PCVision") + Source("CamD=14", "ProsilicaGigE");

std::vector<std::string> ServedBy(CSysList& list, const char* sgp) {
    NAME64I out[16];
    unsigned int n = 16;
    EXPECT_EQ(list.returnImageSourcesAvailableAtSGP(sgp, out, n), 1);
    std::vector<std::string> names;
    for (unsigned int i = 0; i < n; ++i) names.push_back(std::string(out[i].name, strnlen(out[i].name, 64)));
    return names;
}

struct LoadCase {
    const char* what;
    std::string xml;
    const char* message;
};

TEST(SysListLoad, ContentFailuresAndTheirMessages) {
    const std::string sgp = Sgp("SgpA", "PCVision");
    // 200 characters pass validation, but the loader takes at most 199.
    std::string list200;
    while (list200.size() < 200) list200 += "CamA:";
    const std::vector<LoadCase> cases = {
        {"200-character group list", Document(Components(kSources + Group("G", list200), sgp)),
         "[syslist] Invalid syslist. This should have been catched by validation before!"},
        {"referenced group without sources",
         Document(Components(kSources + Group("G", "::"), Sgp("S", "PCVision", Element("oImageSourceGroupName", "G")))),
         "[syslist] Internal memory structures of syslist corrupted."},
        {"image source and SGP named alike", Document(Components(kSources, Sgp("cAMb", "PCVision"))),
         "[syslist] At least one (unique) ID or Name exist more than once. This is illegal."},
        {"group and Raw2Jpeg named alike",
         Document(Components(kSources + Group("Shared", "CamA"), sgp, "", Server("Raw2Jpeg", "SHARED"))),
         "[syslist] At least one (unique) ID or Name exist more than once. This is illegal."},
        {"Raw2Jpeg names unknown SGP", Document(Components(kSources, sgp, "", Server("Raw2Jpeg", "R", "SgpA:SgpX"))),
         "[syslist] One of the Raw2Jpeg components reference nonexisting SGP Name."},
        {"GS2CL names unknown SGP", Document(Components(kSources, sgp, Server("GS2CL", "G", "SgpX"))),
         "[syslist] One of the GS2CL components reference nonexisting SGP Name."},
        {"SGP names unknown source",
         Document(Components(kSources, Sgp("S", "PCVision", Element("oImageSourceName", "CamX")))),
         "[syslist] One of the SGP components reference nonexisting Image Source Name."},
        {"SGP names unknown group",
         Document(Components(kSources, Sgp("S", "PCVision", Element("oImageSourceGroupName", "GX")))),
         "[syslist] One of the SGP components reference nonexisting Image Source Group Name."},
        {"no image source", Document(Components(Group("G", "CamA"), sgp)),
         "[syslist] At least one Image Source must exist."},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.what);
        qmv3test::TempDir dir;
        CSysList list;
        const LoadResult result = LoadText(list, dir, c.xml);
        EXPECT_FALSE(result.loaded);
        EXPECT_NE(result.err.find(Line(c.message)), std::string::npos) << result.err;
        unsigned int n = 99;
        EXPECT_EQ(list.returnNumImageSources(n), 0);
        EXPECT_EQ(list.existImageSource("CamA"), 0) << "a failed load leaves nothing behind";
    }
}

TEST(SysListLoad, GroupWithUnknownSourceWarnsThenFails) {
    qmv3test::TempDir dir;
    CSysList list;
    const LoadResult result =
        LoadText(list, dir,
                 Document(Components(kSources + Group("Grp", "CamA:CamZ"),
                                     Sgp("S", "PCVision", Element("oImageSourceGroupName", "Grp")))));
    EXPECT_FALSE(result.loaded);
    EXPECT_NE(result.err.find(
                  Line("[syslist] Warning: Imagesourcegroup (\"Grp\") contains non-existant image source (\"CamZ\").")),
              std::string::npos)
        << result.err;
    EXPECT_NE(
        result.err.find(Line("[syslist] One of the Image Source groups reference nonexisting Image Source Name.")),
        std::string::npos);
}

TEST(SysListLoad, OpenAndValidationFailuresNameTheFile) {
    qmv3test::TempDir dir;
    CSysList list;
    StderrLog log;
    const std::string missing = dir.file("absent.xml");
    qmv3test::StreamCapture capture(STDERR_FILENO);
    EXPECT_FALSE(list.LoadSysList(missing.c_str(), true, log.log));
    EXPECT_FALSE(list.LoadSysList(nullptr, true, log.log));
    std::string err = capture.End();
    EXPECT_NE(err.find(Line("[syslist] Opening up syslist on startup failed. File=\"" + missing + "\"")),
              std::string::npos)
        << err;
    EXPECT_NE(err.find(Line("[syslist] Opening up syslist on startup failed. File=\"(null)\"")), std::string::npos);

    const LoadResult invalid = LoadText(list, dir, Document(Components(kSources, "")));
    EXPECT_FALSE(invalid.loaded);
    EXPECT_NE(
        invalid.err.find(Line(
            "<QMv3>/<SGPs>/<SGP> not found a single time. This is invalid. One or more tags like this must exist.")),
        std::string::npos);
    EXPECT_NE(
        invalid.err.find(Line("[syslist] Syslist file contents could not be validated. File=\"" + invalid.path + "\"")),
        std::string::npos)
        << invalid.err;
}

TEST(SysListLoad, WithoutLogErrorsOnlyTheValidatorSpeaks) {
    qmv3test::TempDir dir;
    CSysList list;
    const LoadResult invalid = LoadText(list, dir, Document(Components(kSources, "")), false);
    EXPECT_FALSE(invalid.loaded);
    EXPECT_NE(invalid.err.find("<QMv3>/<SGPs>/<SGP> not found"), std::string::npos);
    EXPECT_EQ(invalid.err.find("[syslist]"), std::string::npos) << invalid.err;

    const LoadResult bound = LoadText(list, dir,
                                      Document(Components(kSources + Group("G", "CamA:CamZ"),
                                                          Sgp("S", "PCVision", Element("oImageSourceGroupName", "G")))),
                                      false);
    EXPECT_FALSE(bound.loaded);
    EXPECT_EQ(bound.err, "");
}

TEST(SysListLoad, GroupExpansionSkipsSourcesAlreadyBound) {
    qmv3test::TempDir dir;
    CSysList list;
    const std::string children = Element("oImageSourceName", "CamB") + Element("oImageSourceGroupName", "grp");
    const LoadResult result = LoadText(
        list, dir, Document(Components(kSources + Group("Grp", "camb:CamD:CamA"), Sgp("S", "PCVision", children))));
    ASSERT_TRUE(result.loaded) << result.err;
    EXPECT_NE(result.err.find(Line("[syslist] Warning: Imagesourcegroup contains image source (\"camb\") that is "
                                   "already bound to that SGP (\"S\").")),
              std::string::npos)
        << result.err;
    EXPECT_EQ(ServedBy(list, "S"), (std::vector<std::string>{"CamB", "CamD", "CamA"}));
    unsigned int index = 7;
    EXPECT_EQ(list.existImageSourceGroup("Grp", index), 0) << "groups are released after expansion";
}

TEST(SysListLoad, SGPsWithoutSourcesServeEverySourceOfTheirType) {
    qmv3test::TempDir dir;
    CSysList list;
    const LoadResult result =
        LoadText(list, dir,
                 Document(Components(kSources, Sgp("ByType", "pcvision") +
                                                   Sgp("Named", "PCVision", Element("oImageSourceName", "CamC")) +
                                                   Sgp("Nothing", "DirectShow"))));
    ASSERT_TRUE(result.loaded) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ServedBy(list, "ByType"), (std::vector<std::string>{"CamA", "CamC"}));
    EXPECT_EQ(ServedBy(list, "Named"), (std::vector<std::string>{"CamC"}));
    EXPECT_TRUE(ServedBy(list, "Nothing").empty());
    tSGPTYPES type = SGPTYPE_NONE;
    EXPECT_EQ(list.returnSGPType("ByType", type), 1);
    EXPECT_EQ(type, SGPTYPE_PCVISION);
    EXPECT_STREQ(list.getName(), "Plant");
    EXPECT_STREQ(list.getZantContext(), "CTX1");
}

TEST(SysListLoad, LookupCaseRules) {
    qmv3test::TempDir dir;
    CSysList list;
    ASSERT_TRUE(LoadText(list, dir, Document(Components(kSources, Sgp("SgpA", "PCVision")))).loaded);
    unsigned int id = 0;
    unsigned int index = 0;
    tSGPTYPES type = SGPTYPE_NONE;
    EXPECT_EQ(list.returnImageSourceID("CamB", id), 1);
    EXPECT_EQ(id, 12u);
    EXPECT_EQ(list.returnImageSourceID("camb", id), 0);
    EXPECT_EQ(list.returnImageSourceSGPType("CAMB", type), 0);
    EXPECT_EQ(list.returnSGPType("sgpa", type), 0);
    EXPECT_EQ(list.existImageSource("camb", index), 1);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(list.existSGP("SGPA"), 1);
    EXPECT_EQ(list.returnImageSourceSGPType(14u, type), 1);
    EXPECT_EQ(type, SGPTYPE_PROSILICA_GIGE);
    EXPECT_EQ(list.returnImageSourceSGPType(15u, type), 0);
}

TEST(SysListLoad, ReloadReplacesAndFailedReloadEmpties) {
    qmv3test::TempDir dir;
    CSysList list;
    ASSERT_TRUE(LoadText(list, dir, Document(Components(kSources, Sgp("Old", "PCVision")))).loaded);
    ASSERT_TRUE(LoadText(list, dir, Document(Components(kSources, Sgp("New", "PCVision")), "Other")).loaded);
    EXPECT_EQ(list.existSGP("Old"), 0);
    EXPECT_EQ(list.existSGP("New"), 1);
    EXPECT_STREQ(list.getName(), "Other");
    EXPECT_FALSE(LoadText(list, dir, "<QMv3>").loaded);
    unsigned int n = 0;
    EXPECT_EQ(list.returnNumSGPs(n), 0);
    EXPECT_EQ(list.existSGP("New"), 0);
    EXPECT_STREQ(list.getName(), "");
}

TEST(SysListLoad, ManyRecordsGrowTheTables) {
    std::string sources;
    std::string sgps;
    std::string servers;
    for (int i = 0; i < 40; ++i) {
        sources += Source("Cam" + std::to_string(i) + "=" + std::to_string(i), "PCVision");
        sgps += Sgp("Sgp" + std::to_string(i), "PCVision");
        servers += Server("GS2CL", "G" + std::to_string(i), "Sgp1:Sgp2");
    }
    qmv3test::TempDir dir;
    CSysList list;
    ASSERT_TRUE(LoadText(list, dir, Document(Components(sources, sgps, servers))).loaded);
    unsigned int n = 0;
    EXPECT_EQ(list.returnNumImageSourcesAvailableAtSGP("Sgp39", n), 1);
    EXPECT_EQ(n, 40u);
    EXPECT_EQ(ServedBy(list, "sgp39").size(), 16u) << "room of 16";
    EXPECT_EQ(list.returnNumGS2CLs(n), 1);
    EXPECT_EQ(n, 40u);
}

}  // namespace

namespace {

TEST(SysListLoad, MessageTextsByCodeMagnitude) {
    EXPECT_STREQ(SysListXMLAdvancedErrorString(-7),
                 "At least one (unique) ID or Name exist more than once. This is illegal.");
    EXPECT_STREQ(SysListXMLAdvancedErrorString(13), "At least one SGP component must exist.");
    EXPECT_STREQ(SysListXMLAdvancedErrorString(-15), "Unknown Error.");
    EXPECT_STREQ(SysListXMLAdvancedErrorString(INT_MIN), "Unknown Error.");
}

}  // namespace
