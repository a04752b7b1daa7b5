// Reading an XML file into a TinyXML document, with the line-end handling of TinyXML's own reader and
// zero padding behind the text (see xml_file.h).
#include "syslist/xml_file.h"

#include <string>

#include "util/xml_bounds.h"

namespace {

// Zero bytes behind the text: more than the longest step the parser takes past a terminating zero.
constexpr size_t kParserPadding = 16;

}  // namespace

bool LoadXmlFile(TiXmlDocument& document, const char* path, std::string* refusal) {
    document.Clear();
    if (refusal != nullptr) refusal->clear();
    std::string text, reason;
    if (path == nullptr) return false;
    const xml_bounds::ReadResult read = xml_bounds::ReadFile(path, text, reason);
    if (read != xml_bounds::ReadResult::kRead) {
        if (refusal != nullptr && read == xml_bounds::ReadResult::kRefused) *refusal = reason;
        return false;
    }
    if (text.empty()) return false;
    reason = xml_bounds::Refusal(text.data(), text.size());
    if (!reason.empty()) {
        if (refusal != nullptr) *refusal = reason;
        return false;
    }
    xml_bounds::NormaliseLineEnds(text);
    text.append(kParserPadding, '\0');
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document.Error();
}
