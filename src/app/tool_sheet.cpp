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
    transfer_ = std::make_unique<QuittableTransfer>(*threaded_);
    cycle_ = std::make_unique<DeliveryCycle>(*this, errors_, *transfer_, *services_.clock,
                                             ReadDeliverySettings(), startup_.colors);
    popupSetting_ = settings::ReadPopupMode();

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
    page_->SetValues(cycle_->Settings().pollMinutes, static_cast<std::int32_t>(popupSetting_));

    connect(&pollTimer_, &LongTimer::timeout, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(UM_POLL)); });
}

CToolSheet::~CToolSheet() {
    // The popup goes first, as the window's destruction destroys it.
    popup_.reset();
    SetBrowserFailureReport(nullptr);
    if (services_.instance) services_.instance->StopListening();
}

void CToolSheet::OnInitDialog() {
    setWindowIcon(QIcon(QPixmap::fromImage(startup_.normalIcon)));
    title_ = settings::ReadTitle();
    setWindowTitle(QStringFromCp932(title_));

    const TrayArtwork artwork{startup_.normalIcon, startup_.blinkIcon};
    tray_ = services_.makeTray ? services_.makeTray(artwork, this)
                               : std::make_unique<TrayPresenter>(artwork, this);
    trayMenu_ = new TrayMenu(this, this);
    tray_->SetExportedMenu(trayMenu_->Exported());
    tray_->Add();
    SetTrayTip(title_);

    if (services_.instance) services_.instance->Listen(this);

    LoadItemStore(startup_.dataFile, cycle_->Current());
    saver_ = std::make_unique<StoreSaver>(startup_.dataFile, cycle_->Current(),
                                          services_.storeSaveIntervalMs, this);
    saver_->MarkSaved();
    // Not while a cycle runs: its end may change the feed again, and its
    // report would hide that of the save.
    saver_->SetBusy([this] { return cycle_->Busy(); });
    connect(saver_.get(), &StoreSaver::saved, this, &CToolSheet::OnStoreSaved);

    errorDlg_ = std::make_unique<CErrorDlg>(errors_);
    errorDlg_->SetOwner(this);
    errorDlg_->ClearError();

    notifier_ = new ErrorNotifier(this);
    connect(notifier_, &ErrorNotifier::troubleshootingChosen, this,
            [this] { errorDlg_->TroubleshootingButton()->click(); });
    connect(notifier_, &ErrorNotifier::detailsChosen, this, &CToolSheet::ShowErrorDialog);
    connect(notifier_, &ErrorNotifier::unanswered, this, &CToolSheet::ShowErrorDialog);

    popup_ = services_.makePopup ? services_.makePopup() : MakeNewsPopup();
    // A page that cannot be opened stands as an error, as a failed save does.
    SetBrowserFailureReport([this] {
        const std::int32_t before = errors_.Code();
        errors_.ReportError(kErrorOpenPage, 0);
        SetTrayImage(TrayImage::Error);
        SetTrayTip(errors_.Title());
        AnnounceNewError(before);
    });

    about_ = std::make_unique<CAboutDlg>(this);
    about_->SetNormalIconPath(startup_.normalIconPath);

    // The dialogs modal to the sheet need its window, shown or not.
    create();
    QCoreApplication::postEvent(this, new QEvent(UM_POLL));
}

// --- DeliveryUi -------------------------------------------------------------

void CToolSheet::SetTrayImage(TrayImage image) {
    if (tray_) tray_->SetImage(image);
    // The cycle reports into the error state; the dialog shows it as it changes.
    if (errorDlg_) errorDlg_->Refresh();
}

void CToolSheet::SetTrayTip(const std::string& tip) {
    if (tray_) tray_->SetTip(tip);
    if (errorDlg_) errorDlg_->Refresh();
}

void CToolSheet::StartPollTimer(std::uint32_t intervalMs) {
    pollTimer_.Start(intervalMs);
}

void CToolSheet::StopPollTimer() {
    pollTimer_.Stop();
}

DeliveryNumberAnswer CToolSheet::AskDeliveryNumber(const std::string& prompt,
                                                   const std::string& deliveryNo) {
    DeliveryNumberAnswer answer;
    if (quitPending_) return answer;
    CDeliveryNoDlg dialog(prompt, deliveryNo, this);
    CentreOnScreen(&dialog);
    deliveryDlg_ = &dialog;
    const int result = dialog.DoModal();
    deliveryDlg_ = nullptr;
    if (result == 1 && !quitPending_) {
        answer.accepted = true;
        answer.deliveryNo = dialog.DeliveryNo();
        answer.deliveryPassword = dialog.DeliveryPassword();
    }
    return answer;
}

void CToolSheet::PostTrayClick() {
    QCoreApplication::postEvent(this, new TrayNotifyEvent(kTrayIconId, kWmLButtonDown));
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
        if (!ended_ && !quitPending_) OnCommand(static_cast<MenuCommandEvent*>(e)->Command());
        return true;
    }
    if (type == UM_TRAYNOTIFY || type == UM_SHOWHELP || type == UM_SHOWNEWS ||
        type == UM_FETCHNEWS || type == UM_POLL || type == UM_ERRORCLOSED) {
        if (ended_ || quitPending_) return true;
        if (type == UM_TRAYNOTIFY) {
            const auto* notify = static_cast<TrayNotifyEvent*>(e);
            OnTrayNotify(notify->IconId(), notify->MouseMessage());
        } else if (type == UM_SHOWHELP) {
            OnShowHelp();
        } else if (type == UM_SHOWNEWS) {
            OnShowNews();
        } else if (type == UM_FETCHNEWS) {
            OnFetchNews();
        } else if (type == UM_POLL) {
            OnPoll();
        } else {
            OnErrorClosed();
        }
        return true;
    }
    return QDialog::event(e);
}

bool CToolSheet::MayStartCycle() const {
    if (cycle_->Busy()) return false;
    // One delivery number dialog at a time: while it is open, a cycle request
    // only brings it to the front.
    if (deliveryDlg_) {
        deliveryDlg_->raise();
        deliveryDlg_->activateWindow();
        return false;
    }
    return true;
}

bool CToolSheet::RunCycle(CycleResult& result) {
    const std::int32_t codeBefore = errors_.Code();
    ++cycleDepth_;
    result = cycle_->RunDeliveryCycle();
    --cycleDepth_;
    if (errorDlg_) errorDlg_->Refresh();
    emit cycleFinished(result);
    if (saver_ && !quitPending_) saver_->FeedMayHaveChanged();
    if (quitPending_) {
        if (cycleDepth_ == 0) FinishQuit();
        return false;
    }
    AnnounceNewError(codeBefore);
    return true;
}

void CToolSheet::OnPoll() {
    if (!MayStartCycle()) return;
    if (tray_) tray_->StopBlinking();
    CycleResult r = CycleResult::Failed;
    if (!RunCycle(r)) return;
    if (r == CycleResult::News && (popupSetting_ == 1 || WithoutTray()) && popup_)
        popup_->PrepareOpen();
    if (r == CycleResult::News && popup_) popup_->ShowTab();
    if (r != CycleResult::Failed && popup_) popup_->SetChannel(cycle_->Current());
    if (r == CycleResult::News) {
        // Without a tray a blink would announce nothing.
        if (popupSetting_ == 1 || WithoutTray()) {
            if (popup_) popup_->PostOpen();
        } else {
            if (tray_) tray_->StartBlinking();
        }
    }
}

void CToolSheet::OnFetchNews() {
    if (!MayStartCycle()) return;
    if (tray_) tray_->StopBlinking();
    // The popup opens unless the request fails: its cards get ready meanwhile.
    if (popup_) popup_->PrepareOpen();
    CycleResult r = CycleResult::Failed;
    if (!RunCycle(r)) return;
    if (r != CycleResult::Failed && popup_) {
        popup_->SetChannel(cycle_->Current());
        popup_->PostOpenForUser();
    }
}

void CToolSheet::OnShowNews() {
    SetTrayImage(TrayImage::Normal);
    QCoreApplication::postEvent(this, new QEvent(UM_FETCHNEWS));
}

void CToolSheet::OnErrorClosed() {
    SetTrayImage(TrayImage::Normal);
    SetTrayTip(title_);
    errors_.ClearError();
}

void CToolSheet::OnStoreSaved(bool ok) {
    if (ended_) return;
    if (!ok) {
        errors_.ReportError(kErrorStoreSave, saver_->LastError().number);
        SetTrayImage(TrayImage::Error);
        SetTrayTip(errors_.Title());
    } else if (errors_.Code() == kErrorStoreSave) {
        // The retry worked: the error it left goes.
        OnErrorClosed();
    }
}

// --- Tray clicks and commands -----------------------------------------------

void CToolSheet::OnTrayNotify(int iconId, int mouseMessage) {
    if (mouseMessage == kWmLButtonDown) {
        if (popup_) popup_->BringToForeground();
        if (!cycle_->Busy()) {
            if (popup_) popup_->ShowTab();
            QCoreApplication::postEvent(this, new QEvent(UM_SHOWNEWS));
        }
        if (iconId != kTrayIconId) return;
        if (tray_) tray_->StopBlinking();
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

bool CToolSheet::WithoutTray() const {
    return tray_ && tray_->WithoutTray();
}

void CToolSheet::AnnounceNewError(std::int32_t codeBefore) {
    const std::int32_t code = errors_.Code();
    if (code == 0 || code == codeBefore || !notifier_ || !WithoutTray()) return;
    notifier_->Notify(QStringFromCp932(errors_.TitleLine()),
                      QStringFromCp932(errors_.MessageLine()));
}

void CToolSheet::ShowTrayMenu() {
    if (!trayMenu_ || trayMenu_->IsOpen()) return;
    QPointer<CToolSheet> alive(this);
    const int id = trayMenu_->Exec(QCursor::pos());
    if (!alive) return;
    if (id != 0) OnCommand(id);
}

void CToolSheet::OnCommand(int id) {
    switch (id) {
        case kCmdTool:
            ShowToolSheet();
            break;
        case kCmdHelp:
            QCoreApplication::postEvent(this, new QEvent(UM_SHOWHELP));
            break;
        case kCmdAbout:
            RunAbout();
            break;
        case kCmdExit:
            RequestQuit();
            break;
        default:
            // Another id does nothing.
            break;
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
    if (trayMenu_) trayMenu_->Close();
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
    pollTimer_.Stop();
    if (services_.instance) services_.instance->StopListening();
    saved_ = saver_ ? saver_->SaveNow() : SaveItemStore(startup_.dataFile, cycle_->Current());
    emit ended();
}

// --- Settings page: OK, Cancel and hiding ------------------------------------

void CToolSheet::accept() {
    const int previous = tabs_->currentIndex();
    tabs_->setCurrentIndex(0);
    if (!page_->OnKillActive()) return;
    DeliverySettings& s = cycle_->Settings();
    s.pollMinutes = page_->Interval();
    settings::WritePollMinutes(s.pollMinutes);
    pollTimer_.Stop();
    pollTimer_.Start(PollIntervalMs(s.pollMinutes));
    popupSetting_ = page_->NotifyMode() != 1 ? 1 : 0;
    settings::WritePopupMode(popupSetting_);
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
