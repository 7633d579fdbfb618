// The tray menu: its entries, the exported copy that posts its commands, and
// the menu run at the pointer.

#include "app/tray_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <vector>

#include "app/menu_commands.h"
#include "sheet_fixture.h"

using namespace velmora;
using namespace velmora::test_support;

namespace {

// Receives the commands as the tool sheet does.
class CommandSink : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() != UM_MENUCOMMAND) return QObject::event(e);
        commands.push_back(static_cast<MenuCommandEvent*>(e)->Command());
        return true;
    }
    std::vector<int> commands;
};

QString Utf(const char* s) {
    return QString::fromUtf8(s);
}

}  // namespace

TEST(TrayMenu, HasItsEntriesInOrder) {
    TestApp();
    std::unique_ptr<QMenu> menu = TrayMenu::Build();
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), Utf("ツール"));
    EXPECT_EQ(actions[0]->data().toInt(), kCmdTool);
    EXPECT_EQ(actions[1]->text(), Utf("ヘルプ"));
    EXPECT_EQ(actions[1]->data().toInt(), kCmdHelp);
    EXPECT_EQ(actions[2]->text(), Utf("バージョン情報"));
    EXPECT_EQ(actions[2]->data().toInt(), kCmdAbout);
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4]->text(), Utf("終了"));
    EXPECT_EQ(actions[4]->data().toInt(), kCmdExit);
}

TEST(TrayMenu, ExportedEntriesPostTheirCommandsLater) {
    TestApp();
    CommandSink sink;
    TrayMenu menu(&sink);
    ASSERT_NE(menu.Exported(), nullptr);
    const QList<QAction*> actions = menu.Exported()->actions();
    ASSERT_EQ(actions.size(), 5);
    actions[4]->trigger();
    actions[0]->trigger();
    // Not while the host's call runs.
    EXPECT_TRUE(sink.commands.empty());
    Settle();
    EXPECT_EQ(sink.commands, (std::vector<int>{kCmdExit, kCmdTool}));
}

TEST(TrayMenu, RunsAtThePointerUntilChosenOrClosed) {
    TestApp();
    CommandSink sink;
    TrayMenu menu(&sink);
    EXPECT_FALSE(menu.IsOpen());
    bool openMeanwhile = false;
    WhenNested([&] {
        openMeanwhile = menu.IsOpen();
        menu.Close();
    });
    EXPECT_EQ(menu.Exec(QPoint(10, 10)), 0);
    EXPECT_TRUE(openMeanwhile);
    EXPECT_FALSE(menu.IsOpen());

    WhenNested([] {
        auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(open, nullptr);
        // Chosen with the keyboard.
        open->setActiveAction(open->actions()[2]);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(open, &enter);
    });
    EXPECT_EQ(menu.Exec(QPoint(10, 10)), kCmdAbout);
    // Chosen at the pointer, a command is the caller's to run.
    Settle();
    EXPECT_TRUE(sink.commands.empty());
}
