#pragma once
// Hive files and a private temporary folder for one test; at the end the
// temporary folder must be empty again (no work file left behind).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/platform/files.h"
#include "core/platform/work_files.h"
#include "core/settings/registry.h"
#include "support/hive_sandbox.h"
#include "support/scoped_env.h"

namespace velmora::test_support {

using platform::PathText;

class DeliverySandbox : public HiveSandbox {
  protected:
    void SetUp() override {
        HiveSandbox::SetUp();
        fs::create_directories(TempDir());
        // GetTempPathW reads TMP on Windows.
        SetEnv(kTempVariable, PathText(TempDir()));
    }
    void TearDown() override {
        EXPECT_THAT(FolderEntries(TempDir()), ::testing::IsEmpty()) << "work file left behind";
        HiveSandbox::TearDown();
    }

    fs::path TempDir() const { return root_ / "tmp"; }

    // A per-user value as stored, or "<absent>".
    static std::string UserValue(const std::string& name) {
        std::string value = "<absent>";
        CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, name, value);
        return value;
    }

    // A work file as the fetch makes it: empty, named as the platform names
    // them, and (on POSIX, where modes tell) for the user alone.
    static void ExpectFreshWorkFile(const fs::path& file) {
        EXPECT_EQ(fs::file_size(file), 0u);
#ifdef _WIN32
        EXPECT_TRUE(platform::IsWorkFileName(PathText(file.filename()))) << file;
#else
        EXPECT_TRUE(std::regex_match(file.filename().string(), std::regex("LUM[0-9A-F]{8}\\.tmp")))
            << file;
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
#endif
    }

#ifdef _WIN32
    static constexpr const char* kTempVariable = "TMP";
#else
    static constexpr const char* kTempVariable = "TMPDIR";
#endif
    ScopedEnv savedTmpDir_{kTempVariable};
};

}  // namespace velmora::test_support
