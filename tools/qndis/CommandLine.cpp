#include "tools/qndis/CommandLine.h"

#include "tools/qndis/ToolError.h"

#include <charconv>

namespace qndis::tool {

namespace {

const OptionSpec* FindLong(std::span<const OptionSpec> options, std::string_view name) {
    for (const OptionSpec& option : options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

const OptionSpec* FindShort(std::span<const OptionSpec> options, char name) {
    for (const OptionSpec& option : options) {
        if (option.shortName != 0 && option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

} // namespace

CommandLine::CommandLine(std::span<const std::string> arguments,
                         std::span<const OptionSpec> options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            m_operands.insert(m_operands.end(), arguments.begin() + static_cast<long>(i) + 1,
                              arguments.end());
            return;
        }
        const OptionSpec* option = nullptr;
        std::optional<std::string> inlineValue;
        if (argument.starts_with("--")) {
            const std::string_view body = std::string_view(argument).substr(2);
            const std::size_t equals = body.find('=');
            option = FindLong(options, body.substr(0, equals));
            if (equals != std::string_view::npos) {
                inlineValue = std::string(body.substr(equals + 1));
            }
        } else if (argument.size() >= 2 && argument[0] == '-') {
            option = FindShort(options, argument[1]);
            if (argument.size() > 2) {
                inlineValue = argument.substr(2);
            }
        } else {
            m_operands.push_back(argument);
            continue;
        }
        if (option == nullptr) {
            throw UsageError("unknown option '" + argument + "'.");
        }
        if (!option->takesValue) {
            if (inlineValue) {
                throw UsageError("option '--" + std::string(option->name) + "' takes no value.");
            }
            m_values[std::string(option->name)] = {};
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                throw UsageError("option '--" + std::string(option->name) + "' needs a value.");
            }
            inlineValue = arguments[++i];
        }
        m_values[std::string(option->name)] = *inlineValue;
    }
}

bool CommandLine::Has(std::string_view name) const {
    return m_values.find(name) != m_values.end();
}

std::optional<std::string> CommandLine::Value(std::string_view name) const {
    const auto found = m_values.find(name);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<long long> CommandLine::Integer(std::string_view name, long long min,
                                              long long max) const {
    const auto text = Value(name);
    if (!text) {
        return std::nullopt;
    }
    long long value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end || value < min || value > max) {
        throw UsageError("option '--" + std::string(name) + "' needs a whole number from " +
                         std::to_string(min) + " to " + std::to_string(max) + ", not '" + *text +
                         "'.");
    }
    return value;
}

std::optional<double> CommandLine::Seconds(std::string_view name) const {
    const auto text = Value(name);
    if (!text) {
        return std::nullopt;
    }
    double value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end || !(value > 0) || value > 1e9) {
        throw UsageError("option '--" + std::string(name) +
                         "' needs a positive number of seconds, not '" + *text + "'.");
    }
    return value;
}

void CommandLine::ExpectOperands(std::size_t min, std::size_t max, std::string_view usage) const {
    if (m_operands.size() < min || m_operands.size() > max) {
        throw UsageError(m_operands.size() < min ? "missing argument; usage: " + std::string(usage)
                                                 : "unexpected argument '" + m_operands[max] +
                                                       "'; usage: " + std::string(usage));
    }
}

} // namespace qndis::tool
