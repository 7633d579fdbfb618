#pragma once
// The per-user and machine-wide folders of the XDG base directory rules, read
// from the environment at every call. Relative values are ignored, as the
// rules ask; an empty path means no such folder can be worked out.

#include <filesystem>

namespace velmora::platform {

// $HOME when it is an absolute path, else the home folder of the user this
// process acts as (its password entry).
std::filesystem::path HomeFolder();

// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path ConfigHome();

// The first absolute entry of $XDG_CONFIG_DIRS, else /etc/xdg.
std::filesystem::path FirstConfigDir();

// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path DataHome();

// $TMPDIR when set, else /tmp.
std::filesystem::path TempFolder();

}  // namespace velmora::platform
