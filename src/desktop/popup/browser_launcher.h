#pragma once
// Opens a web page (or, from the settings, a local file) in the desktop's
// browser. The one way the program shows a page outside its own windows.

#include <functional>
#include <string>

#include "core/popup/openable_address.h"

namespace velmora {

// `cp932Address` is converted to Unicode for the desktop without touching the
// process's locale. False, and nothing opened, for an empty address or one
// that IsOpenableAddress refuses for its origin. Otherwise the page goes to
// xdg-open (or, without it, to the toolkit's own way of opening pages); false
// when that cannot even start. A failure to open an allowed address, at once
// or when xdg-open gives up, is told on stderr and to the failure report.
bool OpenInBrowser(const std::string& cp932Address, AddressOrigin origin);

// Where the user hears of a page that could not be opened (the tool sheet
// makes it the standing error). None: stderr only.
using BrowserFailureReport = std::function<void()>;
void SetBrowserFailureReport(BrowserFailureReport report);

}  // namespace velmora
