#pragma once
// The news popup: a skinned, frameless tool window parked at the right edge of
// its monitor (the tray's, else the primary) with only its logo tab showing. It slides in to show
// the ticker, two news cards with paging buttons and the MY PAGE button, and out again on a second
// click or after five minutes.

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/feed/feed_item.h"
#include "core/popup/card_page.h"
#include "core/popup/card_record.h"
#include "core/popup/news_ticker.h"
#include "core/popup/openable_address.h"
#include "core/popup/popup_geometry.h"
#include "desktop/common/messages.h"
#include "desktop/popup/bmp_button.h"
#include "desktop/popup/skin_window.h"

class QLabel;

namespace velmora {

class FeedChannel;
class CardArea;
class CardCover;

// UM_POPUP_OPEN posted on the user's request (a tray click, --news): the
// popup takes the keyboard. A plain QEvent(UM_POPUP_OPEN) opens it without.
class PopupOpenEvent : public QEvent {
  public:
    explicit PopupOpenEvent(bool byUser) : QEvent(UM_POPUP_OPEN), byUser_(byUser) {}
    bool ByUser() const { return byUser_; }

  private:
    bool byUser_;
};

class CNewsPopup : public CSkinWnd {
    Q_OBJECT
  public:
    // Opens an address in the desktop's browser (OpenInBrowser unless replaced).
    using Launcher = std::function<bool(const std::string& cp932Address, AddressOrigin origin)>;
    // Milliseconds of a steady clock; the ticker's place is worked out from it.
    using MonotonicClock = std::function<std::int64_t()>;

    // The cards show no read marks, so the item colours are not needed here;
    // the parameter keeps the tool sheet's call the same for every popup.
    explicit CNewsPopup(ItemColors colors = {});
    ~CNewsPopup() override;

    // Builds the window and its controls and parks it at the right edge.
    // False when it was built already.
    bool CreatePopup();
    // UM_POPUP_SETCHANNEL, sent: takes the ticker messages and items of the
    // channel, unless the popup is open and showing items.
    void SetChannel(const FeedChannel& channel);
    // UM_POPUP_SHOWTAB, sent: parks and shows the window without sliding in.
    void ShowTab();
    void BringToForeground();
    // UM_POPUP_OPEN (1058) is posted: QCoreApplication::postEvent(popup, new
    // QEvent(UM_POPUP_OPEN)).

    // Slides in from the parked place, otherwise jumps open and slides out.
    // The user's toggle activates the window so that the keyboard reaches it.
    void Toggle(bool byUser = false);
    // Back to the parked place at once.
    void Park();
    // The popup will open soon: the web engine starts now, so that it has
    // painted the cards as early as it can.
    void PrepareOpen();
    void OnCommand(int id) override;

    void SetLauncher(Launcher launcher) { launcher_ = std::move(launcher); }
    // Replaces the steady clock; call before CreatePopup.
    void SetClock(MonotonicClock clock) { clock_ = std::move(clock); }
    // How long the parked popup keeps its web engine before giving its memory back.
    void SetCardReleaseDelay(int milliseconds) { releaseTimer_.setInterval(milliseconds); }

    bool IsOpened() const { return opened_; }
    // The columns of the window that are shown on the screen (the rest is cut
    // away from the window's shape, its windowHandle()->mask()).
    int ShownWidth() const { return shownWidth_; }
    PopupPositions Positions() const { return positions_; }
    std::size_t Page() const { return page_; }
    const std::vector<CardRecord>& Items() const { return items_; }
    const NewsTicker& Ticker() const { return ticker_; }
    bool IsTimerActive(int id) const;
    const CBmpButton& PrevButton() const { return prevButton_; }
    const CBmpButton& NextButton() const { return nextButton_; }
    QLabel* TickerLabel() const { return tickerLabel_; }
    // The card area, or nullptr while the web engine is not needed.
    CardArea* Cards() const { return cards_; }
    // The web engine's cards are on show (not the stand-in drawn while it paints).
    bool CardsLive() const;
    const CardCover* Cover() const { return cover_; }
    // How long the parked web engine runs on before it is stopped where it is.
    void SetCardPauseDelay(int milliseconds) { pauseTimer_.setInterval(milliseconds); }

  signals:
    // A composed page has been handed to the card area and finished loading.
    void CardsWritten();

  protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // Finds the owning monitor and the places on it.
    void ComputeScreenPositions();
    // Moves the window, cut at its monitor's edge before and after the move.
    void MoveTo(QPoint where);
    void ApplyShownWidth();
    void WatchScreens();
    void OnScreensChanged();
    void OpenForUser();
    // The cards as keyboard stops: Enter opens the card's item.
    void OnCardKey(int slot);
    void UpdateAccessibleCards();
    void OnSlideIn();
    void OnSlideOut();
    void OnTicker();
    void OnWritePoll();
    void OnAutoClose();
    void ResetTicker();
    void ShowPage();
    bool WritePage();
    void OpenFromTool(bool byUser);
    void LoadTemplates();
    // The web engine exists only while the cards can be seen or soon will be.
    void EnsureCards();
    void ReleaseCards();
    bool CardsOnScreen() const;
    bool TickerOnScreen() const;
    void ShowTickerText();
    // The ticker's timer runs only while its text can be seen; the text is
    // kept where a timer running all along would have left it.
    void UpdateTickerTimer();
    void CatchUpTicker();
    void StartReleaseCountdown();
    void OnCardsPainted(bool ok);
    void OnCardPicture(const QImage& picture);
    void SchedulePause();
    void PauseOrSnapshot();
    void ReleaseAfterSnapshot();
    void UpdateCover();

    bool created_ = false;
    QImage skin_;
    QFont tickerFont_;
    int dragX_ = -1;
    int dragY_ = -1;
    CBmpButton logoButton_;
    CBmpButton myPageButton_;
    CBmpButton prevButton_;
    CBmpButton nextButton_;
    CBmpButton tickerArea_;
    QLabel* tickerLabel_ = nullptr;
    CardArea* cards_ = nullptr;  // a child; retired by ReleaseCards
    CardCover* cover_ = nullptr;
    std::vector<CardRecord> writtenItems_;  // what the last page written showed
    std::size_t writtenPage_ = 0;
    bool releaseAfterPicture_ = false;
    bool cardsFailed_ =
        false;  // the card process could not start; tried again on the next slide-in
    QWidget* strips_[4] = {};
    CBmpButton cardStops_[2];
    PopupPositions positions_;
    RegionRect ownerArea_;
    QRegion skinRegion_;
    int shownWidth_ = kPopupWidth;
    bool inOwnPlace_ = true;  // false once the user dragged it elsewhere
    bool opened_ = false;
    CardTemplates templates_;
    std::vector<CardRecord> items_;
    std::size_t page_ = 0;
    NewsTicker ticker_;
    bool tickerTextPending_ = false;
    MonotonicClock clock_;
    std::int64_t tickerEpoch_ = 0;   // clock reading of the ticker's start
    std::uint64_t tickerTicks_ = 0;  // ticks taken since then

    QTimer slideInTimer_;
    QTimer slideOutTimer_;
    QTimer tickerTimer_;
    QTimer writePollTimer_;
    QTimer autoCloseTimer_;
    QTimer releaseTimer_;
    QTimer pauseTimer_;
    Launcher launcher_;
};

}  // namespace velmora
