#include "core/delivery/signing.h"

#include <initializer_list>

#include "core/platform/crypto.h"

namespace velmora {

namespace {

std::string Concat(std::initializer_list<std::string_view> parts) {
    std::string joined;
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    joined.reserve(size);
    for (std::string_view part : parts) joined += part;
    return joined;
}

}  // namespace

std::string DigestHex(std::string_view text) {
    // Only a crypto library configured without MD5 refuses; an empty token then
    // makes the service turn the request down instead of signing with garbage.
    const std::optional<platform::Md5Digest> digest = platform::Md5(text);
    if (!digest) return {};
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest->size());
    for (const unsigned char byte : *digest) {
        hex += kHexDigits[byte >> 4];
        hex += kHexDigits[byte & 0x0F];
    }
    return hex;
}

std::string PairToken(std::string_view a, std::string_view b) {
    return DigestHex(Concat({a, b}));
}

std::string TripleToken(std::string_view a, std::string_view b, std::string_view c) {
    return DigestHex(Concat({a, b, c}));
}

std::string ChainedToken(std::string_view a, std::string_view b, std::string_view c) {
    return PairToken(PairToken(a, b), c);
}

std::string ChannelToken(std::string_view clientId, std::string_view clientPassword,
                         std::string_view signingTime) {
    return ChainedToken(clientId, clientPassword, signingTime);
}

std::string LoginToken(std::string_view groupId, std::string_view groupPassword,
                       std::string_view signingTime) {
    return ChainedToken(groupId, groupPassword, signingTime);
}

std::string RegistrationToken(std::string_view deliveryNo, std::string_view deliveryPassword,
                              std::string_view company, std::string_view groupId,
                              std::string_view groupPassword, std::string_view signingTime) {
    return TripleToken(TripleToken(deliveryNo, deliveryPassword, company),
                       PairToken(groupId, groupPassword), signingTime);
}

std::string ClientPassword(std::string_view issuedId, std::string_view issuedKey,
                           std::string_view requestToken) {
    return ChainedToken(issuedId, issuedKey, requestToken);
}

}  // namespace velmora
