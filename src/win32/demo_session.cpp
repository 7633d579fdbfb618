#include "win32/demo_session.h"

#include <cstdio>
#include <cwctype>
#include <system_error>
#include <vector>

#include "core/platform/work_files.h"
#include "core/settings/registry.h"
#include "core/settings/scratch_registry_win32.h"
#include "core/text/wide_text.h"
#include "demo_profile.h"
#include "demo_service.h"
#include "desktop_demo.h"
#include "win32/settings_import.h"

namespace velmora::win32 {
namespace {

constexpr const wchar_t* kFolderPrefix = L"velmora-demo-";

std::string Utf8(const std::wstring& wide) {
    return text::WideToUtf8(wide);
}

// Leftovers are named after the process that made them.
bool ParsePid(const std::wstring& digits, DWORD& pid) {
    if (digits.empty() || digits.size() > 10) return false;
    unsigned long long value = 0;
    for (wchar_t c : digits) {
        if (!std::iswdigit(c)) return false;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    pid = static_cast<DWORD>(value);
    return value <= 0xFFFFFFFFull;
}

// A demo still running elsewhere (another session of this user) keeps its
// profile; this process's own number can only be a crashed one's.
bool BelongsToRunningDemo(DWORD pid) {
    if (pid == GetCurrentProcessId()) return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

std::vector<std::wstring> SubKeys(HKEY parent, const wchar_t* path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

void RemoveKeys(const std::wstring& key) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    // The parent goes with the last demo's key: it holds nothing else.
    RegDeleteKeyW(HKEY_CURRENT_USER, kDemoKeys);
}

// What demos that ended without cleaning up left: their keys and folders.
int RemoveCrashedDemos(const std::filesystem::path& tempFolder) {
    int removed = 0;
    for (const std::wstring& name : SubKeys(HKEY_CURRENT_USER, kDemoKeys)) {
        DWORD pid = 0;
        if (ParsePid(name, pid) && !BelongsToRunningDemo(pid)) {
            RemoveKeys(std::wstring(kDemoKeys) + L"\\" + name);
            ++removed;
        }
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(tempFolder, ec)) {
        const std::wstring name = entry.path().filename().wstring();
        DWORD pid = 0;
        if (name.rfind(kFolderPrefix, 0) != 0 ||
            !ParsePid(name.substr(std::wcslen(kFolderPrefix)), pid) || BelongsToRunningDemo(pid))
            continue;
        std::error_code gone;
        if (entry.is_directory(gone) && std::filesystem::remove_all(entry.path(), gone) > 0)
            ++removed;
    }
    return removed;
}

// One of the profile's two hives written where its root now stands.
bool WriteHive(const std::string& hiveText, RootKey root, const std::wstring& scratchKey,
               std::string& error) {
    const std::string section =
        std::string(root == RootKey::CurrentUser ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") +
        kSettingsKey;
    const std::wstring key = ScratchSettingsKey(scratchKey, root);
    if (WriteExportedValues(HiveDocument::Parse(hiveText), section, HKEY_CURRENT_USER, key,
                            "the demo profile") != 0) {
        error = "cannot write the demo profile to HKEY_CURRENT_USER\\" + Utf8(key);
        return false;
    }
    return true;
}

}  // namespace

DemoSession::DemoSession() = default;

DemoSession::~DemoSession() {
    Remove();
}

bool DemoSession::Start(std::string& error) {
    const std::filesystem::path temp = platform::WorkFileFolder();
    if (temp.empty()) {
        error = "the temporary folder cannot be found (GetTempPathW)";
        return false;
    }
    if (const int removed = RemoveCrashedDemos(temp)) {
        std::fprintf(stderr, "velmora: demo: removed %d profile parts left by earlier demos\n",
                     removed);
    }

    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    root_ = temp / (kFolderPrefix + pid);
    key_ = std::wstring(kDemoKeys) + L"\\" + pid;
    std::error_code ec;
    for (const std::filesystem::path& folder : {DataFolder(), root_ / L"tmp"}) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            error = "cannot create " + Utf8(folder.wstring()) + ": " + ec.message();
            return false;
        }
    }

    service_ = std::make_unique<demo::DemoService>(demo::DesktopDemoConfig());
    if (!service_->Start()) {
        error = "cannot start the demo service on 127.0.0.1";
        return false;
    }
    const demo::DemoProfile profile = demo::DesktopDemoProfile();
    if (!WriteHive(demo::DemoMachineHive(*service_, profile), RootKey::LocalMachine, key_, error) ||
        !WriteHive(demo::DemoUserHive(profile), RootKey::CurrentUser, key_, error))
        return false;

    UseScratchSettingsRoots(key_);
    // The work files: GetTempPathW reads TMP first, then TEMP.
    const std::wstring tmp = (root_ / L"tmp").wstring() + L"\\";
    SetEnvironmentVariableW(L"TMP", tmp.c_str());
    SetEnvironmentVariableW(L"TEMP", tmp.c_str());
    return true;
}

void DemoSession::Remove() {
    if (service_) service_->Stop();
    service_.reset();
    if (!key_.empty()) RemoveKeys(key_);
    if (!root_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        std::error_code still;
        if (ec && std::filesystem::exists(root_, still)) {
            std::fprintf(stderr, "velmora: demo: cannot remove %s: %s\n",
                         Utf8(root_.wstring()).c_str(), ec.message().c_str());
        }
    }
}

std::string DemoSession::ServiceAddress() const {
    return service_ ? service_->BaseUrl() : "";
}

int DemoSession::ServiceRequests() const {
    return service_ ? service_->ServiceRequests() : 0;
}

std::string DemoSession::ProfileText() const {
    return Utf8(root_.wstring()) + " and HKEY_CURRENT_USER\\" + Utf8(key_);
}

}  // namespace velmora::win32
