#include "core/delivery/proxy_rules.h"

#include <cctype>
#include <vector>

namespace velmora {
namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// Entries are separated by ';', ',' or blanks, as the settings dialog of
// Windows accepts them.
std::vector<std::string_view> Entries(std::string_view list) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && (list[i] == ';' || list[i] == ',' ||
                                   std::isspace(static_cast<unsigned char>(list[i])))) {
            ++i;
        }
        std::size_t end = i;
        while (end < list.size() && list[end] != ';' && list[end] != ',' &&
               !std::isspace(static_cast<unsigned char>(list[end]))) {
            ++end;
        }
        if (end > i) out.push_back(list.substr(i, end - i));
        i = end;
    }
    return out;
}

// "*" stands for any run of characters; everything else compares without case.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string_view WithoutScheme(std::string_view s) {
    const std::size_t at = s.find("://");
    return at == std::string_view::npos ? s : s.substr(at + 3);
}

bool IsLoopback(std::string_view host) {
    return SameText(host, "localhost") || host == "::1" || host == "[::1]" ||
           host.substr(0, 4) == "127.";
}

}  // namespace

std::string ProxyFromList(std::string_view list, std::string_view scheme) {
    std::string_view own, any, socks;
    for (std::string_view entry : Entries(list)) {
        const std::size_t eq = entry.find('=');
        if (eq == std::string_view::npos) {
            if (any.empty()) any = entry;
            continue;
        }
        const std::string_view key = entry.substr(0, eq);
        const std::string_view value = entry.substr(eq + 1);
        if (value.empty()) continue;
        if (own.empty() && SameText(key, scheme)) own = value;
        if (socks.empty() && SameText(key, "socks")) socks = value;
    }
    if (!own.empty()) return std::string(own);
    if (!any.empty()) return std::string(any);
    // A SOCKS entry of these settings means version 4.
    if (!socks.empty()) return "socks4a://" + std::string(WithoutScheme(socks));
    return {};
}

bool BypassesProxy(std::string_view host, std::string_view bypassList) {
    if (host.empty() || IsLoopback(host)) return true;
    for (std::string_view entry : Entries(bypassList)) {
        if (SameText(entry, "<local>")) {
            if (host.find('.') == std::string_view::npos &&
                host.find(':') == std::string_view::npos) {
                return true;
            }
            continue;
        }
        std::string_view pattern = WithoutScheme(entry);
        // "host:port" entries: the port plays no part for one address here.
        const std::size_t colon = pattern.rfind(':');
        if (colon != std::string_view::npos && pattern.find(':') == colon) {
            pattern = pattern.substr(0, colon);
        }
        if (WildcardMatch(pattern, host)) return true;
    }
    return false;
}

std::string ProxyForAddress(std::string_view address, std::string_view list,
                            std::string_view bypassList) {
    const std::size_t colon = address.find("://");
    if (colon == std::string_view::npos) return {};
    const std::string scheme(address.substr(0, colon));
    std::string_view rest = address.substr(colon + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        rest = rest.substr(at + 1);
    }
    std::string_view host = rest;
    if (!host.empty() && host.front() == '[') {
        host = host.substr(0, host.find(']') + 1);
    } else if (const std::size_t port = host.find(':'); port != std::string_view::npos) {
        host = host.substr(0, port);
    }
    if (BypassesProxy(host, bypassList)) return {};
    return ProxyFromList(list, scheme);
}

}  // namespace velmora
