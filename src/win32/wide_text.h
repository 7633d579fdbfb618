#pragma once
// Texts at the edge of the wide-character API. Inside, texts are CP932; the
// conversion names code page 932 explicitly, so that the program is right on
// a Windows whose system code page is another.

#include <string>
#include <string_view>

namespace velmora::win32 {

std::wstring WideFromCp932(std::string_view cp932);
// A character CP932 cannot hold becomes '?'.
std::string Cp932FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace velmora::win32
