// Device address and property name checks: results, corrected addresses and every message.
#include "client/address_checks.h"

#include <gtest/gtest.h>

#include <string>

#include "acquisition/log_capture.h"

namespace {

using qmv3test::CountContaining;
using qmv3test::LogCapture;

const std::string kRef = "A slash must not follow another slash. Internal Reference: ";

TEST(AddressChecks, AddressesAreAcceptedCorrectedOrRefusedWithTheirMessage) {
    const std::string longest = "/C/S/" + std::string(127, 'D');  // 132 characters
    const struct {
        std::string address;
        int result;
        std::string output;
        std::vector<std::string> messages;  // parts of the expected messages, in order
    } table[] = {
        {"/CTX/SRV/DEV", 1, "/CTX/SRV/DEV", {}},
        {"CTX/SRV/DEV",
         1,
         "/CTX/SRV/DEV",
         {"Warning: f: Parameter asZantAddress (\"CTX/SRV/DEV\") will be prepended with a '/' (slash), because first "
          "character should be a slash.",
          "Warning: f: Parameter asZantAddress (\"CTX/SRV/DEV\") was corrected to \"/CTX/SRV/DEV\"."}},
        {"/CTX/SRV/DEV/EXTRA",
         1,
         "/CTX/SRV/DEV",
         {"Warning: f: Parameter asZantAddress (\"/CTX/SRV/DEV/EXTRA\") contains too many number of slashes. Not "
          "counting first character, there must be exactly two slashes. All characters starting from first illegal "
          "slash up to the end of the string have been chopped off.",
          "was corrected to \"/CTX/SRV/DEV\"."}},
        {"/CTX//DEV", 0, "", {"(\"/CTX//DEV\") contains illegal slash sequence. " + kRef + "2."}},
        {"//CTX/SRV", 0, "", {"(\"//CTX/SRV\") contains illegal slash sequence. " + kRef + "1."}},
        {"/CTXSRV",
         0,
         "",
         {"Error: f: Parameter asZantAddress (\"/CTXSRV\") contains too few number of slashes. Not counting first "
          "character, there must be exactly two slashes. " +
          kRef + "1."}},
        {"/CTX/SRV",
         0,
         "",
         {"contains too few number of slashes. Not counting first character, there must be exactly "
          "two slashes. " +
          kRef + "3."}},
        {"/CTX/SRV//", 0, "", {"contains illegal slash sequence. " + kRef + "4."}},
        {"/CTX/SRV/DEV[1]",
         0,
         "",
         {"Error: f: Parameter asZantAddress (\"/CTX/SRV/DEV[1]\") contains illegal character [ (opening bracket)."}},
        {"/CTX/SRV/DEV]", 0, "", {"contains illegal character ] (closing bracket)."}},
        {"/C/S",
         -4,
         "untouched",
         {"Error: f: Parameter asZantAddress (\"/C/S\") is too short (4 characters). But it must be more than 4 "
          "characters."}},
        {longest, 1, longest, {}},
        {longest + "D", -4, "untouched", {"is too long (133 characters). But it must be less than 133 characters."}},
    };
    for (const auto& row : table) {
        char output[133];
        std::snprintf(output, sizeof output, "untouched");
        LogCapture log;
        EXPECT_EQ(row.result, _internal_checkZantAddress("f", row.address.c_str(), output, 133, true)) << row.address;
        EXPECT_EQ(row.output, output) << row.address;
        const auto messages = log.End();
        ASSERT_EQ(row.messages.size(), messages.size()) << row.address;
        for (size_t i = 0; i < messages.size(); ++i)
            EXPECT_NE(std::string::npos, messages[i].find(row.messages[i])) << messages[i];

        LogCapture quiet;
        EXPECT_EQ(row.result, _internal_checkZantAddress("f", row.address.c_str(), output, 133, false));
        EXPECT_TRUE(quiet.End().empty()) << row.address;
    }
}

TEST(AddressChecks, InvalidArgumentsGiveMinusFiveWithoutMessage) {
    char output[133] = "x";
    LogCapture log;
    EXPECT_EQ(-5, _internal_checkZantAddress("f", "/CTX/SRV/DEV", output, 132, true));
    EXPECT_EQ(-5, _internal_checkZantAddress(nullptr, "/CTX/SRV/DEV", output, 133, true));
    EXPECT_EQ(-5, _internal_checkZantAddress("f", nullptr, output, 133, true));
    EXPECT_EQ(-5, _internal_checkZantAddress("f", "/CTX/SRV/DEV", nullptr, 133, true));
    EXPECT_TRUE(log.End().empty());
    EXPECT_STREQ("x", output);
}

TEST(AddressChecks, PropertyNamesFollowTheFirstFailingRule) {
    const std::string name63(63, 'p');
    const struct {
        const char* name;
        bool valid;
        const char* message;
    } table[] = {
        {"Frame", true, nullptr},
        {name63.c_str(), true, nullptr},
        {nullptr, false, "is too short. It must be at least one character long."},
        {"", false,
         "Error: g: Parameter asZantPropertyName (\"\") is too short. It must be at least one character long."},
        {"Fra/me", false,
         "Error: g: Parameter asZantPropertyName (\"Fra/me\") must not contain '/' (slash character(s))."},
        {"a[/", false, "must not contain '/' (slash character(s))."},
        {"a[", false, "must not contain '[' (opening bracket character(s))."},
        {"a]", false, "must not contain ']' (closing bracket character(s))."},
    };
    for (const auto& row : table) {
        LogCapture log;
        EXPECT_EQ(row.valid, _internal_checkZantPropertyName("g", row.name, true));
        const auto messages = log.End();
        ASSERT_EQ(row.message ? 1u : 0u, messages.size());
        if (row.message) {
            EXPECT_NE(std::string::npos, messages[0].find(row.message)) << messages[0];
        }
    }
    LogCapture log;
    const std::string name64(64, 'p');
    EXPECT_FALSE(_internal_checkZantPropertyName("g", name64.c_str(), true));
    EXPECT_FALSE(_internal_checkZantPropertyName("g", "a/", false));
    const auto messages = log.End();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(1, CountContaining(messages, "is too long. It must be less than 64 characters."));
}

}  // namespace
