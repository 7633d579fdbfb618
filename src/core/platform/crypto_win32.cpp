#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <climits>

#include "core/platform/crypto.h"

namespace velmora::platform {

namespace {

// Opened once for the process and shared by every thread, as CNG allows.
BCRYPT_ALG_HANDLE Md5Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
            h = nullptr;
        return h;
    }();
    return provider;
}

}  // namespace

std::optional<Md5Digest> Md5(std::string_view bytes) {
    Md5Digest digest{};
    const BCRYPT_ALG_HANDLE provider = Md5Provider();
    if (!provider || bytes.size() > ULONG_MAX) return std::nullopt;
    const NTSTATUS status = BCryptHash(
        provider, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
        static_cast<ULONG>(bytes.size()), digest.data(), static_cast<ULONG>(digest.size()));
    if (!BCRYPT_SUCCESS(status)) return std::nullopt;
    return digest;
}

bool RandomBytes(unsigned char* out, std::size_t size) {
    return size <= ULONG_MAX &&
           BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, static_cast<ULONG>(size),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace velmora::platform
