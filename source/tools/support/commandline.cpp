#include "support/commandline.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "support/toolerror.h"

namespace tsr::tools {

bool ParseInteger(const std::string& text, long long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

CommandLine::CommandLine(int argc, const char* const* argv, int first,
                         const std::vector<OptionDefinition>& definitions) {
    auto find = [&definitions](const std::string& name) -> const OptionDefinition* {
        for (const OptionDefinition& definition : definitions)
            if (definition.name == name) return &definition;
        return nullptr;
    };
    auto findShort = [&definitions](char letter) -> const OptionDefinition* {
        for (const OptionDefinition& definition : definitions)
            if (definition.shortName == letter) return &definition;
        return nullptr;
    };

    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            m_operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionDefinition* definition = nullptr;
        std::string name, value;
        bool inlineValue = false;
        if (argument[1] == '-') {
            name = argument.substr(2);
            const size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.resize(equals);
                inlineValue = true;
            }
            definition = find(name);
        } else if (argument.size() == 2) {
            definition = findShort(argument[1]);
            if (definition)
                name = definition->name;
            else if (argument[1] == 'h')
                name = "help";
        }
        if (name == "help" && !definition) {
            m_values["help"] = "";
            continue;
        }
        if (!definition) throw UsageError("unknown option " + argument + " (see --help)");
        if (definition->takesValue && !inlineValue) {
            if (i + 1 >= argc) throw UsageError("option --" + name + " needs a value");
            value = argv[++i];
        } else if (!definition->takesValue && inlineValue) {
            throw UsageError("option --" + name + " takes no value");
        }
        m_values[name] = value;
    }
}

bool CommandLine::Has(const std::string& name) const {
    return m_values.count(name) != 0;
}

std::string CommandLine::Value(const std::string& name, const std::string& fallback) const {
    const auto found = m_values.find(name);
    return found == m_values.end() ? fallback : found->second;
}

long long CommandLine::Integer(const std::string& name, long long fallback, long long minimum,
                               long long maximum) const {
    if (!Has(name)) return fallback;
    long long value = 0;
    if (!ParseInteger(Value(name), value) || value < minimum || value > maximum)
        throw UsageError("--" + name + " must be a whole number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ", not \"" + Value(name) + "\"");
    return value;
}

double CommandLine::Number(const std::string& name, double fallback, double minimum, double maximum) const {
    if (!Has(name)) return fallback;
    double value = 0;
    if (!ParseNumber(Value(name), value) || value < minimum || value > maximum)
        throw UsageError("--" + name + " must be a number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ", not \"" + Value(name) + "\"");
    return value;
}

std::vector<double> CommandLine::NumberList(const std::string& name, size_t count) const {
    std::vector<double> numbers;
    const std::string text = Value(name);
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        double value = 0;
        if (!ParseNumber(text.substr(start, comma - start), value))
            throw UsageError("--" + name + " must be a comma-separated list of numbers, not \"" + text +
                             "\"");
        numbers.push_back(value);
        start = comma + 1;
    }
    if (count != 0 && numbers.size() != count)
        throw UsageError("--" + name + " needs " + std::to_string(count) + " comma-separated numbers, got " +
                         std::to_string(numbers.size()));
    return numbers;
}

} // namespace tsr::tools
