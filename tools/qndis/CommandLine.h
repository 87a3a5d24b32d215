#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qndis::tool {

struct OptionSpec {
    std::string_view name; // long name without "--"
    char shortName;        // 0 when there is none
    bool takesValue;
};

// The options and operands of one command. Options may come before, between
// or after operands; "--" ends the options. Unknown options and missing
// values raise a UsageError naming them.
class CommandLine {
public:
    CommandLine(std::span<const std::string> arguments, std::span<const OptionSpec> options);

    bool Has(std::string_view name) const;
    std::optional<std::string> Value(std::string_view name) const;
    const std::vector<std::string>& Operands() const { return m_operands; }

    // Number conversions that name the option in their error.
    std::optional<long long> Integer(std::string_view name, long long min, long long max) const;
    std::optional<double> Seconds(std::string_view name) const;

    // Refuses operands beyond `count`.
    void ExpectOperands(std::size_t min, std::size_t max, std::string_view usage) const;

private:
    std::map<std::string, std::string, std::less<>> m_values;
    std::vector<std::string> m_operands;
};

} // namespace qndis::tool
