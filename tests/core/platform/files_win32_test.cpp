// The Win32 file services: replacing a file someone else holds open, the
// work files of GetTempFileNameW, a folder where a file is expected.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/platform/data_paths.h"
#include "core/platform/files.h"
#include "core/platform/work_files.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test_support::ReadFile;
using test_support::TempFolder;
using test_support::WriteFile;
using ::testing::ElementsAre;

HANDLE OpenForReading(const std::filesystem::path& file, DWORD share) {
    return CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Win32Files, ReplacesAFileOthersReadAndLeavesItWholeWhenTheyForbidIt) {
    TempFolder folder;
    const auto store = folder / "VELMORA.dat";
    WriteFile(store, "old");

    // A reader that allows replacing (as ours do) does not stand in the way.
    HANDLE sharing = OpenForReading(store, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(sharing, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::ReplaceFileAtomically(store, "new", platform::FileAccess::Private));
    CloseHandle(sharing);
    EXPECT_EQ(ReadFile(store), "new");

    // One that does not: a clear failure, the old file intact, no temporary left.
    HANDLE holding = OpenForReading(store, FILE_SHARE_READ);
    ASSERT_NE(holding, INVALID_HANDLE_VALUE);
    const std::error_code error =
        platform::ReplaceFileAtomically(store, "newer", platform::FileAccess::Private);
    CloseHandle(holding);
    EXPECT_EQ(error, std::errc::permission_denied);
    EXPECT_EQ(ReadFile(store), "new");
    EXPECT_THAT(folder.Names(), ElementsAre("VELMORA.dat"));
}

TEST(Win32Files, WorkFilesComeFromTheTemporaryFolderAndGo) {
    TempFolder folder;
    test_support::ScopedEnv savedTmp("TMP");
    test_support::SetEnv("TMP", platform::PathText(folder.path()));

    std::error_code error = std::make_error_code(std::errc::io_error);
    const auto a = platform::CreateWorkFile(error);
    const auto b = platform::CreateWorkFile(error);
    ASSERT_FALSE(error);
    EXPECT_NE(a, b);
    EXPECT_TRUE(std::filesystem::equivalent(a.parent_path(), folder.path()));
    EXPECT_EQ(std::filesystem::file_size(a), 0u);
    EXPECT_TRUE(platform::IsWorkFileName(platform::PathText(a.filename())));
    platform::RemoveWorkFile(a);
    EXPECT_FALSE(std::filesystem::exists(a));

    // What an interrupted run left: the work file, not a folder or another name.
    std::filesystem::create_directory(folder / "LUM1.tmp");
    WriteFile(folder / "LUMX.tmp", "x");
    const Leftovers gone = RemoveLeftovers(folder / "data" / "VELMORA.dat", folder.path());
    EXPECT_EQ(gone.files, 1);
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_THAT(folder.Names(), ElementsAre("LUM1.tmp", "LUMX.tmp"));
}

TEST(Win32Files, AFolderReadAsAFileIsNamedAsOne) {
    TempFolder folder;
    std::string bytes = "untouched";
    const std::error_code error =
        platform::ReadWholeFile(folder.path(), platform::kNoSizeLimit, bytes);
    EXPECT_EQ(error, std::errc::is_a_directory);
    EXPECT_EQ(bytes, "untouched");
    EXPECT_THAT(platform::DescribeFileError(folder.path(), error),
                ::testing::EndsWith(": is a folder, not a file"));
}

}  // namespace
}  // namespace velmora
