#pragma once
// Settings storage with the semantics of the Windows registry: keys under two
// roots, named DWORD and string values, and the registry's status codes. On
// Linux the values live in hive files in the registry editor's text export
// (see hive_file.h).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

enum class RootKey { CurrentUser, LocalMachine };  // HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE

inline constexpr const char* kSettingsKey = "SOFTWARE\\VELMORA\\Client\\1.0";

// Status codes as the Windows registry returns them.
inline constexpr long kRegOk = 0, kRegNotFound = 2, kRegAccessDenied = 5, kRegMoreData = 234;

class RegistryBackend;

class CRegistryKey {
  public:
    CRegistryKey();
    virtual ~CRegistryKey();  // closes
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    long Open(RootKey root, const std::string& subKey);
    long Close();
    long SetDword(const std::string& name, std::uint32_t value);
    long SetString(const std::string& name, const std::string& value);  // CP932
    long QueryDword(const std::string& name, std::uint32_t& value);
    long QueryString(const std::string& name, std::string& value);  // CP932, at most 199 bytes

    static long ReadString(RootKey root, const std::string& subKey, const std::string& name,
                           std::string& out);
    static long ReadDword(RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t& out);
    // Per-user value first; when only the machine-wide one exists it is copied
    // into the per-user key. `inout` keeps the caller's default when neither exists.
    static long ReadUserOrMachineString(const std::string& subKey, const std::string& name,
                                        std::string& inout);
    static long ReadUserOrMachineDword(const std::string& subKey, const std::string& name,
                                       std::uint32_t& inout);
    static long WriteUserString(const std::string& subKey, const std::string& name,
                                const std::string& value);
    static long WriteDword(RootKey root, const std::string& subKey, const std::string& name,
                           std::uint32_t value);
    // Several per-user strings in one rewrite of the hive (ClientID with ClientPWD).
    static long WriteUserStrings(const std::string& subKey,
                                 const std::vector<std::pair<std::string, std::string>>& values);

  private:
    std::unique_ptr<RegistryBackend> backend_;
    RootKey root_ = RootKey::CurrentUser;  // of the open key, to name its file
};

// The longest text QueryString gives back: its 200-byte buffer holds the terminator too.
inline constexpr std::size_t kMaxStringValueBytes = 199;
// True when a text stored with SetString reads back unchanged: it fits and holds no zero byte.
bool StringReadsBackWhole(const std::string& text);

// Where the root's settings are kept, for messages (the hive file's path).
std::string SettingsLocation(RootKey root);
// True when the root's settings exist but cannot be used at all (damaged or
// unreadable): every value reads as absent. Said on stderr when first found.
bool SettingsUnusable(RootKey root);
// A status code in words, for messages ("permission denied").
std::string RegistryStatusText(long status);

// The two server lists: always exactly two entries, unreadable values are empty entries.
std::vector<std::string> ChannelServerList();  // server1, server2 (machine-wide)
std::vector<std::string> AccountServerList();  // server3, server4 (machine-wide)

}  // namespace velmora
