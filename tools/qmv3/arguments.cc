// Command-line parsing for the qmv3 tool.
#include "arguments.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qmv3tool {

namespace {

const OptionSpec* FindLong(const OptionSpec* specs, size_t count, const std::string& name) {
    for (size_t i = 0; i < count; ++i)
        if (name == specs[i].longName) return &specs[i];
    return nullptr;
}

const OptionSpec* FindShort(const OptionSpec* specs, size_t count, char name) {
    for (size_t i = 0; i < count; ++i)
        if (specs[i].shortName != 0 && specs[i].shortName == name) return &specs[i];
    return nullptr;
}

}  // namespace

bool Arguments::TakeOption(const OptionSpec& spec, const char* inlineValue, int argc, char** argv, int& index,
                           std::string& error) {
    if (!spec.takesValue) {
        if (inlineValue != nullptr) {
            error = std::string("option --") + spec.longName + " takes no value";
            return false;
        }
        options_.emplace_back(spec.longName, "");
        return true;
    }
    if (inlineValue == nullptr) {
        if (index + 1 >= argc) {
            error = std::string("option --") + spec.longName + " needs a value";
            return false;
        }
        inlineValue = argv[++index];
    }
    options_.emplace_back(spec.longName, inlineValue);
    return true;
}

bool Arguments::Parse(int argc, char** argv, int first, const OptionSpec* specs, size_t specCount, std::string& error) {
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
            const OptionSpec* spec = FindLong(specs, specCount, name);
            if (spec == nullptr) {
                error = "unknown option --" + name;
                return false;
            }
            if (!TakeOption(*spec, equals ? equals + 1 : nullptr, argc, argv, index, error)) return false;
        } else {
            const OptionSpec* spec = FindShort(specs, specCount, argument[1]);
            if (spec == nullptr) {
                error = std::string("unknown option -") + argument[1];
                return false;
            }
            const char* rest = argument[2] != '\0' ? argument + 2 : nullptr;
            if (rest != nullptr && !spec->takesValue) {
                error = std::string("option -") + argument[1] + " takes no value";
                return false;
            }
            if (!TakeOption(*spec, rest, argc, argv, index, error)) return false;
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

}  // namespace qmv3tool
