#include "win32/news_popup.h"

#include <windowsx.h>

#include <cstdio>

#include "core/feed/feed_channel.h"
#include "core/popup/card_paging.h"
#include "core/settings/typed_settings.h"
#include "core/shell/sheet_messages.h"
#include "core/text/wide_text.h"
#include "win32/res/resource_ids.h"

namespace velmora::win32 {
namespace {

constexpr wchar_t kFrameClass[] = L"Velmora Frame";
constexpr wchar_t kTemplateTooLarge[] = L"テンプレートのバッファが足りません";
constexpr std::size_t kPageTemplateSize = 10240;
constexpr std::size_t kCardTemplateSize = 1024;
constexpr int kPageTemplate = 168;
constexpr int kCardTemplate = 172;
constexpr int kEmptyCardTemplate = 175;

std::int64_t NowMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

RegionRect ToRegionRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// Per-monitor DPI is there from Windows 8.1 on; older systems say 96.
unsigned MonitorDpi(HMONITOR monitor) {
    static const GetDpiForMonitorFn get = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    UINT x = 96, y = 96;
    if (!get || FAILED(get(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y))) return 96;
    return x;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        reinterpret_cast<std::vector<Monitor>*>(data)->push_back(
            {ToRegionRect(info.rcMonitor), ToRegionRect(info.rcWork),
             (info.dwFlags & MONITORINFOF_PRIMARY) != 0, ScaleForDpi(MonitorDpi(monitor))});
    }
    return TRUE;
}

// The middle of the taskbar, which tells the popup's monitor.
std::optional<ScreenPoint> TaskbarPoint() {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT r{};
    if (!taskbar || !IsWindowVisible(taskbar) || !GetWindowRect(taskbar, &r) || IsRectEmpty(&r))
        return std::nullopt;
    return ScreenPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

std::vector<Monitor> DesktopMonitors() {
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

CNewsPopup::CNewsPopup(Launcher launcher)
    : launcher_(std::move(launcher)), monitors_(DesktopMonitors), taskbar_(TaskbarPoint()) {}

CNewsPopup::~CNewsPopup() {
    Destroy();
}

bool CNewsPopup::CreatePopup() {
    if (GetHwnd()) return false;
    opened_ = false;
    items_.clear();
    ticker_.SetMessages({});
    page_ = 0;
    skinArt_ = LoadArt(kSkinBitmap);
    if (skinArt_.pixels.empty()) {
        std::fprintf(stderr, "velmora: the popup's skin bitmap %d is missing\n", kSkinBitmap);
        return false;
    }
    ComputeScreenPositions();

    RegisterWindowClass(kFrameClass,
                        LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_NORMAL)),
                        LoadCursorW(nullptr, IDC_ARROW));
    // Not in the taskbar; shown, but where only the tab can be seen.
    if (!Create(kFrameClass, L"Velmora", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                WS_EX_TOOLWINDOW, positions_.parkedX, positions_.parkedY, 0, 0, nullptr, 0)) {
        std::fprintf(stderr, "velmora: cannot create the news popup window (error %lu)\n",
                     GetLastError());
        return false;
    }
    const int s = scale_;
    logoButton_.CreateImageButton(GetHwnd(), kLogoCommand,
                                  {kLogoBitmap, kLogoPressedBitmap, kLogoHoverBitmap, 0}, kLogoX,
                                  kLogoY, false, s);
    myPageButton_.CreateImageButton(
        GetHwnd(), kMyPageCommand,
        {kMyPageNormalBitmap, kMyPagePressedBitmap, kMyPageHoverBitmap, 0}, kMyPageX, kMyPageY,
        false, s);
    prevButton_.CreateImageButton(GetHwnd(), kPrevCommand,
                                  {kPrevBitmap, kPrevBitmap, kPrevBitmap, kPrevDisabledBitmap},
                                  kPrevX, kPrevY, true, s);
    nextButton_.CreateImageButton(GetHwnd(), kNextCommand,
                                  {kNextBitmap, kNextBitmap, kNextBitmap, kNextDisabledBitmap},
                                  kNextX, kNextY, true, s);
    tickerArea_.CreateHotArea(GetHwnd(), kTickerCommand, kTickerBarInclusive, s);
    cards_.CreateArea(GetHwnd(), s, launcher_, true);
    scale_ = 0;  // everything sized once more, with the window's shape
    ApplyScale(s);

    dragX_ = dragY_ = -1;
    SetWindowPos(GetHwnd(), HWND_TOP, positions_.parkedX, positions_.parkedY, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
    MoveTo(positions_.parkedX, positions_.parkedY);
    LoadTemplates();
    ResetTicker();
    ShowPage();
    return true;
}

void CNewsPopup::LoadTemplates() {
    const bool ok[] = {LoadTemplate(kPageTemplate, templates_.page, kPageTemplateSize),
                       LoadTemplate(kCardTemplate, templates_.card, kCardTemplateSize),
                       LoadTemplate(kEmptyCardTemplate, templates_.emptyCard, kCardTemplateSize)};
    for (const bool loaded : ok)
        if (!loaded) MessageBoxW(GetHwnd(), kTemplateTooLarge, nullptr, MB_OK);
}

void CNewsPopup::ApplyScale(int scalePercent) {
    if (scalePercent == scale_ || !GetHwnd()) {
        scale_ = scalePercent;
        return;
    }
    scale_ = scalePercent;
    const PixelImage skin = ScaleNearest(skinArt_.View(), scale_);
    skin_.Reset(MakeBitmap(skin));
    skinRects_ = CreateBitmapRegion(skin.View());
    tickerFont_.Reset(CreateFontW(Scaled(10, scale_), 0, 0, 0, 500, FALSE, FALSE, FALSE,
                                  SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  PROOF_QUALITY, 0x31, L"ＭＳ Ｐゴシック"));
    SetWindowPos(GetHwnd(), nullptr, 0, 0, skin.width, skin.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (CBmpButton* b : {&logoButton_, &myPageButton_, &prevButton_, &nextButton_, &tickerArea_})
        b->Rescale(scale_);
    cards_.Rescale(scale_);
    shownWidth_ = -1;  // the shape is made anew
    ApplyShownWidth();
    InvalidateRect(GetHwnd(), nullptr, FALSE);
}

void CNewsPopup::ComputeScreenPositions() {
    const PopupPlacement place = PlacePopup(monitors_(), taskbar_);
    positions_ = place.positions;
    ownerArea_ = place.ownerArea;
    ApplyScale(place.scalePercent);
}

POINT CNewsPopup::Position() const {
    RECT r{};
    GetWindowRect(GetHwnd(), &r);
    return POINT{r.left, r.top};
}

void CNewsPopup::MoveTo(int x, int y) {
    const int width = velmora::ShownWidth(x, ownerArea_, inOwnPlace_, Scaled(kPopupWidth, scale_));
    // Cut first when less will show, so that nothing shows beyond the edge in between.
    if (width < shownWidth_) {
        shownWidth_ = width;
        ApplyShownWidth();
    }
    SetWindowPos(GetHwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (width != shownWidth_) {
        shownWidth_ = width;
        ApplyShownWidth();
    }
    UpdateTickerTimer();
}

void CNewsPopup::ApplyShownWidth() {
    if (skinRects_.empty()) return;
    if (shownWidth_ < 0)
        shownWidth_ =
            velmora::ShownWidth(Position().x, ownerArea_, inOwnPlace_, Scaled(kPopupWidth, scale_));
    HRGN region = MakeRegion(skinRects_);
    if (!region) return;
    if (shownWidth_ < Scaled(kPopupWidth, scale_)) {
        HRGN cut = CreateRectRgn(0, 0, shownWidth_, Scaled(kPopupHeight, scale_));
        CombineRgn(region, region, cut, RGN_AND);
        DeleteObject(cut);
    }
    // The window owns the region from here on.
    SetWindowRgn(GetHwnd(), region, TRUE);
}

void CNewsPopup::OnScreensChanged() {
    if (!GetHwnd()) return;
    taskbar_ = TaskbarPoint();
    ComputeScreenPositions();
    if (inOwnPlace_ && !IsTimerActive(kSlideInTimer) && !IsTimerActive(kSlideOutTimer)) {
        if (opened_)
            MoveTo(positions_.openX, positions_.openY);
        else
            MoveTo(positions_.parkedX, positions_.parkedY);
    }
    shownWidth_ = -1;
    ApplyShownWidth();
    UpdateTickerTimer();
}

void CNewsPopup::SetChannel(const FeedChannel& channel) {
    if (!items_.empty() && opened_) return;
    StopTimer(kTickerTimer);
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
    ShowWindow(GetHwnd(), SW_SHOWNOACTIVATE);
    UpdateTickerTimer();
}

void CNewsPopup::PostOpen() {
    PostMessageW(GetHwnd(), message::UM_POPUP_OPEN, 0, 0);
}

void CNewsPopup::BringToForeground() {
    // In front of the other windows; the keyboard stays where the user types.
    SetWindowPos(GetHwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CNewsPopup::Toggle() {
    StopTimer(kSlideInTimer);
    StopTimer(kSlideOutTimer);
    ComputeScreenPositions();
    const POINT at = Position();
    if (at.x == positions_.parkedX && at.y == positions_.parkedY) {
        opened_ = true;
        StartTimer(kAutoCloseTimer, kAutoCloseInterval);
        StartTimer(kSlideInTimer, kSlideInterval);
    } else {
        inOwnPlace_ = true;
        MoveTo(positions_.openX, positions_.openY);
        StartTimer(kSlideOutTimer, kSlideInterval);
    }
}

void CNewsPopup::Park() {
    opened_ = false;
    StopTimer(kAutoCloseTimer);
    StopTimer(kSlideInTimer);
    StopTimer(kSlideOutTimer);
    ComputeScreenPositions();
    inOwnPlace_ = true;
    MoveTo(positions_.parkedX, positions_.parkedY);
}

void CNewsPopup::OnSlideIn() {
    const POINT at = Position();
    const SlideStep step = SlideInStep(at.x, positions_.openX, scale_);
    MoveTo(step.x, at.y);
    if (step.done) StopTimer(kSlideInTimer);
}

void CNewsPopup::OnSlideOut() {
    const POINT at = Position();
    const SlideStep step = SlideOutStep(at.x, positions_.parkedX, scale_);
    MoveTo(step.x, at.y);
    if (!step.done) return;
    StopTimer(kSlideOutTimer);
    opened_ = false;
    StopTimer(kAutoCloseTimer);
}

void CNewsPopup::OnCommand(int id) {
    switch (id) {
        case kMyPageCommand:
            launcher_(settings::ReadPageUrl(settings::Page::MyPage), AddressOrigin::Settings);
            break;
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
            Toggle();
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

void CNewsPopup::ShowPage() {
    StopTimer(kWritePollTimer);
    if (cards_.ShowCards(items_, page_)) StartTimer(kWritePollTimer, kWritePollInterval);
    const PagingButtons buttons = PagingButtonStates(page_, items_.size());
    prevButton_.SetDisabled(buttons.prevDisabled);
    nextButton_.SetDisabled(buttons.nextDisabled);
}

void CNewsPopup::OnWritePoll() {
    switch (cards_.WritePage(templates_)) {
        case CardArea::Poll::Wait:
            break;
        case CardArea::Poll::Written:
            StopTimer(kWritePollTimer);
            break;
        case CardArea::Poll::Failed:
            StopTimer(kWritePollTimer);
            break;
    }
}

void CNewsPopup::StartTimer(int id, UINT intervalMs) {
    SetTimer(GetHwnd(), static_cast<UINT_PTR>(id), intervalMs, nullptr);
    activeTimers_ |= 1u << id;
}

void CNewsPopup::StopTimer(int id) {
    if (GetHwnd()) KillTimer(GetHwnd(), static_cast<UINT_PTR>(id));
    activeTimers_ &= ~(1u << id);
}

bool CNewsPopup::IsTimerActive(int id) const {
    return id >= 0 && id < 32 && (activeTimers_ & (1u << id)) != 0;
}

void CNewsPopup::OnTimer(UINT_PTR id) {
    switch (id) {
        case kSlideInTimer:
            OnSlideIn();
            break;
        case kSlideOutTimer:
            OnSlideOut();
            break;
        case kTickerTimer:
            // The first tick after a pause comes early to keep the beat.
            if (tickerOffBeat_) {
                tickerOffBeat_ = false;
                StartTimer(kTickerTimer, TickerPace::kInterval);
            }
            CatchUpTicker();
            break;
        case kWritePollTimer:
            OnWritePoll();
            break;
        case kAutoCloseTimer:
            if (opened_)
                Toggle();
            else
                Park();
            break;
        default:
            break;
    }
}

void CNewsPopup::ResetTicker() {
    StopTimer(kTickerTimer);
    ticker_.Reset();
    pace_.Start(NowMs());
    UpdateTickerTimer();
}

void CNewsPopup::CatchUpTicker() {
    const std::uint64_t ticks = pace_.TakeDue(NowMs());
    if (ticks == 0 || !ticker_.Advance(ticks)) return;
    // Text off the screen is not drawn; it is brought up to date when it shows.
    if (TickerOnScreen())
        RedrawTicker();
    else
        tickerTextPending_ = true;
}

bool CNewsPopup::TickerOnScreen() const {
    const POINT at = Position();
    return CanBeSeen(Scaled(kTickerTextRect, scale_), ScreenPoint{at.x, at.y}, shownWidth_,
                     monitors_());
}

void CNewsPopup::UpdateTickerTimer() {
    if (!GetHwnd()) return;
    // While the text cannot be seen nothing wakes the program up.
    const bool seen = ticker_.Count() > 0 && IsWindowVisible(GetHwnd()) && TickerOnScreen();
    if (!seen) {
        StopTimer(kTickerTimer);
        return;
    }
    if (tickerTextPending_) RedrawTicker();
    if (IsTimerActive(kTickerTimer)) return;
    CatchUpTicker();
    tickerOffBeat_ = true;
    StartTimer(kTickerTimer, static_cast<UINT>(pace_.UntilNextTick(NowMs())));
}

void CNewsPopup::RedrawTicker() {
    tickerTextPending_ = false;
    const RegionRect r = Scaled(kTickerTextRect, scale_);
    const RECT rect{r.left, r.top, r.right, r.bottom};
    RedrawWindow(GetHwnd(), &rect, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CNewsPopup::PaintSkin(HDC dc) {
    DrawBitmap(dc, skin_.Get(), 0, 0);
    const std::wstring line = text::Cp932ToWide(ticker_.ShownText());
    if (line.empty()) return;
    const RegionRect r = Scaled(kTickerTextRect, scale_);
    RECT rect{r.left, r.top, r.right, r.bottom};
    HGDIOBJ old = SelectObject(dc, tickerFont_.Get());
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &rect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

LRESULT CNewsPopup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(GetHwnd(), &ps);
            PaintSkin(dc);
            EndPaint(GetHwnd(), &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintSkin(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_LBUTTONDOWN:
            if (opened_) StartTimer(kAutoCloseTimer, kAutoCloseInterval);
            StopTimer(kSlideInTimer);
            StopTimer(kSlideOutTimer);
            dragX_ = GET_X_LPARAM(lParam);
            dragY_ = GET_Y_LPARAM(lParam);
            SetCapture(GetHwnd());
            return 0;
        case WM_MOUSEMOVE: {
            if (dragX_ < 0) return 0;
            POINT p{};
            GetCursorPos(&p);
            const POINT at = Position();
            if (p.x - dragX_ == at.x && p.y - dragY_ == at.y) return 0;
            // Put elsewhere by the user, the window is shown whole.
            inOwnPlace_ = false;
            MoveTo(p.x - dragX_, p.y - dragY_);
            return 0;
        }
        case WM_LBUTTONUP:
            dragX_ = dragY_ = -1;
            ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            dragX_ = dragY_ = -1;
            return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            return 0;
        case WM_CLOSE:
            // Only the tool sheet ends the popup.
            return 0;
        case WM_DPICHANGED: {
            if (inOwnPlace_) {
                OnScreensChanged();
            } else {
                const auto* suggested = reinterpret_cast<const RECT*>(lParam);
                ApplyScale(ScaleForDpi(LOWORD(wParam)));
                MoveTo(suggested->left, suggested->top);
            }
            return 0;
        }
        case WM_DISPLAYCHANGE:
            OnScreensChanged();
            return 0;
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETWORKAREA) OnScreensChanged();
            break;
        case message::UM_POPUP_SETCHANNEL:
            if (wParam) SetChannel(*reinterpret_cast<const FeedChannel*>(wParam));
            return 0;
        case message::UM_POPUP_OPEN:
            Park();
            BringToForeground();
            ShowWindow(GetHwnd(), SW_SHOWNOACTIVATE);
            Toggle();
            return 0;
        case message::UM_POPUP_SHOWTAB:
            ShowTab();
            return 0;
        default:
            break;
    }
    return CallPrevProc(message, wParam, lParam);
}

}  // namespace velmora::win32
