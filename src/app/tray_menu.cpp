#include "app/tray_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

#include "app/menu_commands.h"
#include "desktop/dialogs/dialog_template.h"

namespace velmora {

TrayMenu::TrayMenu(QObject* commandsTo, QObject* parent) : QObject(parent), exported_(Build()) {
    for (QAction* action : exported_->actions()) {
        const int id = action->data().toInt();
        if (id == 0) continue;
        // Queued: the host's D-Bus call returns before a dialog runs its loop.
        connect(action, &QAction::triggered, this, [commandsTo, id] {
            QCoreApplication::postEvent(commandsTo, new MenuCommandEvent(id));
        });
    }
}

TrayMenu::~TrayMenu() = default;

std::unique_ptr<QMenu> TrayMenu::Build() {
    auto menu = std::make_unique<QMenu>();
    menu->setFont(DialogFont());
    const auto add = [&menu](const QString& text, int id) {
        QAction* action = menu->addAction(text);
        action->setData(id);
    };
    add(QStringLiteral("ツール"), kCmdTool);
    add(QStringLiteral("ヘルプ"), kCmdHelp);
    add(QStringLiteral("バージョン情報"), kCmdAbout);
    menu->addSeparator();
    add(QStringLiteral("終了"), kCmdExit);
    return menu;
}

int TrayMenu::Exec(QPoint at) {
    std::unique_ptr<QMenu> menu = Build();
    open_ = menu.get();
    QPointer<TrayMenu> alive(this);
    QAction* chosen = menu->exec(at);
    if (!alive) return 0;
    open_ = nullptr;
    return chosen ? chosen->data().toInt() : 0;
}

void TrayMenu::Close() {
    if (open_) open_->close();
}

}  // namespace velmora
