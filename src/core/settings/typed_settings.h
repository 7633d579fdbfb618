#pragma once
// Typed reads and writes of the settings the desktop uses, each read from the
// hives when called, so that callers read a value at the moment it matters.
// Absent or unreadable values give the defaults of settings.h. Texts are CP932.

#include <cstdint>
#include <string>

namespace velmora::settings {

// The pages the program opens in the browser; empty when not configured.
enum class Page { MyPage, Trouble, Help };
std::string ReadPageUrl(Page page);

// The tool sheet's title and the tray tooltip.
std::string ReadTitle();

// 1: news slides the popup in; anything else blinks the tray icon.
std::uint32_t ReadPopupMode();
void WritePopupMode(std::uint32_t mode);

// The poll interval in minutes, as stored (unclamped).
void WritePollMinutes(std::uint32_t minutes);

// A per-user icon file (kNormalIcon, kBlinkIcon); empty when not set.
std::string ReadIconPath(const char* valueName);

// Item colours (0x00BBGGRR), the user's value before the machine's.
std::uint32_t ReadTextColor();
std::uint32_t ReadReadTextColor();

}  // namespace velmora::settings
