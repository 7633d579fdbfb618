#include <windows.h>

#include "win32/settings_import.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/settings/hive_file.h"
#include "core/text/wide_text.h"

namespace velmora::win32 {
namespace {

constexpr const char* kMachineKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0";
constexpr const wchar_t* kMachineSubKey = L"SOFTWARE\\VELMORA\\Client\\1.0";
// A settings export is a few hundred bytes; anything near this is not one.
constexpr std::streamoff kMaxExportBytes = 1 << 20;

int Refuse(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "velmora: cannot import the settings of %s: %s\n", file.c_str(),
                 why.c_str());
    return 2;
}

}  // namespace

int ImportMachineSettings(const std::filesystem::path& path) {
    const std::string name = text::WideToUtf8(path.wstring());
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return Refuse(name, "the file cannot be read");
    const std::streamoff size = in.tellg();
    if (size > kMaxExportBytes) return Refuse(name, "the file is larger than 1 MiB");
    in.seekg(0);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    const HiveDocument hive = HiveDocument::Parse(bytes);
    if (!hive.Fault().empty()) return Refuse(name, hive.Fault());
    if (hive.BadLines() > 0) {
        return Refuse(name, "line " + std::to_string(hive.FirstBadLine()) + " is not a value");
    }
    const auto values = hive.Values(kMachineKey);
    if (values.empty()) return Refuse(name, std::string("it holds no values of ") + kMachineKey);

    return WriteExportedValues(hive, kMachineKey, HKEY_LOCAL_MACHINE, kMachineSubKey, name);
}

int WriteExportedValues(const HiveDocument& hive, const std::string& section, HKEY base,
                        const std::wstring& subKey, const std::string& source) {
    HKEY key = nullptr;
    const LONG opened = RegCreateKeyExW(base, subKey.c_str(), 0, nullptr, 0,
                                        KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (opened != ERROR_SUCCESS) {
        const char* root =
            base == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
        return Refuse(source, root + text::WideToUtf8(subKey) + " cannot be written (error " +
                                  std::to_string(opened) + ")");
    }
    int status = 0;
    for (const auto& [valueName, value] : hive.Values(section)) {
        const std::wstring wideName = text::Utf8ToWide(valueName);
        LONG written = ERROR_SUCCESS;
        if (value.type == HiveValueType::String) {
            const std::wstring text = text::Utf8ToWide(value.text);
            written = RegSetValueExW(key, wideName.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else if (value.type == HiveValueType::Dword) {
            const DWORD number = value.dword;
            written = RegSetValueExW(key, wideName.c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&number), sizeof number);
        } else {
            std::fprintf(stderr, "velmora: %s: \"%s\" is neither a string nor a dword; left out\n",
                         source.c_str(), valueName.c_str());
            continue;
        }
        if (written != ERROR_SUCCESS) {
            status = Refuse(source, "\"" + valueName + "\" cannot be written (error " +
                                        std::to_string(written) + ")");
        }
    }
    RegCloseKey(key);
    return status;
}

}  // namespace velmora::win32
