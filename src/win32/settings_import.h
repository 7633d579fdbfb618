#pragma once
// What the installer's /REG=FILE does: the machine-wide values of a registry
// export, read with the parser the settings are read with, written to
// HKEY_LOCAL_MACHINE\SOFTWARE\VELMORA\Client\1.0 (64-bit view). Values of
// other keys are named on stderr and left alone.

#include <windows.h>

#include <filesystem>
#include <string>

#include "core/settings/hive_file.h"

namespace velmora::win32 {

// 0 when every value was written; otherwise 2, with the reason on stderr.
int ImportMachineSettings(const std::filesystem::path& file);

// Writes the string and DWORD values of `section` of a registry export to
// `subKey` of `base`, created when missing; 0, or 2 with the reason on stderr
// naming `source`.
int WriteExportedValues(const HiveDocument& hive, const std::string& section, HKEY base,
                        const std::wstring& subKey, const std::string& source);

}  // namespace velmora::win32
