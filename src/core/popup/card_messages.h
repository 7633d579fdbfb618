#pragma once
// Messages between the popup and its card process over a pipe: a tag byte,
// a space, the payload length in decimal, a line feed, then the payload
// bytes. Qt-free.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// From the popup to the card process.
inline constexpr char kCardNavigate = 'N';  // payload: address
inline constexpr char kCardWrite = 'W';     // payload: the page, CP932
inline constexpr char kCardSnapshot = 'S';  // no payload: asks for a picture of the cards
// From the card process to the popup.
inline constexpr char kCardWindow = 'H';      // payload: its window's id, to be taken in
inline constexpr char kCardReadyState = 'R';  // payload: "3" loading, "4" complete
inline constexpr char kCardLoaded = 'P';   // payload: "1" a written page is painted, "0" it failed
inline constexpr char kCardPicture = 'I';  // payload: PNG of the cards as painted (empty: none)
inline constexpr char kCardLink = 'L';     // payload: address of a link to open (UTF-8)

// A page is small; anything near this size means the stream is broken.
inline constexpr std::size_t kCardMessageLimit = 64u << 20;

struct CardMessage {
    char tag = 0;
    std::string payload;
};

std::string EncodeCardMessage(char tag, std::string_view payload);

// Collects bytes as they arrive and hands out whole messages.
class CardMessageReader {
  public:
    void Append(std::string_view bytes) { buffer_.append(bytes); }
    // The next whole message, or nothing while it is incomplete or the stream is broken.
    std::optional<CardMessage> Next();
    // A header that is not "<tag> <length>\n" or a length over the limit.
    bool Broken() const { return broken_; }

  private:
    std::string buffer_;
    bool broken_ = false;
};

}  // namespace velmora
