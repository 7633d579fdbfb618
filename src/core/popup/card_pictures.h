#pragma once
// The pictures of natively drawn cards: each shown card's picture fetched off
// the calling thread, decoded there by the desktop, and kept per address for
// the popup's life in a small cache. Only web addresses the cards accept are
// fetched; a failure keeps the placeholder and is told once per address.
// Qt-free.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/delivery/curl_transfer.h"
#include "core/delivery/transfer.h"

namespace velmora {

// A picture as the desktop decoded it, at its natural size.
class CardPicture {
  public:
    virtual ~CardPicture() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

// Pictures larger than this are not shown.
inline constexpr std::size_t kMaxPictureBytes = 1024u * 1024u;

// Limits for a picture's transfer: the feed's contract, with the picture's cap.
TransferLimits PictureTransferLimits();

class CardPictures {
  public:
    // Runs on the fetching thread. Null, with `why`, for bytes that are no picture.
    using Decode =
        std::function<std::shared_ptr<const CardPicture>(std::string_view bytes, std::string& why)>;
    // Runs on the fetching thread whenever TakeAnswers has something new.
    using Ready = std::function<void()>;

    struct Failure {
        std::string address;  // CP932, as the card record carries it
        std::string why;
    };
    struct Taken {
        bool shownChanged = false;      // a shown card has its picture now
        std::vector<Failure> failures;  // each address once for the popup's life
    };

    static constexpr std::size_t kCachedPictures = 8;

    CardPictures(Transfer& transfer, Decode decode, Ready ready);
    // Stops a running transfer and waits for the fetching thread.
    ~CardPictures();
    CardPictures(const CardPictures&) = delete;
    CardPictures& operator=(const CardPictures&) = delete;

    // The pictures of the cards now shown, in order: fetched unless cached or
    // on their way; fetches waiting for pictures no longer shown are dropped.
    void Show(const std::vector<std::string>& cp932Addresses);
    // Takes the finished fetches into the cache. An answer for a picture no
    // longer shown is dropped.
    Taken TakeAnswers();
    // The cached picture of `cp932Address`; null while there is none.
    const CardPicture* Picture(const std::string& cp932Address) const;

  private:
    struct Answer {
        std::string address;
        std::shared_ptr<const CardPicture> picture;
        std::string why;
    };
    struct Cached {
        std::shared_ptr<const CardPicture> picture;  // null: the address failed
        std::uint64_t used = 0;
    };
    void Run();
    Answer Fetch(const std::string& address, std::stop_token stop);
    void Keep(Answer answer);

    Transfer& transfer_;
    Decode decode_;
    Ready ready_;
    // Touched by the calling thread only.
    std::vector<std::string> shown_;
    std::map<std::string, Cached> cache_;
    std::set<std::string> told_;
    std::uint64_t uses_ = 0;
    // Shared with the fetching thread, guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::deque<std::string> queue_;
    std::set<std::string> underway_;  // queued or being fetched
    std::vector<Answer> answers_;
    bool ending_ = false;
    std::stop_source stop_;
    std::thread worker_;
};

}  // namespace velmora
