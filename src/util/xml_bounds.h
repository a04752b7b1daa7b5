// Bounds on XML documents before the parser sees them. TinyXML recurses once per nesting level (a deep
// document exhausts the stack) and its time grows with the square of the depth and of the attributes of
// one element, so a document read from a file nobody vouches for is measured first: its size, its depth
// and its attributes per element. The scanner follows the parser's own reading of tags, comments, CDATA
// and quoted values closely enough that what it counts is what the parser would build. Self-contained
// (system headers and util/regular_file.h only), so the stand-in compiles it too.
//
// Thread rules: none (no state).
#ifndef QMV3_UTIL_XML_BOUNDS_H
#define QMV3_UTIL_XML_BOUNDS_H

#include <cstddef>
#include <string>

namespace xml_bounds {

// Far beyond any real system list or stand-in configuration (a few hundred KB, depth under 10, a few
// attributes per element), far below where parsing turns slow or deep.
constexpr size_t kMaxFileBytes = 16u << 20;
constexpr unsigned kMaxDepth = 256;
constexpr unsigned kMaxAttributes = 256;

// The bound the text (up to its first zero byte, where the parser stops) exceeds, as a phrase such as
// "nesting deeper than 256 levels"; empty when it keeps every bound.
std::string Refusal(const char* text, size_t size);

// CR LF and a lone CR become LF, as TinyXML's own file reader does before parsing.
void NormaliseLineEnds(std::string& text);

enum class ReadResult {
    kRead,        // `text` holds the whole file
    kUnreadable,  // missing, not permitted, a folder, a read error: `reason` is the system's reason, errno its code
    kRefused,     // a FIFO, socket or device, or more than kMaxFileBytes: `reason` says which
};

// Reads the regular file at `path` whole into `text`; never blocks on a special file. May throw
// std::bad_alloc.
ReadResult ReadFile(const char* path, std::string& text, std::string& reason);

}  // namespace xml_bounds

#endif
