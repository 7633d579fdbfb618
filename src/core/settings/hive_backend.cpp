// The registry kept in hive files: HKEY_CURRENT_USER in the user's hive,
// HKEY_LOCAL_MACHINE in the machine-wide one. A key is a section named after
// its root and path.

#include <filesystem>

#include "core/settings/hive_file.h"
#include "core/settings/hive_storage.h"
#include "core/settings/registry_backend.h"
#include "core/text/cp932.h"

namespace velmora {
namespace {

// The registry's byte functions take C strings: a text ends at its first zero.
std::string CText(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

// Names and texts go to the file as UTF-8, on one line each.
bool FitsOnALine(const std::string& s) {
    return s.find_first_of("\r\n") == std::string::npos;
}

class HiveRegistryBackend final : public RegistryBackend {
  public:
    long Open(RootKey root, const std::string& subKey) override {
        std::string path = CText(subKey);
        if (!FitsOnALine(path)) return kRegInvalidParameter;
        root_ = root;
        key_ = root == RootKey::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
        if (!path.empty()) key_ += "\\" + text::Cp932ToUtf8(path);
        file_ = HivePath(root);
        if (file_.empty()) return kRegNotFound;

        std::string bytes;
        long status = ReadHiveFile(file_, bytes);
        if (status != kRegOk && status != kRegNotFound) return status;
        doc_ = HiveDocument::Parse(bytes);
        // The user's key comes into being with its first value. A missing
        // machine-wide key exists only for whoever could create it; for anyone
        // else it is absent and the callers' defaults apply.
        if (root == RootKey::LocalMachine && !doc_.HasKey(key_) && !CanReplaceFile(file_))
            return kRegNotFound;
        return kRegOk;
    }

    long QueryDword(const std::string& name, std::uint32_t& value) override {
        auto found = doc_.Find(key_, ValueName(name));
        if (!found || found->type != HiveValueType::Dword) return kRegNotFound;
        value = found->dword;
        return kRegOk;
    }

    long QueryString(const std::string& name, std::string& value) override {
        auto found = doc_.Find(key_, ValueName(name));
        if (!found || found->type != HiveValueType::String) return kRegNotFound;
        value = text::Utf8ToCp932(found->text);
        return kRegOk;
    }

    long SetDword(const std::string& name, std::uint32_t value) override {
        std::string utf8Name = ValueName(name);
        if (!FitsOnALine(utf8Name)) return kRegInvalidParameter;
        return Rewrite([&](HiveDocument& doc) { doc.SetDword(key_, utf8Name, value); });
    }

    long SetStrings(const std::vector<std::pair<std::string, std::string>>& values) override {
        std::vector<std::pair<std::string, std::string>> utf8;
        for (const auto& [name, text] : values) {
            utf8.emplace_back(ValueName(name), text::Cp932ToUtf8(CText(text)));
            if (!FitsOnALine(utf8.back().first) || !FitsOnALine(utf8.back().second))
                return kRegInvalidParameter;
        }
        return Rewrite([&](HiveDocument& doc) {
            for (const auto& [name, text] : utf8) doc.SetString(key_, name, text);
        });
    }

  private:
    static std::string ValueName(const std::string& name) { return text::Cp932ToUtf8(CText(name)); }

    // Applies `edit` to the file as it is now on disk and replaces the file. A
    // file that cannot be read is never replaced: what it holds would be lost.
    template <typename Edit>
    long Rewrite(Edit edit) {
        std::string bytes;
        long status = ReadHiveFile(file_, bytes);
        if (status != kRegOk && status != kRegNotFound) return status;
        HiveDocument doc = HiveDocument::Parse(bytes);
        edit(doc);
        // The user's hive holds the client password: for the user's eyes only.
        const bool user = root_ == RootKey::CurrentUser;
        status = ReplaceFileAtomically(file_, doc.Serialize(), user ? 0600 : 0644, user,
                                       user ? 0700 : 0755);
        if (status == kRegOk) doc_ = std::move(doc);
        return status;
    }

    RootKey root_ = RootKey::CurrentUser;
    std::string key_;
    std::filesystem::path file_;
    HiveDocument doc_;
};

}  // namespace

std::unique_ptr<RegistryBackend> MakeRegistryBackend() {
    return std::make_unique<HiveRegistryBackend>();
}

}  // namespace velmora
