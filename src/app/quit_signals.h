#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a Qt signal on the UI thread, through
// a self-pipe: the handler only writes one byte.

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace velmora {

class QuitSignals : public QObject {
    Q_OBJECT
  public:
    // One instance per process; installs the handlers, restores the previous ones when destroyed.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    bool Installed() const { return notifier_ != nullptr; }

  signals:
    void quitRequested(int signalNumber);

  private:
    void OnReadable();
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmora
