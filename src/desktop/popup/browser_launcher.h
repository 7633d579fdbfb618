#pragma once
// Opens a web page (or, from the settings, a local file) in the desktop's
// browser. The one way the program shows a page outside its own windows.

#include <string>

#include "core/popup/openable_address.h"

namespace velmora {

// `cp932Address` is converted to Unicode for the desktop without touching the
// process's locale. False, and nothing opened, for an empty address or one
// that IsOpenableAddress refuses for its origin; otherwise the desktop's
// answer to the request.
bool OpenInBrowser(const std::string& cp932Address, AddressOrigin origin);

}  // namespace velmora
