#include "core/delivery/feed_fetcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

#include "core/feed/feed_document.h"
#include "core/platform/files.h"
#include "core/platform/xdg_folders.h"

namespace velmora {
namespace {

// Removes the work file when the fetch ends, however it ends.
class WorkFileGuard {
  public:
    explicit WorkFileGuard(std::filesystem::path path) : path_(std::move(path)) {}
    ~WorkFileGuard() { ::unlink(path_.c_str()); }
    WorkFileGuard(const WorkFileGuard&) = delete;
    WorkFileGuard& operator=(const WorkFileGuard&) = delete;

  private:
    std::filesystem::path path_;
};

}  // namespace

std::filesystem::path CreateWorkFile(int& error) {
    thread_local std::mt19937 random{std::random_device{}()};
    const std::filesystem::path folder = platform::TempFolder();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "LUM%08X.tmp", static_cast<unsigned>(random()));
        std::filesystem::path path = folder / name;
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            error = 0;
            return path;
        }
        if (errno != EEXIST) {
            error = errno;
            return {};
        }
    }
    error = EEXIST;
    return {};
}

FeedFetcher::FeedFetcher(Transfer& transfer, ErrorState& errors, std::uint32_t timeoutSeconds)
    : transfer_(transfer), errors_(errors), timeoutSeconds_(timeoutSeconds) {}

FeedFetcher::~FeedFetcher() = default;

FetchResult FeedFetcher::FetchFeed(const std::string& address, FeedChannel& channel) {
    int error = 0;
    std::filesystem::path workFile = CreateWorkFile(error);
    if (workFile.empty()) {
        errors_.ReportError(kErrorWorkFile, error);
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
    if (int error = platform::WriteWholeFile(workFile, answer.bytes); error != 0) {
        errors_.ReportError(kErrorWorkFile, error);
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
