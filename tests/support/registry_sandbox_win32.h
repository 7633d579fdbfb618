#pragma once
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE redirected to scratch keys for the
// length of a test (RegOverridePredefKey), so that the real settings of the
// account running the tests are never touched.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace velmora::test_support {

class RegistrySandbox : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch_ = L"Software\\VelmoraTests\\" + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(Create(scratch_ + L"\\user", user_), ERROR_SUCCESS);
        ASSERT_EQ(Create(scratch_ + L"\\machine", machine_), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(user_);
        RegCloseKey(machine_);
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    }

    // A value under SOFTWARE\VELMORA\Client\1.0 of the machine or the user, as
    // an installer or another program writes it: any type, any bytes.
    static void Put(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, L"SOFTWARE\\VELMORA\\Client\\1.0", 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void PutText(HKEY root, const wchar_t* name, const std::wstring& text) {
        Put(root, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
    }
    // The value's type and bytes, or REG_NONE when absent.
    static DWORD Get(HKEY root, const wchar_t* name, std::wstring* text = nullptr) {
        wchar_t buffer[512] = {};
        DWORD type = REG_NONE, size = sizeof buffer - sizeof(wchar_t);
        if (RegGetValueW(root, L"SOFTWARE\\VELMORA\\Client\\1.0", name, RRF_RT_ANY, &type, buffer,
                         &size) != ERROR_SUCCESS)
            return REG_NONE;
        if (text) *text = buffer;
        return type;
    }

  private:
    static LONG Create(const std::wstring& path, HKEY& key) {
        return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &key, nullptr);
    }

    std::wstring scratch_;
    HKEY user_ = nullptr;
    HKEY machine_ = nullptr;
};

}  // namespace velmora::test_support
