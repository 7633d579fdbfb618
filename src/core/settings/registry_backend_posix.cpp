// The registry kept in hive files: HKEY_CURRENT_USER in the user's hive,
// HKEY_LOCAL_MACHINE in the machine-wide one. A key is a section named after
// its root and path.

#include <filesystem>
#include <utility>

#include "core/platform/files.h"
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

constexpr const char* kLeftAsItIs = "; its settings are read as absent and it is left untouched";

// The hive on disk, or an empty one when there is none. A file that exists but
// cannot be used is said on stderr and gives the status of its failure: it is
// read as absent and never replaced, since what it holds would be lost.
long LoadHive(const std::filesystem::path& file, HiveDocument& doc) {
    std::string bytes, why;
    long status = ReadHiveFile(file, bytes, &why);
    if (status == kRegNotFound) {
        doc = HiveDocument();
        return kRegOk;
    }
    if (status != kRegOk) {
        ReportHiveProblem(file, why + kLeftAsItIs);
        return status;
    }
    HiveDocument parsed = HiveDocument::FromBytes(std::move(bytes));
    if (!parsed.Fault().empty()) {
        ReportHiveProblem(file, parsed.Fault() + kLeftAsItIs);
        return kRegCorrupt;
    }
    if (parsed.BadLines() > 0) {
        std::string what = "line " + std::to_string(parsed.FirstBadLine()) +
                           " cannot be understood and is ignored";
        if (parsed.BadLines() > 1)
            what += parsed.BadLines() == 2
                        ? std::string(" (1 more such line)")
                        : " (" + std::to_string(parsed.BadLines() - 1) + " more such lines)";
        ReportHiveProblem(file, what);
    }
    doc = std::move(parsed);
    return kRegOk;
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

        if (long status = LoadHive(file_, doc_); status != kRegOk) return status;
        // The user's key comes into being with its first value. A missing
        // machine-wide key exists only for whoever could create it; for anyone
        // else it is absent and the callers' defaults apply.
        if (root == RootKey::LocalMachine && !doc_.HasKey(key_) && !platform::CanReplaceFile(file_))
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
        return Rewrite([&](HiveDocument& doc) { return doc.SetDword(key_, utf8Name, value); });
    }

    long SetStrings(const std::vector<std::pair<std::string, std::string>>& values) override {
        std::vector<std::pair<std::string, std::string>> utf8;
        for (const auto& [name, text] : values) {
            utf8.emplace_back(ValueName(name), text::Cp932ToUtf8(CText(text)));
            if (!FitsOnALine(utf8.back().first) || !FitsOnALine(utf8.back().second))
                return kRegInvalidParameter;
        }
        return Rewrite([&](HiveDocument& doc) {
            for (const auto& [name, text] : utf8)
                if (!doc.SetString(key_, name, text)) return false;
            return true;
        });
    }

  private:
    static std::string ValueName(const std::string& name) { return text::Cp932ToUtf8(CText(name)); }

    // Applies `edit` to the file as it is now on disk and replaces the file,
    // in the format and encoding it was read in.
    template <typename Edit>
    long Rewrite(Edit edit) {
        // The file is read again as it is now; what Open read is let go first,
        // so that a large file is not held twice.
        { HiveDocument released = std::move(doc_); }
        HiveDocument doc;
        long status = LoadHive(file_, doc);
        if (status != kRegOk) return status;
        if (edit(doc)) {
            // The user's hive holds the client password: for the user's eyes only.
            const bool user = root_ == RootKey::CurrentUser;
            status = ReplaceHiveFile(
                file_, doc.Serialize(),
                user ? platform::FileAccess::AlwaysPrivate : platform::FileAccess::Public);
        } else {
            status = kRegInvalidParameter;
        }
        if (status == kRegOk)
            doc_ = std::move(doc);
        else
            LoadHive(file_, doc_);  // the file as it stays
        return status;
    }

    RootKey root_ = RootKey::CurrentUser;
    std::string key_;
    std::filesystem::path file_;
    HiveDocument doc_;
};

}  // namespace

std::string SettingsLocation(RootKey root) {
    return HivePath(root).string();
}

std::unique_ptr<RegistryBackend> MakeRegistryBackend() {
    return std::make_unique<HiveRegistryBackend>();
}

}  // namespace velmora
