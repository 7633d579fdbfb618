#pragma once
// Request tokens: MD5 digests as lowercase hex text, chained over plain
// concatenations of settings, typed values, service values and the request time.
// All texts are CP932 bytes and are digested exactly as they are.

#include <string>
#include <string_view>

#include "core/delivery/clock.h"

namespace velmora {

// MD5 of the bytes as 32 lowercase hex digits. Any length is digested whole.
std::string DigestHex(std::string_view text);

// DigestHex(a + b); no separator between the parts.
std::string PairToken(std::string_view a, std::string_view b);
// DigestHex(a + b + c).
std::string TripleToken(std::string_view a, std::string_view b, std::string_view c);
// DigestHex(DigestHex(a + b) + c): the inner digest enters as its hex text.
std::string ChainedToken(std::string_view a, std::string_view b, std::string_view c);

// `signingTime` is RequestTime::signingTime of the request being built.
std::string ChannelToken(std::string_view clientId, std::string_view clientPassword,
                         std::string_view signingTime);
std::string LoginToken(std::string_view groupId, std::string_view groupPassword,
                       std::string_view signingTime);
std::string RegistrationToken(std::string_view deliveryNo, std::string_view deliveryPassword,
                              std::string_view company, std::string_view groupId,
                              std::string_view groupPassword, std::string_view signingTime);

// The new ClientPWD from the service's answer (`issuedId`, `issuedKey`) and the
// login or registration token that was sent in the request it answers.
std::string ClientPassword(std::string_view issuedId, std::string_view issuedKey,
                           std::string_view requestToken);

}  // namespace velmora
