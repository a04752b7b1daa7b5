// Command-line parsing for the qmv3 tool: long options ("--rate 100", "--rate=100"), short options
// ("-n 5", "-n5"), flags, "--" to end the options, and positional arguments in any order among them.
#ifndef QMV3_TOOL_ARGUMENTS_H
#define QMV3_TOOL_ARGUMENTS_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace qmv3tool {

struct OptionSpec {
    const char* longName;  // without the leading "--"
    char shortName;        // 0: none
    bool takesValue;
};

class Arguments {
  public:
    // Parses argv[first..argc). False with a message on an unknown option or a missing value.
    bool Parse(int argc, char** argv, int first, const OptionSpec* options, size_t optionCount, std::string& error);

    bool Has(const char* longName) const;
    // The value of the last occurrence, or null when the option was not given.
    const char* Value(const char* longName) const;
    const std::vector<std::string>& Positionals() const { return positionals_; }

  private:
    bool TakeOption(const OptionSpec& option, const char* inlineValue, int argc, char** argv, int& index,
                    std::string& error);

    std::vector<std::pair<std::string, std::string>> options_;
    std::vector<std::string> positionals_;
};

// Parses a whole decimal number within [minimum, maximum]; false for anything else.
bool ParseNumber(const char* text, long minimum, long maximum, long& value);

// A range of images "A:B", "A:", ":B" or "K", counted from 1 and inclusive; an open end stays 0.
bool ParseRange(const char* text, long& first, long& last);

// A finite decimal number (strtod's form, nothing after it); false for anything else.
bool ParseDecimal(const char* text, double& value);

}  // namespace qmv3tool

#endif
