// The system list validator: every message a document can trigger, with the element numbering, and
// the text rules at their limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "syslist/sgp_types.h"
#include "syslist/xml_validation.h"
#include "syslist_fixture.h"

namespace {

using namespace syslisttest;

const std::string kGoodSources = Source("CamA=1", "PCVision") + Source("CamB=2", "ProsilicaGigE");
const std::string kGoodSgp = Sgp("SgpA", "PCVision");

std::string WithSources(const std::string& sources) { return Document(Components(sources, kGoodSgp)); }
std::string WithSgps(const std::string& sgps) { return Document(Components(kGoodSources, sgps)); }
std::string WithGS2CLs(const std::string& servers) { return Document(Components(kGoodSources, kGoodSgp, servers)); }
std::string WithRaw2Jpegs(const std::string& servers) {
    return Document(Components(kGoodSources, kGoodSgp, "", servers));
}
std::string Root(const std::string& inner) { return "<?xml version=\"1.0\"?>" + Element("QMv3", inner); }

struct Validated {
    int result;
    std::string err;
};

Validated Validate(const std::string& xml, bool logErrors = true) {
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    StderrLog log;
    qmv3test::StreamCapture capture(STDERR_FILENO);
    const int result = ValidateConfigurationXML_SysList(doc, logErrors, log.log);
    return {result, capture.End()};
}

struct Case {
    const char* what;
    std::string xml;
    const char* message;
};

const std::string k65(65, 'n');

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}
const std::string k64(64, 'n');

std::vector<Case> InvalidDocuments() {
    const std::string header = Element("Name", "Plant") + Element("ZantContext", "CTX");
    return {
        {"no QMv3 root", "<?xml version=\"1.0\"?><Other/>", "Main Tag 'QMv3' missing."},
        {"no Name", Root(Element("ZantContext", "CTX")),
         "Tag QMv3>/<Name> missing or malformed valid:String[len=1..64]."},
        {"empty Name", Root("<Name></Name>" + Element("ZantContext", "CTX")),
         "Tag QMv3>/<Name> missing or malformed valid:String[len=1..64]."},
        {"Name of 65", Root(Element("Name", k65) + Element("ZantContext", "CTX")),
         "Tag QMv3>/<Name> missing or malformed valid:String[len=1..64]."},
        {"no context", Root(Element("Name", "Plant")),
         "Mandatory tag <QMv3>/<ZantContext> missing or malformed (valid:String[len=1..32])."},
        {"context of 33", Root(Element("Name", "Plant") + Element("ZantContext", std::string(33, 'c'))),
         "Mandatory tag <QMv3>/<ZantContext> missing or malformed (valid:String[len=1..32])."},
        {"no ComponentList", Root(header), "Tag <QMv3>/<Components> not found."},
        {"no ImageSources", Root(header + Element("ComponentList", Element("SGPs", kGoodSgp))),
         "Tag <QMv3>/<ComponentList>/<ImageSources> not found."},
        {"second NameID, numbered apart from groups",
         WithSources(Group("G", "CamA") + kGoodSources +
                     Element("ImageSource", Element("NameID", "C=3") + Element("NameID", "D=4"))),
         "<ImageSources>/<ImageSource> #003 /NameID was found multiple times."},
        {"second SGPType",
         WithSources(Element("ImageSource", Element("NameID", "C=3") + Element("SGPType", "PCVision") +
                                                Element("SGPType", "PCVision"))),
         "<ImageSources>/<ImageSource> #001 /SGPType was found multiple times."},
        {"unknown SGPType", WithSources(kGoodSources + Source("C=3", "Firewire")),
         "<ImageSources>/<ImageSource> #003 /SGPType is malformed or invalid (valid: special strings[len<=32]), e.g. "
         "PCVision, ProsilicaGigE, ..."},
        {"no NameID", WithSources(Element("ImageSource", Element("SGPType", "PCVision"))),
         "<ImageSources>/<ImageSource> #001 /NameID was not found."},
        {"no SGPType", WithSources(Source("A=1", "PCVision") + Element("ImageSource", Element("NameID", "B=2"))),
         "<ImageSources>/<ImageSource> #002 /SGPType was not found."},
        {"group with two Names",
         WithSources(kGoodSources + Group("G1", "CamA") +
                     Element("oImageSourceGroup",
                             Element("Name", "G2") + Element("Name", "G3") + Element("ImageSourceNames", "CamA"))),
         "<ImageSources>/<oImageSourceGroup> #002 /<Name> is missing or invalid (valid:String[len=1..64])."},
        {"group without Name",
         WithSources(kGoodSources + Element("oImageSourceGroup", Element("ImageSourceNames", "CamA"))),
         "<ImageSources>/<oImageSourceGroup> #001 /<Name> is missing or invalid (valid:String[len=1..64])."},
        {"group Name of 65", WithSources(kGoodSources + Group(k65, "CamA")),
         "<ImageSources>/<oImageSourceGroup> #001 /<Name> is missing or invalid (valid:String[len=1..64])."},
        {"names of 201", WithSources(kGoodSources + Group("G", std::string(201, 'a'))),
         "<ImageSources>/<oImageSourceGroup> #001 /<ImageSourceNames> is missing or invalid "
         "(valid:String[len=1..200])."},
        {"empty names",
         WithSources(kGoodSources + Element("oImageSourceGroup", Element("Name", "G") + "<ImageSourceNames/>")),
         "<ImageSources>/<oImageSourceGroup> #001 /<ImageSourceNames> is missing or invalid "
         "(valid:String[len=1..200])."},
        {"piece with =", WithSources(kGoodSources + Group("G", "a:b=c")),
         "<ImageSources>/<oImageSourceGroup> #001 /<ImageSourceNames>/<ImageSourceName> One of the single names is "
         "invalid (valid:String[1..64], no ':', no '=')."},
        {"piece of 65", WithSources(kGoodSources + Group("G", "a:" + k65)),
         "<ImageSources>/<oImageSourceGroup> #001 /<ImageSourceNames>/<ImageSourceName> One of the single names is "
         "invalid (valid:String[1..64], no ':', no '=')."},
        {"group without names", WithSources(kGoodSources + Element("oImageSourceGroup", Element("Name", "G"))),
         "<ImageSources>/<oImageSourceGroup> #001 /<ImageSourceNames>/<ImageSourceName> must contain at least one "
         "image source name."},
        {"no SGPs", Root(header + Element("ComponentList", Element("ImageSources", kGoodSources))),
         "<QMv3>/<SGPs>/<SGP> not found a single time. This is invalid. One or more tags like this must exist."},
        {"SGPs without SGP", WithSgps("<Other/>"),
         "<QMv3>/<SGPs>/<SGP> not found a single time. This is invalid. One or more tags like this must exist."},
        {"bad group name", WithSgps(Sgp("S", "PCVision", Element("oImageSourceGroupName", "a=b"))),
         "<SGPs>/<SGP> #001 one of the oImageSourceGroupName subtags is malformed (valid:String[1..64], no ':', no "
         "'=')."},
        {"bad source name", WithSgps(kGoodSgp + Sgp("S", "PCVision", Element("oImageSourceName", "a:b"))),
         "<SGPs>/<SGP> #002 one of the oImageSourceName subtags is malformed (valid:String[1..64], no ':', no '=')."},
        {"bad SGP Name", WithSgps(Sgp(k65, "PCVision")),
         "<SGPs>/<SGP> #001 Name node malformed (valid:String[1..64], no ':', no '=')."},
        {"second SGP Name", WithSgps(Element("SGP", Element("Name", "A") + Element("Name", "B"))),
         "<SGPs>/<SGP> #001 Name node found multiple times."},
        {"bad SGP Type", WithSgps(Sgp("S", "PC Vision")),
         "<SGPs>/<SGP> #001 Type node malformed/invalid (valid: special strings[len<=32]), e.g. PCVision, "
         "ProsilicaGigE, ...)."},
        {"second SGP Type",
         WithSgps(Element("SGP", Element("Name", "S") + Element("Type", "PCVision") + Element("Type", "PCVision"))),
         "<SGPs>/<SGP> #001 Type node found multiple times."},
        {"SGP without Name", WithSgps(Element("SGP", Element("Type", "PCVision"))),
         "<SGPs>/<SGP> #001 Name node not found."},
        {"third SGP without Type",
         WithSgps(Sgp("S1", "PCVision") + Sgp("S2", "PCVision") + Element("SGP", Element("Name", "S3"))),
         "<SGPs>/<SGP> #003 Type node not found."},
        {"GS2CL bad oSGPName", WithGS2CLs(Server("GS2CL", "G", "a=b")),
         "<oGS2CLs>/<GS2CL> #001 one of the oSGPName subtags is malformed. "},
        {"GS2CL bad Name", WithGS2CLs(Server("GS2CL", "G1") + Server("GS2CL", "a:b")),
         "<oGS2CLs>/<GS2CL> #002 Name node malformed (valid:String[1..64], no ':', no '=')."},
        {"GS2CL without Name", WithGS2CLs(Element("GS2CL", Element("oSGPName", "SgpA"))),
         "<oGS2CLs>/<GS2CL> #001 Name node not found."},
        {"GS2CL second Name", WithGS2CLs(Element("GS2CL", Element("Name", "A") + Element("Name", "B"))),
         "<oGS2CLs>/<GS2CL> #001 Name node found multiple times."},
        {"Raw2Jpeg bad oSGPName", WithRaw2Jpegs(Server("Raw2Jpeg", "R", k65)),
         "<oRaw2Jpegs>/<Raw2Jpeg> #001 one of the oSGPName subtags malformed (valid:String[1..64], no ':', no '=')."},
        {"Raw2Jpeg bad Name", WithRaw2Jpegs("<Raw2Jpeg><Name/></Raw2Jpeg>"),
         "<oRaw2Jpegs>/<Raw2Jpeg> #001 Name node malformed (valid:String[1..64], no ':', no '=')."},
        {"Raw2Jpeg without Name", WithRaw2Jpegs(Server("Raw2Jpeg", "R1") + "<Raw2Jpeg/>"),
         "<oRaw2Jpegs>/<Raw2Jpeg> #002 Name node not found."},
        {"Raw2Jpeg second Name", WithRaw2Jpegs(Element("Raw2Jpeg", Element("Name", "A") + Element("Name", "B"))),
         "<oRaw2Jpegs>/<Raw2Jpeg> #001 Name node found multiple times."},
    };
}

TEST(SysListValidation, EveryMessageADocumentCanTrigger) {
    for (const Case& c : InvalidDocuments()) {
        SCOPED_TRACE(c.what);
        const Validated v = Validate(c.xml);
        EXPECT_EQ(v.result, 0);
        EXPECT_EQ(v.err.find(Line(c.message)) == std::string::npos, false) << v.err;
        EXPECT_EQ(v.err.find("LTM]"), v.err.rfind("LTM]")) << "one line only: " << v.err;
    }
}

TEST(SysListValidation, BadNameIDsAreReportedWithTheirNumber) {
    // The two IDs beyond 32 bits would pass if they were narrowed before the range check.
    for (const std::string& nameID : std::vector<std::string>{"AB", "=55", "Cam:1=5", "Cam=100000000", "Cam=", "Cam",
                                                              "Cam=4294967301", "Cam=-4294967295", k65 + "=1"}) {
        SCOPED_TRACE(nameID);
        const Validated v = Validate(WithSources(Source("First=1", "PCVision") + Source(nameID, "PCVision")));
        EXPECT_EQ(v.result, 0);
        EXPECT_NE(v.err.find("<ImageSources>/<ImageSource> #002 /NameID is malformed or invalid"), std::string::npos)
            << v.err;
    }
}

TEST(SysListValidation, ValidDocumentsAtTheLimits) {
    const std::vector<Case> valid = {
        {"ID at the maximum, type in other case",
         WithSources(Source("FirstScreen=10203040", "prosilicagige") + Source("X=99999999", "PLEORA-EBUS")), ""},
        {"non-numeric ID reads as 0", WithSources(Source("Cam=abc", "PCVision")), ""},
        {"64-character names",
         Document(Components(Source(k64 + "=1", "PCVision"), Sgp(std::string(64, 's'), "PCVision"))), ""},
        {"empty piece skipped", WithSources(kGoodSources + Group("G", "CamA::CamB")), ""},
        {"200-character group list", WithSources(kGoodSources + Group("G", Repeat("abcdefghi:", 20))), ""},
        {"unknown elements and comments skipped", WithSources("<!--ImageSource-->ImageSource<Camera/>" + kGoodSources),
         ""},
        {"empty optional sections", Document(Components(kGoodSources, kGoodSgp, "<Other/>", "<Other/>")), ""},
    };
    for (const Case& c : valid) {
        SCOPED_TRACE(c.what);
        const Validated v = Validate(c.xml);
        EXPECT_EQ(v.result, 1);
        EXPECT_EQ(v.err, "");
    }
}

TEST(SysListValidation, SilentWithoutLogging) {
    const Validated v = Validate("<Other/>", false);
    EXPECT_EQ(v.result, 0);
    EXPECT_EQ(v.err, "");
}

TEST(SysListValidation, NullElementsAndUnknownCodes) {
    const struct {
        int code;
        const char* message;
    } rows[] = {
        {checkImageSource(nullptr), "<ImageSources>/<ImageSource> #004: Illegal ImageSource node."},
        {checkImageSourceGroup(nullptr), "<ImageSources>/<oImageSourceGroup> #004: Illegal oImageSourceGroup node."},
        {checkSGP(nullptr), "<SGPs>/<SGP> #004 Illegal SGP node."},
        {checkGS2CL(nullptr), "<oGS2CLs>/<GS2CL> #004 Illegal GS2CLnode"},
        {checkRaw2Jpeg(nullptr), "<oRaw2Jpegs>/<Raw2Jpeg> #004 Illegal Raw2Jpeg node"},
        {-38, "Unknown Error. (error code = -38)"},
        {0, "Unknown Error. (error code = 0)"},
        {INT_MIN, "Unknown Error. (error code = -2147483648)"},
    };
    for (const auto& row : rows) {
        char message[512];
        formatValidationMessage(row.code, 4, message, sizeof message);
        EXPECT_STREQ(message, row.message);
    }
    EXPECT_EQ(checkNameNode(nullptr), 0);
    EXPECT_EQ(checkNameIDNode(nullptr), 0);
    EXPECT_EQ(checkSGPTypeNode(nullptr), 0);
}

TEST(SysListTypes, TranslationBothWays) {
    const char* names[] = {"PCVision",          "ProsilicaGigE", "NI_IMAQ_PCI",   "DirectShow",
                           "AnimationPlayback", "JaiPulnixGigE", "LabVIEWToQMv3", "pleora-ebus"};
    for (uint32_t code = 1; code <= 8; ++code) {
        EXPECT_STREQ(translateSGPTypeToString(static_cast<tSGPTYPES>(code)), names[code - 1]);
        tSGPTYPES type = SGPTYPE_NONE;
        EXPECT_EQ(translateSGPStringToSGPType(names[code - 1], type), 1);
        EXPECT_EQ(type, code);
    }
    tSGPTYPES type = SGPTYPE_PCVISION;
    EXPECT_EQ(translateSGPStringToSGPType("jaipulnixgige", type), 1);
    EXPECT_EQ(type, SGPTYPE_JAIPULNIX_GIGE);
    EXPECT_EQ(translateSGPStringToSGPType("PCVision2", type), 0);
    EXPECT_EQ(translateSGPStringToSGPType(nullptr, type), 0);
    EXPECT_EQ(type, SGPTYPE_JAIPULNIX_GIGE);
    EXPECT_STREQ(translateSGPTypeToString(static_cast<tSGPTYPES>(0)), "Unknown SGP Type");
    EXPECT_STREQ(translateSGPTypeToString(static_cast<tSGPTYPES>(9)), "Unknown SGP Type");
}

}  // namespace
