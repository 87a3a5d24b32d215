#include "qndislib/capture/ModuleDirectory.h"
#include "qndislib/platform/DynamicLibrary.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using qndis::DynamicLibrary;
using qndis::ModuleDirectory;

struct PathRow {
    const char* modulePath;
    const char* directory;
};

#if defined(_WIN32)
constexpr PathRow kDirectories[] = {
    {"C:\\Program Files\\app\\qndislib.dll", "C:\\Program Files\\app\\"},
    {"C:\\qndislib.dll", "C:\\"},
    {"\\\\server\\share\\qndislib.dll", "\\\\server\\share\\"},
    {"app\\qndislib.dll", ""},
    {"qndislib.dll", ""},
    {"", ""},
};
constexpr const char* kDirectory = "C:\\app";
constexpr const char* kLibraryInDirectory = "C:\\app\\W32N55.dll";
#else
constexpr PathRow kDirectories[] = {
    {"/usr/lib/libqndislib.so", "/usr/lib/"},
    {"/libqndislib.so", "/"},
    {"lib/libqndislib.so", ""},
    {"libqndislib.so", ""},
    {"", ""},
};
constexpr const char* kDirectory = "/app";
constexpr const char* kLibraryInDirectory = "/app/libw32n55.so";
#endif

constexpr char kAnchor = 0;

} // namespace

TEST(ModulePath, DirectoriesOfAbsolutePathsOnly) {
    for (const PathRow& row : kDirectories) {
        EXPECT_EQ(ModuleDirectory::FromModulePath(row.modulePath), row.directory) << row.modulePath;
    }
    const std::string tooLong = std::string(kDirectory) + std::string(300, 'x');
    EXPECT_EQ(ModuleDirectory::FromModulePath(tooLong), "");
}

TEST(ModulePath, TheDriverLibraryIsLookedForInTheDirectory) {
    const std::string separated = DynamicLibrary::InDirectory(kDirectory, "");
    EXPECT_EQ(ModuleDirectory::LibraryPath(kDirectory, kW32N55LibraryName), kLibraryInDirectory);
    EXPECT_EQ(ModuleDirectory::LibraryPath(separated, kW32N55LibraryName), kLibraryInDirectory);
    EXPECT_EQ(ModuleDirectory::LibraryPath("", kW32N55LibraryName), std::nullopt);
    EXPECT_EQ(ModuleDirectory::LibraryPath(std::string(ModuleDirectory::kMaxPath, 'x'), "y"),
              std::nullopt);
}

// The program links the library's objects, so their directory is its own.
TEST(ModulePath, TheLibrarysDirectoryHoldsItsCode) {
    const std::string program = DynamicLibrary::PathOfModuleContaining(&kAnchor);
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(ModuleDirectory::Get(), DynamicLibrary::DirectoryOf(program));
    EXPECT_EQ(program.rfind(ModuleDirectory::Get(), 0), 0U) << program;
    EXPECT_GT(program.size(), ModuleDirectory::Get().size());
}
