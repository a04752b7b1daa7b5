// The system list's XML file reader: the same documents as TinyXML's own reader, and no read past
// the text when it ends inside a multi-byte character (the sanitizer build checks that).
#include "syslist/xml_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string nested(int levels, const std::string& inner = "") {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<a>";
    text += inner;
    for (int i = 0; i < levels; ++i) text += "</a>";
    return text;
}

std::string withAttributes(int count) {
    std::string text = "<a";
    for (int i = 0; i < count; ++i) text += " x" + std::to_string(i) + "=\"1\"";
    return text + "/>";
}

// A document beyond a bound never reaches the parser (whose recursion and time it would drive); what
// merely looks like deep nesting inside comments, CDATA or quoted values is no nesting.
TEST(XmlFile, RefusesDocumentsBeyondTheBounds) {
    struct Bound {
        const char* what;
        std::string bytes;
        const char* refusal;  // empty: parses
    };
    std::string deepComment = "<!--", deepCdata = "<![CDATA[", deepQuoted = "<b v=\"", selfClosed;
    for (int i = 0; i < 300; ++i) deepComment += "<a>", deepCdata += "<a>", deepQuoted += "<a>", selfClosed += "<c v=1/>";
    const Bound cases[] = {
        {"256 levels", nested(256), ""},
        {"257 levels", nested(257), "nesting deeper than 256 levels"},
        {"40000 levels, never closed", "<?xml version=\"1.0\"?><QMv3>" + nested(40000).substr(0, 3 * 40000),
         "nesting deeper than 256 levels"},
        {"256 attributes", withAttributes(256), ""},
        {"257 attributes", withAttributes(257), "an element with more than 256 attributes"},
        {"tags inside a comment", "<r>" + deepComment + "--></r>", ""},
        {"tags inside CDATA", "<r>" + deepCdata + "]]></r>", ""},
        {"tags inside a quoted value", "<r>" + deepQuoted + "\"/></r>", ""},
        {"self-closed tags with unquoted values", nested(200, selfClosed), ""},
    };
    qmv3test::TempDir dir;
    const std::string path = dir.file("doc.xml");
    for (const Bound& c : cases) {
        qmv3test::WriteFileBytes(path, std::vector<unsigned char>(c.bytes.begin(), c.bytes.end()));
        TiXmlDocument document;
        std::string refusal = "stale";
        const bool parsed = LoadXmlFile(document, path.c_str(), &refusal);
        EXPECT_EQ(c.refusal, refusal) << c.what;
        EXPECT_EQ(c.refusal[0] == '\0', parsed) << c.what;
    }
}

// Special files and huge files are refused at once, without blocking and without reading them.
TEST(XmlFile, RefusesWhatIsNoRegularFileOrTooLarge) {
    qmv3test::TempDir dir;
    const std::string fifo = dir.file("fifo.xml"), sparse = dir.file("sparse.xml");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, 20LL << 30));
    close(fd);
    struct Special {
        std::string path;
        const char* refusal;
    };
    const Special cases[] = {
        {fifo, "not a regular file (Illegal seek)"},
        {"/dev/zero", "not a regular file (No such device)"},
        {sparse, "larger than 16777216 bytes"},
        {dir.path(), ""},  // a folder keeps the one line of an unreadable list
        {dir.file("missing.xml"), ""},
    };
    for (const Special& c : cases) {
        TiXmlDocument document;
        std::string refusal;
        EXPECT_FALSE(LoadXmlFile(document, c.path.c_str(), &refusal)) << c.path;
        EXPECT_EQ(c.refusal, refusal) << c.path;
    }
}

}  // namespace
