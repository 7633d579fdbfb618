#pragma once
// Every settings value the program reads or writes, with its default. Names are
// used exactly as stored (mixed case included). Texts are CP932.

#include <cstdint>

namespace velmora::settings {

// Per-user icon files; an empty text counts as absent and the built-in icon applies.
inline constexpr const char* kNormalIcon = "NormalIcon";
inline constexpr int kNormalIconResource = 128;
inline constexpr const char* kBlinkIcon = "BlinkIcon";
inline constexpr int kBlinkIconResource = 129;

// Item colours (0x00BBGGRR), user then machine.
inline constexpr const char* kTextColor = "TextColor";
inline constexpr std::uint32_t kTextColorDefault = 0x000000;
inline constexpr const char* kReadTextColor = "ReadTextColor";
inline constexpr std::uint32_t kReadTextColorDefault = 0xFFFFFF;

// Poll interval in minutes, per-user.
inline constexpr const char* kReread = "Reread";
inline constexpr std::uint32_t kRereadDefault = 60;

// 1 slides the news popup in; any other value blinks the tray icon. Per-user.
inline constexpr const char* kPopup = "popup";
inline constexpr std::uint32_t kPopupDefault = 1;

// "0" logs in with the group identity; anything else registers. Machine.
inline constexpr const char* kCompany = "Company";
inline constexpr const char* kCompanyDefault = "0";

// Channel of the feed, user then machine; read again for every channel request.
inline constexpr const char* kChannel = "Channel";
inline constexpr const char* kChannelDefault = "";

inline constexpr const char* kDeliveryNo = "DeliveryNo";  // per-user
inline constexpr const char* kDeliveryNoDefault = "";

// Tool sheet title and tray tooltip, machine. The default is string 103, "ヴェルモラ".
inline constexpr const char* kTitle = "Title";
inline constexpr int kTitleStringId = 103;
inline constexpr const char* kTitleDefault = "\x83\x94\x83\x46\x83\x8B\x83\x82\x83\x89";

// Request time-out in seconds, machine. N > 0 is a transfer's only limit; 0
// leaves the transfer's own bounds on dead and trickling servers.
inline constexpr const char* kTimeout = "timeout";
inline constexpr std::uint32_t kTimeoutDefault = 0;

// Group identity, provisioned per user outside the program.
inline constexpr const char* kGroupId = "GroupID";
inline constexpr const char* kGroupIdDefault = "";
inline constexpr const char* kGroupPassword = "GroupPWD";
inline constexpr const char* kGroupPasswordDefault = "";

// Client identity issued by the service, per-user, written together.
inline constexpr const char* kClientId = "ClientID";
inline constexpr const char* kClientIdDefault = "";
inline constexpr const char* kClientPassword = "ClientPWD";
inline constexpr const char* kClientPasswordDefault = "";

// Server addresses, machine. An unreadable one is an empty entry of its list.
inline constexpr const char* kServer1 = "server1";
inline constexpr const char* kServer2 = "server2";
inline constexpr const char* kServer3 = "server3";
inline constexpr const char* kServer4 = "server4";

// Service login identity, machine; when absent its query piece is left out.
inline constexpr const char* kLuMoLoginId = "LuMoLoginID";

// Web pages, machine; empty when absent.
inline constexpr const char* kMypageUrl = "mypageUrl";
inline constexpr const char* kTroubleUrl = "troubleUrl";
inline constexpr const char* kHelpUrl = "helpUrl";
inline constexpr const char* kUrlDefault = "";

}  // namespace velmora::settings
