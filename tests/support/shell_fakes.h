#pragma once
// A tray and a news popup that record what the tool sheet asks of them.

#include <functional>
#include <string>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/shell/popup_port.h"
#include "core/shell/tray_port.h"

namespace velmora::test_support {

class RecordingPopup final : public PopupPort {
  public:
    explicit RecordingPopup(std::vector<std::string>& log) : log_(log) {}
    void SetChannel(const FeedChannel& channel) override {
        log_.push_back("setchannel:" + std::to_string(channel.Count()));
    }
    void ShowTab() override { log_.push_back("showtab"); }
    void PostOpen() override { log_.push_back("open"); }
    void PostOpenForUser() override { log_.push_back("open for user"); }
    void BringToForeground() override { log_.push_back("foreground"); }
    void PrepareOpen() override {
        if (onPrepare) onPrepare();
    }
    std::function<void()> onPrepare;

  private:
    std::vector<std::string>& log_;
};

// What the sheet last asked of the tray.
struct TrayRecord {
    bool added = false;
    TrayImage image = TrayImage::Normal;
    std::string tip;  // CP932, as the sheet hands it over
    bool blinking = false;
    bool menuExported = false;
    bool withoutTray = false;  // the answer the sheet gets
};

class RecordingTray final : public TrayPort {
  public:
    explicit RecordingTray(TrayRecord& record) : record_(record) {}
    bool Add() override {
        record_.added = true;
        return true;
    }
    void Remove() override { record_.added = false; }
    void SetImage(TrayImage image) override { record_.image = image; }
    void SetTip(const std::string& cp932) override { record_.tip = cp932; }
    void StartBlinking() override { record_.blinking = true; }
    void StopBlinking() override { record_.blinking = false; }
    bool WithoutTray() const override { return record_.withoutTray; }

  private:
    TrayRecord& record_;
};

}  // namespace velmora::test_support
