#include "win32/card_area.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdio>

#include "core/popup/popup_geometry.h"
#include "win32/card_browser.h"
#include "win32/card_painter.h"

namespace velmora::win32 {
namespace {

constexpr wchar_t kCardClass[] = L"VelmoraCards";
// The part of the browser rectangle the page shows (the rest is edge).
constexpr RegionRect kCardsVisibleRect{250, 80, 542, 238};
constexpr int kCardLefts[2] = {2, 147};
constexpr int kCardWidth = 136;
// Write polls of 20 ms, ten seconds' worth.
constexpr int kPollsBeforeGivingUp = 500;

}  // namespace

CardArea::CardArea() = default;
CardArea::~CardArea() = default;

RECT CardArea::Bounds() const {
    const RegionRect r = Scaled(kCardsVisibleRect, scale_);
    return RECT{r.left, r.top, r.right, r.bottom};
}

bool CardArea::CreateArea(HWND popup, int scalePercent, Launcher launcher, bool withBrowser) {
    launcher_ = std::move(launcher);
    scale_ = scalePercent;
    placeholder_.Reset(MakeBitmap(LoadArt(kPlaceholderBitmap)));
    RegisterWindowClass(kCardClass, nullptr, LoadCursorW(nullptr, IDC_ARROW));
    const RECT b = Bounds();
    if (!Create(kCardClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, b.left, b.top,
                b.right - b.left, b.bottom - b.top, popup, kBrowserControlId))
        return false;
    if (withBrowser) {
        std::string why;
        browser_ = CardBrowser::Create(GetHwnd(), RECT{0, 0, b.right - b.left, b.bottom - b.top},
                                       launcher_, &why);
        if (!browser_) GiveUpBrowser(why.c_str());
    }
    return true;
}

void CardArea::GiveUpBrowser(const char* why) {
    browser_.reset();
    std::fprintf(stderr, "velmora: the news cards are drawn without the WebBrowser control: %s\n",
                 why);
    InvalidateRect(GetHwnd(), nullptr, FALSE);
}

void CardArea::Rescale(int scalePercent) {
    scale_ = scalePercent;
    const RECT b = Bounds();
    MoveWindow(GetHwnd(), b.left, b.top, b.right - b.left, b.bottom - b.top, TRUE);
    if (browser_) browser_->Move(RECT{0, 0, b.right - b.left, b.bottom - b.top});
}

bool CardArea::ShowCards(const std::vector<CardRecord>& items, std::size_t page) {
    items_ = items;
    page_ = page;
    shown_.assign(items_.begin() + static_cast<std::ptrdiff_t>(std::min(page, items_.size())),
                  items_.begin() + static_cast<std::ptrdiff_t>(std::min(page + 2, items_.size())));
    if (browser_ && !browser_->Navigate(L"about:blank")) GiveUpBrowser("about:blank failed");
    if (!browser_) {
        InvalidateRect(GetHwnd(), nullptr, FALSE);
        return false;
    }
    return true;
}

CardArea::Poll CardArea::WritePage(const CardTemplates& templates) {
    if (!browser_) return Poll::Failed;
    if (browser_->ReadyState() != 3 &&
        browser_->Write(ComposeTextOnlyPage(templates, items_, page_))) {
        failedPolls_ = 0;
        return Poll::Written;
    }
    // A control that never takes a page would leave the cards blank.
    if (++failedPolls_ >= kPollsBeforeGivingUp) {
        failedPolls_ = 0;
        GiveUpBrowser("no page could be written for 10 seconds");
        return Poll::Failed;
    }
    return Poll::Wait;
}

int CardArea::CardAt(int x, int y) const {
    (void)y;
    for (int slot = 0; slot < 2; ++slot) {
        const int left = Scaled(kCardLefts[slot], scale_);
        if (x >= left && x < left + Scaled(kCardWidth, scale_) &&
            page_ + static_cast<std::size_t>(slot) < items_.size())
            return slot;
    }
    return -1;
}

LRESULT CardArea::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(GetHwnd(), &ps);
            if (!browser_) {
                RECT client{};
                GetClientRect(GetHwnd(), &client);
                // Drawn off screen first, so the cards do not flicker.
                HDC memory = CreateCompatibleDC(dc);
                HBITMAP canvas = CreateCompatibleBitmap(dc, client.right, client.bottom);
                HGDIOBJ old = SelectObject(memory, canvas);
                PaintCards(memory, client, items_, page_, placeholder_.Get(), scale_);
                BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
                SelectObject(memory, old);
                DeleteObject(canvas);
                DeleteDC(memory);
            }
            EndPaint(GetHwnd(), &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETCURSOR:
            if (!browser_) {
                POINT p{};
                GetCursorPos(&p);
                ScreenToClient(GetHwnd(), &p);
                SetCursor(LoadCursorW(nullptr, CardAt(p.x, p.y) >= 0 ? IDC_HAND : IDC_ARROW));
                return TRUE;
            }
            break;
        case WM_LBUTTONUP: {
            const int slot = CardAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            if (slot >= 0 && launcher_)
                launcher_(items_[page_ + static_cast<std::size_t>(slot)].link, AddressOrigin::Feed);
            return 0;
        }
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return 0;
        default:
            break;
    }
    return CallPrevProc(message, wParam, lParam);
}

}  // namespace velmora::win32
