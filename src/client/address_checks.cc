// Device address and property name checks. Messages quote the address as the caller gave it and are
// written whatever the log level, when the caller asks for them. Pure functions otherwise; any thread.
#include "client/address_checks.h"

#include <cstring>

#include "util/library_log.h"

namespace {

constexpr int kMinimumAddressLength = 4;  // an address must be longer than this
constexpr int kPropertyNameLimit = 64;    // a property name must be shorter than this

const char* const kTooFewSlashes =
    "Error: %s: Parameter asZantAddress (\"%s\") contains too few number of slashes. Not counting first character, "
    "there must be exactly two slashes. A slash must not follow another slash. Internal Reference: %d.";
const char* const kIllegalSequence =
    "Error: %s: Parameter asZantAddress (\"%s\") contains illegal slash sequence. A slash must not follow another "
    "slash. Internal Reference: %d.";

// Checks the slash structure of the output after its leading slash; 0 with the output emptied on a
// failure, 1 otherwise (a fourth slash cuts the output and marks it corrected).
int CheckSlashes(const char* name, const char* address, char* output, bool log, bool& corrected) {
    const char* second = std::strchr(output + 1, '/');
    const char* third = second != nullptr ? std::strchr(second + 1, '/') : nullptr;
    if (second == nullptr) {
        if (log) _internal_LOG(kTooFewSlashes, name, address, 1);
    } else if (output[1] == '/') {
        if (log) _internal_LOG(kIllegalSequence, name, address, 1);
    } else if (second[1] == '/') {
        if (log) _internal_LOG(kIllegalSequence, name, address, 2);
    } else if (third == nullptr) {
        if (log) _internal_LOG(kTooFewSlashes, name, address, 3);
    } else if (third[1] == '/') {
        if (log) _internal_LOG(kIllegalSequence, name, address, 4);
    } else {
        char* fourth = std::strchr(output + (third - output) + 1, '/');
        if (fourth != nullptr) {
            if (log)
                _internal_LOG(
                    "Warning: %s: Parameter asZantAddress (\"%s\") contains too many number of slashes. Not counting "
                    "first character, there must be exactly two slashes. All characters starting from first illegal "
                    "slash up to the end of the string have been chopped off.",
                    name, address);
            *fourth = '\0';
            corrected = true;
        }
        return 1;
    }
    output[0] = '\0';
    return 0;
}

}  // namespace

int _internal_checkZantAddress(const char* functionName, const char* asZantAddress, char* output, int outputSize,
                               bool logErrors) {
    if (functionName == nullptr || asZantAddress == nullptr || output == nullptr || outputSize < kZantAddressBufferSize)
        return -5;
    const int length = static_cast<int>(std::strlen(asZantAddress));
    if (length <= kMinimumAddressLength || length >= kZantAddressBufferSize) {
        if (logErrors)
            _internal_LOG(length <= kMinimumAddressLength
                              ? "Error: %s: Parameter asZantAddress (\"%s\") is too short (%d characters). But it must "
                                "be more than %d characters."
                              : "Error: %s: Parameter asZantAddress (\"%s\") is too long (%d characters). But it must "
                                "be less than %d characters.",
                          functionName, asZantAddress, length,
                          length <= kMinimumAddressLength ? kMinimumAddressLength : kZantAddressBufferSize);
        return -4;
    }
    bool corrected = false;
    if (asZantAddress[0] == '/') {
        std::snprintf(output, static_cast<size_t>(outputSize), "%s", asZantAddress);
    } else {
        if (logErrors)
            _internal_LOG(
                "Warning: %s: Parameter asZantAddress (\"%s\") will be prepended with a '/' (slash), "
                "because first character should be a slash.",
                functionName, asZantAddress);
        std::snprintf(output, static_cast<size_t>(outputSize), "/%s", asZantAddress);
        corrected = true;
    }
    output[outputSize - 1] = '\0';
    if (CheckSlashes(functionName, asZantAddress, output, logErrors, corrected) == 0) return 0;
    const char* const brackets[2][2] = {
        {"[", "Error: %s: Parameter asZantAddress (\"%s\") contains illegal character [ (opening bracket)."},
        {"]", "Error: %s: Parameter asZantAddress (\"%s\") contains illegal character ] (closing bracket)."}};
    for (const auto& bracket : brackets) {
        if (std::strstr(output, bracket[0]) == nullptr) continue;
        if (logErrors) _internal_LOG(bracket[1], functionName, asZantAddress);
        output[0] = '\0';
        return 0;
    }
    if (corrected && logErrors)
        _internal_LOG("Warning: %s: Parameter asZantAddress (\"%s\") was corrected to \"%s\".", functionName,
                      asZantAddress, output);
    return 1;
}

bool _internal_checkZantPropertyName(const char* functionName, const char* asZantPropertyName, bool logErrors) {
    const char* name = functionName != nullptr ? functionName : "";
    const char* property = asZantPropertyName != nullptr ? asZantPropertyName : "(null)";
    const char* message = nullptr;
    if (asZantPropertyName == nullptr || asZantPropertyName[0] == '\0') {
        message =
            "Error: %s: Parameter asZantPropertyName (\"%s\") is too short. It must be at least one character long.";
    } else if (strnlen(asZantPropertyName, kPropertyNameLimit) >= kPropertyNameLimit) {
        message = "Error: %s: Parameter asZantPropertyName (\"%s\") is too long. It must be less than 64 characters.";
    } else if (std::strchr(asZantPropertyName, '/') != nullptr) {
        message = "Error: %s: Parameter asZantPropertyName (\"%s\") must not contain '/' (slash character(s)).";
    } else if (std::strchr(asZantPropertyName, '[') != nullptr) {
        message =
            "Error: %s: Parameter asZantPropertyName (\"%s\") must not contain '[' (opening bracket character(s)).";
    } else if (std::strchr(asZantPropertyName, ']') != nullptr) {
        message =
            "Error: %s: Parameter asZantPropertyName (\"%s\") must not contain ']' (closing bracket character(s)).";
    }
    if (message == nullptr) return true;
    if (logErrors) _internal_LOG(message, name, property);
    return false;
}
