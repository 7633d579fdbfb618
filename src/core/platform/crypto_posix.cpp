#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include "core/platform/crypto.h"

namespace velmora::platform {

std::optional<Md5Digest> Md5(std::string_view bytes) {
    Md5Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size())
        return std::nullopt;
    return digest;
}

bool RandomBytes(unsigned char* out, std::size_t size) {
    return size <= INT_MAX && RAND_bytes(out, static_cast<int>(size)) == 1;
}

}  // namespace velmora::platform
