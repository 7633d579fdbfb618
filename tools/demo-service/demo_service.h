#pragma once
// The demo delivery service: the service's side of the protocol on a small
// HTTP server. It checks the `auth` of channel, login and registration
// requests, issues client identities, serves a channel that can grow over time
// with pictures and item pages, and can be told to misbehave for tests.
// Runs in-process (the client's --demo, integration tests) or as
// velmora-demo-service.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::demo {

// How the next service requests are answered instead of normally.
enum class Fault {
    None,
    Redirect,      // 302 to a portal page
    Unauthorized,  // 401
    NotFound,      // 404
    ServerError,   // 500
    Slow,          // nothing for `slowSeconds`, then the normal answer
    Drop,          // headers announce a body, then the connection closes
    BrokenXml,     // 200 with a document cut off in the middle
    Huge,          // 200 with `hugeBytes` of body, sent without a length
    Trickle,       // 200, then `trickleBytesPerSecond` for `slowSeconds`; never completes
};

// "302", "401", "404", "500", "slow", "drop", "broken-xml", "huge", "trickle", "none".
bool ParseFault(std::string_view name, Fault& fault);
const char* FaultName(Fault fault);

struct Identity {
    std::string id;  // UTF-8
    std::string password;
};

struct DeliveryNumber {
    std::string number;  // UTF-8
    std::string password;
    std::string company;
};

struct DemoConfig {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: an ephemeral port
    std::vector<Identity> groups{{"G001", "grouppass"}};
    std::vector<DeliveryNumber> deliveryNumbers{{"D1001", "delipass", "C01"}};
    std::vector<Identity> clients;  // identities issued before this run
    std::size_t items = 6;          // channel items at start
    unsigned newItemSeconds = 0;    // 0: the channel only changes when told
    Fault fault = Fault::None;
    int faultCount = 1;  // requests the fault applies to; 0: every request
    unsigned slowSeconds = 30;
    std::size_t hugeBytes = 9u * 1024u * 1024u;
    unsigned trickleBytesPerSecond = 2;
    // > 0: the 302, 401, 404 and 500 faults announce and send a body this long.
    std::size_t errorBodyBytes = 0;
};

class DemoService {
  public:
    explicit DemoService(DemoConfig config = {});
    ~DemoService();  // stops
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    // Binds host:port and serves on a thread of its own. False when the
    // address cannot be bound.
    bool Start();
    // Ends slow answers at once, stops serving and joins the thread.
    void Stop();

    int Port() const;
    std::string BaseUrl() const;     // http://host:port
    std::string ChannelUrl() const;  // BaseUrl() + "/rss/channel.cgi"
    std::string AccountUrl() const;  // BaseUrl() + "/rss/account.cgi" (login, registration)

    // Answer the next `count` service requests (0: all of them) with `fault`.
    void SetFault(Fault fault, int count = 1);
    void AddItems(std::size_t count);
    void ResetItems(std::size_t count);
    // Gives the item at `index` (0 = newest) a new date; false when out of range.
    bool RedateItem(std::size_t index);
    std::size_t ItemCount() const;
    // Headlines in channel order (UTF-8).
    std::vector<std::string> Headlines() const;

    // Every client known now, issued before this run or by it (UTF-8 ids).
    std::vector<Identity> Clients() const;
    // Channel, login and registration requests received so far.
    int ServiceRequests() const;
    // The value of `name` in the last service request's query as the service
    // decoded it; empty when it had none.
    std::string LastQueryValue(const std::string& name) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace velmora::demo
