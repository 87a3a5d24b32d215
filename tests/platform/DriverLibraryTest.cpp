#include "qndislib/capture/DriverLibrary.h"

#include "qndislib/capture/ModuleDirectory.h"
#include "qndislib/platform/Trace.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using qndis::DriverLibrary;
using qndis::ModuleDirectory;

std::uint8_t TableCompletionStyle() {
    return 1;
}

void* TinyTable(std::uint32_t ordinal) {
    return ordinal == w32n55abi::kCompletionStyle ? reinterpret_cast<void*>(&TableCompletionStyle)
                                                  : nullptr;
}

TEST(DriverLibraryTest, AMissingOrdinalRaisesEntryPointNotFoundAndKeepsTheTable) {
    DriverLibrary::UseLookupForTesting(&TinyTable);
    for (const auto ordinal : {w32n55abi::kSend, w32n55abi::kAlertableWait}) {
        try {
            DriverLibrary::Resolve(ordinal);
            ADD_FAILURE() << "ordinal " << ordinal << " resolved";
        } catch (const CDriverLoadError& error) {
            EXPECT_EQ(error.GetCode(), 0xC06D007FU);
            const std::string message = error.what();
            EXPECT_NE(message.find("libw32n55.so"), std::string::npos) << message;
            EXPECT_NE(message.find("ordinal " + std::to_string(ordinal)), std::string::npos);
        }
    }
    EXPECT_EQ(DriverLibrary::Get<w32n55abi::kCompletionStyle>()(), 1);
    EXPECT_EQ(DriverLibrary::LoadedAlertableWait(), nullptr);
    DriverLibrary::UseLookupForTesting(nullptr);
    EXPECT_FALSE(DriverLibrary::IsLoaded());
}

// An absolute path of `length` characters ending in `fileName`.
std::string PathOfLength(std::size_t length, const std::string& fileName) {
    std::string path;
    for (std::size_t room = length - fileName.size() - 1; room > 0;) {
        const std::size_t segment = std::min<std::size_t>(room, 100);
        path += '/' + std::string(segment - 1, 'd');
        room -= segment;
    }
    return path + '/' + fileName;
}

TEST(ModuleDirectoryTest, ModuleAndLibraryPathRules) {
    const std::string at259 = PathOfLength(259, "libqndislib.so");
    const std::string at260 = PathOfLength(260, "libqndislib.so");
    const std::pair<std::string, std::string> modules[] = {
        {"/usr/lib/libqndislib.so", "/usr/lib/"},
        {"/libqndislib.so", "/"},
        {at259, at259.substr(0, at259.size() - 14)},
        {at260, ""}, // the platform would have cut it
        {"libqndislib.so", ""},
        {"lib/libqndislib.so", ""},
        {"", ""},
    };
    for (const auto& [path, directory] : modules) {
        EXPECT_EQ(ModuleDirectory::FromModulePath(path), directory) << path;
    }
    const std::string name = "libw32n55.so";
    const std::string fits(ModuleDirectory::kMaxPath - name.size() - 2, 'd');
    const std::pair<std::string, std::optional<std::string>> libraries[] = {
        {"/opt/q/", "/opt/q/libw32n55.so"},
        {"/opt/q", "/opt/q/libw32n55.so"},
        {"", std::nullopt},
        {fits, fits + "/" + name},
        {fits + "/", fits + "/" + name},
        {fits + "d", std::nullopt}, // the added separator no longer fits
        {fits + "dd/", std::nullopt},
    };
    for (const auto& [directory, path] : libraries) {
        EXPECT_EQ(ModuleDirectory::LibraryPath(directory, name), path) << directory;
    }
    // This test program carries the library's objects itself.
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(ModuleDirectory::Get(), program.parent_path().string() + "/");
}

std::vector<std::string> g_traced;

TEST(TraceTest, TheObserverReceivesFormattedTextsCutToTheirRoom) {
    TraceMessage("dropped %d", 1);
    qndis::detail::SetTraceObserver([](const char* text) { g_traced.emplace_back(text); });
    TraceMessage("ERROR: %s", "Cannot open NetCard, Error code 2 (00000002)");
    TraceMessage("%s", std::string(5000, 'x').c_str());
    qndis::detail::SetTraceObserver(nullptr);
    TraceMessage("dropped %d", 2);
    EXPECT_EQ(g_traced,
              (std::vector<std::string>{"ERROR: Cannot open NetCard, Error code 2 (00000002)",
                                        std::string(1023, 'x')}));
}

} // namespace
