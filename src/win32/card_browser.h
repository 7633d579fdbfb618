#pragma once
// The WebBrowser control hosted in the card area: a minimal in-place site,
// the page written through IHTMLDocument2, links handed to the launcher
// instead of new browser windows, no context menu, no ActiveX, no Java.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "core/popup/openable_address.h"

namespace velmora::win32 {

class CardBrowser {
  public:
    using Launcher = std::function<void(const std::string& cp932Address, AddressOrigin origin)>;

    // The control in `rect` of `parent`; nothing, with the reason in `why`,
    // when it cannot be created or embedded.
    static std::unique_ptr<CardBrowser> Create(HWND parent, RECT rect, Launcher launcher,
                                               std::string* why);
    ~CardBrowser();
    CardBrowser(const CardBrowser&) = delete;
    CardBrowser& operator=(const CardBrowser&) = delete;

    bool Navigate(const wchar_t* address);
    // 0 uninitialised .. 4 complete; 0 when it cannot be read.
    int ReadyState() const;
    // Writes the CP932 page into the current document and closes it.
    bool Write(const std::string& cp932Page);
    void Move(RECT rect);

    struct Host;

  private:
    CardBrowser() = default;
    Host* host_ = nullptr;
};

}  // namespace velmora::win32
