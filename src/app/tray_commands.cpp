// The tool sheet's answers to the user: tray clicks, the tray menu and its
// commands, and the end of the program.

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QPointer>

#include "app/error_notifier.h"
#include "app/single_instance.h"
#include "app/tool_sheet.h"
#include "core/feed/item_store.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "core/text/cp932.h"
#include "desktop/common/messages.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/about_dialog.h"
#include "desktop/dialogs/delivery_no_dialog.h"
#include "desktop/dialogs/dialog_template.h"
#include "desktop/dialogs/error_dialog.h"
#include "desktop/dialogs/option_page.h"
#include "desktop/popup/browser_launcher.h"
#include "desktop/tray/tray_icon.h"
#include "desktop/tray/tray_notify_event.h"

namespace velmora {

void CToolSheet::OnTrayNotify(int iconId, int mouseMessage) {
    if (mouseMessage == kWmLButtonDown) {
        if (popup_) popup_->BringToForeground();
        if (!cycle_->Busy()) {
            if (popup_) popup_->ShowTab();
            QCoreApplication::postEvent(this, new QEvent(UM_SHOWNEWS));
        }
        if (iconId != kTrayIconId) return;
        blinkTimer_.stop();
        const std::int32_t code = errors_.Code();
        if (code == 0) return;
        if (code == kErrorAuthentication) {
            // Once more: the coming cycle asks for the number with the wrong-number prompt.
            QCoreApplication::postEvent(this, new QEvent(UM_SHOWNEWS));
            return;
        }
        ShowErrorDialog();
        return;
    }
    if (mouseMessage == kWmRButtonDown && iconId == kTrayIconId) ShowTrayMenu();
}

void CToolSheet::ShowErrorDialog() {
    errorDlg_->Refresh();
    if (!errorDlg_->isVisible()) CentreOnScreen(errorDlg_.get());
    errorDlg_->show();
    errorDlg_->raise();
    errorDlg_->activateWindow();
}

std::unique_ptr<QMenu> CToolSheet::BuildTrayMenu() {
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

void CToolSheet::ExportTrayMenu() {
    exportedMenu_ = BuildTrayMenu();
    for (QAction* action : exportedMenu_->actions()) {
        const int id = action->data().toInt();
        if (id == 0) continue;
        // Queued: the host's D-Bus call returns before a dialog runs its loop.
        connect(action, &QAction::triggered, this,
                [this, id] { QCoreApplication::postEvent(this, new MenuCommandEvent(id)); });
    }
    tray_->SetExportedMenu(exportedMenu_.get());
}

bool CToolSheet::WithoutTray() const {
    return tray_ && tray_->NoHost();
}

void CToolSheet::AnnounceNewError(std::int32_t codeBefore) {
    const std::int32_t code = errors_.Code();
    if (code == 0 || code == codeBefore || !notifier_ || !WithoutTray()) return;
    notifier_->Notify(QStringFromCp932(errors_.TitleLine()),
                      QStringFromCp932(errors_.MessageLine()));
}

void CToolSheet::ShowTrayMenu() {
    if (trayMenu_) return;
    std::unique_ptr<QMenu> menu = BuildTrayMenu();
    trayMenu_ = menu.get();
    QPointer<CToolSheet> alive(this);
    QAction* chosen = menu->exec(QCursor::pos());
    if (!alive) return;
    trayMenu_ = nullptr;
    const int id = chosen ? chosen->data().toInt() : 0;
    menu.reset();
    if (id != 0) OnCommand(id);
}

bool CToolSheet::OnCommand(int id) {
    switch (id) {
        case kCmdTool:
            ShowToolSheet();
            return true;
        case kCmdHelp:
            QCoreApplication::postEvent(this, new QEvent(UM_SHOWHELP));
            return true;
        case kCmdAbout:
            RunAbout();
            return true;
        case kCmdExit:
            RequestQuit();
            return true;
        default:
            return false;
    }
}

void CToolSheet::ShowToolSheet() {
    if (ended_ || quitPending_) return;
    // Values edited and abandoned with Cancel give way to those in force.
    page_->UpdateData(false);
    show();
    CentreOnScreen(this);
    raise();
    activateWindow();
}

void CToolSheet::OnShowHelp() {
    OpenInBrowser(settings::ReadPageUrl(settings::Page::Help), AddressOrigin::Settings);
}

void CToolSheet::RunAbout() {
    if (ended_ || quitPending_ || about_->isVisible()) return;
    const RequestIdentity& id = cycle_->Settings().identity;
    // Strings 103 and 108.
    about_->titleLine = std::string(settings::kTitleDefault) + " 1.0.1";
    about_->deliveryLabel = id.company != "0" ? text::Utf8ToCp932("配信番号：") : std::string();
    about_->groupId = id.groupId;
    about_->clientId = id.clientId;
    about_->deliveryNo = id.deliveryNo;
    CentreOnScreen(about_.get());
    about_->DoModal();
}

// --- The end -----------------------------------------------------------------

void CToolSheet::RequestQuit() {
    if (ended_) return;
    quitPending_ = true;
    // A running request stops and every further one fails at once.
    transfer_->Quit();
    CloseModalWindows();
    // Inside a cycle (waiting for its transfer or its dialog) the end waits
    // until the cycle has unwound; RunCycle then makes it.
    if (cycleDepth_ == 0) FinishQuit();
}

void CToolSheet::CloseModalWindows() {
    if (trayMenu_) trayMenu_->close();
    if (QWidget* popupMenu = QApplication::activePopupWidget()) popupMenu->close();
    if (deliveryDlg_) deliveryDlg_->reject();
    // Modal loops (the About dialog, a validation message) end so that the
    // code waiting below them can unwind.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog != this && dialog->isVisible() && dialog->isModal()) dialog->reject();
    }
    if (about_ && about_->isVisible()) about_->reject();
    hide();
}

void CToolSheet::FinishQuit() {
    if (ended_) return;
    ended_ = true;
    quitPending_ = true;
    if (about_ && about_->isVisible()) about_->reject();
    if (errorDlg_) errorDlg_->hide();
    if (tray_) tray_->Remove();
    blinkTimer_.stop();
    pollTimer_.Stop();
    if (services_.instance) services_.instance->StopListening();
    saved_ = saver_ ? saver_->SaveNow() : SaveItemStore(startup_.dataFile, cycle_->Current());
    emit ended();
}

}  // namespace velmora
