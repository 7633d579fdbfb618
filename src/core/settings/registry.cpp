#include "core/settings/registry.h"

#include <cstdio>

#include "core/settings/hive_storage.h"
#include "core/settings/registry_backend.h"
#include "core/settings/settings.h"

namespace velmora {

CRegistryKey::CRegistryKey() = default;

CRegistryKey::~CRegistryKey() {
    Close();
}

long CRegistryKey::Open(RootKey root, const std::string& subKey) {
    Close();
    auto backend = MakeRegistryBackend();
    long status = backend->Open(root, subKey);
    if (status == kRegOk) {
        backend_ = std::move(backend);
        root_ = root;
    }
    return status;
}

long CRegistryKey::Close() {
    backend_.reset();
    return kRegOk;
}

long CRegistryKey::SetDword(const std::string& name, std::uint32_t value) {
    if (!backend_) return kRegInvalidHandle;
    return backend_->SetDword(name, value);
}

long CRegistryKey::SetString(const std::string& name, const std::string& value) {
    if (!backend_) return kRegInvalidHandle;
    return backend_->SetStrings({{name, value}});
}

long CRegistryKey::QueryDword(const std::string& name, std::uint32_t& value) {
    if (!backend_) return kRegInvalidHandle;
    std::uint32_t read = 0;
    long status = backend_->QueryDword(name, read);
    if (status == kRegOk) value = read;
    return status;
}

long CRegistryKey::QueryString(const std::string& name, std::string& value) {
    if (!backend_) return kRegInvalidHandle;
    std::string read;
    long status = backend_->QueryString(name, read);
    if (status != kRegOk) return status;
    // The text and its terminator must fit the 200-byte buffer: 199 bytes of text at most.
    if (read.size() + 1 > kRegStringBufferBytes) return kRegMoreData;
    // A C string ends at its first zero; what follows is lost, so say which value it is.
    if (const std::size_t zero = read.find('\0'); zero != std::string::npos) {
        const std::string what = "the value " + name + " holds a zero byte after " +
                                 std::to_string(zero) + " bytes; only those are read";
#ifdef _WIN32
        std::fprintf(stderr, "velmora: %s\n", what.c_str());
#else
        ReportHiveProblem(SettingsLocation(root_), what);
#endif
        read.resize(zero);
    }
    value = std::move(read);
    return kRegOk;
}

long CRegistryKey::ReadString(RootKey root, const std::string& subKey, const std::string& name,
                              std::string& out) {
    CRegistryKey key;
    long status = key.Open(root, subKey);
    return status != kRegOk ? status : key.QueryString(name, out);
}

long CRegistryKey::ReadDword(RootKey root, const std::string& subKey, const std::string& name,
                             std::uint32_t& out) {
    CRegistryKey key;
    long status = key.Open(root, subKey);
    return status != kRegOk ? status : key.QueryDword(name, out);
}

namespace {

// The per-user value, else the machine-wide one (or the caller's default)
// copied into the per-user key, so that later reads find it there.
template <typename T, typename Query, typename Store>
long ReadUserOrMachine(const std::string& subKey, T& inout, Query query, Store store) {
    {
        CRegistryKey user;
        if (user.Open(RootKey::CurrentUser, subKey) == kRegOk && query(user, inout) == kRegOk)
            return kRegOk;
    }
    {
        CRegistryKey machine;
        long status = machine.Open(RootKey::LocalMachine, subKey);
        if (status != kRegOk) return status;
        query(machine, inout);
    }
    CRegistryKey user;
    long status = user.Open(RootKey::CurrentUser, subKey);
    return status != kRegOk ? status : store(user, inout);
}

}  // namespace

long CRegistryKey::ReadUserOrMachineString(const std::string& subKey, const std::string& name,
                                           std::string& inout) {
    return ReadUserOrMachine(
        subKey, inout, [&](CRegistryKey& k, std::string& v) { return k.QueryString(name, v); },
        [&](CRegistryKey& k, const std::string& v) { return k.SetString(name, v); });
}

long CRegistryKey::ReadUserOrMachineDword(const std::string& subKey, const std::string& name,
                                          std::uint32_t& inout) {
    return ReadUserOrMachine(
        subKey, inout, [&](CRegistryKey& k, std::uint32_t& v) { return k.QueryDword(name, v); },
        [&](CRegistryKey& k, std::uint32_t v) { return k.SetDword(name, v); });
}

long CRegistryKey::WriteUserString(const std::string& subKey, const std::string& name,
                                   const std::string& value) {
    CRegistryKey key;
    long status = key.Open(RootKey::CurrentUser, subKey);
    return status != kRegOk ? status : key.SetString(name, value);
}

long CRegistryKey::WriteDword(RootKey root, const std::string& subKey, const std::string& name,
                              std::uint32_t value) {
    CRegistryKey key;
    long status = key.Open(root, subKey);
    return status != kRegOk ? status : key.SetDword(name, value);
}

long CRegistryKey::WriteUserStrings(
    const std::string& subKey, const std::vector<std::pair<std::string, std::string>>& values) {
    CRegistryKey key;
    long status = key.Open(RootKey::CurrentUser, subKey);
    return status != kRegOk ? status : key.backend_->SetStrings(values);
}

namespace {

// Always two entries; a value that cannot be read is an empty one.
std::vector<std::string> ServerList(const char* first, const char* second) {
    std::vector<std::string> list;
    for (const char* name : {first, second}) {
        std::string address;
        CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, name, address);
        list.push_back(address);
    }
    return list;
}

}  // namespace

static_assert(kMaxStringValueBytes + 1 == kRegStringBufferBytes);

bool StringReadsBackWhole(const std::string& text) {
    return text.size() <= kMaxStringValueBytes && text.find('\0') == std::string::npos;
}

bool SettingsUnusable(RootKey root) {
    long status = MakeRegistryBackend()->Open(root, kSettingsKey);
    return status != kRegOk && status != kRegNotFound;
}

std::string RegistryStatusText(long status) {
    switch (status) {
        case kRegOk:
            return "no error";
        case kRegNotFound:
            return "not found";
        case kRegAccessDenied:
            return "permission denied";
        case kRegDiskFull:
            return "the disk is full";
        case kRegCorrupt:
            return "the file is damaged";
        case kRegInvalidParameter:
            return "a name or text it cannot hold";
        default:
            return "input/output error " + std::to_string(status);
    }
}

std::vector<std::string> ChannelServerList() {
    return ServerList(settings::kServer1, settings::kServer2);
}

std::vector<std::string> AccountServerList() {
    return ServerList(settings::kServer3, settings::kServer4);
}

}  // namespace velmora
