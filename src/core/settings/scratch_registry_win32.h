#pragma once
// A throw-away profile in the Windows registry: the settings of both roots,
// HKEY_CURRENT_USER's and HKEY_LOCAL_MACHINE's, kept under a scratch key of
// HKEY_CURRENT_USER for the whole process instead, so that neither the
// user's nor the machine's real settings are read or written.

#include <string>

#include "core/settings/registry.h"

namespace velmora {

// From now on `scratchKey` (a path under HKEY_CURRENT_USER) stands for both
// roots; empty: the real roots again. Set before settings are first read.
void UseScratchSettingsRoots(const std::wstring& scratchKey);

// Where `root`'s settings key lives under HKEY_CURRENT_USER while
// `scratchKey` stands for the roots.
std::wstring ScratchSettingsKey(const std::wstring& scratchKey, RootKey root);

}  // namespace velmora
