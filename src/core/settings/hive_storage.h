#pragma once
// Where the hive files live and how they are read and replaced on disk.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "core/platform/files.h"
#include "core/settings/registry.h"

namespace velmora {

// $XDG_CONFIG_HOME/velmora/user.reg (default ~/.config) for CurrentUser;
// velmora/machine.reg under the first directory of $XDG_CONFIG_DIRS (default
// /etc/xdg) for LocalMachine. Read from the environment at every call. Empty
// when no location can be worked out (no home folder).
std::filesystem::path HivePath(RootKey root);

// The registry status for the failure of a file operation.
long StatusFromError(std::error_code error);

// Reads the whole file. kRegOk, or kRegNotFound when it does not exist, or the
// status of the failure (a directory or an unreadable file is access denied),
// with `why` telling it in words ("is a folder, not a file").
long ReadHiveFile(const std::filesystem::path& file, std::string& bytes,
                  std::string* why = nullptr);

// One line on stderr, "velmora: FILE: WHAT", the first time this process has
// this to say about this file; false when it was said before.
bool ReportHiveProblem(const std::filesystem::path& file, const std::string& what);

// platform::ReplaceFileAtomically with its failure as a registry status.
long ReplaceHiveFile(const std::filesystem::path& file, std::string_view bytes,
                     platform::FileAccess access);

}  // namespace velmora
