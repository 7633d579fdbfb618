// The real registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, 64-bit view,
// through the wide-character functions with CP932 converted explicitly, so
// that texts come out right whatever the system code page is. A scratch key
// may stand for both roots (scratch_registry_win32.h).

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "core/settings/registry_backend.h"
#include "core/settings/scratch_registry_win32.h"
#include "core/text/wide_text.h"

namespace velmora {
namespace {

// The registry's byte functions take C strings: a text ends at its first zero.
std::wstring Wide(const std::string& cp932) {
    return text::Cp932ToWide(std::string_view(cp932).substr(0, cp932.find('\0')));
}

std::wstring g_scratchKey;  // empty: the real roots

// The key under the scratch key that stands for a root.
std::wstring StandIn(const std::wstring& scratchKey, RootKey root) {
    return scratchKey + (root == RootKey::CurrentUser ? L"\\user" : L"\\machine");
}

// The key a root's `subKey` is opened under, and its name for messages.
struct RootPlace {
    HKEY base;
    std::wstring prefix;  // before the sub key, with its backslash
    std::string name;
};

RootPlace PlaceOf(RootKey root) {
    if (g_scratchKey.empty()) {
        return root == RootKey::CurrentUser
                   ? RootPlace{HKEY_CURRENT_USER, L"", "HKEY_CURRENT_USER"}
                   : RootPlace{HKEY_LOCAL_MACHINE, L"", "HKEY_LOCAL_MACHINE"};
    }
    const std::wstring stand = StandIn(g_scratchKey, root);
    return {HKEY_CURRENT_USER, stand + L"\\", "HKEY_CURRENT_USER\\" + text::WideToUtf8(stand)};
}

// A value that exists but cannot be used is said once on stderr and read as absent.
void ReportDamagedValue(const std::string& where, const std::string& what) {
    static std::mutex mutex;
    static std::set<std::string> said;
    const std::string line = "velmora: " + where + ": " + what + "; it is read as absent\n";
    std::lock_guard<std::mutex> lock(mutex);
    if (!said.insert(line).second) return;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

class Win32RegistryBackend final : public RegistryBackend {
  public:
    ~Win32RegistryBackend() override {
        if (key_) RegCloseKey(key_);
    }

    long Open(RootKey root, const std::string& subKey) override {
        const RootPlace place = PlaceOf(root);
        where_ = place.name + (subKey.empty() ? "" : "\\" + subKey.substr(0, subKey.find('\0')));
        const std::wstring path = place.prefix + Wide(subKey);
        if (root == RootKey::LocalMachine) {
            // The installation's values: read, never written by the program.
            const long status =
                RegOpenKeyExW(place.base, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key_);
            if (status != ERROR_SUCCESS) key_ = nullptr;
            return status;
        }
        long status = RegCreateKeyExW(place.base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                                      &key_, nullptr);
        // A key the user may only read is still read.
        if (status == ERROR_ACCESS_DENIED)
            status = RegOpenKeyExW(place.base, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key_);
        if (status != ERROR_SUCCESS) key_ = nullptr;
        return status;
    }

    long QueryDword(const std::string& name, std::uint32_t& value) override {
        DWORD type = 0;
        std::string data;
        if (long status = Query(name, type, data); status != kRegOk) return status;
        if (type != REG_DWORD) return kRegNotFound;
        if (data.size() != sizeof(std::uint32_t)) {
            ReportDamagedValue(where_ + "\\" + name,
                               "a DWORD of " + std::to_string(data.size()) + " bytes");
            return kRegNotFound;
        }
        std::memcpy(&value, data.data(), sizeof value);
        return kRegOk;
    }

    long QueryString(const std::string& name, std::string& value) override {
        DWORD type = 0;
        std::string data;
        if (long status = Query(name, type, data); status != kRegOk) return status;
        if (type != REG_SZ) return kRegNotFound;
        if (data.size() % sizeof(wchar_t) != 0) {
            ReportDamagedValue(where_ + "\\" + name, "a text of an odd number of bytes");
            return kRegNotFound;
        }
        std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
        std::memcpy(wide.data(), data.data(), data.size());
        // Stored with or without its terminator.
        while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
        value = text::WideToCp932(wide);
        return kRegOk;
    }

    long SetDword(const std::string& name, std::uint32_t value) override {
        if (!key_) return kRegInvalidHandle;
        const DWORD dword = value;
        return RegSetValueExW(key_, Wide(name).c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    }

    long SetStrings(const std::vector<std::pair<std::string, std::string>>& values) override {
        if (!key_) return kRegInvalidHandle;
        // The registry has no transactions: what was written is put back when
        // a later value fails, so that the values go in together or not at all.
        std::vector<std::pair<std::wstring, std::optional<std::string>>> before;
        for (const auto& [name, text] : values) {
            const std::wstring wideName = Wide(name);
            DWORD type = 0;
            std::string old;
            std::optional<std::string> previous;
            if (QueryWide(wideName, type, old) == kRegOk && type == REG_SZ) previous = old;
            const std::wstring wideText = Wide(text);
            const long status = RegSetValueExW(
                key_, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wideText.c_str()),
                static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t)));
            if (status != ERROR_SUCCESS) {
                for (const auto& [undoName, undoData] : before) {
                    if (undoData)
                        RegSetValueExW(key_, undoName.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(undoData->data()),
                                       static_cast<DWORD>(undoData->size()));
                    else
                        RegDeleteValueW(key_, undoName.c_str());
                }
                return status;
            }
            before.emplace_back(wideName, std::move(previous));
        }
        return kRegOk;
    }

  private:
    long Query(const std::string& name, DWORD& type, std::string& data) {
        const long status = QueryWide(Wide(name), type, data);
        if (status != kRegOk && status != kRegNotFound)
            ReportDamagedValue(where_ + "\\" + name,
                               "cannot be read (error " + std::to_string(status) + ")");
        return status == kRegOk ? kRegOk : kRegNotFound;
    }

    // The whole value, however long: the 200-byte limit is CRegistryKey's,
    // applied to the CP932 form.
    long QueryWide(const std::wstring& name, DWORD& type, std::string& data) {
        if (!key_) return kRegInvalidHandle;
        for (int attempt = 0; attempt < 8; ++attempt) {
            DWORD size = static_cast<DWORD>(data.size());
            const long status = RegQueryValueExW(
                key_, name.c_str(), nullptr, &type,
                data.empty() ? nullptr : reinterpret_cast<BYTE*>(data.data()), &size);
            if (status == ERROR_SUCCESS && (!data.empty() || size == 0)) {
                data.resize(size);
                return kRegOk;
            }
            if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return status;
            data.resize(size);  // it may grow between the calls
        }
        return ERROR_MORE_DATA;
    }

    HKEY key_ = nullptr;
    std::string where_;
};

}  // namespace

std::string SettingsLocation(RootKey root) {
    return PlaceOf(root).name + "\\" + kSettingsKey;
}

void UseScratchSettingsRoots(const std::wstring& scratchKey) {
    g_scratchKey = scratchKey;
}

std::wstring ScratchSettingsKey(const std::wstring& scratchKey, RootKey root) {
    return StandIn(scratchKey, root) + L"\\" + text::Utf8ToWide(kSettingsKey);
}

std::unique_ptr<RegistryBackend> MakeRegistryBackend() {
    return std::make_unique<Win32RegistryBackend>();
}

}  // namespace velmora
