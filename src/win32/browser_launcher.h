#pragma once
// Opens a page in the user's default browser (ShellExecuteW "open").

#include <windows.h>

#include <string>

#include "core/popup/openable_address.h"

namespace velmora::win32 {

// Opens the CP932 `address` when it is openable for its origin; an empty
// address does nothing. False, with a line on stderr, when it is refused or
// cannot be opened.
bool OpenInBrowser(HWND owner, const std::string& address, AddressOrigin origin);

}  // namespace velmora::win32
