#include "qndislib/capture/DriverLibrary.h"

#include "qndislib/capture/ModuleDirectory.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/media/Media.h"
#include "qndislib/platform/DynamicLibrary.h"
#include "qndislib/platform/Trace.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using qndis::DriverLibrary;
using qndis::ModuleDirectory;

std::uint8_t TableCompletionStyle() {
    return 1;
}

w32n55abi::Handle TableOpenAdapter(const char* name) {
    return std::string(name) == "eth-test" ? 7 : w32n55abi::kNoHandle;
}

void* TinyTable(std::uint32_t ordinal) {
    switch (ordinal) {
    case w32n55abi::kCompletionStyle:
        return reinterpret_cast<void*>(&TableCompletionStyle);
    case w32n55abi::kOpenAdapter:
        return reinterpret_cast<void*>(&TableOpenAdapter);
    default:
        return nullptr;
    }
}

class DriverLibraryTableTest : public testing::Test {
protected:
    void SetUp() override { DriverLibrary::UseLookupForTesting(&TinyTable); }
    void TearDown() override { DriverLibrary::UseLookupForTesting(nullptr); }
};

TEST_F(DriverLibraryTableTest, TypedEntriesComeFromTheTable) {
    EXPECT_TRUE(DriverLibrary::IsLoaded());
    EXPECT_EQ(DriverLibrary::Get<w32n55abi::kCompletionStyle>()(), 1);
    const auto open = DriverLibrary::Get<w32n55abi::kOpenAdapter>();
    EXPECT_EQ(open("eth-test"), 7);
    EXPECT_EQ(open("other"), w32n55abi::kNoHandle);
    EXPECT_EQ(DriverLibrary::LoadedAlertableWait(), nullptr);
}

TEST_F(DriverLibraryTableTest, MissingOrdinalRaisesEntryPointNotFound) {
    for (const auto ordinal : {w32n55abi::kSend, w32n55abi::kAlertableWait}) {
        try {
            DriverLibrary::Resolve(ordinal);
            FAIL() << "ordinal " << ordinal << " resolved";
        } catch (const std::runtime_error& error) {
            const auto* loadError = dynamic_cast<const CDriverLoadError*>(&error);
            ASSERT_NE(loadError, nullptr);
            EXPECT_EQ(loadError->GetCode(), 0xC06D007FU);
            const std::string message = error.what();
            EXPECT_NE(message.find("libw32n55.so"), std::string::npos) << message;
            EXPECT_NE(message.find(std::to_string(ordinal)), std::string::npos) << message;
        }
    }
    // The table stays bound after a missing ordinal.
    EXPECT_EQ(DriverLibrary::Get<w32n55abi::kCompletionStyle>()(), 1);
}

// An absolute path of `length` characters ending in `fileName`, made of
// directory names short enough for the file system.
std::string PathOfLength(std::size_t length, const std::string& fileName) {
    std::size_t room = length - fileName.size() - 1;
    std::string path;
    while (room > 0) {
        const std::size_t segment = std::min<std::size_t>(room, 100);
        path += '/' + std::string(segment - 1, 'd');
        room -= segment;
    }
    return path + '/' + fileName;
}

TEST(ModuleDirectoryTest, ModulePathRules) {
    struct Case {
        std::string path;
        std::string directory;
    };
    const std::string at259 = PathOfLength(259, "libqndislib.so");
    const std::string at260 = PathOfLength(260, "libqndislib.so");
    ASSERT_EQ(at259.size(), 259U);
    ASSERT_EQ(at260.size(), 260U);
    const Case cases[] = {
        {"/usr/lib/libqndislib.so", "/usr/lib/"},
        {"/libqndislib.so", "/"},
        {at259, at259.substr(0, at259.size() - 14)},
        {at260, ""}, // the platform would have cut it
        {"libqndislib.so", ""},
        {"lib/libqndislib.so", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ModuleDirectory::FromModulePath(c.path), c.directory) << c.path;
    }
}

TEST(ModuleDirectoryTest, LibraryPathRules) {
    const std::string name = "libw32n55.so";
    const std::string fits(ModuleDirectory::kMaxPath - name.size() - 1, 'd');
    const std::string tooLong = fits + 'd';
    struct Case {
        std::string directory;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"/opt/q/", "/opt/q/libw32n55.so"},
        {"/opt/q", "/opt/q/libw32n55.so"},
        {"", std::nullopt},
        {fits.substr(0, fits.size() - 1), fits.substr(0, fits.size() - 1) + "/" + name},
        {fits, std::nullopt}, // the added separator no longer fits
        {fits.substr(0, fits.size() - 1) + "/", fits.substr(0, fits.size() - 1) + "/" + name},
        {tooLong + "/", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ModuleDirectory::LibraryPath(c.directory, name), c.path) << c.directory;
    }
}

TEST(ModuleDirectoryTest, IsTheDirectoryOfTheModuleHoldingTheLibrary) {
    // This test program carries the library's objects itself.
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(ModuleDirectory::Get(), program.parent_path().string() + "/");
}

TEST(DynamicLibraryTest, MissingLibraryReportsTheLoaderReason) {
    std::string error;
    const auto library = qndis::DynamicLibrary::Open("/nonexistent/libnothing.so", error);
    EXPECT_FALSE(library);
    EXPECT_NE(error.find("libnothing.so"), std::string::npos) << error;
    EXPECT_EQ(library.Symbol("anything"), nullptr);
    EXPECT_EQ(library.Path(), "");
}

TEST(StartupTest, StringModuleAndEthernetAreReadyBeforeAnyCall) {
    EXPECT_EQ(CResourceStrings::Instance().GetModule(), GetLibraryStringModule());
    const std::unique_ptr<CMediaInfo> ethernet(CreateMedium("Ethernet"));
    EXPECT_NE(ethernet, nullptr);
}

std::vector<std::string> g_traced;

void Collect(const char* text) {
    g_traced.emplace_back(text);
}

TEST(TraceTest, ObserverReceivesFormattedTexts) {
    g_traced.clear();
    TraceMessage("dropped %d", 1);
    qndis::detail::SetTraceObserver(&Collect);
    TraceMessage("ERROR: %s", "Cannot open NetCard, Error code 2 (00000002)");
    TraceMessage("ReadAdapters returns %d", 3);
    TraceMessage("%s", std::string(5000, 'x').c_str());
    qndis::detail::SetTraceObserver(nullptr);
    TraceMessage("dropped %d", 2);
    ASSERT_EQ(g_traced.size(), 3U);
    EXPECT_EQ(g_traced[0], "ERROR: Cannot open NetCard, Error code 2 (00000002)");
    EXPECT_EQ(g_traced[1], "ReadAdapters returns 3");
    EXPECT_EQ(g_traced[2], std::string(1023, 'x'));
}

} // namespace
