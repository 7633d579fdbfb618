#pragma once
// Windows keeps the user's proxy in its Internet settings, as a list such as
// "http=proxy:8080;https=proxy:8443" and a bypass list such as
// "*.corp.example;<local>". These rules turn them into the one proxy libcurl
// is to use for an address.

#include <string>
#include <string_view>

namespace velmora {

// The proxy of a list for a scheme ("http", "https"), as libcurl takes it:
// the scheme's own entry, else an entry for every scheme, else a SOCKS
// entry; empty when the list has none (a direct connection).
std::string ProxyFromList(std::string_view list, std::string_view scheme);

// Whether a host is reached directly: it matches an entry of the bypass list
// ("*" wildcards, no case, "<local>" for names without a dot), or it is this
// machine itself, which Windows never sends through a proxy.
bool BypassesProxy(std::string_view host, std::string_view bypassList);

// The proxy for one address: empty for a direct connection.
std::string ProxyForAddress(std::string_view address, std::string_view list,
                            std::string_view bypassList);

}  // namespace velmora
