// Feed documents: whatever the bytes, the load ends with FetchResult::Ok or with
// FetchResult::Failed, error 58 and an empty channel, and the item list is sound.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/feed/feed_channel.h"
#include "core/feed/feed_document.h"
#include "support/temp_folder.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

const std::filesystem::path& WorkFile() {
    static const velmora::test_support::TempFolder folder(
        velmora::test_support::MemoryBackedTempBase());
    static const std::filesystem::path file = folder / "LUM0000.tmp";
    Check(!folder.path().empty());
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& file = WorkFile();
    std::FILE* out = std::fopen(file.c_str(), "wb");
    Check(out != nullptr);
    Check(std::fwrite(data, 1, size, out) == size);
    Check(std::fclose(out) == 0);

    velmora::FeedChannel channel;
    channel.SetIssuedId("kept");
    const velmora::DocumentLoad result = velmora::LoadFeedDocument(file, channel);
    std::filesystem::remove(file);

    Check(result == velmora::DocumentLoad::Loaded || result == velmora::DocumentLoad::Unreadable);
    if (result == velmora::DocumentLoad::Unreadable) {
        Check(channel.Count() == 0 && channel.First() == nullptr && channel.Title().empty());
    }
    std::int32_t walked = 0;
    const velmora::FeedItem* previous = nullptr;
    for (const velmora::FeedItem* item = channel.First(); item; item = item->Next()) {
        Check(item->Prev() == previous && item->read == 0);
        // Texts are single lines.
        Check(item->Headline().find_first_of("\r\n") == std::string::npos);
        previous = item;
        ++walked;
    }
    Check(walked == channel.Count() && channel.Last() == previous);
    return 0;
}
