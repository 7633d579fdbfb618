#pragma once
// The tray icon as the user sees it: its four images (normal, blink, and the
// normal one with the error or the communicating overlay), the tooltip cut to
// the tray's limit, the blinking, and the icon shown again when the desktop's
// tray host comes back.

#include <QIcon>
#include <QObject>
#include <QTimer>
#include <cstdint>

#include "desktop/tray/tray_port.h"

namespace velmora {

class CTrayIcon;

inline constexpr int kBlinkIntervalMs = 500;

class TrayPresenter final : public QObject, public TrayPort {
    Q_OBJECT
  public:
    // Clicks on the icon are posted to `clicksTo`.
    TrayPresenter(const TrayArtwork& artwork, QObject* clicksTo, QObject* parent = nullptr);
    ~TrayPresenter() override;

    bool Add() override;
    void Remove() override;
    void SetImage(TrayImage image) override;
    void SetTip(const std::string& cp932) override;
    void StartBlinking() override;
    void StopBlinking() override;
    // The menu a status notifier host shows itself.
    void SetExportedMenu(QMenu* menu);
    bool WithoutTray() const override;

  private:
    const QIcon& IconFor(TrayImage image) const;
    void BlinkStepTick();
    void OnHostRecreated();

    CTrayIcon* tray_ = nullptr;  // child
    QIcon normal_;
    QIcon blink_;
    QIcon error_;
    QIcon communicating_;
    QTimer blinkTimer_;
    std::int32_t blinkPhase_ = 1;
    bool removed_ = false;
};

}  // namespace velmora
