#include <windows.h>

#include <winhttp.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "core/delivery/proxy_rules.h"
#include "core/platform/system_proxy.h"
#include "core/text/wide_text.h"

namespace velmora::platform {
namespace {

using text::Utf8ToWide;
using text::WideToUtf8;

// The strings of the settings are the caller's to free with GlobalFree.
struct GlobalText {
    LPWSTR text = nullptr;
    GlobalText() = default;
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    ~GlobalText() {
        if (text) GlobalFree(text);
    }
    std::string Utf8() const { return text ? WideToUtf8(text) : std::string(); }
};

// A proxy named in the environment wins, as it does on Linux: libcurl
// applies it by itself.
bool EnvironmentNamesAProxy() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The proxy a configuration script chooses for an address. Only a script
// the user named is asked: discovering one on the network (WPAD) may wait
// on name lookups that a quit cannot cut short.
bool AskScript(const std::wstring& script, const std::string& address, std::string& list,
               std::string& bypass) {
    static HINTERNET session = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        session = WinHttpOpen(L"Velmora", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
        // The script's download must not hold a transfer for long.
        if (session) WinHttpSetTimeouts(session, 5000, 5000, 5000, 5000);
    });
    if (!session) return false;
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = script.c_str();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    const std::wstring url = Utf8ToWide(address);
    if (!WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) {
        std::fprintf(stderr,
                     "velmora: the proxy configuration script %s gave no answer (error %lu)\n",
                     WideToUtf8(script).c_str(), GetLastError());
        return false;
    }
    GlobalText proxy, proxyBypass;
    proxy.text = info.lpszProxy;
    proxyBypass.text = info.lpszProxyBypass;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        list = proxy.Utf8();
        bypass = proxyBypass.Utf8();
    }
    return true;
}

}  // namespace

std::optional<std::string> SystemProxyFor(const std::string& address) {
    if (EnvironmentNamesAProxy()) return std::nullopt;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return std::nullopt;
    GlobalText script, proxy, bypass;
    script.text = config.lpszAutoConfigUrl;
    proxy.text = config.lpszProxy;
    bypass.text = config.lpszProxyBypass;

    std::string list, bypassList;
    if (script.text && *script.text && AskScript(script.text, address, list, bypassList)) {
        return ProxyForAddress(address, list, bypassList);
    }
    if (!proxy.text || !*proxy.text) return std::string();
    return ProxyForAddress(address, proxy.Utf8(), bypass.Utf8());
}

}  // namespace velmora::platform
