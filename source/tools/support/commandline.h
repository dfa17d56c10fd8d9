// Arguments of one subcommand: "--name value", "--name=value", flags, "-o FILE", "-h", and
// positional operands ("--" ends the options). Unknown options and malformed values are usage
// errors (ToolError with kExitUsage).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tsr::tools {

struct OptionDefinition {
    std::string name; // long name without dashes, e.g. "output"
    bool takesValue;  // false for a flag
    char shortName;   // 0 when none, e.g. 'o'
};

class CommandLine {
public:
    // Parses argv[first..argc). "help" is always accepted as a flag (also as "-h").
    CommandLine(int argc, const char* const* argv, int first,
                const std::vector<OptionDefinition>& definitions);

    bool Has(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& fallback = std::string()) const;
    long long Integer(const std::string& name, long long fallback, long long minimum,
                      long long maximum) const;
    double Number(const std::string& name, double fallback, double minimum, double maximum) const;
    // A comma-separated list of exactly `count` numbers (count 0: any length of at least one).
    std::vector<double> NumberList(const std::string& name, size_t count) const;

    const std::vector<std::string>& Operands() const { return m_operands; }

private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_operands;
};

// Strict conversions shared by option parsing: the whole text must be a number in range.
bool ParseInteger(const std::string& text, long long& value);
bool ParseNumber(const std::string& text, double& value);

} // namespace tsr::tools
