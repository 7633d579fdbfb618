#include "core/popup/card_messages.h"

namespace velmora {
namespace {

// Longest header: tag, space, the digits of the limit, line feed.
constexpr std::size_t kHeaderLimit = 16;

}  // namespace

std::string EncodeCardMessage(char tag, std::string_view payload) {
    std::string message;
    message += tag;
    message += ' ';
    message += std::to_string(payload.size());
    message += '\n';
    message.append(payload);
    return message;
}

std::optional<CardMessage> CardMessageReader::Next() {
    if (broken_) return std::nullopt;
    const std::size_t end = buffer_.find('\n');
    if (end == std::string::npos) {
        if (buffer_.size() > kHeaderLimit) broken_ = true;
        return std::nullopt;
    }
    if (end < 3 || end > kHeaderLimit || buffer_[1] != ' ') {
        broken_ = true;
        return std::nullopt;
    }
    std::size_t length = 0;
    for (std::size_t i = 2; i < end; ++i) {
        const char c = buffer_[i];
        if (c < '0' || c > '9') {
            broken_ = true;
            return std::nullopt;
        }
        length = length * 10 + static_cast<std::size_t>(c - '0');
        if (length > kCardMessageLimit) {
            broken_ = true;
            return std::nullopt;
        }
    }
    if (buffer_.size() - end - 1 < length) return std::nullopt;
    CardMessage message{buffer_[0], buffer_.substr(end + 1, length)};
    buffer_.erase(0, end + 1 + length);
    return message;
}

}  // namespace velmora
