#pragma once
// A throw-away settings profile that points the client at a demo service:
// the machine-wide and per-user hive files in two given folders.

#include <filesystem>
#include <string>

#include "demo_service.h"

namespace velmora::demo {

struct DemoProfile {
    std::string groupId = "G001";  // UTF-8; must be one of the service's groups
    std::string groupPassword = "grouppass";
    std::string company = "0";  // "0" logs in; anything else registers
    std::uint32_t rereadMinutes = 1;
    std::uint32_t timeoutSeconds = 30;
    // An identity the service already knows: the first cycle fetches news at
    // once instead of logging in first. Empty id: none.
    Identity client;
};

// REGEDIT4 texts of the two hives.
std::string DemoMachineHive(const DemoService& service, const DemoProfile& profile);
std::string DemoUserHive(const DemoProfile& profile);

// Writes <configDir>/velmora/machine.reg and <configHome>/velmora/user.reg
// (the folders $XDG_CONFIG_DIRS and $XDG_CONFIG_HOME are to name). False with
// `error` set when a file cannot be written.
bool WriteDemoProfile(const DemoService& service, const DemoProfile& profile,
                      const std::filesystem::path& configHome,
                      const std::filesystem::path& configDir, std::string& error);

}  // namespace velmora::demo
