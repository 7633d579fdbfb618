#include "app/tool_sheet.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/error_notifier.h"
#include "app/single_instance.h"
#include "core/feed/item_store.h"
#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "core/tray/tray_state.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/messages.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/about_dialog.h"
#include "desktop/dialogs/delivery_no_dialog.h"
#include "desktop/dialogs/dialog_template.h"
#include "desktop/dialogs/error_dialog.h"
#include "desktop/dialogs/option_page.h"
#include "desktop/tray/tray_icon.h"
#include "desktop/tray/tray_notify_event.h"

namespace velmora {
namespace {

QIcon IconOf(const QImage& image) {
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

CToolSheet::CToolSheet(const QString& caption, SheetStartup startup, SheetServices services,
                       QWidget* parent)
    : QDialog(parent), startup_(std::move(startup)), services_(std::move(services)) {
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

    blinkTimer_.setInterval(kBlinkIntervalMs);
    connect(&blinkTimer_, &QTimer::timeout, this, &CToolSheet::BlinkStepTick);
    connect(&pollTimer_, &LongTimer::timeout, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(UM_POLL)); });
}

CToolSheet::~CToolSheet() {
    // The popup goes first, as the window's destruction destroys it.
    popup_.reset();
    if (services_.instance) services_.instance->StopListening();
}

void CToolSheet::OnInitDialog() {
    normal_ = IconOf(startup_.normalIcon);
    setWindowIcon(normal_);
    blink_ = IconOf(startup_.blinkIcon);
    // A composition that fails leaves the normal image, never an empty tray entry.
    const QImage errorImage = ComposeOverlayImage(startup_.normalIcon, true);
    const QImage busyImage = ComposeOverlayImage(startup_.normalIcon, false);
    error_ = errorImage.isNull() ? normal_ : IconOf(errorImage);
    communicating_ = busyImage.isNull() ? normal_ : IconOf(busyImage);

    title_ = settings::ReadTitle();
    setWindowTitle(QStringFromCp932(title_));

    tray_ = std::make_unique<CTrayIcon>(this);
    connect(tray_.get(), &CTrayIcon::hostRecreated, this, &CToolSheet::OnTrayHostRecreated);
    ExportTrayMenu();
    AddTrayIcon();
    SetTrayTip(title_);

    if (services_.instance) services_.instance->Listen(this);

    LoadItemStore(startup_.dataFile, cycle_->Current());
    saver_ = std::make_unique<StoreSaver>(startup_.dataFile, cycle_->Current(),
                                          services_.storeSaveIntervalMs);
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

    about_ = std::make_unique<CAboutDlg>(this);
    about_->SetNormalIconPath(startup_.normalIconPath);

    // The dialogs modal to the sheet need its window, shown or not.
    create();
    QCoreApplication::postEvent(this, new QEvent(UM_POLL));
}

// --- DeliveryUi -------------------------------------------------------------

QIcon CToolSheet::IconFor(TrayImage image) const {
    switch (image) {
        case TrayImage::Blink:
            return blink_;
        case TrayImage::Error:
            return error_;
        case TrayImage::Communicating:
            return communicating_;
        case TrayImage::Normal:
            break;
    }
    return normal_;
}

void CToolSheet::SetTrayImage(TrayImage image) {
    shownImage_ = image;
    if (tray_) tray_->SetIcon(IconFor(image));
    // The cycle reports into the error state; the dialog shows it as it changes.
    if (errorDlg_) errorDlg_->Refresh();
}

void CToolSheet::SetTrayTip(const std::string& tip) {
    if (tray_) tray_->SetTip(QStringFromCp932(TrayTipText(tip)));
    if (errorDlg_) errorDlg_->Refresh();
}

QString CToolSheet::TrayTip() const {
    return tray_ ? tray_->Tip() : QString();
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
    blinkTimer_.stop();
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
            blinkTimer_.start();
        }
    }
}

void CToolSheet::OnFetchNews() {
    if (!MayStartCycle()) return;
    blinkTimer_.stop();
    // The popup opens unless the request fails: its cards get ready meanwhile.
    if (popup_) popup_->PrepareOpen();
    CycleResult r = CycleResult::Failed;
    if (!RunCycle(r)) return;
    if (r != CycleResult::Failed && popup_) {
        popup_->SetChannel(cycle_->Current());
        popup_->PostOpen();
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

void CToolSheet::BlinkStepTick() {
    SetTrayImage(BlinkStep(blinkPhase_));
}

bool CToolSheet::AddTrayIcon() {
    shownImage_ = TrayImage::Normal;
    // String 109.
    return tray_->Add(normal_, QStringFromCp932(settings::kTitleDefault));
}

void CToolSheet::OnTrayHostRecreated() {
    if (ended_) return;
    AddTrayIcon();
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
