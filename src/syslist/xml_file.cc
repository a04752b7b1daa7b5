// Reading an XML file into a TinyXML document, with the line-end handling of TinyXML's own reader and
// zero padding behind the text (see xml_file.h).
#include "syslist/xml_file.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Zero bytes behind the text: more than the longest step the parser takes past a terminating zero.
constexpr size_t kParserPadding = 16;

bool readWholeFile(const char* path, std::string& text) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, n);
    return std::ferror(file.get()) == 0;
}

// CR LF and a lone CR become LF, as TinyXML's reader does before parsing.
void normaliseLineEnds(std::string& text) {
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] == '\r') {
            text[out++] = '\n';
            if (in + 1 < text.size() && text[in + 1] == '\n') ++in;
        } else {
            text[out++] = text[in];
        }
    }
    text.resize(out);
}

}  // namespace

bool LoadXmlFile(TiXmlDocument& document, const char* path) {
    document.Clear();
    std::string text;
    if (path == nullptr || !readWholeFile(path, text) || text.empty()) return false;
    normaliseLineEnds(text);
    text.append(kParserPadding, '\0');
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document.Error();
}
