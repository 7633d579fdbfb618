// Feed data at 1 000 and 10 000 items of about 500 bytes (a feed keeps at most
// 10 000): the plain libxml2 parse as the yardstick, then document load,
// merge and item store; and the store with each kind of line end.

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/delivery/error_table.h"
#include "core/feed/feed_channel.h"
#include "core/feed/feed_document.h"
#include "core/feed/item_store.h"
#include "core/text/cp932.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

// One temporary folder for the whole run, removed at exit.
const std::filesystem::path& Folder() {
    static const test_support::TempFolder folder;
    if (folder.path().empty()) std::abort();
    return folder.path();
}

// An item of about 500 bytes with Japanese text, as the service sends them.
std::string Item(int n, const char* headlinePrefix) {
    const std::string id = std::to_string(n);
    return "<item rdf:about=\"http://news.example.jp/items/" + id +
           "\">\n"
           "<dc.subject>" +
           headlinePrefix + id +
           "\xe3\x80\x80\xe5\xb8\x82\xe5\xa0\xb4\xe3\x81\xae\xe5\x8b\x95\xe3\x81\x8d</dc.subject>\n"
           "<link>http://news.example.jp/items/" +
           id +
           "?from=rss%26lang=ja</link>\n"
           "<title>\xe6\x9c\xac\xe6\x97\xa5\xe3\x81\xae\xe3\x83\x8b\xe3\x83\xa5\xe3\x83\xbc\xe3\x82"
           "\xb9\xe3\x81\xae\xe8\xa9\xb3\xe3\x81\x97\xe3\x81\x84\xe5\x86\x85\xe5\xae\xb9\xe3\x81"
           "\xaf\xe3\x81\x93\xe3\x81\xa1\xe3\x82\x89\xe3\x80\x82"
           "Details of the day's story number " +
           id +
           ", with enough words to look like a real summary of an article.</title>\n"
           "<dc:date>2024-05-01T09:00:00+09:00</dc:date>\n"
           "<dc.coverage>http://img.example.jp/photos/" +
           id + ".jpg?size=m%26q=80</dc.coverage>\n</item>\n";
}

std::string Document(int items, int firstNewItem) {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
        "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "<channel rdf:about=\"http://news.example.jp/\"><title>Velmora</title>"
        "<link>http://news.example.jp/</link><description>news</description>"
        "<dc:date>2024-05-01T09:00:00+09:00</dc:date></channel>\n";
    for (int i = 0; i < items; ++i) doc += Item(i, i < firstNewItem ? "News " : "Fresh ");
    doc += "</rdf:RDF>\n";
    return doc;
}

// The feed of `items` items, written once per size.
const std::filesystem::path& FeedFile(int items) {
    static std::map<int, std::filesystem::path> files;
    auto& file = files[items];
    if (file.empty()) {
        file = Folder() / ("feed-" + std::to_string(items) + ".xml");
        std::ofstream(file, std::ios::binary) << Document(items, items);
    }
    return file;
}

void Load(const std::filesystem::path& file, FeedChannel& channel) {
    if (LoadFeedDocument(file, channel) != DocumentLoad::Loaded) std::abort();
}

// A channel of `items` items with the texts Item() gives them, made without
// the loader, which keeps at most kMaxFeedItems of a document.
void Fill(FeedChannel& channel, int items, int firstNewItem) {
    channel.Clear();
    FeedItem item;
    const std::string market = text::Utf8ToCp932(
        "\xe3\x80\x80\xe5\xb8\x82\xe5\xa0\xb4\xe3\x81\xae\xe5\x8b\x95\xe3\x81\x8d");
    const std::string detail = text::Utf8ToCp932(
        "\xe6\x9c\xac\xe6\x97\xa5\xe3\x81\xae\xe3\x83\x8b\xe3\x83\xa5\xe3\x83\xbc\xe3\x82"
        "\xb9\xe3\x81\xae\xe8\xa9\xb3\xe3\x81\x97\xe3\x81\x84\xe5\x86\x85\xe5\xae\xb9\xe3\x81"
        "\xaf\xe3\x81\x93\xe3\x81\xa1\xe3\x82\x89\xe3\x80\x82");
    for (int i = 0; i < items; ++i) {
        const std::string id = std::to_string(i);
        item.SetHeadline((i < firstNewItem ? "News " : "Fresh ") + id + market);
        item.SetLink("http://news.example.jp/items/" + id + "?from=rss%26lang=ja");
        item.SetDetail(detail + "Details of the day's story number " + id +
                       ", with enough words to look like a real summary of an article.");
        item.SetDate("2024-05-01T09:00:00+09:00");
        item.SetImage("http://img.example.jp/photos/" + id + ".jpg?size=m%26q=80");
        channel.AppendCopy(item);
    }
}

// How many of `items` stored items a load keeps.
int KeptOf(int items) {
    return std::min(items, static_cast<int>(kMaxFeedItems));
}

void BM_PlainParse(benchmark::State& state) {
    const auto& file = FeedFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        xmlDoc* doc = xmlReadFile(file.c_str(), nullptr, 0);
        if (!doc) std::abort();
        xmlFreeDoc(doc);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Into an empty channel, as in the delivery cycle: the incoming feed is
// emptied when the feeds swap, long before the next fetch.
void BM_LoadFeedDocument(benchmark::State& state) {
    const auto& file = FeedFile(static_cast<int>(state.range(0)));
    FeedChannel channel;
    for (auto _ : state) {
        state.PauseTiming();
        channel.Clear();
        state.ResumeTiming();
        Load(file, channel);
        benchmark::DoNotOptimize(channel.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Into a channel that still holds the previous load, which is freed first.
void BM_LoadFeedDocumentReplacing(benchmark::State& state) {
    const auto& file = FeedFile(static_cast<int>(state.range(0)));
    FeedChannel channel;
    for (auto _ : state) {
        Load(file, channel);
        benchmark::DoNotOptimize(channel.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Pushes everything else out of the caches (64 MiB, twice a large L3): the
// merge runs once per poll, on feeds that have long left the caches, and a
// 10 000-item pair of feeds (~13 MB) would otherwise stay cached between
// iterations, which the merge after a real poll never finds.
void EvictCaches() {
    static std::vector<char> junk(64u << 20);
    for (std::size_t i = 0; i < junk.size(); i += 64) junk[i] = static_cast<char>(junk[i] + 1);
    benchmark::ClobberMemory();
}

void MergeReadMarksBenchmark(benchmark::State& state, bool cold) {
    const int items = static_cast<int>(state.range(0));
    FeedChannel current, incoming;
    Fill(current, items, items);
    // The incoming feed shares 90 % of the headlines; a tenth of them is new.
    Fill(incoming, items, items - items / 10);
    for (FeedItem* item = current.First(); item; item = item->Next()) item->read = 1;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            EvictCaches();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(MergeReadMarks(current, incoming));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_MergeReadMarks(benchmark::State& state) {
    MergeReadMarksBenchmark(state, true);
}
void BM_MergeReadMarksWarm(benchmark::State& state) {
    MergeReadMarksBenchmark(state, false);
}

void BM_SaveItemStore(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    FeedChannel channel;
    Fill(channel, items, items);
    const auto store = Folder() / ("save-" + std::to_string(items) + ".dat");
    for (auto _ : state) {
        if (!SaveItemStore(store, channel)) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadItemStore(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    const auto store = Folder() / ("load-" + std::to_string(items) + ".dat");
    {
        FeedChannel channel;
        Fill(channel, items, items);
        if (!SaveItemStore(store, channel)) std::abort();
    }
    // The store is read once, at start-up, into memory the process has never
    // touched. Between runs the freed memory goes back to the system, so that
    // a small store does not run on pages its previous run left warm while a
    // large one (beyond what the allocator keeps) gets new ones each time.
    FeedChannel channel;
    for (auto _ : state) {
        state.PauseTiming();
        channel.Clear();
        ::malloc_trim(0);
        state.ResumeTiming();
        if (!LoadItemStore(store, channel) || channel.Count() != KeptOf(items)) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A store of 32 000 items whose lines all end alike: CRLF as written, LF,
// or a bare CR (an editor of another platform). Loading is linear in each
// (the whole file is read, the first kMaxFeedItems items are kept).
void BM_LoadItemStoreLineEnds(benchmark::State& state) {
    static const char* const kEnds[] = {"\r\n", "\n", "\r"};
    const char* end = kEnds[state.range(0)];
    constexpr int kItems = 32000;
    const auto store = Folder() / ("ends-" + std::to_string(state.range(0)) + ".dat");
    {
        FeedChannel channel;
        FeedItem item;
        for (int n = 1; n <= kItems; ++n) {
            item.SetHeadline("headline " + std::to_string(n));
            item.SetLink("http://news.example.jp/items/" + std::to_string(n));
            item.SetDate("2024-05-01T09:00:00+09:00");
            channel.AppendCopy(item);
        }
        if (!SaveItemStore(store, channel)) std::abort();
        const std::string crlf = test_support::ReadFile(store);
        std::string text;
        text.reserve(crlf.size());
        for (std::size_t at = 0;;) {
            const std::size_t next = crlf.find("\r\n", at);
            text.append(crlf, at, next == std::string::npos ? std::string::npos : next - at);
            if (next == std::string::npos) break;
            text += end;
            at = next + 2;
        }
        test_support::WriteFile(store, text);
        state.counters["file_MB"] = static_cast<double>(text.size()) / (1 << 20);
    }
    FeedChannel channel;
    for (auto _ : state) {
        state.PauseTiming();
        channel.Clear();
        state.ResumeTiming();
        if (!LoadItemStore(store, channel) || channel.Count() != KeptOf(kItems)) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_LoadItemStoreLineEnds)
    ->ArgName("ends")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

// At least two seconds each, so that the larger runs repeat too.
// A document keeps at most kMaxFeedItems; the feed's own code is measured
// up to ten times that, where a quadratic step would show.
#define VELMORA_DOCUMENT_SIZES Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0)
#define VELMORA_FEED_SIZES VELMORA_DOCUMENT_SIZES->Arg(100000)
BENCHMARK(BM_PlainParse)->VELMORA_DOCUMENT_SIZES;
BENCHMARK(BM_LoadFeedDocument)->VELMORA_DOCUMENT_SIZES;
BENCHMARK(BM_LoadFeedDocumentReplacing)->VELMORA_DOCUMENT_SIZES;
BENCHMARK(BM_MergeReadMarks)->VELMORA_FEED_SIZES;
BENCHMARK(BM_MergeReadMarksWarm)->VELMORA_FEED_SIZES;
BENCHMARK(BM_SaveItemStore)->VELMORA_FEED_SIZES->UseRealTime();
BENCHMARK(BM_LoadItemStore)->VELMORA_FEED_SIZES;

}  // namespace
}  // namespace velmora
