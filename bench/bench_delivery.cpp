// A full channel cycle (request, classify, work file, load, merge, swap) against
// the demo service on loopback, beside a plain libcurl GET of the same address
// into memory and the document load alone.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "core/delivery/curl_transfer.h"
#include "core/delivery/delivery_cycle.h"
#include "core/delivery/request_urls.h"
#include "core/delivery/threaded_transfer.h"
#include "core/feed/feed_document.h"
#include "demo_profile.h"
#include "demo_service.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class QuietUi final : public DeliveryUi {
  public:
    void SetTrayImage(TrayImage) override {}
    void SetTrayTip(const std::string&) override {}
    void StartPollTimer(std::uint32_t) override {}
    void StopPollTimer() override {}
    DeliveryNumberAnswer AskDeliveryNumber(const std::string&, const std::string&) override {
        return {};
    }
    void PostTrayClick() override {}
};

// One demo service per feed size, with a profile in a private folder.
struct Bench {
    explicit Bench(std::size_t items) {
        std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        root = pattern;
        fs::create_directories(root / "tmp");
        Activate();

        demo::DemoConfig config;
        config.items = items;
        config.clients = {{"C100", "client-password"}};
        service = std::make_unique<demo::DemoService>(config);
        if (!service->Start()) return;
        demo::DemoProfile profile;
        profile.client = config.clients.front();
        std::string error;
        ready = demo::WriteDemoProfile(*service, profile, root / "home", root / "etc", error);
    }
    // Points the settings and the work files at this bench's folder.
    void Activate() const {
        setenv("XDG_CONFIG_HOME", (root / "home").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root / "etc").c_str(), 1);
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
        setenv("no_proxy", "*", 1);
    }
    ~Bench() {
        if (service) service->Stop();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path root;
    std::unique_ptr<demo::DemoService> service;
    bool ready = false;
};

Bench& BenchFor(std::size_t items) {
    static std::map<std::size_t, std::unique_ptr<Bench>> benches;
    auto& bench = benches[items];
    if (!bench) bench = std::make_unique<Bench>(items);
    if (bench->ready) bench->Activate();
    return *bench;
}

void RunCycles(benchmark::State& state, bool threaded) {
    Bench& bench = BenchFor(static_cast<std::size_t>(state.range(0)));
    if (!bench.ready) return state.SkipWithError("demo service did not start");
    QuietUi ui;
    ErrorState errors;
    SystemClock clock;
    CurlTransfer curl;
    BlockingWaiter waiter;
    ThreadedTransfer offThread(curl, waiter);
    Transfer& transfer = threaded ? static_cast<Transfer&>(offThread) : curl;
    DeliveryCycle cycle(ui, errors, transfer, clock, ReadDeliverySettings());
    if (cycle.RunDeliveryCycle() != CycleResult::News)
        return state.SkipWithError("first fetch failed");

    for (auto _ : state) {
        CycleResult result = cycle.RunDeliveryCycle();
        if (result != CycleResult::NothingNew) return state.SkipWithError("cycle failed");
        benchmark::DoNotOptimize(cycle.Current().Count());
    }
    state.counters["items"] = static_cast<double>(cycle.Current().Count());
}

void BM_ChannelCycle(benchmark::State& state) {
    RunCycles(state, false);
}
void BM_ChannelCycleOffThread(benchmark::State& state) {
    RunCycles(state, true);
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_PlainCurlGet(benchmark::State& state) {
    Bench& bench = BenchFor(static_cast<std::size_t>(state.range(0)));
    if (!bench.ready) return state.SkipWithError("demo service did not start");
    SystemClock clock;
    RequestIdentity identity = ReadDeliverySettings().identity;
    std::size_t bytes = 0;

    for (auto _ : state) {
        // The same signed address the cycle asks for, quotes encoded.
        const std::string url =
            EncodeUrlBytes(bench.service->ChannelUrl() + BuildChannelQuery(identity, clock));
        std::string body;
        CURL* handle = curl_easy_init();
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
        const CURLcode code = curl_easy_perform(handle);
        curl_easy_cleanup(handle);
        if (code != CURLE_OK || body.empty()) return state.SkipWithError("GET failed");
        bytes = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_LoadDocumentOnly(benchmark::State& state) {
    Bench& bench = BenchFor(static_cast<std::size_t>(state.range(0)));
    if (!bench.ready) return state.SkipWithError("demo service did not start");
    CurlTransfer curl;
    SystemClock clock;
    RequestIdentity identity = ReadDeliverySettings().identity;
    TransferAnswer answer =
        curl.Get(bench.service->ChannelUrl() + BuildChannelQuery(identity, clock), 0);
    const fs::path file = bench.root / "document.xml";
    std::ofstream(file, std::ios::binary) << answer.bytes;
    FeedChannel channel;

    // Into an empty channel, as the cycle loads: its incoming feed was emptied
    // at the end of the previous cycle.
    for (auto _ : state) {
        state.PauseTiming();
        channel.Clear();
        state.ResumeTiming();
        if (LoadFeedDocument(file, channel) != DocumentLoad::Loaded) {
            return state.SkipWithError("load failed");
        }
        benchmark::DoNotOptimize(channel.Count());
    }
}

BENCHMARK(BM_PlainCurlGet)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelCycle)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelCycleOffThread)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDocumentOnly)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
