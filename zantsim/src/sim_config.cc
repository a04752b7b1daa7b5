// The configuration file of the stand-in: an XML document that describes simulated devices and their
// image properties (format documented in docs/guide.md). Every value is checked before use; one bad value
// makes the whole file malformed.
#include <tinyxml.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "replay.h"
#include "sim_image.h"
#include "util/xml_bounds.h"

namespace zantsim {
namespace {

// Reads an optional integer attribute within [low, high]; false with a reason when it is not one.
bool ReadInt(const TiXmlElement& element, const char* name, long low, long high, long& value, std::string& reason) {
    const char* text = element.Attribute(name);
    if (text == nullptr) return true;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) {
        reason = std::string("attribute ") + name + "=\"" + text + "\" is not an integer in [" + std::to_string(low) +
                 ".." + std::to_string(high) + "]";
        return false;
    }
    value = parsed;
    return true;
}

// Reads an optional decimal attribute within [low, high].
bool ReadReal(const TiXmlElement& element, const char* name, double low, double high, double& value,
              std::string& reason) {
    const char* text = element.Attribute(name);
    if (text == nullptr) return true;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(parsed >= low && parsed <= high)) {
        reason = std::string("attribute ") + name + "=\"" + text + "\" is not a number in [" + std::to_string(low) +
                 ".." + std::to_string(high) + "]";
        return false;
    }
    value = parsed;
    return true;
}

// Reads an optional attribute that takes one of `choices` (null-terminated); `index` becomes its position.
bool ReadChoice(const TiXmlElement& element, const char* name, const char* const* choices, int& index,
                std::string& reason) {
    const char* text = element.Attribute(name);
    if (text == nullptr) return true;
    std::string allowed;
    for (int i = 0; choices[i] != nullptr; ++i) {
        if (std::strcmp(text, choices[i]) == 0) {
            index = i;
            return true;
        }
        allowed += (i == 0 ? "" : ", ") + std::string(choices[i]);
    }
    reason = std::string("attribute ") + name + "=\"" + text + "\" is none of " + allowed;
    return false;
}

// The frame source, the scene's settings, the replay's attributes and the delivery faults.
bool ReadSource(const TiXmlElement& element, PropertyModel& property, std::string& reason) {
    static const char* const kSources[] = {"scene", "pattern", "replay", nullptr};
    static const char* const kNoise[] = {"none", "low", "normal", "high", nullptr};
    static const char* const kBooleans[] = {"false", "true", nullptr};
    static const char* const kNumbering[] = {"count", "file", nullptr};
    int source = 0, noise = static_cast<int>(property.scene.noise), loop = 0, numbering = 0;
    long seed = property.scene.seed, jitter = 0;
    double sigma = property.scene.spotSigma, peak = property.scene.spotPeak;
    DeliveryFaults& faults = property.faults;
    if (!ReadChoice(element, "source", kSources, source, reason) ||
        !ReadChoice(element, "noise", kNoise, noise, reason) || !ReadChoice(element, "loop", kBooleans, loop, reason) ||
        !ReadChoice(element, "frameNumbers", kNumbering, numbering, reason) ||
        !ReadInt(element, "seed", 0, 0xFFFFFFFFL, seed, reason) ||
        !ReadReal(element, "spotSigma", 0.1, 10000.0, sigma, reason) ||
        !ReadReal(element, "spotPeak", 0.0, 4.0, peak, reason) ||
        !ReadInt(element, "jitterMs", 0, 60000, jitter, reason) ||
        !ReadReal(element, "dropProbability", 0.0, 1.0, faults.dropProbability, reason) ||
        !ReadReal(element, "repeatProbability", 0.0, 1.0, faults.repeatProbability, reason))
        return false;
    property.source = static_cast<FrameSource>(source);
    property.scene.noise = static_cast<NoiseLevel>(noise);
    property.scene.seed = static_cast<uint32_t>(seed);
    property.scene.spotSigma = sigma;
    property.scene.spotPeak = peak;
    faults.jitterMs = static_cast<int>(jitter);
    property.loop = loop == 1;
    property.recordedNumbers = numbering == 1;
    const char* file = element.Attribute("file");
    if (property.source == FrameSource::kReplay && (file == nullptr || file[0] == '\0')) {
        reason = "property \"" + property.name + "\": source=\"replay\" needs a file";
        return false;
    }
    if (file != nullptr) property.replayFile = file;
    return true;
}

bool ReadFormat(const TiXmlElement& element, PropertyModel& property, std::string& reason) {
    const char* format = element.Attribute("format");
    if (format == nullptr || std::strcmp(format, "GRAY") == 0) {
        property.format = kFormatGray;
    } else if (std::strcmp(format, "RGB") == 0) {
        property.format = kFormatRgb;
        property.bytesPerPixel = 3;
        property.effectiveBits = 24;
    } else {
        reason = std::string("format \"") + format + "\" is neither GRAY nor RGB";
        return false;
    }
    const char* compression = element.Attribute("compression");
    if (compression != nullptr && std::strcmp(compression, "jpeg") != 0 && std::strcmp(compression, "none") != 0) {
        reason = std::string("compression \"") + compression + "\" is neither none nor jpeg";
        return false;
    }
    property.jpeg = compression != nullptr && std::strcmp(compression, "jpeg") == 0;
    return true;
}

bool ReadProperty(const TiXmlElement& element, PropertyModel& property, std::string& reason) {
    const char* name = element.Attribute("name");
    if (name == nullptr || name[0] == '\0' || std::strlen(name) >= 64) {
        reason = "a property needs a name of 1 to 63 characters";
        return false;
    }
    property.name = name;
    if (!ReadFormat(element, property, reason) || !ReadSource(element, property, reason)) return false;
    long width = property.width, height = property.height, bpp = property.bytesPerPixel;
    long bits = property.effectiveBits, start = property.frameNumberStart;
    long minRate = property.minRateMs, maxRate = property.maxRateMs;
    if (!ReadInt(element, "width", 1, 65535, width, reason) || !ReadInt(element, "height", 1, 65535, height, reason) ||
        !ReadInt(element, "bytesPerPixel", 1, 4, bpp, reason) ||
        !ReadInt(element, "effectiveBits", 1, 32, bits, reason) ||
        !ReadInt(element, "frameNumberStart", 1, 0xFFFFFFFFL, start, reason) ||
        !ReadInt(element, "minRateMs", 1, 3600000, minRate, reason) ||
        !ReadInt(element, "maxRateMs", 1, 3600000, maxRate, reason))
        return false;
    const bool rgb = property.format == kFormatRgb;
    if ((rgb && bpp != 3) || (!rgb && bpp > 2) || bits > 8 * bpp || (property.jpeg && !rgb && bpp != 1)) {
        reason = "property \"" + property.name + "\": bytesPerPixel and effectiveBits do not fit the format";
        return false;
    }
    if (static_cast<unsigned long long>(width) * height * bpp > kMaxFrameBytes || minRate > maxRate) {
        reason = "property \"" + property.name + "\": frame above " + std::to_string(kMaxFrameBytes) +
                 " bytes or minRateMs above maxRateMs";
        return false;
    }
    if (property.jpeg && (width > kMaxJpegSide || height > kMaxJpegSide)) {
        reason = "property \"" + property.name + "\": JPEG frames are at most " + std::to_string(kMaxJpegSide) +
                 " pixels wide and high";
        return false;
    }
    property.width = static_cast<int>(width);
    property.height = static_cast<int>(height);
    property.bytesPerPixel = static_cast<int>(bpp);
    property.effectiveBits = static_cast<int>(bits);
    property.frameNumberStart = static_cast<uint32_t>(start);
    property.minRateMs = static_cast<int>(minRate);
    property.maxRateMs = static_cast<int>(maxRate);
    return true;
}

bool ReadDevice(const TiXmlElement& element, DeviceModel& device, std::string& reason) {
    const char* address = element.Attribute("address");
    if (address == nullptr || address[0] != '/' || std::strlen(address) >= 133) {
        reason = "a device needs an address that starts with '/' and is shorter than 133 characters";
        return false;
    }
    device.address = address;
    for (const TiXmlElement* child = element.FirstChildElement("property"); child != nullptr;
         child = child->NextSiblingElement("property")) {
        PropertyModel property;
        if (!ReadProperty(*child, property, reason)) return false;
        device.properties.push_back(property);
    }
    return true;
}

// A replay file named relative to the configuration file's folder.
std::string ResolvePath(const char* configuration, const std::string& file) {
    if (file.empty() || file[0] == '/') return file;
    const std::string base(configuration);
    const size_t slash = base.rfind('/');
    return slash == std::string::npos ? file : base.substr(0, slash + 1) + file;
}

// Reads and parses the file within the bounds the library sets its system lists (a FIFO, a device, a
// huge or deeply nested file is refused before the parser sees it). A file that cannot be opened keeps
// the parser's own words for it.
bool ParseBounded(const char* path, TiXmlDocument& document, std::string& reason) {
    std::string text;
    const xml_bounds::ReadResult read = xml_bounds::ReadFile(path, text, reason);
    if (read == xml_bounds::ReadResult::kUnreadable && errno != EISDIR) reason = "Failed to open file";
    if (read != xml_bounds::ReadResult::kRead) return false;
    const std::string refusal = xml_bounds::Refusal(text.data(), text.size());
    if (!refusal.empty()) {
        reason = refusal;
        return false;
    }
    xml_bounds::NormaliseLineEnds(text);
    text.append(16, '\0');  // the parser may step past the terminating zero after a cut character
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (!document.Error()) return true;
    reason = document.ErrorDesc() != nullptr ? document.ErrorDesc() : "cannot be read";
    return false;
}

}  // namespace

bool ReadConfiguration(const char* path, std::vector<DeviceModel>& devices, std::string& reason) {
    TiXmlDocument document;
    if (!ParseBounded(path, document, reason)) return false;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr || std::strcmp(root->Value(), "zantsim") != 0) {
        reason = "the root element is not <zantsim>";
        return false;
    }
    std::vector<DeviceModel> result;
    const char* keepDefault = root->Attribute("keepDefaultCamera");
    if (keepDefault != nullptr && std::strcmp(keepDefault, "true") == 0) result = DefaultDevices();
    for (const TiXmlElement* child = root->FirstChildElement("device"); child != nullptr;
         child = child->NextSiblingElement("device")) {
        DeviceModel device;
        if (!ReadDevice(*child, device, reason)) return false;
        result.push_back(device);
    }
    for (DeviceModel& device : result)
        for (PropertyModel& property : device.properties) {
            if (property.source != FrameSource::kReplay) continue;
            property.replayFile = ResolvePath(path, property.replayFile);
            PrepareReplay(device.address, property);
        }
    devices.swap(result);
    return true;
}

}  // namespace zantsim
