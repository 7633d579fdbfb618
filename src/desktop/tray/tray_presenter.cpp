#include "desktop/tray/tray_presenter.h"

#include <QPixmap>

#include "core/settings/settings.h"
#include "core/tray/tray_state.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/qt_text.h"
#include "desktop/tray/tray_icon.h"

namespace velmora {
namespace {

QIcon IconOf(const QImage& image) {
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

TrayPresenter::TrayPresenter(const TrayArtwork& artwork, QObject* clicksTo, QObject* parent)
    : QObject(parent), tray_(new CTrayIcon(clicksTo, this)), blinkTimer_(this) {
    normal_ = IconOf(artwork.normal);
    blink_ = IconOf(artwork.blink);
    // A composition that fails leaves the normal image, never an empty tray entry.
    const QImage errorImage = ComposeOverlayImage(artwork.normal, true);
    const QImage busyImage = ComposeOverlayImage(artwork.normal, false);
    error_ = errorImage.isNull() ? normal_ : IconOf(errorImage);
    communicating_ = busyImage.isNull() ? normal_ : IconOf(busyImage);

    blinkTimer_.setInterval(kBlinkIntervalMs);
    connect(&blinkTimer_, &QTimer::timeout, this, &TrayPresenter::BlinkStepTick);
    connect(tray_, &CTrayIcon::hostRecreated, this, &TrayPresenter::OnHostRecreated);
}

TrayPresenter::~TrayPresenter() = default;

const QIcon& TrayPresenter::IconFor(TrayImage image) const {
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

bool TrayPresenter::Add() {
    // String 109.
    return tray_->Add(normal_, QStringFromCp932(settings::kTitleDefault));
}

void TrayPresenter::Remove() {
    removed_ = true;
    blinkTimer_.stop();
    tray_->Remove();
}

void TrayPresenter::SetImage(TrayImage image) {
    tray_->SetIcon(IconFor(image));
}

void TrayPresenter::SetTip(const std::string& cp932) {
    tray_->SetTip(QStringFromCp932(TrayTipText(cp932)));
}

void TrayPresenter::StartBlinking() {
    blinkTimer_.start();
}

void TrayPresenter::StopBlinking() {
    blinkTimer_.stop();
}

void TrayPresenter::SetExportedMenu(QMenu* menu) {
    tray_->SetExportedMenu(menu);
}

bool TrayPresenter::WithoutTray() const {
    return tray_->NoHost();
}

void TrayPresenter::BlinkStepTick() {
    SetImage(BlinkStep(blinkPhase_));
}

void TrayPresenter::OnHostRecreated() {
    if (removed_) return;
    Add();
}

}  // namespace velmora
