// velmora-demo-service: the demo delivery service as a program of its own.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "demo_service.h"

namespace {

using velmora::demo::DemoConfig;
using velmora::demo::Fault;

constexpr const char* kUsage =
    "Usage: velmora-demo-service [options]\n"
    "\n"
    "A demo delivery service for the Velmora client: it checks the auth of channel,\n"
    "login and registration requests, issues client identities and serves an RDF\n"
    "channel with Japanese headlines, pictures, an emergency item and a ticker.\n"
    "\n"
    "Options:\n"
    "  --host ADDRESS           address to bind (default 127.0.0.1)\n"
    "  --port N                 port to bind (default 0: an ephemeral port, printed)\n"
    "  --group ID:PASSWORD      a group identity that may log in (repeatable;\n"
    "                           default G001:grouppass)\n"
    "  --delivery NO:PASSWORD:COMPANY\n"
    "                           a delivery number that may register (repeatable;\n"
    "                           default D1001:delipass:C01)\n"
    "  --client ID:PASSWORD     a client identity issued before (repeatable)\n"
    "  --items N                channel items at start (default 6)\n"
    "  --new-item-every N       add a new item every N seconds (default 0: never)\n"
    "  --fault KIND[:COUNT]     answer the next COUNT service requests (default 1,\n"
    "                           0: all of them) with KIND: 302, 401, 404, 500, slow,\n"
    "                           drop, broken-xml, huge or trickle\n"
    "  --slow-seconds N         how long a slow answer waits and a trickle lasts\n"
    "                           (default 30)\n"
    "  --huge-bytes N           body size of a huge answer (default 9437184)\n"
    "  --trickle-rate N         bytes per second of a trickle (default 2)\n"
    "  --error-body-bytes N     body size of 302, 401, 404 and 500 faults\n"
    "                           (default 0: a short text)\n"
    "  --help                   show this text\n"
    "\n"
    "Service addresses (for server1/server2 and server3/server4):\n"
    "  http://HOST:PORT/rss/channel.cgi    the channel request\n"
    "  http://HOST:PORT/rss/account.cgi    login and registration\n"
    "\n"
    "Control (GET, answers text):\n"
    "  /control?fault=KIND[&count=N]   misbehave as with --fault; fault=none ends it\n"
    "  /control?items=N                start the channel again with N items\n"
    "  /control?add=N                  add N new items\n"
    "  /control?redate=INDEX           give item INDEX (0 = newest) a new date\n"
    "\n"
    "Stops on SIGINT or SIGTERM.\n";

bool ParseNumber(std::string_view text, unsigned long& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) return parts;
        start = colon + 1;
    }
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "velmora-demo-service: %s\nTry --help.\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    DemoConfig config;
    bool groupsGiven = false, numbersGiven = false;

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return Fail("missing value after " + option);
        const std::string value = argv[++i];
        unsigned long number = 0;
        if (option == "--host") {
            config.host = value;
        } else if (option == "--port") {
            if (!ParseNumber(value, number) || number > 65535) return Fail("bad port " + value);
            config.port = static_cast<int>(number);
        } else if (option == "--group" || option == "--client") {
            auto parts = SplitColons(value);
            if (parts.size() != 2 || parts[0].empty()) return Fail("expected ID:PASSWORD");
            if (option == "--group") {
                if (!groupsGiven) config.groups.clear();
                groupsGiven = true;
                config.groups.push_back({parts[0], parts[1]});
            } else {
                config.clients.push_back({parts[0], parts[1]});
            }
        } else if (option == "--delivery") {
            auto parts = SplitColons(value);
            if (parts.size() != 3 || parts[0].empty()) return Fail("expected NO:PASSWORD:COMPANY");
            if (!numbersGiven) config.deliveryNumbers.clear();
            numbersGiven = true;
            config.deliveryNumbers.push_back({parts[0], parts[1], parts[2]});
        } else if (option == "--items") {
            if (!ParseNumber(value, number) || number > 100000) return Fail("bad item count");
            config.items = number;
        } else if (option == "--new-item-every") {
            if (!ParseNumber(value, number) || number > 86400) return Fail("bad interval");
            config.newItemSeconds = static_cast<unsigned>(number);
        } else if (option == "--fault") {
            auto parts = SplitColons(value);
            Fault fault;
            if (parts.size() > 2 || !velmora::demo::ParseFault(parts[0], fault)) {
                return Fail("bad fault " + value);
            }
            config.fault = fault;
            config.faultCount = 1;
            if (parts.size() == 2) {
                if (!ParseNumber(parts[1], number) || number > 1000000) return Fail("bad count");
                config.faultCount = static_cast<int>(number);
            }
        } else if (option == "--slow-seconds") {
            if (!ParseNumber(value, number) || number > 3600) return Fail("bad seconds");
            config.slowSeconds = static_cast<unsigned>(number);
        } else if (option == "--huge-bytes") {
            if (!ParseNumber(value, number) || number > (1ul << 31)) return Fail("bad size");
            config.hugeBytes = number;
        } else if (option == "--trickle-rate") {
            if (!ParseNumber(value, number) || number == 0 || number > 1000000) {
                return Fail("bad rate");
            }
            config.trickleBytesPerSecond = static_cast<unsigned>(number);
        } else if (option == "--error-body-bytes") {
            if (!ParseNumber(value, number) || number > (1ul << 31)) return Fail("bad size");
            config.errorBodyBytes = number;
        } else {
            return Fail("unknown option " + option);
        }
    }

    // Block the ending signals before any thread starts, then wait for one.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    velmora::demo::DemoService service(config);
    if (!service.Start()) {
        return Fail("cannot listen on " + config.host + ":" + std::to_string(config.port));
    }
    std::printf("velmora-demo-service: listening on %s\n", service.BaseUrl().c_str());
    std::printf("  channel: %s\n  account: %s\n", service.ChannelUrl().c_str(),
                service.AccountUrl().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&ending, &received);
    service.Stop();
    std::printf("velmora-demo-service: stopped\n");
    return 0;
}
