#include "win32/browser_launcher.h"

#include <shellapi.h>

#include <cstdio>

#include "core/text/cp932.h"
#include "core/text/wide_text.h"

namespace velmora::win32 {

bool OpenInBrowser(HWND owner, const std::string& address, AddressOrigin origin) {
    if (address.empty()) return false;
    const std::string utf8 = text::Cp932ToUtf8(address);
    if (!IsOpenableAddress(utf8, origin)) {
        std::fprintf(stderr, "velmora: not opening %s: not a %s address\n", utf8.c_str(),
                     origin == AddressOrigin::Feed ? "web page" : "web page or file");
        return false;
    }
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        owner, L"open", text::Utf8ToWide(utf8).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        std::fprintf(stderr, "velmora: cannot open %s (error %lld)\n", utf8.c_str(),
                     static_cast<long long>(result));
        return false;
    }
    return true;
}

}  // namespace velmora::win32
