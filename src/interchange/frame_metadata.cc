// Frame descriptions: writing and reading the JSON object, time texts, headers of imported frames.
#include "interchange/frame_metadata.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "interchange/interchange.h"

namespace interchange {

namespace {

void AppendString(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        // ASCII only, and no '=': the text must stay one line that key=value readers pass over.
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f || c == '=') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void AppendMember(std::string& out, const char* key, const std::string& value) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
    out += value;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// A reader of one JSON value at a time; everything it does not need it skips, with a nesting limit.
class JsonReader {
  public:
    explicit JsonReader(const std::string& text) : p_(text.c_str()), end_(text.c_str() + text.size()) {}

    void SkipSpace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }
    bool Take(char c) {
        SkipSpace();
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        SkipSpace();
        return p_ == end_;
    }

    bool String(std::string& out) {
        if (!Take('"')) return false;
        out.clear();
        while (p_ < end_ && *p_ != '"') {
            const char c = *p_++;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (p_ >= end_) return false;
            const char e = *p_++;
            switch (e) {
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        if (p_ >= end_) return false;
                        const char h = *p_++;
                        const int digit = h >= '0' && h <= '9'   ? h - '0'
                                          : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                          : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                                 : -1;
                        if (digit < 0) return false;
                        code = code * 16 + static_cast<unsigned>(digit);
                    }
                    // Our own writer escapes single bytes; anything wider is kept as UTF-8.
                    if (code < 0x100) {
                        out += static_cast<char>(code);
                    } else if (code < 0x800) {
                        out += static_cast<char>(0xc0 | (code >> 6));
                        out += static_cast<char>(0x80 | (code & 0x3f));
                    } else {
                        out += static_cast<char>(0xe0 | (code >> 12));
                        out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
                        out += static_cast<char>(0x80 | (code & 0x3f));
                    }
                    break;
                }
                default:
                    out += e;
            }
        }
        return Take('"');
    }

    bool Number(double& value) {
        SkipSpace();
        char token[64];
        size_t length = 0;
        while (p_ < end_ && length + 1 < sizeof token && std::strchr("+-.0123456789eE", *p_) != nullptr)
            token[length++] = *p_++;
        token[length] = '\0';
        if (length == 0) return false;
        char* stop = nullptr;
        value = std::strtod(token, &stop);
        return stop == token + length && std::isfinite(value);
    }

    // Skips any value; false on malformed text or nesting deeper than the limit.
    bool SkipValue(int depth = 0) {
        if (depth > 32) return false;
        SkipSpace();
        if (p_ >= end_) return false;
        std::string text;
        double number;
        if (*p_ == '"') return String(text);
        if (*p_ == '{' || *p_ == '[') {
            const char close = *p_ == '{' ? '}' : ']';
            const bool object = *p_ == '{';
            ++p_;
            if (Take(close)) return true;
            do {
                if (object && (!String(text) || !Take(':'))) return false;
                if (!SkipValue(depth + 1)) return false;
            } while (Take(','));
            return Take(close);
        }
        for (const char* word : {"true", "false", "null"}) {
            const size_t n = std::strlen(word);
            if (static_cast<size_t>(end_ - p_) >= n && std::memcmp(p_, word, n) == 0) {
                p_ += n;
                return true;
            }
        }
        return Number(number);
    }

    char Peek() {
        SkipSpace();
        return p_ < end_ ? *p_ : '\0';
    }

  private:
    const char* p_;
    const char* end_;
};

bool AsUnsigned(double value, uint32_t& out) {
    if (value < 0 || value > 4294967295.0 || value != std::floor(value)) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

bool AsSigned(double value, int32_t& out) {
    if (value < -2147483648.0 || value > 2147483647.0 || value != std::floor(value)) return false;
    out = static_cast<int32_t>(value);
    return true;
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Seconds since the epoch of a calendar time in UTC; false outside what 32 unsigned bits hold.
bool CivilSeconds(int year, int month, int day, int hour, int minute, int second, uint32_t& out) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60)
        return false;
    const int64_t seconds = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                            hour * 3600 + minute * 60 + second;
    if (seconds < 0 || seconds > 4294967295LL) return false;
    out = static_cast<uint32_t>(seconds);
    return true;
}

}  // namespace

FrameFacts FactsOf(const DIMAGE& image) {
    FrameFacts facts;
    facts.frameNumber = image.frameHeader.frameNumber;
    facts.eventNumber = image.frameHeader.eventNumber;
    facts.seconds = image.sourceHeader.timestampSeconds;
    facts.microseconds = image.sourceHeader.timestampMicroseconds;
    facts.effectiveBits = image.frameHeader.effectiveBitsPerPixel;
    facts.portName.assign(image.sourceHeader.cameraPortName,
                          strnlen(image.sourceHeader.cameraPortName, sizeof image.sourceHeader.cameraPortName));
    facts.portId = image.sourceHeader.cameraPortId;
    facts.xScale = image.frameHeader.xScale;
    facts.yScale = image.frameHeader.yScale;
    facts.flags = image.frameHeader.imageFlags;
    facts.hasFrameNumber = facts.hasTime = facts.hasOthers = true;
    return facts;
}

std::string FrameFactsJson(const FrameFacts& facts) {
    std::string out = "{";
    AppendMember(out, "frame_number", std::to_string(facts.frameNumber));
    AppendMember(out, "event_number", std::to_string(facts.eventNumber));
    AppendMember(out, "timestamp", "\"" + IsoTime(facts.seconds, facts.microseconds) + "\"");
    AppendMember(out, "effective_bits", std::to_string(facts.effectiveBits));
    std::string name;
    AppendString(name, facts.portName);
    AppendMember(out, "camera_port_name", name);
    AppendMember(out, "camera_port_id", std::to_string(facts.portId));
    if (facts.xScale > 0) AppendMember(out, "x_scale", Number(facts.xScale));
    if (facts.yScale > 0) AppendMember(out, "y_scale", Number(facts.yScale));
    AppendMember(out, "flags", std::to_string(facts.flags));
    return out + "}";
}

bool ParseFrameFactsJson(const std::string& text, FrameFacts& facts) {
    JsonReader reader(text);
    if (!reader.Take('{')) return false;
    FrameFacts parsed = facts;
    bool any = false;
    if (!reader.Take('}')) {
        do {
            std::string key;
            if (!reader.String(key) || !reader.Take(':')) return false;
            const char next = reader.Peek();
            std::string textValue;
            double number = 0;
            if (next == '"') {
                if (!reader.String(textValue)) return false;
                if (key == "timestamp" && ParseIsoTime(textValue, parsed.seconds, parsed.microseconds))
                    any = parsed.hasTime = true;
                if (key == "camera_port_name" && textValue.size() < sizeof(DIMAGE_SOURCEHEADER::cameraPortName) &&
                    std::memchr(textValue.data(), '\0', textValue.size()) == nullptr) {
                    parsed.portName = textValue;
                    any = parsed.hasOthers = true;
                }
            } else if ((next == '-' || (next >= '0' && next <= '9')) && reader.Number(number)) {
                bool taken = false;
                if (key == "frame_number") taken = parsed.hasFrameNumber = AsUnsigned(number, parsed.frameNumber);
                if (key == "event_number") taken = AsUnsigned(number, parsed.eventNumber);
                if (key == "camera_port_id") taken = AsUnsigned(number, parsed.portId);
                if (key == "flags") taken = AsSigned(number, parsed.flags);
                if (key == "effective_bits") taken = AsSigned(number, parsed.effectiveBits);
                if ((key == "x_scale" || key == "y_scale") && number > 0 && number < 3.0e38) {
                    (key == "x_scale" ? parsed.xScale : parsed.yScale) = static_cast<float>(number);
                    taken = true;
                }
                if (taken) {
                    any = true;
                    if (key != "frame_number") parsed.hasOthers = true;
                }
            } else if (!reader.SkipValue()) {
                return false;
            }
        } while (reader.Take(','));
        if (!reader.Take('}')) return false;
    }
    if (!reader.AtEnd() || !any) return false;
    facts = parsed;
    return true;
}

std::string IsoTime(uint32_t seconds, uint32_t microseconds) {
    char text[48];
    if (qmFormatUTCTime(seconds, microseconds % 1000000u, QMV3_TIME_ISO8601, text, sizeof text) == nullptr) return "";
    return text;
}

bool ParseIsoTime(const std::string& text, uint32_t& seconds, uint32_t& microseconds) {
    int year, month, day, hour, minute, second, consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                    &consumed) != 6 ||
        consumed != 19)
        return false;
    const char* rest = text.c_str() + consumed;
    uint32_t micro = 0;
    if (*rest == '.') {
        ++rest;
        int digits = 0;
        while (*rest >= '0' && *rest <= '9') {
            if (digits < 6) micro = micro * 10 + static_cast<uint32_t>(*rest - '0');
            ++digits;
            ++rest;
        }
        if (digits == 0) return false;
        for (; digits < 6; ++digits) micro *= 10;
    }
    if (*rest == 'Z') ++rest;
    uint32_t whole = 0;
    if (*rest != '\0' || !CivilSeconds(year, month, day, hour, minute, second, whole)) return false;
    seconds = whole;
    microseconds = micro;
    return true;
}

bool ParseTiffDateTime(const std::string& text, uint32_t& seconds) {
    int year, month, day, hour, minute, second, consumed = 0;
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                    &consumed) != 6 ||
        consumed != 19)
        return false;
    return CivilSeconds(year, month, day, hour, minute, second, seconds);
}

void MakeImageHeader(DIMAGE& image, uint32_t width, uint32_t height, int channels, int bytesPerSample,
                     const FrameFacts& facts) {
    std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.versionTag = 1;
    image.sourceHeader.cameraPortId = facts.portId;
    image.sourceHeader.timestampSeconds = facts.seconds;
    image.sourceHeader.timestampMicroseconds = facts.microseconds % 1000000u;
    std::snprintf(image.sourceHeader.cameraPortName, sizeof image.sourceHeader.cameraPortName, "%s",
                  facts.portName.c_str());
    DIMAGE_FRAMEHEADER& h = image.frameHeader;
    h.sourceWidth = static_cast<int32_t>(width);
    h.sourceHeight = static_cast<int32_t>(height);
    h.aoiWidth = h.aoiHeight = -1;
    h.bytesPerPixel = channels * bytesPerSample;
    const int bits = 8 * bytesPerSample;
    // The description's bits are taken only where they fit the samples.
    const bool fits = channels == 1 && bytesPerSample == 2 ? facts.effectiveBits >= 9 && facts.effectiveBits <= 16
                                                           : facts.effectiveBits == bits * channels;
    h.effectiveBitsPerPixel = fits || facts.effectiveBits == -1 ? facts.effectiveBits : bits * channels;
    if (channels == 3 && h.effectiveBitsPerPixel != -1) h.effectiveBitsPerPixel = 24;
    h.horizontalBinning = h.verticalBinning = 1;
    h.sourceFormat = h.imageFormat = channels == 3 ? QMV3_FORMAT_RGB : QMV3_FORMAT_GRAY;
    h.frameNumber = facts.frameNumber;
    h.eventNumber = facts.eventNumber;
    h.xScale = facts.xScale;
    h.yScale = facts.yScale;
    h.scale_x_offset = h.scale_y_offset = h.fspare3 = -1.0f;
    // Only the flags that say something about the frame's origin survive; the pixel layout is ours.
    h.imageFlags = (facts.flags & ~(QMV3_FLAG_XYSTART_ONE_BASED | QMV3_FLAG_SOFTWARE_ROI_APPLIED)) |
                   QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER;
    h.ispare1 = h.ispare2 = h.ispare3 = -1;
    h.appendedFrameSize = static_cast<int32_t>(width * height * static_cast<uint32_t>(h.bytesPerPixel));
    image.sourceHeader.totalLength = static_cast<uint32_t>(h.appendedFrameSize) + QMV3_IMAGE_HEADER_SIZE;
}

bool PixelLayoutOf(const DIMAGE& image, uint32_t position, PixelLayout& layout, std::string& message) {
    const DIMAGE_FRAMEHEADER& h = image.frameHeader;
    const int width = h.aoiWidth >= 1 ? h.aoiWidth : h.sourceWidth;
    const int height = h.aoiHeight >= 1 ? h.aoiHeight : h.sourceHeight;
    const bool grey = h.imageFormat == QMV3_FORMAT_GRAY && (h.bytesPerPixel == 1 || h.bytesPerPixel == 2);
    const bool rgb = h.imageFormat == QMV3_FORMAT_RGB && h.bytesPerPixel == 3;
    if (!grey && !rgb) {
        char text[64];
        size_t size = sizeof text;
        const char* name = qmGetFormatName(h.imageFormat, text, size);
        message = "image " + std::to_string(position) + " is " + (name ? name : std::to_string(h.imageFormat)) +
                  " with " + std::to_string(h.bytesPerPixel) +
                  " bytes per pixel; only 8- and 16-bit GRAY and 8-bit RGB frames can be exported";
        return false;
    }
    layout.width = width > 0 ? static_cast<uint32_t>(width) : 0;
    layout.height = height > 0 ? static_cast<uint32_t>(height) : 0;
    layout.channels = rgb ? 3 : 1;
    layout.bytesPerSample = rgb ? 1 : h.bytesPerPixel;
    layout.pixels = image.frameBuffer;
    if (layout.width == 0 || layout.height == 0 || image.frameBuffer == nullptr || h.appendedFrameSize <= 0 ||
        static_cast<size_t>(h.appendedFrameSize) < layout.bytes() || image.frameBufferSize < layout.bytes()) {
        message = "image " + std::to_string(position) + " holds fewer frame bytes than its geometry needs";
        return false;
    }
    return true;
}

}  // namespace interchange
