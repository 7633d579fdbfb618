#include "desktop/popup/news_popup.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/popup/card_paging.h"
#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "core/text/cp932.h"
#include "desktop/common/messages.h"
#include "desktop/popup/browser_launcher.h"
#include "desktop/popup/card_area.h"
#include "desktop/popup/card_cover.h"
#include "desktop/popup/popup_resources.h"
#include "desktop/tray/tray_icon.h"

namespace velmora {
namespace {

constexpr int kCardReleaseDelay = 300000;
// Long enough for the cards' pictures to come in (their script waits 15 s).
constexpr int kCardPauseDelay = 16000;
// How long a picture of the cards is waited for before they are released anyway.
constexpr int kPictureWaitMs = 2000;
constexpr const char* kTemplateTooLarge = "テンプレートのバッファが足りません";

// The part of the browser rectangle the strips leave visible.
const QRect kCardsVisibleRect(250, 80, 292, 158);

QRect ToQRect(const RegionRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

RegionRect ToRegionRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

std::vector<Monitor> Monitors() {
    std::vector<Monitor> monitors;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens())
        monitors.push_back({ToRegionRect(screen->geometry()),
                            ToRegionRect(screen->availableGeometry()), screen == primary});
    return monitors;
}

std::optional<ScreenPoint> TrayIconPlace() {
    const QRect icon = CTrayIcon::ShownGeometry();
    if (icon.isEmpty()) return std::nullopt;
    return ScreenPoint{icon.center().x(), icon.center().y()};
}

// Where a card sits on the popup, for its keyboard stop: a bar under the card,
// between the card area and the paging buttons, where the card window does not
// cover it.
QRect CardStopRect(int slot) {
    constexpr int kCardLefts[2] = {252, 397};
    constexpr int kCardWidth = 136;
    return QRect(kCardLefts[slot], kBrowserRect.bottom, kCardWidth, kPrevY - kBrowserRect.bottom);
}

struct AccessibleText {
    const char* name;
    const char* description;
};
constexpr AccessibleText kLogoText{"ニュースの表示",
                                   "ニュースウィンドウを開きます。開いているときは閉じます"};
constexpr AccessibleText kMyPageText{"マイページ", "マイページをブラウザで開きます"};
constexpr AccessibleText kPrevText{"前へ", "一つ前のニュースを表示します"};
constexpr AccessibleText kNextText{"次へ", "次のニュースを表示します"};
constexpr AccessibleText kTickerText{"お知らせ", "表示中のお知らせをブラウザで開きます"};
constexpr const char* kCardDescription = "このニュースをブラウザで開きます";
constexpr const char* kNoCardName = "ニュースはありません";
constexpr const char* kCardSlotNames[2] = {"左のニュース", "右のニュース"};

void SetAccessibleText(QWidget* widget, const AccessibleText& text) {
    widget->setAccessibleName(QString::fromUtf8(text.name));
    widget->setAccessibleDescription(QString::fromUtf8(text.description));
}

}  // namespace

CNewsPopup::CNewsPopup(ItemColors) : CSkinWnd(nullptr, Qt::Tool | Qt::FramelessWindowHint) {
    launcher_ = OpenInBrowser;
    clock_ = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_ShowWithoutActivating);
    struct TimerSetup {
        QTimer* timer;
        int interval;
        void (CNewsPopup::*handler)();
    };
    const TimerSetup timers[] = {{&slideInTimer_, kSlideInterval, &CNewsPopup::OnSlideIn},
                                 {&slideOutTimer_, kSlideInterval, &CNewsPopup::OnSlideOut},
                                 {&tickerTimer_, kTickerInterval, &CNewsPopup::OnTicker},
                                 {&writePollTimer_, kWritePollInterval, &CNewsPopup::OnWritePoll},
                                 {&autoCloseTimer_, kAutoCloseInterval, &CNewsPopup::OnAutoClose}};
    for (const TimerSetup& t : timers) {
        t.timer->setInterval(t.interval);
        t.timer->setTimerType(Qt::PreciseTimer);
        connect(t.timer, &QTimer::timeout, this, t.handler);
    }
    autoCloseTimer_.setTimerType(Qt::CoarseTimer);
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setInterval(kCardReleaseDelay);
    connect(&releaseTimer_, &QTimer::timeout, this, [this] {
        if (!opened_ && !CardsOnScreen()) ReleaseAfterSnapshot();
    });
    pauseTimer_.setSingleShot(true);
    pauseTimer_.setInterval(kCardPauseDelay);
    pauseTimer_.setTimerType(Qt::CoarseTimer);
    connect(&pauseTimer_, &QTimer::timeout, this, &CNewsPopup::PauseOrSnapshot);
}

CNewsPopup::~CNewsPopup() {
    writePollTimer_.stop();
    delete cards_;
    // The popup's end is the application's end.
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
}

bool CNewsPopup::CreatePopup() {
    if (created_) return false;
    created_ = true;
    opened_ = false;
    items_.clear();
    ticker_.SetMessages({});
    page_ = 0;

    tickerFont_ = QFont(QString::fromUtf8("ＭＳ Ｐゴシック"));
    tickerFont_.setPixelSize(10);
    tickerFont_.setWeight(QFont::Medium);
    tickerFont_.setStyleStrategy(QFont::PreferQuality);

    skin_ = LoadPopupBitmap(kSkinBitmap);
    setWindowTitle(QStringLiteral("Velmora"));
    setAccessibleName(QStringLiteral("ヴェルモラ ニュース"));
    SetBitmapRegion(skin_);
    skinRegion_ = mask();

    logoButton_.CreateImageButton(this, kLogoCommand, kLogoBitmap, kLogoPressedBitmap,
                                  kLogoHoverBitmap, kLogoX, kLogoY, false);
    myPageButton_.CreateImageButton(this, kMyPageCommand, kMyPageNormalBitmap, kMyPagePressedBitmap,
                                    kMyPageHoverBitmap, kMyPageX, kMyPageY, false);
    prevButton_.CreateImageButton(this, kPrevCommand, kPrevBitmap, kPrevBitmap, kPrevBitmap, kPrevX,
                                  kPrevY, true);
    prevButton_.LoadDisabledImage(kPrevDisabledBitmap);
    nextButton_.CreateImageButton(this, kNextCommand, kNextBitmap, kNextBitmap, kNextBitmap, kNextX,
                                  kNextY, true);
    nextButton_.LoadDisabledImage(kNextDisabledBitmap);

    tickerLabel_ = new QLabel(this);
    tickerLabel_->setTextFormat(Qt::PlainText);
    tickerLabel_->setWordWrap(false);
    tickerLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    tickerLabel_->setFont(tickerFont_);
    QPalette tickerPalette = tickerLabel_->palette();
    tickerPalette.setColor(QPalette::WindowText, Qt::black);
    tickerLabel_->setPalette(tickerPalette);
    tickerLabel_->setGeometry(ToQRect(kTickerTextRect));

    tickerArea_.CreateHotArea(this, kTickerCommand, kTickerBarInclusive.left,
                              kTickerBarInclusive.top, kTickerBarInclusive.right,
                              kTickerBarInclusive.bottom);
    SetAccessibleText(&logoButton_, kLogoText);
    SetAccessibleText(&myPageButton_, kMyPageText);
    SetAccessibleText(&prevButton_, kPrevText);
    SetAccessibleText(&nextButton_, kNextText);
    SetAccessibleText(&tickerArea_, kTickerText);

    for (int i = 0; i < 4; ++i) {
        strips_[i] = new QWidget(this);
        strips_[i]->setAutoFillBackground(true);
        strips_[i]->setGeometry(ToQRect(kStripRects[i]));
    }

    // Under the card window, which is placed over it once it has painted.
    cover_ = new CardCover(this, kCardsVisibleRect);

    // From the keyboard: MY PAGE, the two cards, then the paging buttons.
    for (int slot = 0; slot < 2; ++slot) {
        const QRect r = CardStopRect(slot);
        cardStops_[slot].CreateHotArea(this, slot == 0 ? kLeftCardCommand : kRightCardCommand,
                                       r.left(), r.top(), r.right(), r.bottom());
        // The mouse opens a card in the card itself; this bar only shows the focus.
        cardStops_[slot].setAttribute(Qt::WA_TransparentForMouseEvents);
        cardStops_[slot].unsetCursor();
    }
    CBmpButton* const stops[] = {&myPageButton_, &cardStops_[0], &cardStops_[1], &prevButton_,
                                 &nextButton_};
    for (CBmpButton* stop : stops) stop->SetKeyboardStop(true);
    for (std::size_t i = 1; i < std::size(stops); ++i) setTabOrder(stops[i - 1], stops[i]);

    dragX_ = dragY_ = -1;
    WatchScreens();
    ComputeScreenPositions();
    MoveTo({positions_.parkedX, positions_.parkedY});
    raise();

    LoadTemplates();
    ResetTicker();
    ShowPage();
    return true;
}

void CNewsPopup::LoadTemplates() {
    const bool ok[] = {LoadTemplate(kPageTemplate, templates_.page, kPageTemplateSize),
                       LoadTemplate(kCardTemplate, templates_.card, kCardTemplateSize),
                       LoadTemplate(kEmptyCardTemplate, templates_.emptyCard, kCardTemplateSize)};
    for (const bool loaded : ok) {
        if (loaded) continue;
        QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromUtf8(kTemplateTooLarge),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void CNewsPopup::SetChannel(const FeedChannel& channel) {
    if (!items_.empty() && opened_) return;

    tickerTimer_.stop();
    ticker_.SetMessages(TickerMessages(channel.Description(), channel.Link()));
    ResetTicker();

    const std::size_t count = channel.Count() > 0 ? static_cast<std::size_t>(channel.Count()) : 0;
    page_ = 0;
    items_.assign(count, CardRecord{});
    std::size_t i = 0;
    for (const FeedItem* item = channel.First(); item && i < count; item = item->Next(), ++i)
        items_[i] = {std::string(item->Headline()), std::string(item->Detail()),
                     std::string(item->Link()), std::string(item->Image())};
    ShowPage();
}

void CNewsPopup::ShowTab() {
    Park();
    BringToForeground();
    show();
}

void CNewsPopup::OpenFromTool(bool byUser) {
    Park();
    BringToForeground();
    show();
    Toggle(byUser);
    // Opened on request, the popup is ready for the keys at once.
    if (byUser) myPageButton_.setFocus(Qt::TabFocusReason);
}

void CNewsPopup::BringToForeground() {
    // On top of the other windows, but the keyboard stays where the user is typing.
    raise();
}

void CNewsPopup::ComputeScreenPositions() {
    const PopupPlacement place = PlacePopup(Monitors(), TrayIconPlace());
    positions_ = place.positions;
    ownerArea_ = place.ownerArea;
}

void CNewsPopup::MoveTo(QPoint where) {
    const int width = velmora::ShownWidth(where.x(), ownerArea_, inOwnPlace_);
    // Cut first when less will show, so that nothing shows beyond the edge in between.
    if (width < shownWidth_) {
        shownWidth_ = width;
        ApplyShownWidth();
    }
    move(where);
    if (width != shownWidth_) {
        shownWidth_ = width;
        ApplyShownWidth();
    }
}

void CNewsPopup::ApplyShownWidth() {
    // The cut is the window's shape on the screen only: the widgets keep
    // painting the whole skin, so what comes into sight is drawn already.
    QWindow* window = windowHandle();
    if (skinRegion_.isEmpty() || !window) return;
    window->setMask(shownWidth_ >= kPopupWidth
                        ? skinRegion_
                        : skinRegion_.intersected(QRect(0, 0, shownWidth_, height())));
}

void CNewsPopup::WatchScreens() {
    auto watch = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &CNewsPopup::OnScreensChanged);
        connect(screen, &QScreen::availableGeometryChanged, this, &CNewsPopup::OnScreensChanged);
    };
    for (QScreen* screen : QGuiApplication::screens()) watch(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        OnScreensChanged();
    });
    // Queued: the screen is still listed while it is being removed.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &CNewsPopup::OnScreensChanged,
            Qt::QueuedConnection);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &CNewsPopup::OnScreensChanged);
}

// A monitor came, went or changed: the popup goes to its place on the monitor
// that owns it now, unless the user put it elsewhere.
void CNewsPopup::OnScreensChanged() {
    if (!created_) return;
    ComputeScreenPositions();
    if (inOwnPlace_ && !slideInTimer_.isActive() && !slideOutTimer_.isActive()) {
        if (opened_)
            MoveTo({positions_.openX, positions_.openY});
        else
            MoveTo({positions_.parkedX, positions_.parkedY});
    }
    shownWidth_ = velmora::ShownWidth(x(), ownerArea_, inOwnPlace_);
    ApplyShownWidth();
    if (CardsOnScreen()) EnsureCards();
    UpdateTickerTimer();
}

void CNewsPopup::Toggle(bool byUser) {
    slideInTimer_.stop();
    slideOutTimer_.stop();
    ComputeScreenPositions();
    if (pos() == QPoint(positions_.parkedX, positions_.parkedY)) {
        if (byUser) activateWindow();
        opened_ = true;
        cardsFailed_ = false;
        autoCloseTimer_.start();
        EnsureCards();
        slideInTimer_.start();
    } else {
        inOwnPlace_ = true;
        MoveTo({positions_.openX, positions_.openY});
        slideOutTimer_.start();
    }
}

void CNewsPopup::Park() {
    opened_ = false;
    autoCloseTimer_.stop();
    slideInTimer_.stop();
    slideOutTimer_.stop();
    ComputeScreenPositions();
    inOwnPlace_ = true;
    MoveTo({positions_.parkedX, positions_.parkedY});
    StartReleaseCountdown();
}

void CNewsPopup::OnSlideIn() {
    const SlideStep step = SlideInStep(x(), positions_.openX);
    MoveTo({step.x, y()});
    if (step.done) slideInTimer_.stop();
}

void CNewsPopup::OnSlideOut() {
    const SlideStep step = SlideOutStep(x(), positions_.parkedX);
    MoveTo({step.x, y()});
    if (!step.done) return;
    slideOutTimer_.stop();
    opened_ = false;
    autoCloseTimer_.stop();
    StartReleaseCountdown();
}

void CNewsPopup::OnAutoClose() {
    if (opened_)
        Toggle();
    else
        Park();
}

void CNewsPopup::OnCommand(int id) {
    switch (id) {
        case kMyPageCommand: {
            launcher_(settings::ReadPageUrl(settings::Page::MyPage), AddressOrigin::Settings);
            break;
        }
        case kNextCommand:
            if (CanPageRight(page_, items_.size())) {
                ++page_;
                ShowPage();
            }
            break;
        case kPrevCommand:
            if (CanPageLeft(page_)) {
                --page_;
                ShowPage();
            }
            break;
        case kLogoCommand:
            Toggle(true);
            break;
        case kLeftCardCommand:
        case kRightCardCommand:
            OnCardKey(id == kLeftCardCommand ? 0 : 1);
            break;
        case kTickerCommand:
            CatchUpTicker();
            if (const CardRecord* message = ticker_.Current())
                launcher_(message->link, AddressOrigin::Feed);
            break;
        default:
            break;
    }
}

bool CNewsPopup::IsTimerActive(int id) const {
    switch (id) {
        case kSlideInTimer:
            return slideInTimer_.isActive();
        case kSlideOutTimer:
            return slideOutTimer_.isActive();
        case kTickerTimer:
            return tickerTimer_.isActive();
        case kWritePollTimer:
            return writePollTimer_.isActive();
        case kAutoCloseTimer:
            return autoCloseTimer_.isActive();
        default:
            return false;
    }
}

void CNewsPopup::ResetTicker() {
    tickerTimer_.stop();
    ticker_.Reset();
    tickerEpoch_ = clock_();
    tickerTicks_ = 0;
    UpdateTickerTimer();
}

void CNewsPopup::OnTicker() {
    // The first tick after a resume may come early to keep the beat.
    if (tickerTimer_.interval() != kTickerInterval) tickerTimer_.setInterval(kTickerInterval);
    CatchUpTicker();
}

void CNewsPopup::CatchUpTicker() {
    const std::int64_t elapsed = clock_() - tickerEpoch_;
    const std::uint64_t due =
        elapsed > 0 ? static_cast<std::uint64_t>(elapsed / kTickerInterval) : 0;
    if (due <= tickerTicks_) return;
    const bool changed = ticker_.Advance(due - tickerTicks_);
    tickerTicks_ = due;
    if (!changed) return;
    // Off-screen text is not painted; it is brought up to date when it shows.
    if (TickerOnScreen())
        ShowTickerText();
    else
        tickerTextPending_ = true;
}

void CNewsPopup::UpdateTickerTimer() {
    const bool seen = created_ && ticker_.Count() > 0 && isVisible() && TickerOnScreen();
    if (!seen) {
        tickerTimer_.stop();
        return;
    }
    if (tickerTimer_.isActive()) return;
    CatchUpTicker();
    if (tickerTextPending_) ShowTickerText();
    // The next tick falls where it would have fallen without the pause.
    const std::int64_t elapsed = std::max<std::int64_t>(0, clock_() - tickerEpoch_);
    tickerTimer_.start(kTickerInterval - static_cast<int>(elapsed % kTickerInterval));
}

void CNewsPopup::ShowTickerText() {
    tickerTextPending_ = false;
    if (tickerLabel_)
        tickerLabel_->setText(QString::fromStdString(text::Cp932ToUtf8(ticker_.ShownText())));
}

void CNewsPopup::OnCardKey(int slot) {
    const std::size_t index = page_ + static_cast<std::size_t>(slot);
    if (index < items_.size()) launcher_(items_[index].link, AddressOrigin::Feed);
}

void CNewsPopup::UpdateAccessibleCards() {
    for (int slot = 0; slot < 2; ++slot) {
        const std::size_t index = page_ + static_cast<std::size_t>(slot);
        QString name = QString::fromUtf8(kCardSlotNames[slot]) + QStringLiteral("：");
        if (index < items_.size()) {
            // Markup in a headline is shown rendered; the name reads its words.
            name += QTextDocumentFragment::fromHtml(
                        QString::fromStdString(text::Cp932ToUtf8(items_[index].headline)))
                        .toPlainText()
                        .simplified();
            cardStops_[slot].setAccessibleDescription(QString::fromUtf8(kCardDescription));
        } else {
            name += QString::fromUtf8(kNoCardName);
            cardStops_[slot].setAccessibleDescription(QString());
        }
        cardStops_[slot].setAccessibleName(name);
        cardStops_[slot].SetDisabled(index >= items_.size());
    }
}

void CNewsPopup::ShowPage() {
    if (cover_) cover_->SetCards(items_, page_);
    UpdateAccessibleCards();
    if (cards_) {
        // The cover is seen until the new page has been painted.
        cards_->Resume();
        cards_->Conceal();
        cards_->Navigate(QUrl(QStringLiteral("about:blank")));
        writePollTimer_.stop();
        writePollTimer_.start();
    }
    UpdateCover();
    const PagingButtons buttons = PagingButtonStates(page_, items_.size());
    prevButton_.SetDisabled(buttons.prevDisabled);
    nextButton_.SetDisabled(buttons.nextDisabled);
}

void CNewsPopup::OnWritePoll() {
    if (!cards_) {
        writePollTimer_.stop();
        return;
    }
    if (cards_->ReadyState() == 3) return;
    writePollTimer_.stop();
    if (WritePage())
        SchedulePause();  // again when it has painted
    else
        writePollTimer_.start();
}

bool CNewsPopup::WritePage() {
    if (!cards_) return false;
    const std::string page = ComposePage(templates_, items_, page_, NewPageNonce());
    if (!cards_->WritePage(QByteArray(page.data(), static_cast<qsizetype>(page.size()))))
        return false;
    writtenItems_ = items_;
    writtenPage_ = page_;
    return true;
}

void CNewsPopup::EnsureCards() {
    releaseTimer_.stop();
    pauseTimer_.stop();
    if (cards_) cards_->Resume();
    if (cards_ || !created_ || cardsFailed_) return;
    cards_ = new CardArea(this, kCardsVisibleRect, [this](const QUrl& url) {
        launcher_(text::Utf8ToCp932(url.toString(QUrl::FullyEncoded).toStdString()),
                  AddressOrigin::Feed);
    });
    connect(cards_, &CardArea::PageLoaded, this, &CNewsPopup::OnCardsPainted);
    connect(cards_, &CardArea::Picture, this, &CNewsPopup::OnCardPicture);
    connect(cards_, &CardArea::Ended, this, [this] { ReleaseCards(); });
    if (!cards_->Start()) {
        cardsFailed_ = true;
        ReleaseCards();
        return;
    }
    ShowPage();
}

void CNewsPopup::ReleaseCards() {
    writePollTimer_.stop();
    pauseTimer_.stop();
    releaseAfterPicture_ = false;
    if (!cards_) return;
    cards_->Retire();
    cards_ = nullptr;
    UpdateCover();
}

void CNewsPopup::PrepareOpen() {
    EnsureCards();
    if (!opened_) StartReleaseCountdown();
}

bool CNewsPopup::CardsLive() const {
    return cards_ && cards_->Revealed();
}

void CNewsPopup::UpdateCover() {
    if (cover_) cover_->setVisible(!CardsLive());
}

void CNewsPopup::OnCardsPainted(bool ok) {
    if (!ok || !cards_) return;
    cards_->Reveal();
    UpdateCover();
    emit CardsWritten();
    SchedulePause();
}

void CNewsPopup::SchedulePause() {
    if (cards_ && !cards_->Paused() && !CardsOnScreen()) pauseTimer_.start();
}

void CNewsPopup::PauseOrSnapshot() {
    if (!cards_ || CardsOnScreen() || writePollTimer_.isActive()) return;
    // A picture of the cards first, for when they are shown after the release.
    if (cards_->Revealed() && !cover_->ShowsPicture()) {
        cards_->RequestSnapshot();
        return;
    }
    cards_->Pause();
}

void CNewsPopup::ReleaseAfterSnapshot() {
    if (!cards_ || !cards_->Revealed() || cover_->ShowsPicture()) {
        ReleaseCards();
        return;
    }
    releaseAfterPicture_ = true;
    cards_->Resume();
    cards_->RequestSnapshot();
    QTimer::singleShot(kPictureWaitMs, cards_, [this] {
        if (releaseAfterPicture_) ReleaseCards();
    });
}

void CNewsPopup::OnCardPicture(const QImage& picture) {
    if (cover_ && writtenItems_ == items_ && writtenPage_ == page_)
        cover_->SetPicture(picture, writtenItems_, writtenPage_);
    if (releaseAfterPicture_) {
        ReleaseCards();
        return;
    }
    if (cards_ && !CardsOnScreen() && !writePollTimer_.isActive()) cards_->Pause();
}

void CNewsPopup::StartReleaseCountdown() {
    if (!cards_) return;
    releaseTimer_.start();
    SchedulePause();
}

bool CNewsPopup::CardsOnScreen() const {
    return CanBeSeen(kBrowserRect, {x(), y()}, shownWidth_, Monitors());
}

bool CNewsPopup::TickerOnScreen() const {
    return CanBeSeen(kTickerTextRect, {x(), y()}, shownWidth_, Monitors());
}

bool CNewsPopup::event(QEvent* e) {
    if (e->type() == UM_POPUP_OPEN) {
        const auto* open = dynamic_cast<const PopupOpenEvent*>(e);
        OpenFromTool(open && open->ByUser());
        return true;
    }
    if (e->type() == UM_POPUP_SHOWTAB) {
        ShowTab();
        return true;
    }
    return CSkinWnd::event(e);
}

void CNewsPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, skin_);
}

void CNewsPopup::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;  // right clicks are swallowed
    if (opened_) autoCloseTimer_.start();
    slideInTimer_.stop();
    slideOutTimer_.stop();
    dragX_ = event->position().toPoint().x();
    dragY_ = event->position().toPoint().y();
}

void CNewsPopup::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (dragX_ < 0) return;
    const QPoint where = event->globalPosition().toPoint() - QPoint(dragX_, dragY_);
    if (where == pos()) return;
    // Put elsewhere by the user, the window is shown whole.
    inOwnPlace_ = false;
    MoveTo(where);
}

void CNewsPopup::keyPressEvent(QKeyEvent* event) {
    // Esc slides the open popup out, as a second click on the tab would.
    const bool parked = pos() == QPoint(positions_.parkedX, positions_.parkedY);
    if (event->key() == Qt::Key_Escape && !slideOutTimer_.isActive() && (opened_ || !parked)) {
        Toggle();
        return;
    }
    CSkinWnd::keyPressEvent(event);
}

void CNewsPopup::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    dragX_ = dragY_ = -1;
}

void CNewsPopup::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CNewsPopup::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

void CNewsPopup::moveEvent(QMoveEvent* event) {
    CSkinWnd::moveEvent(event);
    if (!created_) return;
    // However it was moved, the cut follows.
    if (const int width = velmora::ShownWidth(x(), ownerArea_, inOwnPlace_); width != shownWidth_) {
        shownWidth_ = width;
        ApplyShownWidth();
    }
    if (CardsOnScreen())
        EnsureCards();
    else
        SchedulePause();
    UpdateTickerTimer();
    if (tickerTextPending_ && TickerOnScreen()) ShowTickerText();
}

void CNewsPopup::showEvent(QShowEvent* event) {
    CSkinWnd::showEvent(event);
    // Shown again, the window took the whole skin's shape.
    ApplyShownWidth();
    UpdateTickerTimer();
}

void CNewsPopup::hideEvent(QHideEvent* event) {
    CSkinWnd::hideEvent(event);
    UpdateTickerTimer();
}

}  // namespace velmora
