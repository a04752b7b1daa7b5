// Mode keyword decoding (conflicts, groups, separators, limits), mode texts, access bits, and the
// completion-code texts with their buffer and size protocols.
#include "zant/access_modes.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "qmv3/qmv3.h"
#include "zant.h"

namespace {

TEST(AccessModes, DecodeCurrentKeywords) {
    const std::string longest = std::string(195, ' ') + "TIMER";  // exactly 200 characters
    const std::string tooLong = std::string(196, ' ') + "TIMER";
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"CM_TIMER|CM_STREAM", 131},
        {"event, connect", 8198},
        {"timer syncnotify", 32771},
        {"Cm_Event", 6},
        {"\tTIMER\n|| ,NETWORK", 515},
        {"SYNCNOTIFY MCAST EVENT", 32768 | 512 | 6},
        {"TIMER|EVENT", -4},
        {"STREAM MCAST", -4},
        {"MCAST NETWORK", -4},
        {"TIMER TIMER", -4},
        {"CM_TIMER TIMER", -4},
        {"EVENT CONNECT STREAM", -4},
        {"TIMER SYNCNOTIFY SYNCNOTIFY", -4},
        {"STREAM", -5},
        {"SYNCNOTIFY", -5},
        {"FOO", -3},
        {"TIMER FOO", -3},
        {"CM_DATACHANGE", -3},  // only in the older table
        {"TIMERS", -3},
        {"", -2},
        {" |,\t\n", -2},
        {nullptr, -2},
        {longest.c_str(), 3},
        {tooLong.c_str(), -1},
    };
    for (const auto& c : cases) {
        const char* shown = c.text == nullptr ? "(null)" : c.text;
        EXPECT_EQ(c.expected, zantDecodeModeStringCMnew(c.text)) << '"' << shown << '"';
        EXPECT_EQ(c.expected, QMV3_INTERNAL_zantDecodeModeStringCMnew(c.text)) << '"' << shown << '"';
    }
}

TEST(AccessModes, DecodeWithDefault) {
    EXPECT_EQ(3, zantDecodeModeStringCMnew("FOO", 3));
    EXPECT_EQ(6, zantDecodeModeStringCMnew("EVENT", 3));
    EXPECT_EQ(99, zantDecodeModeStringCM("TIMER", 99));
    EXPECT_EQ(3, zantDecodeModeStringCM("CM_TIMER", 99));
    EXPECT_EQ(7, zantDecodeModeStringCA("", 7));
}

TEST(AccessModes, DecodeOlderTablesOrWithoutConflictChecks) {
    const struct {
        const char* text;
        int cm;
        int ca;
    } cases[] = {
        {"CM_TIMER CM_EVENT", 7, -3},  // no conflict check in the older form
        {"cm_datachange|CM_SYNCNOTIFY", 32770, -3},
        {"TIMER", -3, -3},  // no short names
        {"CA_READ,ca_write", -3, 3},
        {"CA_CONNECT CA_READ", -3, 8193},
        {"CM_CONNECT", 8192, -3},
        {"", -2, -2},
        {"||", -2, -2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.cm, zantDecodeModeStringCM(c.text)) << c.text;
        EXPECT_EQ(c.ca, zantDecodeModeStringCA(c.text)) << c.text;
    }
    EXPECT_EQ(-1, zantDecodeModeStringCA(std::string(201, ',').c_str()));
}

TEST(AccessModes, ModeToString) {
    const struct {
        int mode;
        bool shortNames;
        int result;
        const char* text;
    } cases[] = {
        {515, false, 1, "CM_TIMER|CM_BCAST|CM_MCAST"},
        {3, true, 1, "TIMER"},
        {131, true, 1, "TIMER|STREAM"},
        {131, false, 1, "CM_TIMER|CM_STREAM"},
        {0, false, 1, "CM_CANCEL"},
        {5 | 32768, true, 1, "RECEIVE|SYNCNOTIFY"},
        {6 | 0xFFF0, true, 1,
         "EVENT|NODUPLICATES|SEEKPATTERN|MISSPATTERN|STREAM|BCAST|MCAST|USEONERROR|RETRY|GROUPED|CONNECT|WAIT|"
         "SYNCNOTIFY"},
        {7, false, 0, "(error)"},
        {15 | 128, true, 0, "(error)"},
        {-1, true, 0, "(error)"},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(c.result, zantModeToString(c.mode, c.shortNames, out)) << c.mode;
        EXPECT_EQ(c.text, out) << c.mode;
    }
}

TEST(AccessModes, ModeToAccessBits) {
    const struct {
        int mode;
        int result;
        int access;  // 77 = left unchanged
    } cases[] = {
        {131, 1, 2049}, {8195, 1, 8193}, {640, 0, 77},  {6 | 512, 1, 513}, {128, 1, 2048},
        {3, 1, 1},      {0, 1, 0},       {8704, 0, 77}, {8320, 0, 77},     {32768 | 2, 1, 1},
    };
    for (const auto& c : cases) {
        int access = 77;
        EXPECT_EQ(c.result, zantCMtoCA(c.mode, access)) << c.mode;
        EXPECT_EQ(c.access, access) << c.mode;
        int exported = 77;
        EXPECT_EQ(c.result, QMV3_INTERNAL_zantCMtoCA(c.mode, &exported)) << c.mode;
        EXPECT_EQ(c.access, exported) << c.mode;
        EXPECT_EQ(c.result, QMV3_INTERNAL_zantCMtoCA(c.mode, nullptr)) << c.mode;
    }
}

TEST(AccessModes, ExportedModeToStringSizeProtocol) {
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    size_t size = 5;
    EXPECT_EQ(QMV3_MODE_TOO_SMALL, QMV3_INTERNAL_zantModeToString(3, 1, buffer, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ('Z', buffer[0]);
    EXPECT_EQ(QMV3_MODE_OK, QMV3_INTERNAL_zantModeToString(3, 1, buffer, &size));
    EXPECT_STREQ("TIMER", buffer);
    EXPECT_EQ(6u, size);
    size = 0;
    EXPECT_EQ(QMV3_MODE_TOO_SMALL, QMV3_INTERNAL_zantModeToString(131, 0, nullptr, &size));
    EXPECT_EQ(sizeof "CM_TIMER|CM_STREAM", size);
    EXPECT_EQ(QMV3_MODE_TOO_SMALL, QMV3_INTERNAL_zantModeToString(3, 1, buffer, nullptr));
    size = 3;
    EXPECT_EQ(QMV3_MODE_REFUSED, QMV3_INTERNAL_zantModeToString(7, 1, buffer, &size));
    EXPECT_EQ(3u, size);
}

TEST(AccessModes, ReturnCodeToStringInternal) {
    char buffer[64];
    const std::string success = cc2str(0);
    EXPECT_EQ(success, zantReturnCodeToString(0, buffer, sizeof buffer));
    EXPECT_STREQ(cc2str(23), zantReturnCodeToString(-23, buffer, sizeof buffer));
    EXPECT_STREQ(cc2str(103), zantReturnCodeToString(103, buffer, sizeof buffer));
    EXPECT_STREQ(cc2str(513), zantReturnCodeToString(-513, buffer, sizeof buffer));
    const int beyond = GetErrorListSize();
    EXPECT_EQ(std::to_string(beyond), zantReturnCodeToString(-beyond, buffer, sizeof buffer));
    EXPECT_STREQ("2147483648", zantReturnCodeToString(INT_MIN, buffer, sizeof buffer));
    // At most size - 2 characters.
    EXPECT_EQ(std::string(cc2str(23)).substr(0, 3), zantReturnCodeToString(23, buffer, 5));
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(buffer, zantReturnCodeToString(23, buffer, 1));
    EXPECT_EQ('Z', buffer[0]);
    EXPECT_EQ(nullptr, zantReturnCodeToString(23, nullptr, 10));
}

TEST(AccessModes, ZantCodeToStringSizeProtocol) {
    char buffer[64];
    size_t size = sizeof buffer;
    EXPECT_EQ(QMV3_MODE_OK, qmZantCodeToString(-20, buffer, &size));
    EXPECT_STREQ(cc2str(20), buffer);
    EXPECT_EQ(std::strlen(cc2str(20)) + 1, size);
    EXPECT_NE('\0', buffer[0]);

    std::memset(buffer, 'Z', sizeof buffer);
    size = sizeof buffer;
    EXPECT_EQ(QMV3_MODE_OK, qmZantCodeToString(GetErrorListSize(), buffer, &size));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(1u, size);
    size = sizeof buffer;
    EXPECT_EQ(QMV3_MODE_OK, qmZantCodeToString(INT_MIN, buffer, &size));
    EXPECT_EQ(1u, size);

    size = 5;  // the text is cut to size - 2 characters; the size tells the written length + 1
    EXPECT_EQ(QMV3_MODE_OK, qmZantCodeToString(23, buffer, &size));
    EXPECT_EQ(std::string(cc2str(23)).substr(0, 3), buffer);
    EXPECT_EQ(4u, size);

    size = 0;
    buffer[0] = 'Z';
    EXPECT_EQ(QMV3_MODE_REFUSED, qmZantCodeToString(23, buffer, &size));
    EXPECT_EQ('Z', buffer[0]);
    EXPECT_EQ(QMV3_MODE_REFUSED, qmZantCodeToString(23, buffer, nullptr));
    size = 10;
    EXPECT_EQ(QMV3_MODE_REFUSED, qmZantCodeToString(23, nullptr, &size));
    EXPECT_EQ(10u, size);
}

TEST(AccessModes, CodesTheLibraryReportsHaveTexts) {
    // Codes the library returns itself (null pointer, short buffer, invalid image, decompression failure)
    // and the two it tests for when reading property characteristics.
    for (int code : {2, 20, 23, 62, 103, 513}) {
        ASSERT_LT(code, GetErrorListSize()) << code;
        char buffer[64];
        size_t size = sizeof buffer;
        ASSERT_EQ(QMV3_MODE_OK, qmZantCodeToString(code, buffer, &size));
        EXPECT_GT(size, 1u) << code;
        EXPECT_STRNE(cc2str(104), buffer) << code;  // 104 is a gap of the list: not a text of its own
    }
}

}  // namespace
