// Texts that come from a file or a list (camera port names, names in a system list, messages that
// quote a file's values) are shown escaped: a newline or an escape sequence in them would otherwise
// forge lines of the tool's output or drive the user's terminal. Every command that prints such a
// text passes it through here.
#ifndef QMV3_TOOL_TEXT_ESCAPE_H
#define QMV3_TOOL_TEXT_ESCAPE_H

#include <cstddef>
#include <string>

namespace qmv3tool {

// The text as the library escapes it (qmEscapeText): control characters as C escapes (\n, \x1b, ...),
// the backslash doubled, bytes of no valid UTF-8 as \xHH. The text ends at `size` or at its first zero
// byte.
std::string EscapeText(const char* text, size_t size);
inline std::string EscapeText(const std::string& text) { return EscapeText(text.data(), text.size()); }

}  // namespace qmv3tool

#endif
