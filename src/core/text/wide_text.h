#pragma once
// CP932 and UTF-8 to and from the UTF-16 of the Windows wide-character API
// (registry values, window texts, paths). Built only for Windows, beside the
// Win32 twin of cp932.h, with the same rules: a character CP932 cannot hold
// becomes '?', a broken CP932 sequence U+FFFD.

#include <string>
#include <string_view>

namespace velmora::text {

std::wstring Cp932ToWide(std::string_view cp932);
std::string WideToCp932(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace velmora::text
