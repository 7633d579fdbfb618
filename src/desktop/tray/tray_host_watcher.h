#pragma once
// Tells when the desktop's tray host was (re)started: on X11 the owner of the
// system tray selection announces itself with a MANAGER message on the root
// window; with status notifier items the watcher service registers anew.
// Also answers whether any tray host is there at all.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

namespace velmora {

inline constexpr char kStatusNotifierWatcher[] = "org.kde.StatusNotifierWatcher";

class TrayHostWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
  public:
    explicit TrayHostWatcher(QObject* parent = nullptr);
    ~TrayHostWatcher() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // An XEmbed tray manager owns the tray selection of our screen.
    bool XEmbedHostPresent() const;
    // A status notifier watcher runs on the session bus and says that a host
    // (a panel that shows the items) is registered with it.
    static bool StatusNotifierHostPresent();
    // Without a real display (offscreen) there is no desktop to reach: that
    // counts as a host, so that headless runs behave as on a desktop.
    bool HostPresent() const;

  signals:
    void recreated();

  private slots:
    void OnHostRegistered();

  private:
    void WatchX11();
    void WatchStatusNotifier();

    std::uint32_t managerAtom_ = 0;
    std::uint32_t traySelection_ = 0;
    bool x11_ = false;
};

}  // namespace velmora
