// The configuration file of the stand-in: an XML document that describes simulated devices and their
// image properties (format documented in the README). Every value is checked before use; one bad value
// makes the whole file malformed.
#include <tinyxml.h>

#include <cstdlib>
#include <cstring>

#include "sim_image.h"

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
    if (!ReadFormat(element, property, reason)) return false;
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
        reason = "property \"" + property.name + "\": frame above 104857600 bytes or minRateMs above maxRateMs";
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

}  // namespace

bool ReadConfiguration(const char* path, std::vector<DeviceModel>& devices, std::string& reason) {
    TiXmlDocument document;
    if (!document.LoadFile(path)) {
        reason = document.ErrorDesc() != nullptr ? document.ErrorDesc() : "cannot be read";
        return false;
    }
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
    devices.swap(result);
    return true;
}

}  // namespace zantsim
