// The system list's XML file reader: the same documents as TinyXML's own reader, and no read past
// the text when it ends inside a multi-byte character (the sanitizer build checks that).
#include "syslist/xml_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace {

struct Case {
    const char* what;
    std::string bytes;
    int parses;        // 1 parses, 0 fails, -1 either (only memory safety is at stake)
    const char* text;  // the text of the root element when it parses
};

TEST(XmlFile, ReadsWhatTinyXmlReads) {
    const Case cases[] = {
        {"plain", "<a>x y</a>", 1, "x y"},
        {"CR LF line ends", "<?xml version=\"1.0\"?>\r\n<a>one</a>\r\n", 1, "one"},
        {"lone CR line ends", "<a>\rtwo\r</a>", 1, "two"},
        {"empty file", "", 0, nullptr},
        {"unclosed root", "<a>x", 0, nullptr},
        {"truncated character at the end", std::string("<a>x</a><1/b>\x01\xcf", 15), -1, nullptr},
        {"lead byte alone", std::string("<\xf0", 2), -1, nullptr},
    };
    qmv3test::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.file("doc.xml");
        qmv3test::WriteFileBytes(path, std::vector<unsigned char>(c.bytes.begin(), c.bytes.end()));
        TiXmlDocument document;
        const bool parsed = LoadXmlFile(document, path.c_str());
        if (c.parses >= 0) {
            EXPECT_EQ(c.parses == 1, parsed) << c.what;
        }
        if (c.parses == 1) {
            EXPECT_STREQ(c.text, document.RootElement()->GetText()) << c.what;
        }
    }
    TiXmlDocument document;
    EXPECT_FALSE(LoadXmlFile(document, dir.file("missing.xml").c_str()));
    EXPECT_FALSE(LoadXmlFile(document, nullptr));
}

}  // namespace
