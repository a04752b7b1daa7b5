// Texts that come from a file or a list (camera port names, names in a system list, messages that
// quote a file's values) are shown escaped, so that a newline or an escape sequence in them cannot
// forge lines of an output or drive a terminal. The library's header text uses it, and the faces show
// every such text through qmEscapeText.
//
// Thread rules: no state.
#ifndef QMV3_UTIL_TEXT_ESCAPE_H
#define QMV3_UTIL_TEXT_ESCAPE_H

#include <cstddef>
#include <string>

namespace qmv3 {

// The text with control characters written as C escapes (\n, \r, \t, \x1b, ...), the backslash as \\,
// and each byte that is not part of valid UTF-8 (and the C1 controls) as \xHH; printable ASCII and
// valid UTF-8 stay as they are. The text ends at `size` or at its first zero byte.
std::string EscapeText(const char* text, size_t size);

}  // namespace qmv3

#endif
