#pragma once
// One attempt to fetch a request address into a FeedChannel: work file,
// transfer, classification of the answer, document loading. Every failure is
// reported once through the ErrorState and gives FetchResult::Failed.

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/delivery/error_table.h"
#include "core/delivery/fetch_result.h"
#include "core/delivery/transfer.h"
#include "core/feed/feed_channel.h"

namespace velmora {

class FeedFetcher {
  public:
    // `transfer` and `errors` must outlive the fetcher. `timeoutSeconds` is
    // the `timeout` setting, handed to every transfer (see Transfer::Get).
    FeedFetcher(Transfer& transfer, ErrorState& errors, std::uint32_t timeoutSeconds);
    virtual ~FeedFetcher();

    // `channel` receives the document; the work file is gone afterwards
    // whatever happened.
    FetchResult FetchFeed(const std::string& address, FeedChannel& channel);

    // Writes the answer to `workFile` when it is a document.
    FetchResult DownloadToFile(const std::string& address, const std::filesystem::path& workFile);

    // Document (FetchResult::Ok), redirect (FetchResult::Redirected, nothing reported) or a
    // reported failure: transport failure or empty body 58; header block
    // status "401" 401, "404" 404, "302" redirect, anything else 58. A 2xx body
    // is a document whatever it says; only header blocks have a status line,
    // read at characters 9..11 of the text before the first zero byte.
    FetchResult ClassifyResponse(const TransferAnswer& answer);

  private:
    Transfer& transfer_;
    ErrorState& errors_;
    std::uint32_t timeoutSeconds_;
};

}  // namespace velmora
