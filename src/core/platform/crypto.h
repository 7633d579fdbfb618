#pragma once
// The two things the core asks of a crypto library: an MD5 digest (RFC 1321)
// and random bytes. OpenSSL on Linux, the Windows CNG on Windows.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace velmora::platform {

using Md5Digest = std::array<unsigned char, 16>;

// The digest of `bytes`; none only when the library refuses MD5.
std::optional<Md5Digest> Md5(std::string_view bytes);

// Fills `out` from the system's random source; false when it cannot.
bool RandomBytes(unsigned char* out, std::size_t size);

}  // namespace velmora::platform
