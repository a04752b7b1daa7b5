// The three rule sets: every rule triggered once, with its whole sentence, plus the records that pass.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "image/cdimage.h"
#include "image_fixture.h"

namespace {

using Edit = std::function<void(DIMAGE&)>;

struct RuleCase {
    const char* name;
    Edit edit;
    const char* sentence;  // null: the record passes
};

void OneBased(DIMAGE& d) {
    d.frameHeader.imageFlags |= CDIMAGE::FLAG_XYSTART_ONE_BASED;
    d.frameHeader.xStart = d.frameHeader.yStart = 1;
}

void Frame(DIMAGE& d, int afs) {
    d.frameHeader.appendedFrameSize = afs;
    d.sourceHeader.totalLength = afs > 0 ? afs + 188u : 188u;
}

// Checks a 4 x 3 GRAY image of one byte per pixel after each edit.
void RunTable(const std::vector<RuleCase>& cases, bool restricted) {
    for (const RuleCase& c : cases) {
        std::vector<unsigned char> bytes(12, 0);
        DIMAGE record = imagetest::MakeRecord(CDIMAGE::FORMAT_GRAY, 4, 3, 1, bytes);
        c.edit(record);
        std::string message = "before";
        bool valid =
            restricted ? CDIMAGE::checkRestrictedValidity(record, message) : CDIMAGE::checkValidity(record, message);
        EXPECT_EQ(valid, c.sentence == nullptr) << c.name;
        EXPECT_EQ(message, c.sentence != nullptr ? c.sentence : "before") << c.name;
    }
}

TEST(ImageValidity, GeneralRulesGiveTheirSentences) {
    const std::vector<RuleCase> cases = {
        {"valid", [](DIMAGE&) {}, nullptr},
        {"1 tag",
         [](DIMAGE& d) {
             d.sourceHeader.baseTag[3] = 'X';
             d.frameHeader.sourceWidth = 0;
             d.frameHeader.bytesPerPixel = 9;
         },
         "Img.sourceHeader.baseTag invalid (0x58564d51 not equal 0x33564d51(QMV3))."},
        {"2 width", [](DIMAGE& d) { d.frameHeader.sourceWidth = 0; },
         "Img.frameHeader.sourceWidth=0 is invalid (must be >=1)."},
        {"3 height", [](DIMAGE& d) { d.frameHeader.sourceHeight = -5; },
         "Img.frameHeader.sourceHeight=-5 is invalid (must be >=1)."},
        {"4 aoi width", [](DIMAGE& d) { d.frameHeader.aoiWidth = -2; },
         "Img.frameHeader.aoiWidth=-2 is invalid (must be >=-1)."},
        {"5 one-based",
         [](DIMAGE& d) {
             OneBased(d);
             d.frameHeader.sourceWidth = d.frameHeader.aoiWidth = 640;
             d.frameHeader.xStart = 2;
         },
         "In case Img.frameHeader.aoiWidth is bigger than zero, Img.frameHeader.aoiWidth(640) + "
         "xStart-1(1,ONE_BASED) must be <= Img.frameHeader.sourceWidth(640)."},
        {"5 zero-based",
         [](DIMAGE& d) {
             d.frameHeader.aoiWidth = 3;
             d.frameHeader.xStart = 2;
         },
         "In case Img.frameHeader.aoiWidth is bigger than zero, Img.frameHeader.aoiWidth(3) + "
         "xStart(2,ZERO_BASED) must be <= Img.frameHeader.sourceWidth(4)."},
        {"6 aoi height", [](DIMAGE& d) { d.frameHeader.aoiHeight = -3; },
         "Img.frameHeader.aoiHeight=-3 is invalid (must be >=-1)."},
        {"7 one-based",
         [](DIMAGE& d) {
             OneBased(d);
             d.frameHeader.aoiHeight = 3;
             d.frameHeader.yStart = 2;
         },
         "In case Img.frameHeader.aoiHeight is bigger than zero, Img.frameHeader.aoiHeight(3) + "
         "yStart-1(1,ONE_BASED) must be <= Img.frameHeader.sourceHeight(3)."},
        {"7 zero-based",
         [](DIMAGE& d) {
             d.frameHeader.aoiHeight = 2;
             d.frameHeader.yStart = 2;
         },
         "In case Img.frameHeader.aoiHeight is bigger than zero, Img.frameHeader.aoiHeight(2) + "
         "yStart(2,ZERO_BASED) must be <= Img.frameHeader.sourceHeight(3)."},
        {"8.1", [](DIMAGE& d) { d.frameHeader.xStart = -1; },
         "Img.frameHeader.xStart=-1 must be bigger than or equal zero (imageFlag XYSTART_ONE_BASED is not set)."},
        {"8.2", [](DIMAGE& d) { d.frameHeader.yStart = -1; },
         "Img.frameHeader.yStart=-1 must be bigger than or equal zero (imageFlag XYSTART_ONE_BASED is not set)."},
        {"8.3", [](DIMAGE& d) { d.frameHeader.xStart = 4; },
         "Img.frameHeader.xStart(4,XYSTART_ZERO_BASED) must be smaller than Img.frameHeader.sourceWidth(4)."},
        {"8.4", [](DIMAGE& d) { d.frameHeader.xStart = 1; },
         "If Img.frameHeader.xStart(1,XYSTART_ZERO_BASED) is bigger than zero, Img.frameHeader.aoiWidth(-1) must be "
         "greater than zero."},
        {"8.5", [](DIMAGE& d) { d.frameHeader.yStart = 3; },
         "Img.frameHeader.yStart(3,XYSTART_ZERO_BASED) must be smaller than Img.frameHeader.sourceHeight(3)."},
        {"8.6", [](DIMAGE& d) { d.frameHeader.yStart = 1; },
         "If Img.frameHeader.yStart(1,XYSTART_ZERO_BASED) is bigger than zero, Img.frameHeader.aoiHeight(-1) must be "
         "greater than zero."},
        {"9.1", [](DIMAGE& d) { OneBased(d), d.frameHeader.xStart = 0; },
         "Img.frameHeader.xStart=0 must be bigger than or equal one (imageFlag XYSTART_ONE_BASED is set)."},
        {"9.2", [](DIMAGE& d) { OneBased(d), d.frameHeader.yStart = 0; },
         "Img.frameHeader.yStart=0 must be bigger than or equal one (imageFlag XYSTART_ONE_BASED is set)."},
        {"9.3", [](DIMAGE& d) { OneBased(d), d.frameHeader.xStart = 5; },
         "Img.frameHeader.xStart(5,XYSTART_ONE_BASED) must be smaller than or equal Img.frameHeader.sourceWidth(4)."},
        {"9.4", [](DIMAGE& d) { OneBased(d), d.frameHeader.xStart = 2; },
         "If Img.frameHeader.xStart(2,XYSTART_ONE_BASED) is bigger than one, Img.frameHeader.aoiWidth(-1) must be "
         "greater than zero."},
        {"9.5", [](DIMAGE& d) { OneBased(d), d.frameHeader.yStart = 4; },
         "Img.frameHeader.yStart(4,XYSTART_ONE_BASED) must be smaller than or equal Img.frameHeader.sourceHeight(3)."},
        {"9.6", [](DIMAGE& d) { OneBased(d), d.frameHeader.yStart = 2; },
         "If Img.frameHeader.yStart(2,XYSTART_ONE_BASED) is bigger than one, Img.frameHeader.aoiHeight(-1) must be "
         "greater than zero."},
        {"10", [](DIMAGE& d) { d.frameHeader.bytesPerPixel = 5; }, "Img.frameHeader.bytesPerPixel=5 must be [1..4]."},
        {"11", [](DIMAGE& d) { d.frameHeader.sourceFormat = -1; },
         "Img.frameHeader.sourceFormat=-1 is out of bounds ([0..12]."},
        {"12", [](DIMAGE& d) { d.frameHeader.imageFormat = 13; },
         "Img.frameHeader.imageFormat=13 is out of bounds ([0..12]."},
        {"13.1 before null buffer",
         [](DIMAGE& d) {
             Frame(d, 13);
             d.frameBuffer = nullptr;
         },
         "In case Img.frameHeader.appendedFrameSize(13) is bigger than zero, it must be less than or equal "
         "Img.frameBufferSize(12)."},
        {"13.2", [](DIMAGE& d) { d.frameBuffer = nullptr; },
         "In case Img.frameHeader.appendedFrameSize(12) is bigger than zero, aImg.frameBuffer must not be NULL."},
        {"13.3",
         [](DIMAGE& d) {
             Frame(d, 27262977);
             d.frameBufferSize = 27262977;
         },
         "In case Img.frameHeader.appendedFrameSize(27262977) is bigger than zero, it must not be bigger than "
         "MAX_TRANSPORT_SIZE(27262976)."},
        {"13.4", [](DIMAGE& d) { d.sourceHeader.totalLength = 4000000000u; },
         "In case Img.frameHeader.appendedFrameSize(12) is bigger than zero, aImg.sourceHeader.totalLength(4000000000) "
         "must be equal to sizeof(hdrImage)=188 plus appendedFrameSize."},
        {"14",
         [](DIMAGE& d) {
             Frame(d, -4);
             d.sourceHeader.totalLength = 184;
         },
         "In case Img.frameHeader.appendedFrameSize(-4) is not bigger than zero, aImg.sourceHeader.totalLength(184) "
         "must be equal to sizeof(hdrImage)=188."},
        {"15 no frame bytes", [](DIMAGE& d) { Frame(d, 0); },
         "Img.frameHeader.imageFormat is GRAY(Img.frameHeader.BytesPerPixel=1). In case Img.frameHeader.imageFormat "
         "is RGB(Img.frameHeader.BytesPerPixel=3) or GRAY(Img.frameHeader.BytesPerPixel=1 or 2), "
         "Img.frameHeader.appendedFrameSize(0) must be bigger or equal getAppendedWidth(4)= times "
         "getAppendedHeight(3) times getBytesPerPixel(1)."},
        // 65536 x 65536 wraps to 0 in 32 bits; the product must still be far too big.
        {"15 product beyond 32 bits", [](DIMAGE& d) { d.frameHeader.sourceWidth = d.frameHeader.sourceHeight = 65536; },
         "Img.frameHeader.imageFormat is GRAY(Img.frameHeader.BytesPerPixel=1). In case Img.frameHeader.imageFormat "
         "is RGB(Img.frameHeader.BytesPerPixel=3) or GRAY(Img.frameHeader.BytesPerPixel=1 or 2), "
         "Img.frameHeader.appendedFrameSize(12) must be bigger or equal getAppendedWidth(65536)= times "
         "getAppendedHeight(65536) times getBytesPerPixel(1)."},
        {"RGB of 3 bytes needs its frame",
         [](DIMAGE& d) { d.frameHeader.imageFormat = 1, d.frameHeader.bytesPerPixel = 3; },
         "Img.frameHeader.imageFormat is RGB(Img.frameHeader.BytesPerPixel=3). In case Img.frameHeader.imageFormat "
         "is RGB(Img.frameHeader.BytesPerPixel=3) or GRAY(Img.frameHeader.BytesPerPixel=1 or 2), "
         "Img.frameHeader.appendedFrameSize(12) must be bigger or equal getAppendedWidth(4)= times "
         "getAppendedHeight(3) times getBytesPerPixel(3)."},
        {"JPEG without frame bytes", [](DIMAGE& d) { d.frameHeader.imageFormat = 5, Frame(d, 0); }, nullptr},
        {"GRAY of 4 bytes is not sized", [](DIMAGE& d) { d.frameHeader.bytesPerPixel = 4; }, nullptr},
        {"one-based at 1,1", OneBased, nullptr},
        {"one-based area ends on the last row",
         [](DIMAGE& d) {
             OneBased(d);
             d.frameHeader.aoiHeight = 1;
             d.frameHeader.yStart = 3;
             Frame(d, 4);
         },
         nullptr},
        {"one-based full-width area",
         [](DIMAGE& d) {
             OneBased(d);
             d.frameHeader.aoiWidth = 4;
         },
         nullptr},
        {"area of 2 x 2 at 2,1",
         [](DIMAGE& d) {
             d.frameHeader.aoiWidth = d.frameHeader.aoiHeight = 2;
             d.frameHeader.xStart = 2;
             d.frameHeader.yStart = 1;
             Frame(d, 4);
         },
         nullptr},
    };
    RunTable(cases, false);
}

TEST(ImageValidity, RestrictedRulesGiveTheirSentences) {
    const std::vector<RuleCase> cases = {
        {"valid", [](DIMAGE&) {}, nullptr},
        {"1", [](DIMAGE& d) { d.frameHeader.imageFormat = 5; },
         "Img.frameHeader.imageFormat(5) must be either FORMAT_GRAY(0) or FORMAT_RGB(1)."},
        {"2.1", [](DIMAGE& d) { d.frameHeader.imageFormat = 1; },
         "In case aImg.frameHeader.imageFormat(1) is FORMAT_RGB(1), Img.frameHeader.bytesPerPixel(1) must be equal 3."},
        {"2.2",
         [](DIMAGE& d) {
             d.frameHeader.imageFormat = 1, d.frameHeader.bytesPerPixel = 3;
             d.frameHeader.effectiveBitsPerPixel = 16;
         },
         "In case Img.frameHeader.imageFormat(1) is FORMAT_RGB(1) and Img.frameHeader.bytesPerPixel is 3 and "
         "Img.frameHeader.effectiveBitsPerPixel != -1, Img.frameHeader.effectiveBitsPerPixel(16) must be 24."},
        {"3.1", [](DIMAGE& d) { d.frameHeader.bytesPerPixel = 3; },
         "In case Img.frameHeader.imageFormat(0) is FORMAT_GRAY(0), Img.frameHeader.bytesPerPixel(3) must be [1..2]."},
        {"3.3", [](DIMAGE& d) { d.frameHeader.effectiveBitsPerPixel = 7; },
         "In case Img.frameHeader.imageFormat(0) is FORMAT_GRAY(0) and m_Img.frameHeader.bytesPerPixel is 1 and "
         "aImg.frameHeader.effectiveBitsPerPixel != -1, aImg.frameHeader.effectiveBitsPerPixel=7 must be 8."},
        {"3.4",
         [](DIMAGE& d) {
             d.frameHeader.bytesPerPixel = 2;
             d.frameHeader.effectiveBitsPerPixel = 8;
         },
         "In case Img.frameHeader.imageFormat(0) is FORMAT_GRAY(0) and Img.frameHeader.bytesPerPixel is 2 and "
         "Img.frameHeader.effectiveBitsPerPixel != -1, Img.frameHeader.effectiveBitsPerPixel=8 must be [9..16]."},
        {"3.4 unset bits pass", [](DIMAGE& d) { d.frameHeader.bytesPerPixel = 2, Frame(d, 24); }, nullptr},
        {"4", [](DIMAGE& d) { Frame(d, 11); },
         "Img.frameHeader.appendedFrameSize(11) must be bigger or equal getAppendedWidth(4)= times "
         "getAppendedHeight(3) times getBytesPerPixel(1)."},
    };
    RunTable(cases, true);
}

TEST(ImageValidity, MemberFormsRunTheGeneralRulesFirst) {
    std::vector<unsigned char> bytes(12, 0);
    DIMAGE record = imagetest::MakeRecord(CDIMAGE::FORMAT_GRAY, 4, 3, 1, bytes);
    CDIMAGE image(record);
    EXPECT_TRUE(image.checkValidity());
    EXPECT_TRUE(image.checkRestrictedValidity());
    EXPECT_TRUE(image.checkValidityQMV2(false));
    image.m_Img.frameHeader.imageFormat = CDIMAGE::FORMAT_HUFFYUV;
    EXPECT_FALSE(image.checkValidityQMV2(false));
    EXPECT_TRUE(image.checkValidityQMV2(true));
    EXPECT_FALSE(image.checkRestrictedValidity());
    image.m_Img.frameHeader.imageFormat = CDIMAGE::FORMAT_GRAY;
    image.m_Img.sourceHeader.totalLength = 1;  // fails the general rules only
    EXPECT_FALSE(image.checkRestrictedValidity());
    EXPECT_FALSE(image.checkValidityQMV2(true));
}

}  // namespace

namespace {

TEST(ValuesAboveEffectiveBits, CountsAndNamesTheFirstOne) {
    const struct {
        const char* name;
        int format, bytesPerPixel, effectiveBits;
        std::vector<uint16_t> values;  // one per pixel, in a row
        int count;
        unsigned first;  // 99: left unchanged
    } cases[] = {
        {"12 of 16 bits", CDIMAGE::FORMAT_GRAY, 2, 12, {0, 4095, 5000, 4096, 7}, 2, 5000},
        {"16 of 16 bits", CDIMAGE::FORMAT_GRAY, 2, 16, {65535, 0}, 0, 99},
        {"-1: all the bits", CDIMAGE::FORMAT_GRAY, 2, -1, {65535, 0}, 0, 99},
        {"6 of 8 bits", CDIMAGE::FORMAT_GRAY, 1, 6, {63, 64, 255}, 2, 64},
        {"8 of 8 bits", CDIMAGE::FORMAT_GRAY, 1, 8, {255, 0}, 0, 99},
        {"RGB", CDIMAGE::FORMAT_RGB, 3, 24, {255, 255, 255}, 0, 99},
        {"JPEG", CDIMAGE::FORMAT_JPEG, 1, 8, {255, 0}, QMV3_VALUE_COUNT_REFUSED, 99},
    };
    for (const auto& row : cases) {
        std::vector<unsigned char> bytes(row.values.begin(), row.values.end());  // one byte each
        if (row.bytesPerPixel == 2) bytes = imagetest::Words(row.values);        // host order, as grabbed
        const int width = static_cast<int>(bytes.size()) / row.bytesPerPixel;
        DIMAGE record = imagetest::MakeRecord(row.format, width, 1, row.bytesPerPixel, bytes);
        record.frameHeader.effectiveBitsPerPixel = row.effectiveBits;
        unsigned first = 99;
        EXPECT_EQ(qmCountValuesAboveEffectiveBits(&record, &first), row.count) << row.name;
        EXPECT_EQ(first, row.first) << row.name;
    }
    EXPECT_EQ(qmCountValuesAboveEffectiveBits(nullptr, nullptr), QMV3_VALUE_COUNT_REFUSED);
}

}  // namespace
