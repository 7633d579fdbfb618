#pragma once
// The card area of the popup: the cards in the WebBrowser control when it
// can be had, otherwise drawn natively from the same records. A click on a
// natively drawn card opens its item.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/popup/card_page.h"
#include "core/popup/card_record.h"
#include "core/popup/openable_address.h"
#include "win32/popup_art.h"
#include "win32/skin_window.h"

namespace velmora::win32 {

class CardBrowser;

class CardArea : public CSkinWnd {
  public:
    using Launcher = std::function<void(const std::string& cp932Address, AddressOrigin origin)>;
    enum class Poll { Wait, Written, Failed };

    CardArea();
    ~CardArea() override;

    // A child of `popup` over the visible part of the card rectangle; tries
    // the WebBrowser control unless `withBrowser` is false.
    bool CreateArea(HWND popup, int scalePercent, Launcher launcher, bool withBrowser);
    void Rescale(int scalePercent);
    // Items `page` and `page` + 1 are to be shown. True when a page is then to
    // be written into the browser (WritePage, polled).
    bool ShowCards(const std::vector<CardRecord>& items, std::size_t page);
    // One write poll: Wait while the blank page is still loading or a write
    // failed (tried again); Failed once the control is given up.
    Poll WritePage(const CardTemplates& templates);

    bool InBrowser() const { return browser_ != nullptr; }
    // What the native drawing shows.
    const std::vector<CardRecord>& Shown() const { return shown_; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    RECT Bounds() const;
    int CardAt(int x, int y) const;
    void GiveUpBrowser(const char* why);

    Launcher launcher_;
    std::unique_ptr<CardBrowser> browser_;
    GdiObject<HBITMAP> placeholder_;
    std::vector<CardRecord> items_;
    std::size_t page_ = 0;
    std::vector<CardRecord> shown_;
    int scale_ = 100;
    int failedPolls_ = 0;
};

}  // namespace velmora::win32
