#pragma once
// velmora.exe --demo: the demo delivery service inside the program on
// 127.0.0.1 and a throw-away profile: a private folder under the temporary
// folder (the data folder and the work files) and a scratch registry key that
// stands for both settings roots. All of it is removed at the end; what a
// demo that crashed left behind goes at the next demo start.

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

namespace velmora::demo {
class DemoService;
}

namespace velmora::win32 {

// Where the scratch keys of demos live, under HKEY_CURRENT_USER.
inline constexpr const wchar_t* kDemoKeys = L"Software\\VelmoraDemo";

class DemoSession {
  public:
    DemoSession();
    ~DemoSession();  // Remove()
    DemoSession(const DemoSession&) = delete;
    DemoSession& operator=(const DemoSession&) = delete;

    // Removes earlier demos' leftovers, makes the profile, starts the service
    // and points the settings and the temporary folder of this process at the
    // profile. Must run before any setting is read. False with `error` set.
    bool Start(std::string& error);
    // Stops the service and removes the profile; again, it removes whatever
    // was written to the profile since.
    void Remove();

    std::filesystem::path DataFolder() const { return root_ / L"data" / L"VELMORA"; }
    std::string ServiceAddress() const;
    int ServiceRequests() const;
    // The folder and the key, for messages.
    std::string ProfileText() const;

  private:
    std::filesystem::path root_;
    std::wstring key_;  // under HKEY_CURRENT_USER
    std::unique_ptr<demo::DemoService> service_;
};

}  // namespace velmora::win32
