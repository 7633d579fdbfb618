#include "core/popup/openable_address.h"

#include <cctype>
#include <string>

namespace velmora {
namespace {

bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The scheme in lower case, or empty when the address does not start with one.
std::string SchemeOf(std::string_view address, std::string_view& rest) {
    if (address.empty() || !IsAsciiAlpha(address[0])) return {};
    std::string scheme;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        if (c == ':') {
            rest = address.substr(i + 1);
            return scheme;
        }
        if (!IsAsciiAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return {};
        }
        scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return {};
}

bool HasHost(std::string_view afterScheme) {
    if (afterScheme.substr(0, 2) != "//") return false;
    const std::string_view authority =
        afterScheme.substr(2, afterScheme.substr(2).find_first_of("/?#"));
    // The host follows an optional user part; a port alone is no host.
    const std::string_view host = authority.substr(authority.rfind('@') + 1);
    return !host.empty() && host[0] != ':';
}

}  // namespace

bool IsOpenableAddress(std::string_view utf8Address, AddressOrigin origin) {
    for (const char c : utf8Address) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
    }
    if (utf8Address.empty() || utf8Address.front() == ' ' || utf8Address.back() == ' ') {
        return false;
    }
    std::string_view rest;
    const std::string scheme = SchemeOf(utf8Address, rest);
    if (scheme == "http" || scheme == "https") return HasHost(rest);
    if (scheme == "file" && origin == AddressOrigin::Settings) {
        // file:/path or file://host/path; the path itself must be absolute.
        if (rest.substr(0, 2) == "//") {
            const std::size_t slash = rest.find('/', 2);
            return slash != std::string_view::npos && slash + 1 < rest.size();
        }
        return rest.size() > 1 && rest[0] == '/';
    }
    return false;
}

}  // namespace velmora
