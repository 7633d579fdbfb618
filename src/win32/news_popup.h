#pragma once
// The news popup on Windows: a skinned tool window parked at the right edge
// of the work area of the monitor that holds the taskbar, with only its logo
// tab showing. It slides in to show the ticker, two news cards with paging
// buttons and MY PAGE, and out again on a second click or after five minutes.
// The core decides places, steps, paging, the ticker and the card page.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/popup/card_page.h"
#include "core/popup/card_record.h"
#include "core/popup/news_ticker.h"
#include "core/popup/openable_address.h"
#include "core/popup/popup_geometry.h"
#include "core/shell/popup_port.h"
#include "win32/bmp_button.h"
#include "win32/card_area.h"
#include "win32/popup_art.h"
#include "win32/skin_window.h"

namespace velmora::win32 {

// The monitors as the popup sees them, each with its scale.
std::vector<Monitor> DesktopMonitors();

class CNewsPopup final : public CSkinWnd, public PopupPort {
  public:
    using Launcher = std::function<void(const std::string& cp932Address, AddressOrigin origin)>;
    using MonitorSource = std::function<std::vector<Monitor>()>;

    explicit CNewsPopup(Launcher launcher);
    ~CNewsPopup() override;

    // Builds the window and its controls, parked at the right edge; false
    // (with a line on stderr) when the window cannot be made.
    bool CreatePopup();
    // Replaces where the monitors come from (tests); call before CreatePopup.
    void SetMonitorSource(MonitorSource source) { monitors_ = std::move(source); }
    // Where the taskbar is, when there is one; null for none.
    void SetTaskbarPoint(std::optional<ScreenPoint> point) { taskbar_ = point; }
    // The monitors changed: the popup goes to its place on its monitor now.
    void OnScreensChanged();

    // PopupPort.
    void SetChannel(const FeedChannel& channel) override;
    void ShowTab() override;
    void PostOpen() override;
    void BringToForeground() override;

    void Toggle();
    void Park();
    void OnCommand(int id);

    bool IsOpened() const { return opened_; }
    PopupPositions Positions() const { return positions_; }
    int ScalePercent() const { return scale_; }
    int ShownWidth() const { return shownWidth_; }
    std::size_t Page() const { return page_; }
    const std::vector<CardRecord>& Items() const { return items_; }
    const NewsTicker& Ticker() const { return ticker_; }
    bool IsTimerActive(int id) const;
    const CBmpButton& PrevButton() const { return prevButton_; }
    const CBmpButton& NextButton() const { return nextButton_; }
    const CardArea& Cards() const { return cards_; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void ApplyScale(int scalePercent);
    void ComputeScreenPositions();
    void MoveTo(int x, int y);
    void ApplyShownWidth();
    void StartTimer(int id, UINT intervalMs);
    void StopTimer(int id);
    void OnTimer(UINT_PTR id);
    void OnSlideIn();
    void OnSlideOut();
    void OnWritePoll();
    void ResetTicker();
    void CatchUpTicker();
    void UpdateTickerTimer();
    bool TickerOnScreen() const;
    void RedrawTicker();
    void ShowPage();
    void LoadTemplates();
    void PaintSkin(HDC dc);
    POINT Position() const;

    Launcher launcher_;
    MonitorSource monitors_;
    std::optional<ScreenPoint> taskbar_;
    PixelImage skinArt_;
    GdiObject<HBITMAP> skin_;
    std::vector<RegionRect> skinRects_;
    GdiObject<HFONT> tickerFont_;
    int scale_ = 100;
    int dragX_ = -1;
    int dragY_ = -1;
    CBmpButton logoButton_;
    CBmpButton myPageButton_;
    CBmpButton prevButton_;
    CBmpButton nextButton_;
    CBmpButton tickerArea_;
    CardArea cards_;
    PopupPositions positions_;
    RegionRect ownerArea_;
    int shownWidth_ = kPopupWidth;
    bool inOwnPlace_ = true;  // false once the user dragged it elsewhere
    bool opened_ = false;
    CardTemplates templates_;
    std::vector<CardRecord> items_;
    std::size_t page_ = 0;
    NewsTicker ticker_;
    TickerPace pace_;
    bool tickerTextPending_ = false;
    unsigned activeTimers_ = 0;  // bit n: timer n runs
    bool tickerOffBeat_ = false;
};

}  // namespace velmora::win32
