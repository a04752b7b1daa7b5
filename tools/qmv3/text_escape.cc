// Escaping of texts from files and lists for the terminal and the report: the library's, see
// text_escape.h.
#include "text_escape.h"

#include <vector>

#include "qmv3/qmv3.h"

namespace qmv3tool {

std::string EscapeText(const char* text, size_t size) {
    if (text == nullptr) return std::string();
    const int length = qmEscapeText(text, size, nullptr, 0);
    if (length <= 0) return std::string();
    std::vector<char> escaped(static_cast<size_t>(length) + 1);
    qmEscapeText(text, size, escaped.data(), escaped.size());
    return std::string(escaped.data(), static_cast<size_t>(length));
}

}  // namespace qmv3tool
