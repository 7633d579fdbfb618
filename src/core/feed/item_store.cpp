#include "core/feed/item_store.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "core/feed/feed_document.h"
#include "core/feed/profile_file.h"
#include "core/platform/files.h"

namespace velmora {

namespace {

// Decimal conversion that stops at the first non-digit, as the stored numbers
// were always read; out-of-range values saturate.
std::int32_t ToNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    std::int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) break;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

// "Title" + n and its kin, built without allocating.
class NumberedKey {
  public:
    std::string_view operator()(std::string_view word, std::int32_t n) {
        std::memcpy(buffer_, word.data(), word.size());
        const auto end = std::to_chars(buffer_ + word.size(), buffer_ + sizeof buffer_, n).ptr;
        return std::string_view(buffer_, static_cast<std::size_t>(end - buffer_));
    }

  private:
    char buffer_[32];
};

std::string_view ColorText(std::uint32_t color, char (&buffer)[16]) {
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int32_t>(color)).ptr;
    return std::string_view(buffer, static_cast<std::size_t>(end - buffer));
}

// The keys kept per item, as "Title" + n and so on.
enum ItemKey : std::uint8_t {
    kTitle,
    kUrl,
    kDescription,
    kDateStr,
    kReaded,
    kTextColor,
    kReadTextColor,
    kImage,
    kItemKeyCount,
};
constexpr std::string_view kItemKeyNames[kItemKeyCount] = {
    "Title", "URL", "Description", "DateStr", "Readed", "TextColor", "ReadTextColor", "IMAGE"};

// The first value of each key of one item number.
struct StoredItem {
    std::string_view values[kItemKeyCount];
    std::uint16_t present = 0;  // one bit per key

    std::optional<std::string_view> Get(ItemKey key) const {
        if (!(present & (1u << key))) return std::nullopt;
        return values[key];
    }
    void SetFirst(ItemKey key, std::string_view value) {
        if (present & (1u << key)) return;  // the first of two equal keys wins
        present = static_cast<std::uint16_t>(present | (1u << key));
        values[key] = value;
    }
};

// The stored texts of the channel itself and of one item, in file order.
template <typename Fn>
void ForEachChannelValue(const FeedChannel& channel, Fn&& fn) {
    fn(kTitle, channel.Title());
    fn(kUrl, channel.Link());
    fn(kDateStr, channel.DateText());
}

template <typename Fn>
void ForEachItemValue(const FeedItem& item, Fn&& fn) {
    char color[16];
    fn(kTitle, item.Headline());
    fn(kUrl, item.Link());
    fn(kDescription, item.Detail());
    fn(kDateStr, item.DateText());
    fn(kReaded, std::string_view(item.read ? "1" : "0"));
    fn(kTextColor, ColorText(item.textColor, color));
    fn(kReadTextColor, ColorText(item.readTextColor, color));
    fn(kImage, item.Image());
}

std::optional<ItemKey> ItemKeyNamed(std::string_view name) {
    for (std::uint8_t k = 0; k < kItemKeyCount; ++k) {
        if (SameProfileName(name, kItemKeyNames[k])) return static_cast<ItemKey>(k);
    }
    return std::nullopt;
}

// Splits a key into its name and the number a lookup of name + n would
// spell: decimal, no sign, no leading zero, from 1 below the int32 limit.
// `n` is 0 for a key without digits; nullopt when the digits are no such number.
std::optional<std::pair<std::string_view, std::int32_t>> SplitNumberedKey(std::string_view key) {
    std::size_t digits = key.size();
    while (digits > 0 && key[digits - 1] >= '0' && key[digits - 1] <= '9') --digits;
    const std::string_view name = key.substr(0, digits), number = key.substr(digits);
    if (number.empty()) return std::pair{name, 0};
    if (number.front() == '0' || number.size() > 10) return std::nullopt;
    std::int64_t n = 0;
    for (char c : number) n = n * 10 + (c - '0');
    if (n >= std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return std::pair{name, static_cast<std::int32_t>(n)};
}

}  // namespace

bool LoadItemStore(const std::filesystem::path& file, FeedChannel& channel) {
    int number = 0;
    const std::optional<ProfileFile> profile = ProfileFile::Load(file, &number, kMaxItemStoreBytes);
    if (!profile) {
        if (number == EFBIG) {
            std::fprintf(stderr,
                         "velmora: %s: the news store is larger than %zu MiB; not read, and set "
                         "aside at the next save\n",
                         platform::PathText(file).c_str(), kMaxItemStoreBytes >> 20);
        }
        return false;
    }
    const std::string_view section = kItemStoreSection;

    // One pass over the section in file order, keeping the first value of
    // each key, instead of a lookup per key. The item numbers that can count
    // are bounded by the number of "Title" + n lines (the list ends at the
    // first absent one), which bounds the table, whatever numbers a damaged
    // file holds.
    std::size_t titles = 0;
    profile->ForEachKey(section, [&](std::string_view key, std::string_view) {
        const auto split = SplitNumberedKey(key);
        if (split && split->second > 0 && SameProfileName(split->first, kItemKeyNames[kTitle]))
            ++titles;
    });
    std::vector<StoredItem> items;
    StoredItem head;  // the channel's own "Title", "URL" and "DateStr"
    profile->ForEachKey(section, [&](std::string_view key, std::string_view value) {
        const auto split = SplitNumberedKey(key);
        if (!split) return;
        const auto [name, n] = *split;
        const std::optional<ItemKey> which = ItemKeyNamed(name);
        if (!which) return;
        if (n == 0) {
            head.SetFirst(*which, value);
        } else if (static_cast<std::size_t>(n) <= titles) {
            if (static_cast<std::size_t>(n) > items.size())
                items.resize(static_cast<std::size_t>(n));
            items[static_cast<std::size_t>(n) - 1].SetFirst(*which, value);
        }
    });

    channel.SetTitle(head.Get(kTitle).value_or(""));
    channel.SetLink(head.Get(kUrl).value_or(""));
    channel.SetDate(head.Get(kDateStr).value_or(""));

    // The list ends at the first absent "Title" + n; an empty headline is an
    // item like any other (a feed may omit it).
    std::size_t kept = 0;
    while (kept < items.size() && items[kept].Get(kTitle)) ++kept;
    if (kept > kMaxFeedItems) {
        std::fprintf(stderr, "velmora: %s: the news store has %zu items; kept the first %zu\n",
                     platform::PathText(file).c_str(), kept, kMaxFeedItems);
        kept = kMaxFeedItems;
    }

    FeedItem scratch(channel.Colors());
    for (std::size_t i = 0; i < kept; ++i) {
        const StoredItem& stored = items[i];
        const std::string_view headline = *stored.Get(kTitle);
        const auto get = [&](ItemKey key, std::string_view fallback = {}) {
            return stored.Get(key).value_or(fallback);
        };
        scratch.SetHeadline(headline);
        scratch.SetLink(get(kUrl));
        scratch.SetDetail(get(kDescription));
        scratch.SetDate(get(kDateStr));
        const bool read = ToNumber(get(kReaded, "0")) != 0;
        scratch.textColor = static_cast<std::uint32_t>(ToNumber(get(kTextColor, "0")));
        scratch.readTextColor = static_cast<std::uint32_t>(ToNumber(get(kReadTextColor, "0")));
        scratch.SetImage(get(kImage));
        channel.AppendCopy(scratch)->read = read ? 1 : 0;
    }
    return true;
}

std::uint64_t ItemStoreDigest(const FeedChannel& channel) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    const auto mix = [&h](std::string_view bytes) {
        for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        // The length ends each text, so that moving bytes between texts shows.
        for (std::size_t n = bytes.size() + 1; n; n >>= 8) h = (h ^ (n & 0xFF)) * 0x100000001b3ull;
    };
    const auto mixValue = [&mix](ItemKey, std::string_view text) { mix(text); };
    ForEachChannelValue(channel, mixValue);
    for (const FeedItem* item = channel.First(); item; item = item->Next())
        ForEachItemValue(*item, mixValue);
    return h;
}

bool SaveItemStore(const std::filesystem::path& file, const FeedChannel& channel,
                   StoreError* error) {
    int number = 0;
    // An existing file that cannot be read must not be replaced by our section alone.
    std::optional<ProfileFile> profile = ProfileFile::Load(file, &number, kMaxItemStoreBytes);
    if (!profile && number == EFBIG) {
        // Too large to read, so too large to keep other sections of: moved out
        // of the way whole, the store starts afresh.
        std::filesystem::path aside = file;
        aside += ".too-large";
        std::error_code ec;
        std::filesystem::rename(file, aside, ec);
        if (ec) {
            if (error)
                *error = {ec.value(), "it is too large to read and cannot be set aside (" +
                                          ec.message() + "), so it is kept"};
            return false;
        }
        std::fprintf(stderr,
                     "velmora: %s: the news store is larger than %zu MiB; kept as %s and "
                     "started afresh\n",
                     platform::PathText(file).c_str(), kMaxItemStoreBytes >> 20,
                     platform::PathText(aside).c_str());
        profile.emplace();
    }
    if (!profile) {
        if (error) {
            *error = {number, "the existing file cannot be read (" +
                                  std::string(std::strerror(number)) + "), so it is kept"};
        }
        return false;
    }

    std::size_t bytes = channel.Title().size() + channel.Link().size() + channel.DateText().size();
    for (const FeedItem* item = channel.First(); item; item = item->Next()) {
        bytes += 150 + item->Headline().size() + item->Link().size() + item->Detail().size() +
                 item->DateText().size() + item->Image().size();
    }
    ProfileSectionText section(kItemStoreSection, bytes + 64);
    ForEachChannelValue(
        channel, [&](ItemKey k, std::string_view text) { section.Add(kItemKeyNames[k], text); });
    NumberedKey key;
    std::int32_t n = 0;
    for (const FeedItem* item = channel.First(); item; item = item->Next()) {
        ++n;
        ForEachItemValue(*item, [&](ItemKey k, std::string_view text) {
            section.Add(key(kItemKeyNames[k], n), text);
        });
    }
    profile->DeleteSection(kItemStoreSection);
    profile->AppendSection(std::move(section));
    if (profile->Save(file, &number)) return true;
    if (error) *error = {number, std::strerror(number)};
    return false;
}

bool ItemStoreGone(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::status(file, ec).type() == std::filesystem::file_type::not_found;
}

}  // namespace velmora
