#pragma once
// The storage under CRegistryKey: one open key of one root. The hive-file
// backend is used everywhere; a Windows build can put the real registry here.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/settings/registry.h"

namespace velmora {

// Further status codes, with the numbers the Windows registry uses for them.
inline constexpr long kRegInvalidHandle = 6;      // operation on a key that is not open
inline constexpr long kRegInvalidParameter = 87;  // a name or text the store cannot hold
inline constexpr long kRegDiskFull = 112;
inline constexpr long kRegCorrupt = 1015;   // the store exists but is not understood
inline constexpr long kRegIoFailed = 1016;  // any other failure to read or write the store

// Size of the buffer a string is read into: a value of this many bytes or
// more, its terminating zero included, cannot be read.
inline constexpr std::size_t kRegStringBufferBytes = 200;

class RegistryBackend {
  public:
    virtual ~RegistryBackend() = default;

    // Opens the key for reading; writing needs no more than the right to write
    // the store, checked when a write happens.
    virtual long Open(RootKey root, const std::string& subKey) = 0;
    // Whole values in CP932; the buffer limit is applied by CRegistryKey.
    // Wrong-typed values are absent (kRegNotFound).
    virtual long QueryDword(const std::string& name, std::uint32_t& value) = 0;
    virtual long QueryString(const std::string& name, std::string& value) = 0;
    virtual long SetDword(const std::string& name, std::uint32_t value) = 0;
    // All the strings, or none of them, in one write of the store.
    virtual long SetStrings(const std::vector<std::pair<std::string, std::string>>& values) = 0;
};

// The backend of this platform.
std::unique_ptr<RegistryBackend> MakeRegistryBackend();

}  // namespace velmora
