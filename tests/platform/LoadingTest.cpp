// Which copy of the driver library the library loads, from where, and what
// is left once it is unloaded: each case runs a probe in a child process
// with a search path of its own.
#include "tests/support/GoldenFile.h"
#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using qndis::test::GoldenRow;
using qndis::test::ReadGolden;
using qndis::test::ScratchDirectory;

constexpr const char* kDriverName = "libw32n55.so";
#ifdef QNDIS_REAL_DRIVER
constexpr const char* kRealDriver = QNDIS_REAL_DRIVER;
#else
constexpr const char* kRealDriver = nullptr;
#endif

fs::path Place(const fs::path& source, const fs::path& dir, const std::string& name) {
    fs::copy_file(source, dir / name, fs::copy_options::overwrite_existing);
    return dir / name;
}

std::string RunWithSearchPath(const std::string& command, const std::string& searchPath) {
    std::string output;
    FILE* pipe = ::popen(("env LD_LIBRARY_PATH='" + searchPath + "' " + command).c_str(), "r");
    std::array<char, 4096> buffer{};
    while (pipe != nullptr && std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        output += buffer.data();
    }
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    return output + "status=" + std::to_string(status) + "\n";
}

// Each text must be in the report, in this order; one starting with '!'
// must not be anywhere. $OWN and $OTHER stand for the two directories.
void ExpectReport(std::string report, const std::vector<std::string>& texts, const fs::path& own,
                  const fs::path& other) {
    std::size_t from = 0;
    for (std::string text : texts) {
        for (const auto& [name, path] : {std::pair{"$OWN", own}, std::pair{"$OTHER", other}}) {
            if (const auto at = text.find(name); at != std::string::npos) {
                text.replace(at, std::string(name).size(), path.string());
            }
        }
        if (text.starts_with("!")) {
            EXPECT_EQ(report.find(text.substr(1)), std::string::npos) << text << "\n" << report;
        } else {
            const std::size_t at = report.find(text, from);
            EXPECT_NE(at, std::string::npos) << text << "\n" << report;
            from = at == std::string::npos ? from : at;
        }
    }
}

// A copy named in tests/data/loading.txt, or nullptr.
const char* Source(const std::string& name) {
    const std::pair<const char*, const char*> sources[] = {{"A", QNDIS_STANDIN_A},
                                                           {"B", QNDIS_STANDIN_B},
                                                           {"N", QNDIS_STANDIN_NO_LOOKUP},
                                                           {"real", kRealDriver}};
    for (const auto& [shorthand, path] : sources) {
        if (name == shorthand) {
            return path;
        }
    }
    return nullptr;
}

std::vector<std::string> ReportTexts(const std::string& field) {
    std::vector<std::string> texts;
    std::istringstream items(field);
    for (std::string text; std::getline(items, text, ';');) {
        text.erase(0, text.find_first_not_of(' '));
        for (auto at = text.find("\\n"); at != std::string::npos; at = text.find("\\n")) {
            text.replace(at, 2, "\n");
        }
        texts.push_back(text);
    }
    return texts;
}

// A directory below the scratch root whose path is `length` characters long.
fs::path OfLength(const ScratchDirectory& layout, std::size_t length) {
    fs::path relative;
    for (std::size_t at = layout.Root().string().size(); at < length;) {
        const std::size_t segment = std::min<std::size_t>(length - at, 100);
        EXPECT_GE(segment, 2U);
        relative /= std::string(segment - 1, 'p');
        at += segment;
    }
    return layout.Dir(relative);
}

TEST(LoadingTest, LoadsTheRightCopyAndLeavesNothingBehind) {
    for (const GoldenRow& row : ReadGolden("loading.txt", 7)) {
        const auto& f = row.fields;
        SCOPED_TRACE(row.where + " " + f[0]);
        if (f[1] == "real" && kRealDriver == nullptr) {
            continue;
        }
        ScratchDirectory layout;
        ASSERT_FALSE(layout.Root().empty());
        const std::size_t ownLength = std::stoul(f[4]);
        const fs::path own = ownLength == 0 ? layout.Dir("own") : OfLength(layout, ownLength);
        const fs::path other = layout.Dir("other");
        ASSERT_TRUE(ownLength == 0 || own.string().size() == ownLength);
        const fs::path probe = Place(QNDIS_PROBE_LIBRARY, own, "libqprob.so");
        for (const auto& [source, dir] : {std::pair{Source(f[1]), own}, {Source(f[2]), other}}) {
            if (source != nullptr) {
                Place(source, dir, kDriverName);
            }
        }
        const char* later = Source(f[5]);
        const std::string copy =
            later != nullptr ? std::string("QNDIS_PROBE_COPY='") + later + "' " : "";
        const std::string report = RunWithSearchPath(
            copy + QNDIS_PROBE_RUNNER + " '" + probe.string() + "' " + f[3] + " libqprob.so",
            other.string());
        ExpectReport(report, {"descriptors-left=0\n", "status=0\n"}, own, other);
        ExpectReport(report, ReportTexts(f[6]), own, other);
        EXPECT_NE(report.find("mapped-after-unload=0\n"), std::string::npos) << report;
    }
}

// libqndislib.so itself, in a directory of its own with a driver copy.
TEST(SharedLibraryTest, LoadsTheDriverBesideItOnlyForAHook) {
    ScratchDirectory layout;
    const fs::path own = layout.Dir("lib"), other = layout.Dir("other");
    Place(QNDIS_SHARED_LIBRARY, own, QNDIS_SHARED_SONAME);
    Place(QNDIS_STANDIN_A, own, kDriverName);
    Place(QNDIS_STANDIN_B, other, kDriverName);
    const std::string program = QNDIS_SHARED_PROGRAM;
    const std::string both = other.string() + ":" + own.string();
    ExpectReport(RunWithSearchPath(program + " none", own.string()),
                 {"ethernet=1\n", "qndislib=$OWN/" QNDIS_SHARED_SONAME "\n", "event=258\n",
                  "sleep=0\n", "mapped=0\n", "!unloaded=", "status=0\n"},
                 own, other);
    // The other directory comes first on the search path: only the library
    // itself is found through it.
    ExpectReport(RunWithSearchPath(program + " hook", both),
                 {"qndislib=$OWN/" QNDIS_SHARED_SONAME "\n", "hook=1\n",
                  "driver=$OWN/libw32n55.so\n", "status=0\n"},
                 own, other);
    ExpectReport(
        RunWithSearchPath(std::string(QNDIS_PROBE_RUNNER) + " '" + own.string() + "/" +
                              QNDIS_SHARED_SONAME "' - " QNDIS_SHARED_SONAME,
                          other.string()),
        {"mapped=0\n", "library-mapped-after-unload=0\n", "descriptors-left=0\n", "status=0\n"},
        own, other);
}

} // namespace
