#include "core/delivery/feed_fetcher.h"

#include <cstdio>
#include <string_view>

#include "core/feed/feed_document.h"
#include "core/platform/files.h"
#include "core/platform/work_files.h"

namespace velmora {
namespace {

// Removes the work file when the fetch ends, however it ends.
class WorkFileGuard {
  public:
    explicit WorkFileGuard(std::filesystem::path path) : path_(std::move(path)) {}
    ~WorkFileGuard() { platform::RemoveWorkFile(path_); }
    WorkFileGuard(const WorkFileGuard&) = delete;
    WorkFileGuard& operator=(const WorkFileGuard&) = delete;

  private:
    std::filesystem::path path_;
};

}  // namespace

FeedFetcher::FeedFetcher(Transfer& transfer, ErrorState& errors, std::uint32_t timeoutSeconds)
    : transfer_(transfer), errors_(errors), timeoutSeconds_(timeoutSeconds) {}

FeedFetcher::~FeedFetcher() = default;

FetchResult FeedFetcher::FetchFeed(const std::string& address, FeedChannel& channel) {
    std::error_code error;
    std::filesystem::path workFile = platform::CreateWorkFile(error);
    if (workFile.empty()) {
        errors_.ReportError(kErrorWorkFile, error.value());
        return FetchResult::Failed;
    }
    WorkFileGuard guard(workFile);

    FetchResult result = DownloadToFile(address, workFile);
    if (result != FetchResult::Failed && result != FetchResult::Redirected) {
        if (LoadFeedDocument(workFile, channel) == DocumentLoad::Unreadable) {
            errors_.ReportError(kErrorServerNotFound, 0);
            result = FetchResult::Failed;
        }
    }
    return result;
}

FetchResult FeedFetcher::DownloadToFile(const std::string& address,
                                        const std::filesystem::path& workFile) {
    const TransferAnswer answer = transfer_.Get(address, timeoutSeconds_);
    if (answer.kind == TransferAnswer::Kind::Failed) {
        // The query holds the client id and its token: name the server only.
        const std::string server = address.substr(0, address.find('?'));
        std::fprintf(stderr, "velmora: %s: %s; attempt given up\n", server.c_str(),
                     answer.failure.empty() ? "no answer" : answer.failure.c_str());
    }
    const FetchResult result = ClassifyResponse(answer);
    if (result != FetchResult::Ok) return result;

    // The whole answer goes to the file, zero bytes included.
    if (const std::error_code error = platform::WriteWholeFile(workFile, answer.bytes)) {
        errors_.ReportError(kErrorWorkFile, error.value());
        return FetchResult::Failed;
    }
    return FetchResult::Ok;
}

FetchResult FeedFetcher::ClassifyResponse(const TransferAnswer& answer) {
    switch (answer.kind) {
        case TransferAnswer::Kind::Failed:
            errors_.ReportError(kErrorServerNotFound, 0);
            return FetchResult::Failed;
        case TransferAnswer::Kind::Body:
            // A 2xx body is the document even when its text mentions HTTP/1.1.
            if (answer.bytes.empty()) {
                errors_.ReportError(kErrorServerNotFound, 0);
                return FetchResult::Failed;
            }
            return FetchResult::Ok;
        case TransferAnswer::Kind::HeaderBlock:
            break;
    }

    // The text ends at the first zero byte; the status sits at characters 9..11.
    std::string_view text(answer.bytes);
    text = text.substr(0, text.find('\0'));
    std::string_view status;
    if (text.find("HTTP/1.1") != std::string_view::npos && text.size() > 9) {
        status = text.substr(9, 3);
    }
    if (status == "302") return FetchResult::Redirected;
    if (status == "401") {
        errors_.ReportError(kErrorUnauthorized, 401);
    } else if (status == "404") {
        errors_.ReportError(kErrorNotFound, 404);
    } else {
        errors_.ReportError(kErrorServerNotFound, 0);
    }
    return FetchResult::Failed;
}

}  // namespace velmora
