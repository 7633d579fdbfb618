#pragma once
// A desktop of our own for tests of the real program: a virtual X server
// without any tray, a private session bus, and a look at the X windows the
// program maps. Tools missing make Start() say why, so the tests can skip.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "support/private_x_server.h"

namespace velmora::test_support {

struct MappedWindow {
    std::string title;  // _NET_WM_NAME, UTF-8
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class DesktopSession {
  public:
    DesktopSession() = default;
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Starts Xvfb and dbus-daemon. False with `why` set when one cannot run.
    bool Start(std::string& why);
    void Stop();

    QString Display() const { return display_; }
    QString BusAddress() const { return busAddress_; }
    // The test's own connection to the private bus.
    QDBusConnection Bus() const;

    int ScreenWidth() const { return 1024; }
    // Top-level windows mapped on the screen now.
    std::vector<MappedWindow> Windows() const;
    // The first mapped window titled `title`, if any.
    bool FindWindow(const std::string& title, MappedWindow* found = nullptr) const;

  private:
    bool StartX(std::string& why);
    bool StartBus(std::string& why);

    PrivateXServer xserver_;
    std::unique_ptr<QProcess> bus_;
    QString display_;
    QString busAddress_;
    QString connectionName_;
};

}  // namespace velmora::test_support
