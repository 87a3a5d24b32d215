#include "GoldenFile.h"

#include <fstream>
#include <gtest/gtest.h>

namespace qndis::test {

namespace {

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::vector<std::string> Split(std::string_view line) {
    std::vector<std::string> fields;
    for (std::size_t bar = line.find(" | "); bar != std::string_view::npos;
         bar = line.find(" | ")) {
        fields.push_back(Trimmed(line.substr(0, bar)));
        line.remove_prefix(bar + 3);
    }
    fields.push_back(Trimmed(line));
    return fields;
}

int Digit(char c) {
    const std::string_view digits = "0123456789abcdef";
    const auto at = digits.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

} // namespace

std::vector<GoldenRow> ReadGolden(const std::string& name, std::size_t columns) {
    std::vector<GoldenRow> rows;
    std::ifstream in(std::string(QNDIS_TEST_DATA) + "/" + name);
    EXPECT_TRUE(in.is_open()) << name;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (Trimmed(line).empty() || line.front() == '#') {
            continue;
        }
        GoldenRow row{name + ":" + std::to_string(number), Split(line)};
        if (row.fields.size() != columns) {
            ADD_FAILURE() << row.where << ": " << row.fields.size() << " fields, not " << columns;
            continue;
        }
        rows.push_back(std::move(row));
    }
    EXPECT_FALSE(rows.empty()) << name;
    return rows;
}

std::vector<unsigned char> HexBytes(std::string_view text) {
    std::vector<unsigned char> bytes;
    int high = -1;
    for (const char c : text == "-" ? std::string_view() : text) {
        if (c == ' ' || c == ':') {
            continue;
        }
        const int digit = Digit(c);
        if (digit < 0) {
            ADD_FAILURE() << "not hexadecimal: " << text;
            return {};
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<unsigned char>(high << 4 | digit));
            high = -1;
        }
    }
    EXPECT_LT(high, 0) << "odd number of digits: " << text;
    return bytes;
}

} // namespace qndis::test
