// Settings hives padded with 1 MiB and 4 MiB of blank lines, with LF, CR LF or
// bare CR line ends: the document's parse and lookups, and the registry reads
// the program makes at start-up from such a file on disk.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/settings/hive_file.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr const char* kUserKey = "HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0";
const char* const kLineEnds[] = {"\n", "\r\n", "\r"};

// The user's settings with `padding` bytes of blank lines inside the key, as
// a hostile or broken editor might leave them.
std::string PaddedUserHive(std::size_t padding, const char* newline) {
    const std::string nl = newline;
    std::string text = "REGEDIT4" + nl + nl + "[" + kUserKey + "]" + nl + "\"GroupID\"=\"G01\"" +
                       nl + "\"GroupPWD\"=\"gp\"" + nl;
    text.reserve(text.size() + padding + 256);
    for (std::size_t n = padding / nl.size(); n > 0; --n) text += nl;
    for (const char* line :
         {"\"ClientID\"=\"C5\"", "\"ClientPWD\"=\"cp\"", "\"Channel\"=\"12\"",
          "\"DeliveryNo\"=\"\"", "\"Reread\"=dword:0000003c", "\"popup\"=dword:00000001",
          "\"TextColor\"=dword:00000000", "\"ReadTextColor\"=dword:00ffffff"})
        text += line + nl;
    return text;
}

void SetCounters(benchmark::State& state, std::size_t fileBytes) {
    state.counters["file_MiB"] = static_cast<double>(fileBytes) / kMiB;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileBytes));
}

void BM_HiveParseAndLookups(benchmark::State& state) {
    const std::string file =
        PaddedUserHive(static_cast<std::size_t>(state.range(0)) * kMiB, kLineEnds[state.range(1)]);
    for (auto _ : state) {
        HiveDocument doc = HiveDocument::Parse(file);
        for (const char* name : {"GroupID", "GroupPWD", "ClientID", "ClientPWD", "Channel",
                                 "DeliveryNo", "Reread", "popup", "TextColor", "ReadTextColor"})
            benchmark::DoNotOptimize(doc.Find(kUserKey, name));
    }
    SetCounters(state, file.size());
}

// The reads of a start: the per-user values, the machine-wide ones, the fallback reads.
void StartUpReads() {
    std::string text;
    std::uint32_t number = 0;
    for (const char* name :
         {settings::kNormalIcon, settings::kBlinkIcon, settings::kDeliveryNo, settings::kGroupId,
          settings::kGroupPassword, settings::kClientId, settings::kClientPassword})
        CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, name, text);
    for (const char* name : {settings::kReread, settings::kPopup})
        CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, name, number);
    for (const char* name : {settings::kCompany, settings::kTitle})
        CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, name, text);
    CRegistryKey::ReadDword(RootKey::LocalMachine, kSettingsKey, settings::kTimeout, number);
    CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, text);
    CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kTextColor, number);
    CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kReadTextColor, number);
    benchmark::DoNotOptimize(ChannelServerList());
    benchmark::DoNotOptimize(AccountServerList());
}

void BM_HiveStartUpReads(benchmark::State& state) {
    static const test_support::TempFolder folder;
    const std::filesystem::path user = folder.path() / "config" / "velmora" / "user.reg";
    const std::filesystem::path machine = folder.path() / "etc" / "velmora" / "machine.reg";
    std::filesystem::create_directories(user.parent_path());
    std::filesystem::create_directories(machine.parent_path());
    const std::string file =
        PaddedUserHive(static_cast<std::size_t>(state.range(0)) * kMiB, kLineEnds[state.range(1)]);
    std::ofstream(user, std::ios::binary | std::ios::trunc) << file;
    std::ofstream(machine, std::ios::binary | std::ios::trunc)
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\n"
           "\"server1\"=\"http://127.0.0.1:8080/rss\"\n\"Company\"=\"0\"\n";
    setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (folder.path() / "etc").c_str(), 1);

    for (auto _ : state) StartUpReads();
    SetCounters(state, file.size());
}

// Sizes in MiB, line ends LF, CR LF, bare CR.
#define VELMORA_HIVE_SIZES ArgsProduct({{1, 4}, {0, 1, 2}})->Unit(benchmark::kMillisecond)

BENCHMARK(BM_HiveParseAndLookups)->VELMORA_HIVE_SIZES;
BENCHMARK(BM_HiveStartUpReads)->VELMORA_HIVE_SIZES;

}  // namespace
}  // namespace velmora
