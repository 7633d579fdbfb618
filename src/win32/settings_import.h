#pragma once
// What the installer's /REG=FILE does: the machine-wide values of a registry
// export, read with the parser the settings are read with, written to
// HKEY_LOCAL_MACHINE\SOFTWARE\VELMORA\Client\1.0 (64-bit view). Values of
// other keys are named on stderr and left alone.

#include <filesystem>

namespace velmora::win32 {

// 0 when every value was written; otherwise 2, with the reason on stderr.
int ImportMachineSettings(const std::filesystem::path& file);

}  // namespace velmora::win32
