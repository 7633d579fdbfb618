#include "feed/item_store.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "feed/profile_file.h"

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

}  // namespace

bool LoadItemStore(const std::filesystem::path& file, FeedChannel& channel) {
    const std::optional<ProfileFile> profile = ProfileFile::Load(file);
    if (!profile) return false;
    const std::string_view section = kItemStoreSection;
    const auto get = [&](std::string_view key, std::string_view fallback = {}) {
        return profile->Find(section, key).value_or(fallback);
    };

    channel.SetTitle(get("Title"));
    channel.SetLink(get("URL"));
    channel.SetDate(get("DateStr"));

    // The list ends at the first absent "Title" + n; an empty headline is an
    // item like any other (a feed may omit it).
    FeedItem scratch(channel.colors());
    NumberedKey key;
    for (std::int32_t n = 1; n < std::numeric_limits<std::int32_t>::max(); ++n) {
        const std::optional<std::string_view> headline = profile->Find(section, key("Title", n));
        if (!headline) break;
        scratch.SetHeadline(*headline);
        scratch.SetLink(get(key("URL", n)));
        scratch.SetDetail(get(key("Description", n)));
        scratch.SetDate(get(key("DateStr", n)));
        const bool read = ToNumber(get(key("Readed", n), "0")) != 0;
        scratch.textColor = static_cast<std::uint32_t>(ToNumber(get(key("TextColor", n), "0")));
        scratch.readTextColor =
            static_cast<std::uint32_t>(ToNumber(get(key("ReadTextColor", n), "0")));
        scratch.SetImage(get(key("IMAGE", n)));
        channel.AppendCopy(scratch)->read = read ? 1 : 0;
    }
    return true;
}

bool SaveItemStore(const std::filesystem::path& file, const FeedChannel& channel) {
    // An existing file that cannot be read must not be replaced by our section alone.
    std::optional<ProfileFile> profile = ProfileFile::Load(file);
    if (!profile) return false;

    std::size_t bytes = channel.title().size() + channel.link().size() + channel.dateText().size();
    for (const FeedItem* item = channel.first(); item; item = item->next()) {
        bytes += 150 + item->headline().size() + item->link().size() + item->detail().size() +
                 item->dateText().size() + item->image().size();
    }
    ProfileSectionText section(kItemStoreSection, bytes + 64);
    section.Add("Title", channel.title());
    section.Add("URL", channel.link());
    section.Add("DateStr", channel.dateText());
    NumberedKey key;
    char color[16];
    std::int32_t n = 0;
    for (const FeedItem* item = channel.first(); item; item = item->next()) {
        ++n;
        section.Add(key("Title", n), item->headline());
        section.Add(key("URL", n), item->link());
        section.Add(key("Description", n), item->detail());
        section.Add(key("DateStr", n), item->dateText());
        section.Add(key("Readed", n), item->read ? "1" : "0");
        section.Add(key("TextColor", n), ColorText(item->textColor, color));
        section.Add(key("ReadTextColor", n), ColorText(item->readTextColor, color));
        section.Add(key("IMAGE", n), item->image());
    }
    profile->DeleteSection(kItemStoreSection);
    profile->AppendSection(std::move(section));
    return profile->Save(file);
}

}  // namespace velmora
