// Which copy of the driver library the library loads, from where, and what
// is left once it is unloaded: each case runs a probe in a child process
// with a search path of its own.
#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

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

struct LoadCase {
    const char* name;
    const char* own;   // the driver copy beside the probe
    const char* other; // the one on the search path
    const char* mode;
    std::vector<std::string> report;
    std::size_t ownLength = 0; // the own directory's path length, when it matters
    const char* copyLater = nullptr;
};

const LoadCase kCases[] = {
    {"OwnDirectoryFirstAndUnloadedWithTheLibrary",
     QNDIS_STANDIN_A,
     QNDIS_STANDIN_B,
     "load",
     {"directory=$OWN/\n", "mark=A\n", "from=$OWN/libw32n55.so\n", "wait=1\n", "mapped=1\n",
      "unloaded=A\n", "mapped-after-unload=0\n", "library-mapped-after-unload=0\n"}},
    {"SearchPathWithoutAnOwnCopy",
     nullptr,
     QNDIS_STANDIN_B,
     "load",
     {"mark=B\n", "from=$OTHER/libw32n55.so\n"}},
    {"MissingLibraryNamesWhereItWasLookedFor",
     nullptr,
     nullptr,
     "load",
     {"code=C06D007E\n", "message=", "libw32n55.so", "$OWN/libw32n55.so", "search path",
      "mapped=0\n"}},
    {"OwnCopyWithoutTheLookupIsAMissingEntryPoint",
     QNDIS_STANDIN_NO_LOOKUP,
     QNDIS_STANDIN_B,
     "load",
     {"code=C06D007F\n", "$OWN/libw32n55.so", "W32N55_GetProcAddress", "mapped=0\n"}},
    {"MissingOrdinal",
     QNDIS_STANDIN_A,
     nullptr,
     "ordinal",
     {"code=C06D007F\n", "$OWN/libw32n55.so", "ordinal 15"}},
    {"FailedLoadIsTriedAgain",
     nullptr,
     nullptr,
     "retry",
     {"first=C06D007E\n", "mark=A\n", "from=$OWN/libw32n55.so\n"},
     0,
     QNDIS_STANDIN_A},
    {"ConcurrentFirstCallsShareOneLibrary", QNDIS_STANDIN_A, nullptr, "threads", {"same=1\n"}},
    // The 260-character limit: the probe's path is its directory's plus 12.
    {"LibraryPathFits",
     QNDIS_STANDIN_A,
     QNDIS_STANDIN_B,
     "load",
     {"directory=$OWN/\n", "mark=A\n"},
     246},
    {"LibraryPathTooLong",
     QNDIS_STANDIN_A,
     QNDIS_STANDIN_B,
     "load",
     {"directory=$OWN/\n", "mark=B\n"},
     247},
    {"ModulePathCut", QNDIS_STANDIN_A, QNDIS_STANDIN_B, "load", {"directory=\n", "mark=B\n"}, 248},
    // A wait served by the real driver must not keep it mapped after unload.
    {"RealDriverServesTheAlertableWait",
     kRealDriver,
     QNDIS_STANDIN_B,
     "load",
     {"!code=", "from=$OWN/libw32n55.so\n", "wait=1\n", "sleep=0\n"}},
    {"RealDriverResolvesItsOrdinals",
     kRealDriver,
     nullptr,
     "ordinal",
     {"send=resolved\n", "mapped=1\n"}},
};

class LoadingTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadingTest, LoadsTheRightCopyAndLeavesNothingBehind) {
    const LoadCase& c = GetParam();
    if (std::string(c.name).starts_with("RealDriver") && kRealDriver == nullptr) {
        GTEST_SKIP() << "no driver library in this build";
    }
    ScratchDirectory layout;
    ASSERT_FALSE(layout.Root().empty());
    fs::path relative = "own";
    if (c.ownLength != 0) {
        relative.clear();
        for (std::size_t length = layout.Root().string().size(); length < c.ownLength;) {
            const std::size_t segment = std::min<std::size_t>(c.ownLength - length, 100);
            ASSERT_GE(segment, 2U);
            relative /= std::string(segment - 1, 'p');
            length += segment;
        }
    }
    const fs::path own = layout.Dir(relative), other = layout.Dir("other");
    ASSERT_TRUE(c.ownLength == 0 || own.string().size() == c.ownLength);
    const fs::path probe = Place(QNDIS_PROBE_LIBRARY, own, "libqprob.so");
    for (const auto& [source, dir] : {std::pair{c.own, own}, std::pair{c.other, other}}) {
        if (source != nullptr) {
            Place(source, dir, kDriverName);
        }
    }
    const std::string copy =
        c.copyLater != nullptr ? std::string("QNDIS_PROBE_COPY='") + c.copyLater + "' " : "";
    const std::string report = RunWithSearchPath(copy + QNDIS_PROBE_RUNNER + " '" + probe.string() +
                                                     "' " + c.mode + " libqprob.so",
                                                 other.string());
    ExpectReport(report, {"descriptors-left=0\n", "status=0\n"}, own, other);
    ExpectReport(report, c.report, own, other);
    EXPECT_NE(report.find("mapped-after-unload=0\n"), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadingTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

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
