#pragma once
// Menu 137's only submenu "TASK": ツール, ヘルプ, バージョン情報, separator,
// 終了. An XEmbed tray opens it at the pointer; a status notifier host gets
// it exported and shows it itself.

#include <QObject>
#include <QPoint>
#include <memory>

class QMenu;

namespace velmora {

class TrayMenu : public QObject {
    Q_OBJECT
  public:
    // A command chosen in the exported menu is posted to `commandsTo` as a
    // MenuCommandEvent.
    explicit TrayMenu(QObject* commandsTo, QObject* parent = nullptr);
    ~TrayMenu() override;

    // A new menu; each action carries its command id as data.
    static std::unique_ptr<QMenu> Build();

    // The menu kept for a status notifier host.
    QMenu* Exported() const { return exported_.get(); }

    // Runs a menu at `at` until it closes: the chosen command, 0 for none.
    int Exec(QPoint at);
    bool IsOpen() const { return open_ != nullptr; }
    // Closes the menu Exec runs.
    void Close();

  private:
    std::unique_ptr<QMenu> exported_;
    QMenu* open_ = nullptr;  // while Exec runs
};

}  // namespace velmora
