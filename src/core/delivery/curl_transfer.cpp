#include "core/delivery/curl_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>

#include "core/platform/system_proxy.h"

namespace velmora {
namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsUrlSafe(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) return false;
    switch (c) {
        case '"':
        case '#':  // would end the query: the rest, token included, never reached the service
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
            return false;
        default:
            return true;
    }
}

// Receives one response as curl hands it over. Only the final response's
// headers are kept (a proxy's CONNECT answer or a 100 Continue come first).
struct Exchange {
    CURL* handle = nullptr;
    std::size_t cap = 0;
    std::stop_token stop;
    std::string headers;
    std::string body;
    long status = 0;
    bool tooLong = false;
    bool errorStatusSeen = false;  // the body of a non-2xx answer was cut off on purpose
};

long ParseStatus(std::string_view statusLine) {
    // "HTTP/1.1 404 Not Found", "HTTP/2 404"
    std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) return 0;
    long code = 0;
    int digits = 0;
    for (std::size_t i = space + 1; i < statusLine.size() && digits < 3; ++i, ++digits) {
        char c = statusLine[i];
        if (c < '0' || c > '9') return 0;
        code = code * 10 + (c - '0');
    }
    return digits == 3 ? code : 0;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        exchange->headers.clear();
        exchange->status = ParseStatus(line);
    }
    if (exchange->headers.size() + line.size() > exchange->cap) {
        exchange->tooLong = true;
        return 0;
    }
    exchange->headers.append(line);
    return line.size();
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    std::size_t length = size * count;
    if (exchange->status < 200 || exchange->status > 299) {
        // Only the header block of an error answer is wanted: stop reading here.
        exchange->errorStatusSeen = true;
        return 0;
    }
    if (exchange->body.empty()) {
        // A document announced over the cap is refused before any of it is kept;
        // otherwise one allocation instead of a series of regrowths.
        curl_off_t announced = -1;
        curl_easy_getinfo(exchange->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced > 0 && static_cast<std::size_t>(announced) > exchange->cap) {
            exchange->tooLong = true;
            return 0;
        }
        if (announced > 0) exchange->body.reserve(static_cast<std::size_t>(announced));
    }
    if (exchange->body.size() + length > exchange->cap) {
        exchange->tooLong = true;
        return 0;
    }
    exchange->body.append(data, length);
    return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Exchange*>(user)->stop.stop_requested() ? 1 : 0;
}

const char* StandardReason(long status) {
    switch (status) {
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "";
    }
}

TransferAnswer Failure(std::string why) {
    TransferAnswer answer;
    answer.kind = TransferAnswer::Kind::Failed;
    answer.failure = std::move(why);
    return answer;
}

// libcurl refuses a time-out over INT_MAX milliseconds and would then run without one.
long CurlSeconds(std::uint32_t seconds) {
    constexpr std::uint32_t kMax = static_cast<std::uint32_t>(INT_MAX / 1000);
    return static_cast<long>(std::min(seconds, kMax));
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

}  // namespace

CurlTransfer::CurlTransfer(TransferLimits limits) : limits_(limits) {
    InitCurlOnce();
}

TransferAnswer CurlTransfer::Get(const std::string& address, std::uint32_t timeoutSeconds,
                                 std::stop_token stop) {
    std::unique_ptr<CURL, CurlDeleter> handle(curl_easy_init());
    if (!handle) return Failure("libcurl could not start a transfer");
    CURL* h = handle.get();

    Exchange exchange;
    exchange.handle = h;
    exchange.cap = limits_.maxAnswerBytes;
    exchange.stop = stop;
    const std::string url = EncodeUrlBytes(address);

    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // A server value such as file:///… must not read local files.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // The system's own Internet settings choose the proxy, where the
    // platform keeps them apart from the environment.
    const std::optional<std::string> proxy = platform::SystemProxyFor(url);
    if (proxy) curl_easy_setopt(h, CURLOPT_PROXY, proxy->c_str());
    if (timeoutSeconds != 0) {
        // The configured time-out is the only limit: a slow but answering
        // server gets all of it. The connect limit must be set too, or
        // libcurl's own 300 s default would apply while connecting.
        curl_easy_setopt(h, CURLOPT_TIMEOUT, CurlSeconds(timeoutSeconds));
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, CurlSeconds(timeoutSeconds));
    } else {
        curl_easy_setopt(h, CURLOPT_TIMEOUT, CurlSeconds(limits_.overallSeconds));
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, CurlSeconds(limits_.connectSeconds));
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT,
                         static_cast<long>(limits_.lowSpeedBytesPerSecond));
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, CurlSeconds(limits_.lowSpeedSeconds));
    }
    // No CURLOPT_MAXFILESIZE: it refuses any answer announcing a long body,
    // a 302 or 404 included, and those are decided by their status alone.
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    // Says which limit ended the transfer ("Operation too slow. Less than 64 …").
    char detail[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail);

    const CURLcode code = curl_easy_perform(h);
    if (exchange.tooLong) {
        return Failure("answer longer than " + std::to_string(limits_.maxAnswerBytes) + " bytes");
    }
    const bool cutOnPurpose = code == CURLE_WRITE_ERROR && exchange.errorStatusSeen;
    if (code != CURLE_OK && !cutOnPurpose) {
        if (code == CURLE_ABORTED_BY_CALLBACK) return Failure("cancelled");
        return Failure(detail[0] != '\0' ? detail : curl_easy_strerror(code));
    }

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status == 0) status = exchange.status;

    TransferAnswer answer;
    answer.status = status;
    if (status >= 200 && status <= 299) {
        answer.kind = TransferAnswer::Kind::Body;
        answer.bytes = std::move(exchange.body);
    } else {
        answer.kind = TransferAnswer::Kind::HeaderBlock;
        answer.bytes = HeaderBlock(status, exchange.headers);
    }
    return answer;
}

std::string EncodeUrlBytes(std::string_view address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (char c : address) {
        auto byte = static_cast<unsigned char>(c);
        if (IsUrlSafe(byte)) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

std::string HeaderBlock(long status, std::string_view rawHeaders) {
    std::size_t lineEnd = rawHeaders.find('\n');
    std::string_view statusLine = rawHeaders.substr(0, lineEnd);
    std::string_view rest =
        lineEnd == std::string_view::npos ? std::string_view() : rawHeaders.substr(lineEnd + 1);
    while (!statusLine.empty() && (statusLine.back() == '\r' || statusLine.back() == ' ')) {
        statusLine.remove_suffix(1);
    }

    // The reason is what follows "HTTP/x <code> " on the wire, if anything.
    std::string_view reason;
    std::size_t first = statusLine.find(' ');
    if (first != std::string_view::npos) {
        std::size_t second = statusLine.find(' ', first + 1);
        if (second != std::string_view::npos) reason = statusLine.substr(second + 1);
    }

    char code[16];
    std::snprintf(code, sizeof code, "%03ld", status);
    std::string block = "HTTP/1.1 ";
    block += code;
    block += ' ';
    block += reason.empty() ? std::string_view(StandardReason(status)) : reason;
    block += "\r\n";
    block.append(rest);
    return block;
}

}  // namespace velmora
