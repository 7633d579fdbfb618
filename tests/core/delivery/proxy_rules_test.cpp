#include "core/delivery/proxy_rules.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct ProxyCase {
    const char* address;
    const char* list;
    const char* bypass;
    const char* proxy;  // empty: a direct connection
};

// Lists and bypass lists as the settings of Windows store them.
constexpr ProxyCase kCases[] = {
    {"http://news.example.jp/rdf", "proxy.corp:8080", "", "proxy.corp:8080"},
    {"https://news.example.jp/rdf", "proxy.corp:8080", "", "proxy.corp:8080"},
    {"https://news.example.jp/", "http=p1:80;https=p2:443", "", "p2:443"},
    {"http://news.example.jp/", "HTTP=p1:80 https=p2:443", "", "p1:80"},
    {"https://news.example.jp/", "http=p1:80", "", ""},
    {"https://news.example.jp/", "ftp=f:21;socks=s:1080", "", "socks4a://s:1080"},
    {"https://news.example.jp/", "https=;plain:3128", "", "plain:3128"},
    {"http://news.example.jp/", "", "", ""},
    {"http://NEWS.Example.JP:8080/x", "p:1", "*.example.jp", ""},
    {"http://news.example.jp/", "p:1", "*.example.com;news.example.*", ""},
    {"http://news.example.jp/", "p:1", "*.example.com, other.jp", "p:1"},
    {"http://intranet/page", "p:1", "<local>", ""},
    {"http://intranet.corp/page", "p:1", "<local>", "p:1"},
    {"http://news.example.jp/", "p:1", "http://news.example.jp:80", ""},
    {"http://user:pw@news.example.jp/", "p:1", "news.example.jp", ""},
    // Windows never sends this machine's own addresses through a proxy.
    {"http://127.0.0.1:8123/rdf", "p:1", "", ""},
    {"http://localhost/rdf", "p:1", "", ""},
    {"http://[::1]:8123/rdf", "p:1", "", ""},
    {"http://[2001:db8::1]/rdf", "p:1", "", "p:1"},
    {"not an address", "p:1", "", ""},
};

TEST(ProxyRules, ChooseTheProxyOfTheSettingsForEachAddress) {
    for (const ProxyCase& c : kCases) {
        EXPECT_EQ(ProxyForAddress(c.address, c.list, c.bypass), c.proxy)
            << c.address << " with \"" << c.list << "\" bypassing \"" << c.bypass << '"';
    }
}

TEST(ProxyRules, WildcardsMatchAnyRunAndNothingElse) {
    EXPECT_TRUE(BypassesProxy("a.b.example.jp", "*example.jp"));
    EXPECT_TRUE(BypassesProxy("example.jp", "*example.jp"));
    EXPECT_TRUE(BypassesProxy("10.1.2.3", "10.*"));
    EXPECT_FALSE(BypassesProxy("110.1.2.3", "10.*"));
    EXPECT_FALSE(BypassesProxy("example.jp.evil", "*example.jp"));
    EXPECT_FALSE(BypassesProxy("news.example.jp", "news"));
}

}  // namespace
