// Command-line parsing for the qmv3 tool.
#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qmv3tool {

namespace {

const OptionSpec* FindLong(const OptionSpec* options, size_t count, const std::string& name) {
    for (size_t i = 0; i < count; ++i)
        if (name == options[i].longName) return &options[i];
    return nullptr;
}

const OptionSpec* FindShort(const OptionSpec* options, size_t count, char name) {
    for (size_t i = 0; i < count; ++i)
        if (options[i].shortName != 0 && options[i].shortName == name) return &options[i];
    return nullptr;
}

}  // namespace

bool Arguments::TakeOption(const OptionSpec& option, const char* inlineValue, int argc, char** argv, int& index,
                           std::string& error) {
    if (!option.takesValue) {
        if (inlineValue != nullptr) {
            error = std::string("option --") + option.longName + " takes no value";
            return false;
        }
        options_.emplace_back(option.longName, "");
        return true;
    }
    if (inlineValue == nullptr) {
        if (index + 1 >= argc) {
            error = std::string("option --") + option.longName + " needs a value";
            return false;
        }
        inlineValue = argv[++index];
    }
    options_.emplace_back(option.longName, inlineValue);
    return true;
}

bool Arguments::Parse(int argc, char** argv, int first, const OptionSpec* options, size_t optionCount,
                      std::string& error) {
    bool optionsEnded = false;
    for (int index = first; index < argc; ++index) {
        const char* argument = argv[index];
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            positionals_.emplace_back(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (argument[1] == '-') {
            const char* equals = std::strchr(argument + 2, '=');
            const std::string name = equals ? std::string(argument + 2, equals) : std::string(argument + 2);
            const OptionSpec* option = FindLong(options, optionCount, name);
            if (option == nullptr) {
                error = "unknown option --" + name;
                return false;
            }
            if (!TakeOption(*option, equals ? equals + 1 : nullptr, argc, argv, index, error)) return false;
        } else {
            const OptionSpec* option = FindShort(options, optionCount, argument[1]);
            if (option == nullptr) {
                error = std::string("unknown option -") + argument[1];
                return false;
            }
            const char* rest = argument[2] != '\0' ? argument + 2 : nullptr;
            if (rest != nullptr && !option->takesValue) {
                error = std::string("option -") + argument[1] + " takes no value";
                return false;
            }
            if (!TakeOption(*option, rest, argc, argv, index, error)) return false;
        }
    }
    return true;
}

bool Arguments::Has(const char* longName) const { return Value(longName) != nullptr; }

const char* Arguments::Value(const char* longName) const {
    for (auto it = options_.rbegin(); it != options_.rend(); ++it)
        if (it->first == longName) return it->second.c_str();
    return nullptr;
}

bool ParseNumber(const char* text, long minimum, long maximum, long& value) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

bool ParseRange(const char* text, long& first, long& last) {
    const char* colon = std::strchr(text, ':');
    const std::string head = colon ? std::string(text, colon) : std::string(text);
    const std::string tail = colon ? std::string(colon + 1) : head;
    first = last = 0;
    if (!head.empty() && !ParseNumber(head.c_str(), 1, 0xffffffffL, first)) return false;
    if (!tail.empty() && !ParseNumber(tail.c_str(), 1, 0xffffffffL, last)) return false;
    return (colon != nullptr || !head.empty()) && (first == 0 || last == 0 || first <= last);
}

bool ParseDecimal(const char* text, double& value) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

}  // namespace qmv3tool
