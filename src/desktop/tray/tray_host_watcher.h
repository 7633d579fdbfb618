#pragma once
// Tells when the desktop's tray host was (re)started: on X11 the owner of the
// system tray selection announces itself with a MANAGER message on the root
// window; with status notifier items the watcher service registers anew.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

namespace velmora {

class TrayHostWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
  public:
    explicit TrayHostWatcher(QObject* parent = nullptr);
    ~TrayHostWatcher() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  signals:
    void recreated();

  private:
    void WatchX11();
    void WatchStatusNotifier();

    std::uint32_t managerAtom_ = 0;
    std::uint32_t traySelection_ = 0;
};

}  // namespace velmora
