#include <array>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDriverName = "libw32n55.so";

// A private directory tree under /tmp, removed with the object.
class Layout {
public:
    Layout() {
        std::string pattern = (fs::temp_directory_path() / "qndis-load-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_root = pattern;
        }
    }
    ~Layout() {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    // A directory below the root, made with its parents.
    fs::path Dir(const fs::path& relative) const {
        const fs::path dir = m_root / relative;
        fs::create_directories(dir);
        return dir;
    }
    static fs::path Place(const fs::path& source, const fs::path& dir, const std::string& name) {
        const fs::path target = dir / name;
        fs::copy_file(source, target, fs::copy_options::overwrite_existing);
        return target;
    }
    const fs::path& Root() const { return m_root; }

private:
    fs::path m_root;
};

struct Report {
    std::string output;
    std::map<std::string, std::string> values;
    int status = -1;

    std::string operator[](const std::string& key) const {
        const auto found = values.find(key);
        return found == values.end() ? std::string("<absent>") : found->second;
    }
};

Report RunWithSearchPath(const std::string& command, const fs::path& searchPath) {
    Report report;
    const std::string line = "env LD_LIBRARY_PATH='" + searchPath.string() + "' " + command;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return report;
    }
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        const std::string text(buffer.data());
        report.output += text;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos) {
            report.values[text.substr(0, equals)] =
                text.substr(equals + 1, text.size() - equals - 2);
        }
    }
    report.status = ::pclose(pipe);
    return report;
}

Report RunProbe(const fs::path& probe, const std::string& mode, const fs::path& searchPath,
                const std::string& environment = "") {
    return RunWithSearchPath(environment + " " + QNDIS_PROBE_RUNNER + " '" + probe.string() + "' " +
                                 mode + " " + probe.filename().string(),
                             searchPath);
}

class LoadingTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_layout.Root().empty());
        m_own = m_layout.Dir("own");
        m_other = m_layout.Dir("other");
        m_probe = Layout::Place(QNDIS_PROBE_LIBRARY, m_own, "libqndisprobe.so");
    }
    void ExpectCleanRun(const Report& report) const {
        EXPECT_EQ(report.status, 0) << report.output;
        EXPECT_EQ(report["descriptors-left"], "0") << report.output;
        EXPECT_EQ(report["mapped-after-unload"], "0") << report.output;
    }

    Layout m_layout;
    fs::path m_own;
    fs::path m_other;
    fs::path m_probe;
};

TEST_F(LoadingTest, OwnDirectoryComesBeforeTheSearchPath) {
    const fs::path own = Layout::Place(QNDIS_STANDIN_A, m_own, kDriverName);
    Layout::Place(QNDIS_STANDIN_B, m_other, kDriverName);
    const Report report = RunProbe(m_probe, "load", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["directory"], m_own.string() + "/");
    EXPECT_EQ(report["mark"], "A") << report.output;
    EXPECT_EQ(report["from"], own.string());
    EXPECT_EQ(report["wait"], "1");
    EXPECT_EQ(report["mapped"], "1");
}

TEST_F(LoadingTest, SearchPathServesWhenTheOwnDirectoryHasNoCopy) {
    const fs::path other = Layout::Place(QNDIS_STANDIN_B, m_other, kDriverName);
    const Report report = RunProbe(m_probe, "load", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["mark"], "B") << report.output;
    EXPECT_EQ(report["from"], other.string());
}

TEST_F(LoadingTest, MissingLibraryNamesItAndWhereItWasLookedFor) {
    const Report report = RunProbe(m_probe, "load", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["code"], "C06D007E") << report.output;
    const std::string message = report["message"];
    EXPECT_NE(message.find(kDriverName), std::string::npos) << message;
    EXPECT_NE(message.find((m_own / kDriverName).string()), std::string::npos) << message;
    EXPECT_NE(message.find("search path"), std::string::npos) << message;
    EXPECT_EQ(report["mapped"], "0");
}

TEST_F(LoadingTest, OwnCopyWithoutTheLookupIsAMissingEntryPoint) {
    Layout::Place(QNDIS_STANDIN_NO_LOOKUP, m_own, kDriverName);
    Layout::Place(QNDIS_STANDIN_B, m_other, kDriverName);
    const Report report = RunProbe(m_probe, "load", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["code"], "C06D007F") << report.output;
    const std::string message = report["message"];
    EXPECT_NE(message.find("W32N55_GetProcAddress"), std::string::npos) << message;
    EXPECT_NE(message.find((m_own / kDriverName).string()), std::string::npos) << message;
    EXPECT_EQ(report["mapped"], "0");
}

TEST_F(LoadingTest, MissingOrdinalOfALoadedLibrary) {
    const fs::path own = Layout::Place(QNDIS_STANDIN_A, m_own, kDriverName);
    const Report report = RunProbe(m_probe, "ordinal", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["code"], "C06D007F") << report.output;
    const std::string message = report["message"];
    EXPECT_NE(message.find(own.string()), std::string::npos) << message;
    EXPECT_NE(message.find("ordinal 15"), std::string::npos) << message;
}

TEST_F(LoadingTest, FailedLoadIsTriedAgainByTheNextCall) {
    const Report report = RunProbe(m_probe, "retry", m_other,
                                   std::string("QNDIS_PROBE_COPY='") + QNDIS_STANDIN_A + "'");
    ExpectCleanRun(report);
    EXPECT_EQ(report["first"], "C06D007E") << report.output;
    EXPECT_EQ(report["mark"], "A") << report.output;
    EXPECT_EQ(report["from"], (m_own / kDriverName).string());
}

TEST_F(LoadingTest, ConcurrentFirstCallsShareOneLibrary) {
    Layout::Place(QNDIS_STANDIN_A, m_own, kDriverName);
    const Report report = RunProbe(m_probe, "threads", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["same"], "1") << report.output;
}

TEST_F(LoadingTest, NothingButAHookOrAnAdapterListLoadsTheLibrary) {
    Layout::Place(QNDIS_STANDIN_A, m_own, kDriverName);
    const Report report = RunProbe(m_probe, "none", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["ethernet"], "1") << report.output;
    EXPECT_EQ(report["event"], "0"); // WAIT_OBJECT_0
    EXPECT_EQ(report["sleep"], "0");
    EXPECT_EQ(report["loaded"], "0");
    EXPECT_EQ(report["mapped"], "0");
    EXPECT_EQ(report.output.find("unloaded="), std::string::npos);
}

TEST_F(LoadingTest, UnloadingTheLibraryUnloadsTheDriver) {
    Layout::Place(QNDIS_STANDIN_A, m_own, kDriverName);
    const Report report = RunProbe(m_probe, "load", m_other);
    ExpectCleanRun(report);
    ASSERT_EQ(report["mapped"], "1") << report.output;
    EXPECT_EQ(report["library-mapped-after-unload"], "0") << report.output;
    const std::size_t unloaded = report.output.find("unloaded=A");
    ASSERT_NE(unloaded, std::string::npos) << report.output;
    EXPECT_LT(report.output.find("mapped=1"), unloaded);
    EXPECT_LT(unloaded, report.output.find("mapped-after-unload="));
}

// Where the paths cross the 260-character limit: the probe's directory is
// `directoryLength` characters long and the probe file is named so that
// its own path is 11 characters longer plus the separator.
struct LimitCase {
    const char* name;
    std::size_t directoryLength;
    bool directoryKnown;
    const char* mark;
};

class PathLimitTest : public testing::TestWithParam<LimitCase> {};

TEST_P(PathLimitTest, LongPathsFallBackToTheSearchPath) {
    const LimitCase& c = GetParam();
    Layout layout;
    ASSERT_FALSE(layout.Root().empty());
    fs::path relative;
    std::size_t length = layout.Root().string().size();
    ASSERT_LT(length + 2, c.directoryLength);
    while (length < c.directoryLength) {
        const std::size_t segment = std::min<std::size_t>(c.directoryLength - length, 100);
        ASSERT_GE(segment, 2U);
        relative /= std::string(segment - 1, 'p');
        length += segment;
    }
    const fs::path own = layout.Dir(relative);
    ASSERT_EQ(own.string().size(), c.directoryLength);
    const fs::path other = layout.Dir("other");
    const fs::path probe = Layout::Place(QNDIS_PROBE_LIBRARY, own, "libqprob.so");
    ASSERT_EQ(probe.string().size(), c.directoryLength + 12);
    Layout::Place(QNDIS_STANDIN_A, own, kDriverName);
    Layout::Place(QNDIS_STANDIN_B, other, kDriverName);
    const Report report = RunProbe(probe, "load", other);
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_EQ(report["directory"], c.directoryKnown ? own.string() + "/" : std::string());
    EXPECT_EQ(report["mark"], c.mark) << report.output;
}

INSTANTIATE_TEST_SUITE_P(Limits, PathLimitTest,
                         testing::Values(LimitCase{"LibraryPathFits", 246, true, "A"},
                                         LimitCase{"LibraryPathTooLong", 247, true, "B"},
                                         LimitCase{"ModulePathCut", 248, false, "B"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SharedLibraryTest, ProgramWithoutHookNeverLoadsTheDriver) {
    Layout layout;
    ASSERT_FALSE(layout.Root().empty());
    const fs::path dir = layout.Dir("lib");
    const fs::path library = Layout::Place(QNDIS_SHARED_LIBRARY, dir, QNDIS_SHARED_SONAME);
    Layout::Place(QNDIS_STANDIN_A, dir, kDriverName);
    const Report report = RunWithSearchPath(std::string(QNDIS_SHARED_PROGRAM) + " none", dir);
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_EQ(report["qndislib"], library.string()) << report.output;
    EXPECT_EQ(report["ethernet"], "1");
    EXPECT_EQ(report["event"], std::to_string(0x102)); // WAIT_TIMEOUT
    EXPECT_EQ(report["sleep"], "0");
    EXPECT_EQ(report["mapped"], "0");
    EXPECT_EQ(report.output.find("unloaded="), std::string::npos) << report.output;
}

TEST(SharedLibraryTest, LoadingAndUnloadingTheLibraryLeavesNothingBehind) {
    Layout layout;
    ASSERT_FALSE(layout.Root().empty());
    const fs::path dir = layout.Dir("lib");
    const fs::path library = Layout::Place(QNDIS_SHARED_LIBRARY, dir, QNDIS_SHARED_SONAME);
    Layout::Place(QNDIS_STANDIN_A, dir, kDriverName);
    const Report report = RunProbe(library, "-", layout.Dir("other"));
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_EQ(report["mapped"], "0") << report.output;
    EXPECT_EQ(report["library-mapped-after-unload"], "0") << report.output;
    EXPECT_EQ(report["descriptors-left"], "0") << report.output;
}

// The real library, in a directory of its own with a driver copy, while
// another copy comes first on the search path.
class SharedLibraryHookTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_layout.Root().empty());
        m_own = m_layout.Dir("lib");
        m_other = m_layout.Dir("other");
        Layout::Place(QNDIS_SHARED_LIBRARY, m_own, QNDIS_SHARED_SONAME);
    }
    Report RunHook() const {
        // The other directory comes first: only the library itself is
        // found in its own directory through the search path.
        return RunWithSearchPath(std::string(QNDIS_SHARED_PROGRAM) + " hook",
                                 m_other.string() + ":" + m_own.string());
    }

    Layout m_layout;
    fs::path m_own;
    fs::path m_other;
};

TEST_F(SharedLibraryHookTest, HookLoadsTheCopyBesideTheLibrary) {
    const fs::path own = Layout::Place(QNDIS_STANDIN_A, m_own, kDriverName);
    Layout::Place(QNDIS_STANDIN_B, m_other, kDriverName);
    const Report report = RunHook();
    EXPECT_EQ(report.status, 0) << report.output;
    EXPECT_EQ(report["qndislib"], (m_own / QNDIS_SHARED_SONAME).string());
    EXPECT_EQ(report["hook"], "1") << report.output;
    EXPECT_EQ(report["driver"], own.string()) << report.output;
}

#ifdef QNDIS_REAL_DRIVER
bool ExportsTheLookup(const char* path) {
    void* library = ::dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        return false;
    }
    const bool exported = ::dlsym(library, "W32N55_GetProcAddress") != nullptr;
    ::dlclose(library);
    return exported;
}

TEST_F(LoadingTest, RealDriverLibraryServesTheAlertableWait) {
    if (!ExportsTheLookup(QNDIS_REAL_DRIVER)) {
        GTEST_SKIP() << QNDIS_REAL_DRIVER << " does not export W32N55_GetProcAddress yet";
    }
    const fs::path own = Layout::Place(QNDIS_REAL_DRIVER, m_own, kDriverName);
    Layout::Place(QNDIS_STANDIN_B, m_other, kDriverName);
    const Report report = RunProbe(m_probe, "load", m_other);
    // A wait served by the driver must not keep it mapped after unload.
    ExpectCleanRun(report);
    EXPECT_EQ(report["code"], "<absent>") << report.output;
    EXPECT_EQ(report["from"], own.string());
    EXPECT_EQ(report["wait"], "1");
    EXPECT_EQ(report["sleep"], "0");
}

TEST_F(LoadingTest, RealDriverLibraryIsUnloadedWithTheLibrary) {
    if (!ExportsTheLookup(QNDIS_REAL_DRIVER)) {
        GTEST_SKIP() << QNDIS_REAL_DRIVER << " does not export W32N55_GetProcAddress yet";
    }
    Layout::Place(QNDIS_REAL_DRIVER, m_own, kDriverName);
    const Report report = RunProbe(m_probe, "ordinal", m_other);
    ExpectCleanRun(report);
    EXPECT_EQ(report["send"], "resolved") << report.output;
    EXPECT_EQ(report["mapped"], "1");
}
#endif

} // namespace
