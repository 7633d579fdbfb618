// Profile files and the item store: parsing keeps every byte; a value that is
// set reads back as written; a loaded store saved and loaded again gives the
// same feed.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/feed/feed_channel.h"
#include "core/feed/feed_document.h"
#include "core/feed/feed_item.h"
#include "core/feed/item_store.h"
#include "core/feed/profile_file.h"
#include "core/text/cp932.h"
#include "support/temp_folder.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

const std::filesystem::path& Folder() {
    static const velmora::test_support::TempFolder folder(
        velmora::test_support::MemoryBackedTempBase());
    Check(!folder.path().empty());
    return folder.path();
}

void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    Check(out != nullptr);
    Check(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
    Check(std::fclose(out) == 0);
}

// Every CR, LF or CRLF as one space, whatever byte comes before it: the
// writer never lets a line break into a value.
std::string FoldEveryBreak(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
        out += s[i] == '\r' || s[i] == '\n' ? ' ' : s[i];
    }
    return out;
}

bool SameFeed(const velmora::FeedChannel& a, const velmora::FeedChannel& b) {
    if (a.Title() != b.Title() || a.Link() != b.Link() || a.DateText() != b.DateText() ||
        a.Count() != b.Count()) {
        return false;
    }
    for (const velmora::FeedItem *x = a.First(), *y = b.First(); x; x = x->Next(), y = y->Next()) {
        if (x->Headline() != y->Headline() || x->Link() != y->Link() ||
            x->Detail() != y->Detail() || x->DateText() != y->DateText() ||
            x->Image() != y->Image() || x->read != y->read || x->textColor != y->textColor ||
            x->readTextColor != y->readTextColor) {
            return false;
        }
    }
    return true;
}

// The store reads in one pass what looking up each of its keys in turn reads.
bool MatchesKeyLookups(const velmora::ProfileFile& profile, const velmora::FeedChannel& loaded) {
    const std::string_view section = velmora::kItemStoreSection;
    const auto get = [&](const std::string& key) {
        return std::string(profile.Find(section, key).value_or(""));
    };
    if (loaded.Title() != get("Title") || loaded.DateText() != get("DateStr") ||
        loaded.Link() != velmora::UnescapeAmpersand(get("URL"))) {
        return false;
    }
    const velmora::FeedItem* item = loaded.First();
    // Like a fetched feed, the store keeps at most kMaxFeedItems.
    for (int n = 1; n <= static_cast<int>(velmora::kMaxFeedItems) &&
                    profile.Find(section, "Title" + std::to_string(n));
         ++n, item = item->Next()) {
        const std::string number = std::to_string(n);
        if (!item || item->Headline() != get("Title" + number) ||
            item->Detail() != get("Description" + number) ||
            item->DateText() != get("DateStr" + number) ||
            item->Link() != velmora::UnescapeAmpersand(get("URL" + number)) ||
            item->Image() != velmora::UnescapeAmpersand(get("IMAGE" + number))) {
            return false;
        }
    }
    return item == nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(1100);
    const std::string text = input.ConsumeRemainingBytesAsString();

    // The reader keeps the file as it was.
    velmora::ProfileFile profile = velmora::ProfileFile::Parse(text);
    Check(profile.Text() == text);
    if (const auto found = profile.Find(section, key)) Check(found->size() <= 1023);

    // A value that is set reads back as written (one line, at most 1023 bytes),
    // unless the key name cannot be written as one.
    const bool writableKey = !key.empty() && key.find_first_of("=[\r\n") == std::string::npos &&
                             key.find_first_not_of(" \t") != std::string::npos;
    const bool writableSection = section.find_first_of("[]\r\n") == std::string::npos &&
                                 section.find_first_not_of(" \t") != std::string::npos;
    if (writableKey && writableSection) {
        profile.Set(section, key, value);
        const velmora::ProfileFile reread = velmora::ProfileFile::Parse(profile.Text());
        const std::string expected = velmora::text::CutToBytes(FoldEveryBreak(value), 1023);
        Check(reread.Get(section, key) == expected);
        Check(profile.Get(section, key) == expected);
        profile.DeleteSection(section);
        Check(!profile.Find(section, key));
    }

    // The item store: load, save, load again gives the same feed.
    const std::filesystem::path first = Folder() / "first.dat";
    const std::filesystem::path second = Folder() / "second.dat";
    WriteFile(first, text);
    velmora::FeedChannel loaded;
    Check(velmora::LoadItemStore(first, loaded));
    Check(MatchesKeyLookups(velmora::ProfileFile::Parse(text), loaded));
    Check(velmora::SaveItemStore(second, loaded));
    velmora::FeedChannel reloaded;
    Check(velmora::LoadItemStore(second, reloaded));
    Check(SameFeed(loaded, reloaded));
    // Saving over the original keeps what is not the feed.
    Check(velmora::SaveItemStore(first, loaded));
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    return 0;
}
