// qndis commands end to end: what each one prints and its exit status.
#include "tests/qndis/QndisRun.h"
#include "tests/support/GoldenFile.h"

#include <algorithm>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qndis::test;
using ::testing::HasSubstr;

// A field of tests/data/commands.txt with its escapes resolved.
std::string Unescaped(const std::string& field) {
    if (field == "-") {
        return {};
    }
    std::string text;
    for (std::size_t at = 0; at < field.size(); ++at) {
        if (field[at] != '\\' || at + 1 == field.size()) {
            text += field[at];
        } else if (const char kind = field[++at]; kind == 'x' && at + 2 < field.size()) {
            text += static_cast<char>(std::stoi(field.substr(at + 1, 2), nullptr, 16));
            at += 2;
        } else {
            text += kind == 'n' ? '\n' : kind == 'r' ? '\r' : kind;
        }
    }
    return text;
}

std::vector<std::string> Arguments(const std::string& field, const ScratchDirectory& scratch) {
    std::vector<std::string> arguments;
    for (std::size_t from = field == "-" ? 1 : 0; from < field.size();) {
        const std::size_t comma = std::min(field.find(", ", from), field.size());
        std::string argument = field.substr(from, comma - from);
        if (argument.starts_with("$S/")) {
            argument = scratch.Path(argument.substr(3));
        } else if (argument.starts_with("$D/")) {
            argument = QNDIS_TEST_DATA + argument.substr(2);
        }
        arguments.push_back(argument);
        from = comma + 2;
    }
    return arguments;
}

TEST(QndisCommand, PrintsWhatItFoundOrOneSentenceWithTheRightStatus) {
    for (const GoldenRow& row : ReadGolden("commands.txt", 5)) {
        SCOPED_TRACE(row.where);
        ScratchDirectory scratch;
        std::ofstream(scratch.Path("file"), std::ios::binary) << Unescaped(row.fields[4]);
        const auto result = RunQndis(Arguments(row.fields[0], scratch));
        const int status = std::stoi(row.fields[1]);
        EXPECT_EQ(result.status, status);
        EXPECT_THAT(result.out, HasSubstr(Unescaped(row.fields[2])));
        EXPECT_THAT(result.err, HasSubstr(Unescaped(row.fields[3])));
        EXPECT_TRUE(status == 0 || result.out.empty()) << result.out;
    }
}

} // namespace
