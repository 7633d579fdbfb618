#include "app/tool_sheet.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/error_notifier.h"
#include "app/menu_commands.h"
#include "app/single_instance.h"
#include "app/tray_menu.h"
#include "core/feed/item_store.h"
#include "desktop/common/messages.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/about_dialog.h"
#include "desktop/dialogs/delivery_no_dialog.h"
#include "desktop/dialogs/dialog_template.h"
#include "desktop/dialogs/error_dialog.h"
#include "desktop/dialogs/option_page.h"
#include "desktop/popup/browser_launcher.h"
#include "desktop/tray/tray_notify_event.h"
#include "desktop/tray/tray_presenter.h"

namespace velmora {

CToolSheet::CToolSheet(const QString& caption, SheetStartup startup, SheetServices services,
                       QWidget* parent)
    : QDialog(parent),
      startup_(std::move(startup)),
      services_(std::move(services)),
      pollTimer_(this) {
    setWindowTitle(caption);
    setFont(DialogFont());

    threaded_ = std::make_unique<ThreadedTransfer>(*services_.network, waiter_);
    SheetDesktop& desktop = *this;
    controller_ = std::make_unique<ToolSheetController>(desktop, *threaded_, *services_.clock,
                                                        startup_.colors);

    // A property sheet with one page, OK and Cancel; no Apply, no Help.
    tabs_ = new QTabWidget(this);
    page_ = new COptionPage2;
    tabs_->addTab(page_, QStringLiteral("詳細設定"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    for (QAbstractButton* b : buttons->buttons()) b->setIcon(QIcon());
    connect(buttons, &QDialogButtonBox::accepted, this, &CToolSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CToolSheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    page_->SetValues(controller_->Settings().pollMinutes,
                     static_cast<std::int32_t>(controller_->PopupSetting()));

    connect(&pollTimer_, &LongTimer::timeout, this, [this] { controller_->OnTimer(kPollTimerId); });
}

CToolSheet::~CToolSheet() {
    // The popup goes first, as the window's destruction destroys it.
    popup_.reset();
    SetBrowserFailureReport(nullptr);
    if (services_.instance) services_.instance->StopListening();
}

void CToolSheet::OnInitDialog() {
    setWindowIcon(QIcon(QPixmap::fromImage(startup_.normalIcon)));

    const TrayArtwork artwork{startup_.normalIcon, startup_.blinkIcon};
    trayMenu_ = new TrayMenu(this, this);
    if (services_.makeTray) {
        tray_ = services_.makeTray(artwork, trayMenu_->Exported(), this);
    } else {
        auto presenter = std::make_unique<TrayPresenter>(artwork, this);
        presenter->SetExportedMenu(trayMenu_->Exported());
        tray_ = std::move(presenter);
    }

    errorDlg_ = std::make_unique<CErrorDlg>(controller_->Errors());
    errorDlg_->SetOwner(this);
    notifier_ = new ErrorNotifier(this);
    connect(notifier_, &ErrorNotifier::troubleshootingChosen, this,
            [this] { errorDlg_->TroubleshootingButton()->click(); });
    connect(notifier_, &ErrorNotifier::detailsChosen, this, &CToolSheet::ShowErrorDialog);
    connect(notifier_, &ErrorNotifier::unanswered, this, &CToolSheet::ShowErrorDialog);

    popup_ = services_.makePopup ? services_.makePopup() : MakeNewsPopup();
    // A page that cannot be opened stands as an error, as a failed save does.
    SetBrowserFailureReport([this] { controller_->OnOpenPageFailed(); });

    about_ = std::make_unique<CAboutDlg>(this);
    about_->SetNormalIconPath(startup_.normalIconPath);

    controller_->Start(tray_.get(), popup_.get(), startup_.dataFile);
    setWindowTitle(QStringFromCp932(controller_->Title()));
    if (services_.instance) services_.instance->Listen(this);

    saver_ = std::make_unique<StoreSaver>(startup_.dataFile, controller_->Feed(),
                                          services_.storeSaveIntervalMs, this);
    saver_->MarkSaved();
    // Not while a cycle runs: its end may change the feed again, and its
    // report would hide that of the save.
    saver_->SetBusy([this] { return controller_->Busy(); });
    connect(saver_.get(), &StoreSaver::saved, this,
            [this](bool ok) { controller_->OnStoreSaved(ok, saver_->LastError().number); });

    // The dialogs modal to the sheet need its window, shown or not.
    create();
}

// --- Messages ----------------------------------------------------------------

bool CToolSheet::event(QEvent* e) {
    const QEvent::Type type = e->type();
    // While hidden, key presses are swallowed before anything acts on them;
    // key releases pass.
    if ((type == QEvent::KeyPress || type == QEvent::ShortcutOverride) && !isVisible()) {
        e->accept();
        return true;
    }
    if (type == UM_MENUCOMMAND) {
        return controller_->HandleMessage(message::UM_MENUCOMMAND,
                                          static_cast<MenuCommandEvent*>(e)->Command());
    }
    if (type == UM_TRAYNOTIFY) {
        const auto* notify = static_cast<TrayNotifyEvent*>(e);
        return controller_->HandleMessage(message::UM_TRAYNOTIFY, notify->IconId(),
                                          notify->MouseMessage());
    }
    if (type >= QEvent::User && controller_->HandleMessage(type)) return true;
    return QDialog::event(e);
}

// --- SheetDesktop ------------------------------------------------------------

void CToolSheet::PostToSheet(int message, int wParam, int lParam) {
    QEvent* e = nullptr;
    if (message == message::UM_TRAYNOTIFY) {
        e = new TrayNotifyEvent(wParam, lParam);
    } else if (message == message::UM_MENUCOMMAND) {
        e = new MenuCommandEvent(wParam);
    } else {
        e = new QEvent(QEvent::Type(message));
    }
    QCoreApplication::postEvent(this, e);
}

void CToolSheet::StartSheetTimer(int id, std::uint32_t intervalMs) {
    if (id == kPollTimerId) pollTimer_.Start(intervalMs);
}

void CToolSheet::StopSheetTimer(int id) {
    if (id == kPollTimerId) pollTimer_.Stop();
}

void CToolSheet::RefreshErrorDialog() {
    if (errorDlg_) errorDlg_->Refresh();
}

void CToolSheet::ShowErrorDialog() {
    errorDlg_->Refresh();
    if (!errorDlg_->isVisible()) CentreOnScreen(errorDlg_.get());
    errorDlg_->show();
    errorDlg_->raise();
    errorDlg_->activateWindow();
}

void CToolSheet::HideErrorDialog() {
    if (errorDlg_) errorDlg_->hide();
}

void CToolSheet::NotifyError(const std::string& title, const std::string& message) {
    if (notifier_) notifier_->Notify(QStringFromCp932(title), QStringFromCp932(message));
}

void CToolSheet::ShowToolSheet() {
    // Values edited and abandoned with Cancel give way to those in force.
    page_->UpdateData(false);
    show();
    CentreOnScreen(this);
    raise();
    activateWindow();
}

void CToolSheet::ShowTrayMenu() {
    if (!trayMenu_ || trayMenu_->IsOpen()) return;
    QPointer<CToolSheet> alive(this);
    const int id = trayMenu_->Exec(QCursor::pos());
    if (alive && id != 0) controller_->OnCommand(id);
}

void CToolSheet::RunAboutDialog(const AboutFields& fields) {
    about_->titleLine = fields.titleLine;
    about_->deliveryLabel = fields.deliveryLabel;
    about_->groupId = fields.groupId;
    about_->clientId = fields.clientId;
    about_->deliveryNo = fields.deliveryNo;
    CentreOnScreen(about_.get());
    about_->DoModal();
}

void CToolSheet::CloseAboutDialog() {
    if (about_ && about_->isVisible()) about_->reject();
}

DeliveryNumberAnswer CToolSheet::RunDeliveryNumberDialog(const std::string& prompt,
                                                         const std::string& deliveryNo) {
    DeliveryNumberAnswer answer;
    CDeliveryNoDlg dialog(prompt, deliveryNo, this);
    CentreOnScreen(&dialog);
    deliveryDlg_ = &dialog;
    const int result = dialog.DoModal();
    deliveryDlg_ = nullptr;
    if (result == 1) {
        answer.accepted = true;
        answer.deliveryNo = dialog.DeliveryNo();
        answer.deliveryPassword = dialog.DeliveryPassword();
    }
    return answer;
}

void CToolSheet::RaiseDeliveryNumberDialog() {
    if (!deliveryDlg_) return;
    deliveryDlg_->raise();
    deliveryDlg_->activateWindow();
}

void CToolSheet::CloseModalWindows() {
    if (trayMenu_) trayMenu_->Close();
    if (QWidget* popupMenu = QApplication::activePopupWidget()) popupMenu->close();
    if (deliveryDlg_) deliveryDlg_->reject();
    // Modal loops (the About dialog, a validation message) end so that the
    // code waiting below them can unwind.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog != this && dialog->isVisible() && dialog->isModal()) dialog->reject();
    }
    CloseAboutDialog();
    hide();
}

void CToolSheet::OpenAddress(const std::string& address) {
    OpenInBrowser(address, AddressOrigin::Settings);
}

void CToolSheet::FeedMayHaveChanged() {
    if (saver_) saver_->FeedMayHaveChanged();
}

void CToolSheet::CycleFinished(CycleResult result) {
    emit cycleFinished(result);
}

void CToolSheet::StopAnsweringSecondStarts() {
    if (services_.instance) services_.instance->StopListening();
}

bool CToolSheet::SaveStoreAtEnd() {
    return saver_ ? saver_->SaveNow() : SaveItemStore(startup_.dataFile, controller_->Feed());
}

void CToolSheet::TellAtTheEnd(const std::string& title, const std::string& message) {
    NotifyBeforeTheEnd(QStringFromCp932(title), QStringFromCp932(message));
}

void CToolSheet::RunEnded() {
    emit ended();
}

// --- Settings page: OK, Cancel and hiding ------------------------------------

void CToolSheet::accept() {
    const int previous = tabs_->currentIndex();
    tabs_->setCurrentIndex(0);
    if (!page_->OnKillActive()) return;
    controller_->ApplySettings(page_->Interval(), page_->NotifyMode());
    hide();
    tabs_->setCurrentIndex(previous);
}

void CToolSheet::reject() {
    hide();
}

void CToolSheet::closeEvent(QCloseEvent* e) {
    e->ignore();
    hide();
}

void CToolSheet::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
    }
    QDialog::changeEvent(e);
}

}  // namespace velmora
