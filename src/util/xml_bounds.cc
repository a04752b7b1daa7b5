// Size, depth and attribute bounds on XML text: see xml_bounds.h.
#include "util/xml_bounds.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "util/regular_file.h"

namespace xml_bounds {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The parser takes an element where '<' is followed by a letter, '_' or any byte of a multi-byte character.
bool startsElement(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x7F;
}

class Scanner {
  public:
    Scanner(const char* text, size_t size) : text_(text), size_(strnlen(text, size)) {}

    std::string run() {
        while (pos_ < size_) {
            if (text_[pos_] != '<') {
                ++pos_;
            } else if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<![CDATA[")) {
                skipPast("]]>");
            } else if (startsWith("</")) {
                if (depth_ > 0) --depth_;
                skipPast(">");
            } else if (pos_ + 1 < size_ && startsElement(text_[pos_ + 1])) {
                ++pos_;
                if (!startTag()) return refusal_;
            } else {
                // Declarations, processing instructions and anything unknown run to the next '>'.
                skipPast(">");
            }
        }
        return std::string();
    }

  private:
    bool startsWith(const char* token) const {
        const size_t n = std::strlen(token);
        return size_ - pos_ >= n && std::memcmp(text_ + pos_, token, n) == 0;
    }
    void skipPast(const char* token) {
        const size_t n = std::strlen(token);
        for (size_t at = pos_ + 1; at + n <= size_; ++at)
            if (std::memcmp(text_ + at, token, n) == 0) {
                pos_ = at + n;
                return;
            }
        pos_ = size_;
    }
    void skipSpace() {
        while (pos_ < size_ && isSpace(text_[pos_])) ++pos_;
    }
    void skipWhileNot(const char* stops) {
        while (pos_ < size_ && !isSpace(text_[pos_]) && std::strchr(stops, text_[pos_]) == nullptr) ++pos_;
    }

    // After "<": the element's name and attributes up to its '>' or "/>". False with the refusal set when
    // the element nests too deep or carries too many attributes.
    bool startTag() {
        skipWhileNot("/>");
        unsigned attributes = 0;
        while (pos_ < size_) {
            skipSpace();
            if (pos_ >= size_) break;
            const char c = text_[pos_];
            if (c == '/') {
                ++pos_;
                if (pos_ < size_ && text_[pos_] == '>') ++pos_;
                return true;
            }
            if (c == '>') {
                ++pos_;
                if (++depth_ > kMaxDepth) {
                    refusal_ = "nesting deeper than " + std::to_string(kMaxDepth) + " levels";
                    return false;
                }
                return true;
            }
            if (++attributes > kMaxAttributes) {
                refusal_ = "an element with more than " + std::to_string(kMaxAttributes) + " attributes";
                return false;
            }
            const size_t nameStart = pos_;
            skipWhileNot("=/>");
            skipSpace();
            if (pos_ < size_ && text_[pos_] == '=') {
                ++pos_;
                skipSpace();
                if (pos_ < size_ && (text_[pos_] == '"' || text_[pos_] == '\'')) {
                    const char quote = text_[pos_];
                    const void* end = std::memchr(text_ + pos_ + 1, quote, size_ - pos_ - 1);
                    pos_ = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text_) + 1 : size_;
                } else {
                    skipWhileNot("/>");
                }
            }
            if (pos_ == nameStart) ++pos_;  // a stray character: the parser fails here, the scan moves on
        }
        return true;
    }

    const char* text_;
    size_t size_;
    size_t pos_ = 0;
    unsigned depth_ = 0;
    std::string refusal_;
};

// The system's text for the error; errno keeps the error for the caller.
std::string systemReason(int error) {
    std::string text = std::strerror(error);
    errno = error;
    return text;
}

}  // namespace

void NormaliseLineEnds(std::string& text) {
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

std::string Refusal(const char* text, size_t size) {
    if (text == nullptr) return std::string();
    return Scanner(text, size).run();
}

ReadResult ReadFile(const char* path, std::string& text, std::string& reason) {
    text.clear();
    const int fd = regular_file::Open(path);
    if (fd < 0) {
        const int error = errno;
        reason = systemReason(error);
        if (error != ESPIPE && error != ENODEV) return ReadResult::kUnreadable;
        reason = "not a regular file (" + reason + ")";
        return ReadResult::kRefused;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const std::string tooLarge = "larger than " + std::to_string(kMaxFileBytes) + " bytes";
    struct stat status;
    if (fstat(fd, &status) != 0) {
        const int error = errno;
        reason = systemReason(error);
        return ReadResult::kUnreadable;
    }
    if (static_cast<unsigned long long>(status.st_size) > kMaxFileBytes) {
        reason = tooLarge;
        return ReadResult::kRefused;
    }
    // The file may grow while it is read: one byte beyond the bound is enough to refuse it.
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            reason = systemReason(error);
            return ReadResult::kUnreadable;
        }
        if (n == 0) return ReadResult::kRead;
        if (text.size() + static_cast<size_t>(n) > kMaxFileBytes) {
            reason = tooLarge;
            return ReadResult::kRefused;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
}

}  // namespace xml_bounds
