#include "demo_service.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "core/delivery/signing.h"
#include "core/text/cp932.h"
#include "demo_feed.h"
#include "demo_images.h"

namespace velmora::demo {
namespace {

constexpr const char* kChannelPath = "/rss/channel.cgi";
constexpr const char* kAccountPath = "/rss/account.cgi";
constexpr std::size_t kMaxCatchUpItems = 10;
constexpr std::size_t kMaxItems = 100000;

struct FaultLabel {
    Fault fault;
    const char* name;
};

constexpr FaultLabel kFaultNames[] = {
    {Fault::None, "none"},       {Fault::Redirect, "302"},         {Fault::Unauthorized, "401"},
    {Fault::NotFound, "404"},    {Fault::ServerError, "500"},      {Fault::Slow, "slow"},
    {Fault::Drop, "drop"},       {Fault::BrokenXml, "broken-xml"}, {Fault::Huge, "huge"},
    {Fault::Trickle, "trickle"},
};

// The signing time as the client signed it: the query's time without its quotes.
std::string SigningTime(const httplib::Request& req) {
    std::string time = req.get_param_value("time");
    if (time.size() >= 2 && time.front() == '"' && time.back() == '"') {
        time = time.substr(1, time.size() - 2);
    }
    return time;
}

void AnswerText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain; charset=UTF-8");
}

std::string RandomKey(std::mt19937& random) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (int i = 0; i < 16; ++i) key += kHex[random() % 16];
    return key;
}

}  // namespace

bool ParseFault(std::string_view name, Fault& fault) {
    for (const FaultLabel& entry : kFaultNames) {
        if (name == entry.name) {
            fault = entry.fault;
            return true;
        }
    }
    return false;
}

const char* FaultName(Fault fault) {
    for (const FaultLabel& entry : kFaultNames) {
        if (fault == entry.fault) return entry.name;
    }
    return "none";
}

struct DemoService::State {
    explicit State(DemoConfig c) : config(std::move(c)), random(std::random_device{}()) {}

    DemoConfig config;
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;  // guards everything below
    std::condition_variable stopping;
    bool stopped = false;
    DemoFeed feed;
    std::time_t lastAdded = 0;
    std::map<std::string, std::string> groups;      // CP932 id -> password
    std::map<std::string, DeliveryNumber> numbers;  // CP932 number -> CP932 entry
    std::map<std::string, std::string> clients;     // CP932 id -> password
    Fault fault = Fault::None;
    int faultLeft = 0;  // -1: every request
    int serviceRequests = 0;
    httplib::Params lastQuery;
    int nextClient = 10001;
    std::mt19937 random;

    void Register();
    void ServeService(const httplib::Request& req, httplib::Response& res, bool channel);
    void ServeChannel(const httplib::Request& req, httplib::Response& res);
    void ServeAccount(const httplib::Request& req, httplib::Response& res);
    void ServeControl(const httplib::Request& req, httplib::Response& res);
    Fault TakeFault();
    void AnswerError(httplib::Response& res, int status, const std::string& text);
    void Trickle(httplib::Response& res);
    void SetFault(Fault f, int count) {
        fault = f;
        faultLeft = f == Fault::None ? 0 : (count <= 0 ? -1 : count);
    }
    std::string BaseUrl() const { return "http://" + config.host + ":" + std::to_string(port); }
};

DemoService::DemoService(DemoConfig config) : state_(std::make_unique<State>(std::move(config))) {
    State& s = *state_;
    for (const Identity& g : s.config.groups) {
        s.groups[text::Utf8ToCp932(g.id)] = text::Utf8ToCp932(g.password);
    }
    for (const DeliveryNumber& d : s.config.deliveryNumbers) {
        s.numbers[text::Utf8ToCp932(d.number)] = {text::Utf8ToCp932(d.number),
                                                  text::Utf8ToCp932(d.password),
                                                  text::Utf8ToCp932(d.company)};
    }
    for (const Identity& c : s.config.clients) {
        s.clients[text::Utf8ToCp932(c.id)] = text::Utf8ToCp932(c.password);
    }
    s.SetFault(s.config.fault, s.config.faultCount);
    s.lastAdded = std::time(nullptr);
    s.feed.Reset(s.config.items, s.lastAdded);
    s.Register();
}

DemoService::~DemoService() {
    Stop();
}

bool DemoService::Start() {
    State& s = *state_;
    if (s.thread.joinable()) return true;
    if (s.config.port == 0) {
        s.port = s.server.bind_to_any_port(s.config.host);
        if (s.port <= 0) return false;
    } else {
        if (!s.server.bind_to_port(s.config.host, s.config.port)) return false;
        s.port = s.config.port;
    }
    {
        std::lock_guard lock(s.mutex);
        s.stopped = false;
        s.feed.SetBaseUrl(s.BaseUrl());
    }
    s.thread = std::thread([&s] { s.server.listen_after_bind(); });
    // stop() only reaches a server whose accept loop runs: wait for it, so that
    // a Stop() right after Start() cannot miss it.
    for (int i = 0; i < 5000 && !s.server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!s.server.is_running()) {
        s.server.stop();
        s.thread.join();
        return false;
    }
    return true;
}

void DemoService::Stop() {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        s.stopped = true;
    }
    s.stopping.notify_all();
    s.server.stop();
    if (s.thread.joinable()) s.thread.join();
}

int DemoService::Port() const {
    return state_->port;
}
std::string DemoService::BaseUrl() const {
    return state_->BaseUrl();
}
std::string DemoService::ChannelUrl() const {
    return BaseUrl() + kChannelPath;
}
std::string DemoService::AccountUrl() const {
    return BaseUrl() + kAccountPath;
}

void DemoService::SetFault(Fault fault, int count) {
    std::lock_guard lock(state_->mutex);
    state_->SetFault(fault, count);
}

void DemoService::AddItems(std::size_t count) {
    std::lock_guard lock(state_->mutex);
    for (std::size_t i = 0; i < count; ++i) state_->feed.AddItem(std::time(nullptr));
}

void DemoService::ResetItems(std::size_t count) {
    std::lock_guard lock(state_->mutex);
    state_->feed.Reset(count, std::time(nullptr));
}

bool DemoService::RedateItem(std::size_t index) {
    std::lock_guard lock(state_->mutex);
    return state_->feed.Redate(index);
}

std::size_t DemoService::ItemCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->feed.Items().size();
}

std::vector<std::string> DemoService::Headlines() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> headlines;
    for (const DemoItem& item : state_->feed.Items()) headlines.push_back(item.headline);
    return headlines;
}

std::vector<Identity> DemoService::Clients() const {
    std::lock_guard lock(state_->mutex);
    std::vector<Identity> clients;
    for (const auto& [id, password] : state_->clients) {
        clients.push_back({text::Cp932ToUtf8(id), text::Cp932ToUtf8(password)});
    }
    return clients;
}

int DemoService::ServiceRequests() const {
    std::lock_guard lock(state_->mutex);
    return state_->serviceRequests;
}

std::string DemoService::LastQueryValue(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    auto found = state_->lastQuery.find(name);
    return found == state_->lastQuery.end() ? std::string() : found->second;
}

void DemoService::State::Register() {
    server.Get(kChannelPath, [this](const httplib::Request& req, httplib::Response& res) {
        ServeService(req, res, true);
    });
    server.Get(kAccountPath, [this](const httplib::Request& req, httplib::Response& res) {
        ServeService(req, res, false);
    });
    server.Get("/control", [this](const httplib::Request& req, httplib::Response& res) {
        ServeControl(req, res);
    });
    server.Get(R"(/images/(\d{1,3})\.png)",
               [](const httplib::Request& req, httplib::Response& res) {
                   std::string png = DemoPicture(std::stoi(req.matches[1].str()));
                   if (png.empty()) return AnswerText(res, 404, "no such picture\n");
                   res.set_content(png, "image/png");
               });
    server.Get(R"(/news/(\d{1,9})\.html)",
               [this](const httplib::Request& req, httplib::Response& res) {
                   std::lock_guard lock(mutex);
                   const DemoItem* item = feed.FindItem(std::stoi(req.matches[1].str()));
                   if (item == nullptr) return AnswerText(res, 404, "no such item\n");
                   res.set_content(ItemPage(item), "text/html; charset=UTF-8");
               });
    auto index = [](const httplib::Request&, httplib::Response& res) {
        res.set_content(ItemPage(nullptr), "text/html; charset=UTF-8");
    };
    server.Get("/", index);
    server.Get(R"(/(ticker/\d{1,3}|portal|help|trouble|mypage)\.html)", index);
}

Fault DemoService::State::TakeFault() {
    if (faultLeft == 0) return Fault::None;
    Fault taken = fault;
    if (faultLeft > 0 && --faultLeft == 0) fault = Fault::None;
    return taken;
}

void DemoService::State::ServeService(const httplib::Request& req, httplib::Response& res,
                                      bool channel) {
    Fault taken;
    {
        std::lock_guard lock(mutex);
        ++serviceRequests;
        lastQuery = req.params;
        taken = TakeFault();
    }
    switch (taken) {
        case Fault::None:
            break;
        case Fault::Redirect:
            res.set_header("Location", BaseUrl() + "/portal.html");
            return AnswerError(res, 302, "moved\n");
        case Fault::Unauthorized:
            return AnswerError(res, 401, "unauthorized\n");
        case Fault::NotFound:
            return AnswerError(res, 404, "not found\n");
        case Fault::ServerError:
            return AnswerError(res, 500, "internal error\n");
        case Fault::Slow: {
            std::unique_lock lock(mutex);
            stopping.wait_for(lock, std::chrono::seconds(config.slowSeconds),
                              [this] { return stopped; });
            if (stopped) return AnswerText(res, 503, "stopping\n");
            break;
        }
        case Fault::Drop:
            // The length promises a body that never comes: the client sees the
            // connection close in the middle of the answer.
            res.set_content_provider(
                4096, "application/xml",
                [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
            return;
        case Fault::BrokenXml:
            res.set_content(
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rdf:RDF xmlns:rdf=\"http://"
                "www.w3.org/1999/02/22-rdf-syntax-ns#\">\n<item><dc.subject>途中で切れた",
                "application/xml");
            return;
        case Fault::Huge: {
            const std::size_t total = config.hugeBytes;
            res.set_chunked_content_provider(
                "application/xml", [this, total](std::size_t offset, httplib::DataSink& sink) {
                    static const std::string filler(64 * 1024, ' ');
                    {
                        std::lock_guard lock(mutex);
                        if (stopped) return false;
                    }
                    if (offset >= total) {
                        sink.done();
                        return true;
                    }
                    return sink.write(filler.data(), std::min(filler.size(), total - offset));
                });
            return;
        }
        case Fault::Trickle:
            return Trickle(res);
    }
    if (channel) {
        ServeChannel(req, res);
    } else {
        ServeAccount(req, res);
    }
}

void DemoService::State::AnswerError(httplib::Response& res, int status, const std::string& text) {
    if (config.errorBodyBytes == 0) return AnswerText(res, status, text);
    res.status = status;
    res.set_content_provider(config.errorBodyBytes, "text/plain",
                             [this](std::size_t, std::size_t length, httplib::DataSink& sink) {
                                 static const std::string filler(64 * 1024, 'x');
                                 {
                                     std::lock_guard lock(mutex);
                                     if (stopped) return false;
                                 }
                                 return sink.write(filler.data(), std::min(filler.size(), length));
                             });
}

void DemoService::State::Trickle(httplib::Response& res) {
    const std::size_t rate = std::max(1u, config.trickleBytesPerSecond);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(config.slowSeconds);
    res.set_chunked_content_provider(
        "application/xml",
        [this, rate, until, first = true](std::size_t, httplib::DataSink& sink) mutable {
            // The first bytes go at once, then `rate` more every second.
            if (!first) {
                std::unique_lock lock(mutex);
                if (stopping.wait_for(lock, std::chrono::seconds(1), [this] { return stopped; })) {
                    return false;
                }
            }
            first = false;
            // Closing without the last chunk: the answer never completes.
            if (std::chrono::steady_clock::now() >= until) return false;
            const std::string bytes(rate, ' ');
            return sink.write(bytes.data(), bytes.size());
        });
}

void DemoService::State::ServeChannel(const httplib::Request& req, httplib::Response& res) {
    const std::string cid = req.get_param_value("cid");
    std::lock_guard lock(mutex);
    auto client = clients.find(cid);
    if (client == clients.end() ||
        req.get_param_value("auth") != ChannelToken(cid, client->second, SigningTime(req))) {
        return AnswerText(res, 401, "bad client or token\n");
    }
    if (config.newItemSeconds != 0) {
        const std::time_t now = std::time(nullptr);
        std::size_t added = 0;
        while (now - lastAdded >= static_cast<std::time_t>(config.newItemSeconds)) {
            lastAdded += config.newItemSeconds;
            if (added++ < kMaxCatchUpItems) feed.AddItem(lastAdded);
        }
    }
    res.set_content(feed.Document(), "application/xml");
}

void DemoService::State::ServeAccount(const httplib::Request& req, httplib::Response& res) {
    const std::string gid = req.get_param_value("gid");
    const std::string auth = req.get_param_value("auth");
    const std::string time = SigningTime(req);
    std::lock_guard lock(mutex);

    auto group = groups.find(gid);
    const bool registration = req.has_param("del") || req.has_param("com");
    if (!registration) {
        if (group == groups.end() || auth != LoginToken(gid, group->second, time)) {
            return AnswerText(res, 401, "bad group or token\n");
        }
    } else {
        // A registration may come from an installation without a group identity.
        const std::string groupPassword = group != groups.end() ? group->second : "";
        if (group == groups.end() && !gid.empty()) {
            return AnswerText(res, 401, "unknown group\n");
        }
        auto number = numbers.find(req.get_param_value("del"));
        const std::string company = req.get_param_value("com");
        if (number == numbers.end() || number->second.company != company ||
            auth != RegistrationToken(number->second.number, number->second.password, company, gid,
                                      groupPassword, time)) {
            return AnswerText(res, 401, "bad delivery number or token\n");
        }
    }

    const std::string id = "C" + std::to_string(nextClient++);
    const std::string key = RandomKey(random);
    clients[id] = ClientPassword(id, key, auth);
    res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LuMoClient><id>" + id +
                        "</id><key>" + key + "</key></LuMoClient>\n",
                    "application/xml");
}

void DemoService::State::ServeControl(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex);
    std::string done;
    try {
        if (req.has_param("fault")) {
            Fault f;
            if (!ParseFault(req.get_param_value("fault"), f)) {
                return AnswerText(res, 400, "unknown fault\n");
            }
            SetFault(f, req.has_param("count") ? std::stoi(req.get_param_value("count")) : 1);
            done += std::string("fault ") + FaultName(f) + "\n";
        }
        if (req.has_param("items")) {
            const unsigned long count = std::stoul(req.get_param_value("items"));
            if (count > kMaxItems) return AnswerText(res, 400, "too many items\n");
            feed.Reset(count, std::time(nullptr));
            done += "items " + std::to_string(feed.Items().size()) + "\n";
        }
        if (req.has_param("add")) {
            const unsigned long count = std::stoul(req.get_param_value("add"));
            if (count + feed.Items().size() > kMaxItems) {
                return AnswerText(res, 400, "too many items\n");
            }
            for (unsigned long i = 0; i < count; ++i) {
                feed.AddItem(std::time(nullptr));
            }
            done += "items " + std::to_string(feed.Items().size()) + "\n";
        }
        if (req.has_param("redate")) {
            if (!feed.Redate(std::stoul(req.get_param_value("redate")))) {
                return AnswerText(res, 400, "no such item\n");
            }
            done += "redated\n";
        }
    } catch (const std::exception&) {
        return AnswerText(res, 400, "bad number\n");
    }
    if (done.empty()) {
        return AnswerText(res, 400, "use fault=KIND[&count=N], items=N, add=N or redate=INDEX\n");
    }
    AnswerText(res, 200, done);
}

}  // namespace velmora::demo
