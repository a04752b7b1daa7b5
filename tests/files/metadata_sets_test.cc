// Metadata sets: exact record bytes, length limits, malformed records and every validation message.
#include "files/metadata_sets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace {

struct TempStream {
    TempStream() : file(std::tmpfile()) {}
    ~TempStream() { std::fclose(file); }
    std::vector<unsigned char> Bytes() {
        std::fflush(file);
        std::vector<unsigned char> bytes(static_cast<size_t>(ftello(file)));
        std::rewind(file);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        return bytes;
    }
    void Load(const std::vector<unsigned char>& bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    FILE* file;
};

std::vector<unsigned char> Record(const std::string& text, unsigned char r = 13, unsigned char n = 10) {
    std::vector<unsigned char> record(252, 0);
    std::memcpy(record.data(), text.data(), text.size());
    record[250] = r;
    record[251] = n;
    return record;
}

TEST(MetadataSetWrite, WritesTextPaddedWithNulsAndCrLf) {
    TempStream stream;
    ASSERT_EQ(0, _internal_write_metadata_set_to_file(stream.file, "width_px", 640u));
    EXPECT_EQ(Record("width_px=640"), stream.Bytes());
}

TEST(MetadataSetWrite, NumberFormsFollowTheirTypes) {
    struct Case {
        int result;
        std::string expected;
    };
    TempStream a, b, c, d;
    const Case cases[] = {
        {_internal_write_metadata_set_to_file(a.file, "k", -1), "k=-1"},
        {_internal_write_metadata_set_to_file(b.file, "k", 4294967295u), "k=4294967295"},
        {_internal_write_metadata_set_to_file(c.file, "k", static_cast<double>(0.0000123f)), "k=0.000012"},
        {_internal_write_metadata_set_to_file(d.file, "k", -1.0), "k=-1.000000"},
    };
    TempStream* streams[] = {&a, &b, &c, &d};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(0, cases[i].result);
        EXPECT_EQ(Record(cases[i].expected), streams[i]->Bytes()) << cases[i].expected;
    }
}

TEST(MetadataSetWrite, LongestTextFitsWholeAndOneMoreCharacterIsRefused) {
    TempStream stream;
    const std::string key(100, 'k');
    ASSERT_EQ(0, _internal_write_metadata_set_to_file(stream.file, key, std::string(148, 'v')));
    const std::vector<unsigned char> bytes = stream.Bytes();
    ASSERT_EQ(252u, bytes.size());
    EXPECT_EQ('v', bytes[248]);
    EXPECT_EQ(0, bytes[249]);
    EXPECT_EQ(-15, _internal_write_metadata_set_to_file(stream.file, key, std::string(149, 'v')));
    EXPECT_EQ(-15, _internal_write_metadata_set_to_file(stream.file, "", std::string("x")));
    EXPECT_EQ(252u, stream.Bytes().size());
}

TEST(MetadataSetWrite, FailedWriteGivesMinusFive) {
    FILE* readOnly = std::fopen("/dev/null", "rb");
    ASSERT_NE(nullptr, readOnly);
    EXPECT_EQ(-5, _internal_write_metadata_set_to_file(readOnly, "a", std::string("b")));
    std::fclose(readOnly);
}

TEST(MetadataSetRead, SplitsAtFirstEqualsSign) {
    TempStream stream;
    stream.Load(Record("camera_port_name=a=b"));
    std::string key, value;
    ASSERT_EQ(0, _internal_read_metadata_set_from_file(stream.file, key, value));
    EXPECT_EQ("camera_port_name", key);
    EXPECT_EQ("a=b", value);
}

TEST(MetadataSetRead, MalformedRecordsAreRefused) {
    struct Case {
        std::vector<unsigned char> bytes;
        int expected;
        const char* what;
    } cases[] = {
        {Record("a=1", 10, 10), -6, "byte 250 is not CR"},
        {Record("a=1", 13, 13), -6, "byte 251 is not LF"},
        {Record("=5"), -6, "empty key"},
        {Record("abc"), -6, "no delimiter"},
        {std::vector<unsigned char>(251, 'a'), -5, "short record"},
    };
    for (const Case& c : cases) {
        TempStream stream;
        stream.Load(c.bytes);
        std::string key = "unchanged", value;
        EXPECT_EQ(c.expected, _internal_read_metadata_set_from_file(stream.file, key, value)) << c.what;
    }
}

TEST(MetadataSetRead, EmptyValueAndTextEndingAtByte249) {
    TempStream stream;
    std::vector<unsigned char> full = Record("a=");
    std::vector<unsigned char> noNul = Record("");
    std::memset(noNul.data(), 'x', 250);  // no NUL at all: the text ends at byte 249
    noNul[1] = '=';
    full.insert(full.end(), noNul.begin(), noNul.end());
    stream.Load(full);
    std::string key, value;
    ASSERT_EQ(0, _internal_read_metadata_set_from_file(stream.file, key, value));
    EXPECT_EQ("a", key);
    EXPECT_EQ("", value);
    ASSERT_EQ(0, _internal_read_metadata_set_from_file(stream.file, key, value));
    EXPECT_EQ(247u, value.size());
}

class MetadataValidation : public ::testing::Test {
  protected:
    void SetUp() override { table_ = _internal_copyMetadataTable(glbMetaData, kGlobalMetadataCount); }
    void TearDown() override { std::free(table_); }
    bool Validate(const char* key, const char* value) {
        std::memset(error_, 0, sizeof(error_));
        return _internal_validate_metadata_set(key, value, table_, kGlobalMetadataCount, error_, sizeof(error_));
    }
    int Found(const char* key) const {
        for (size_t i = 0; i < kGlobalMetadataCount; ++i) {
            if (std::strcmp(table_[i].sKey, key) == 0) return table_[i].iFound;
        }
        return -1;
    }
    SINGLEMETADATA* table_ = nullptr;
    char error_[200];
};

TEST_F(MetadataValidation, TablesHoldTheDocumentedRows) {
    EXPECT_EQ(20u, _internal_countMandatoryMetadata(glbMetaData, kGlobalMetadataCount));
    EXPECT_EQ(2u, _internal_countMandatoryMetadata(imgMetaData, kImageMetadataCount));
    EXPECT_STREQ("camera_port_name", glbMetaData[20].sKey);
    EXPECT_EQ(METADATA_UINT32, glbMetaData[21].eType);
    EXPECT_STREQ("eventnumber", imgMetaData[4].sKey);
    EXPECT_FALSE(imgMetaData[1].bMandatory);
}

TEST_F(MetadataValidation, KeysMatchWithoutCaseAndOnlyOnce) {
    EXPECT_TRUE(Validate("WIDTH_PX", "640"));
    EXPECT_EQ(1, Found("width_px"));
    EXPECT_FALSE(Validate("WIDTH_PX", "640"));
    EXPECT_STREQ("Validation error: Key (WIDTH_PX) appeared more than once.", error_);
    EXPECT_TRUE(Validate("comment", "x"));  // unknown keys are accepted and mark nothing
    EXPECT_EQ(0, glbMetaData[1].iFound);    // the constant table stays untouched
}

TEST_F(MetadataValidation, ValueFormsByType) {
    struct Case {
        const char* key;
        const char* value;
        const char* message;  // null: accepted
    } cases[] = {
        {"aoi_width_px", "-1", nullptr},
        {"width_px", "-1", "Validation error: Value (-1) is no valid uint32."},
        {"source_width_px", "2147483648", "Validation error: Value (2147483648) is no valid int32."},
        {"scale_x_mm/px", "1e40", "Validation error: Value (1e40) is no valid float."},
        {"scale_y_mm/px", "0.5", nullptr},
        {"source_format", "anything", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.message == nullptr, Validate(c.key, c.value)) << c.key;
        if (c.message != nullptr) {
            EXPECT_STREQ(c.message, error_) << c.key;
        }
    }
}

TEST_F(MetadataValidation, ParameterErrorsLeaveTheTableUnmarked) {
    EXPECT_FALSE(_internal_validate_metadata_set(nullptr, "1", table_, kGlobalMetadataCount, error_, 200));
    EXPECT_STREQ("Parameter error (asKeySingleMetaData must not be NULL).", error_);
    EXPECT_FALSE(_internal_validate_metadata_set("width_px", nullptr, table_, kGlobalMetadataCount, error_, 200));
    EXPECT_STREQ("Parameter error (asValueSingleMetaData must not be NULL).", error_);
    EXPECT_FALSE(_internal_validate_metadata_set("width_px", "1", table_, 0, error_, 200));
    EXPECT_STREQ("Parameter error (aiNumMetadataSetsToValidateAgainst<=0).", error_);
    EXPECT_FALSE(_internal_validate_metadata_set("width_px", "1", nullptr, 3, error_, 200));
    EXPECT_STREQ("Parameter error (apInOutMetadataSetsToValidateAgainst is NULL).", error_);
    EXPECT_EQ(0, Found("width_px"));
    SINGLEMETADATA odd = {"k", 7, 0, true};
    EXPECT_FALSE(_internal_validate_metadata_set("k", "v", &odd, 1, error_, 200));
    EXPECT_STREQ("Validation error: Unknown type of Metadata (.eType=7 unknown) for key \"k\".", error_);
}

TEST_F(MetadataValidation, OneTextForm) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"ab", "Parameter error (asKeyValueSingleMetaData is not 3..249 characters)."},
        {"abc", "Delimiter (=) not found in parameter asKeyValueSingleMetaData."},
        {"=bc", "Delimiter (=) not found in parameter asKeyValueSingleMetaData."},
        {"a=b", nullptr},
        {"height_px=x", "Validation error: Value (x) is no valid uint32."},
    };
    for (const Case& c : cases) {
        std::memset(error_, 0, sizeof(error_));
        EXPECT_EQ(c.message == nullptr,
                  _internal_validate_metadata_set(c.text, table_, kGlobalMetadataCount, error_, sizeof(error_)))
            << c.text;
        if (c.message != nullptr) {
            EXPECT_STREQ(c.message, error_) << c.text;
        }
    }
    const std::string tooLong(250, 'a');
    EXPECT_FALSE(_internal_validate_metadata_set(tooLong.c_str(), table_, kGlobalMetadataCount, error_, 200));
    EXPECT_FALSE(_internal_validate_metadata_set(nullptr, table_, kGlobalMetadataCount, error_, 200));
    EXPECT_STREQ("Parameter error (asKeyValueSingleMetaData must not be NULL).", error_);
}

TEST(DumpErrorString, TruncatesAndTerminates) {
    char buffer[10];
    std::memset(buffer, 'x', sizeof(buffer));
    _internal_dumpErrorString(buffer, 1, "%s", "message");
    EXPECT_EQ('x', buffer[0]);
    _internal_dumpErrorString(nullptr, 10, "%s", "message");
    _internal_dumpErrorString(buffer, 10, "%s %d", "a long message", 42);
    EXPECT_STREQ("a long m", buffer);
    EXPECT_EQ('\0', buffer[9]);
}

}  // namespace
