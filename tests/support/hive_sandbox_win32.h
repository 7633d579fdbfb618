#pragma once
// The settings keys of a test in scratch keys of the registry (see
// registry_sandbox_win32.h), written from the value lines of a .reg file, and
// a temporary folder of its own. Included through hive_sandbox.h.

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>

#include "support/registry_sandbox_win32.h"
#include "support/scoped_env.h"

namespace velmora::test_support {

inline std::wstring WideFromUtf8(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    return wide;
}

inline std::string Utf8FromWide(std::wstring_view wide) {
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                            static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

class HiveSandbox : public RegistrySandbox {
  protected:
    void SetUp() override {
        RegistrySandbox::SetUp();
        static std::atomic<int> made{0};
        root_ =
            fs::temp_directory_path() / ("velmora-hive-" + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(made++));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
        RegistrySandbox::TearDown();
    }

    // The machine-wide settings key holding just `valueLines` ("name"="text"
    // or "name"=dword:hhhhhhhh, one a line), as an installer writes it.
    void WriteMachineKey(const std::string& valueLines) {
        WriteKey(HKEY_LOCAL_MACHINE, valueLines);
    }
    void WriteUserKey(const std::string& valueLines) { WriteKey(HKEY_CURRENT_USER, valueLines); }

    // Every per-user value as stored, in the lines of a .reg file.
    std::string StoredUserSettings() const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return {};
        std::string lines;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            BYTE data[4096];
            DWORD nameLength = 256, type = 0, size = sizeof data;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) !=
                ERROR_SUCCESS)
                break;
            lines += "\"" + Utf8FromWide(std::wstring_view(name, nameLength)) + "\"=";
            if (type == REG_DWORD && size == 4) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08lx",
                              static_cast<unsigned long>(*reinterpret_cast<DWORD*>(data)));
                lines += hex;
            } else {
                std::wstring_view text(reinterpret_cast<const wchar_t*>(data), size / 2);
                while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
                lines += "\"" + Utf8FromWide(text) + "\"";
            }
            lines += "\n";
        }
        RegCloseKey(key);
        return lines;
    }

    fs::path root_;

  private:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\VELMORA\\Client\\1.0";

    static void WriteKey(HKEY root, const std::string& valueLines) {
        // The whole key anew, as a hive file is written whole.
        RegDeleteTreeW(root, kKey);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        std::string_view rest(valueLines);
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest = end == rest.npos ? std::string_view() : rest.substr(end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty()) continue;
            const std::size_t close = line.find("\"=", 1);
            ASSERT_TRUE(line.front() == '"' && close != line.npos) << line;
            const std::wstring name = WideFromUtf8(line.substr(1, close - 1));
            std::string_view value = line.substr(close + 2);
            if (value.rfind("dword:", 0) == 0) {
                const DWORD number =
                    std::stoul(std::string(value.substr(6)), nullptr, 16) & 0xFFFFFFFFu;
                Put(root, name.c_str(), REG_DWORD, &number, sizeof number);
                continue;
            }
            ASSERT_TRUE(value.size() >= 2 && value.front() == '"' && value.back() == '"') << line;
            std::string text;
            for (std::size_t i = 1; i + 1 < value.size(); ++i) {
                if (value[i] == '\\' && i + 2 < value.size()) ++i;  // \\ and \"
                text += value[i];
            }
            PutText(root, name.c_str(), WideFromUtf8(text));
        }
    }
};

}  // namespace velmora::test_support
