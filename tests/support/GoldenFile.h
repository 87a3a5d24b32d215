#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qndis::test {

// One row of a golden file: its fields, and where it stands for messages.
struct GoldenRow {
    std::string where; // file:line
    std::vector<std::string> fields;
};

// The rows of tests/data/`name`: one a line, fields split at " | " and
// trimmed, blank lines and lines starting with '#' skipped. A missing file,
// or a row without exactly `columns` fields, fails the test.
std::vector<GoldenRow> ReadGolden(const std::string& name, std::size_t columns);

// Hexadecimal bytes with any spaces or colons between them; "-" is none.
// A stray digit fails the test.
std::vector<unsigned char> HexBytes(std::string_view text);

} // namespace qndis::test
