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
    std::string digits;
    for (const char c : text == "-" ? std::string_view() : text) {
        if (c != ' ' && c != ':') {
            digits += c;
        }
    }
    std::vector<unsigned char> bytes;
    const bool hex = digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    EXPECT_TRUE(hex && digits.size() % 2 == 0) << "not hexadecimal bytes: " << text;
    for (std::size_t at = 0; hex && at + 1 < digits.size(); at += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(digits.substr(at, 2), nullptr, 16)));
    }
    return bytes;
}

} // namespace qndis::test
