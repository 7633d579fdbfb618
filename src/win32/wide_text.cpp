#include "win32/wide_text.h"

#include <windows.h>

namespace velmora::win32 {
namespace {

constexpr UINT kCp932 = 932;

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
    return wide;
}

std::string FromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    // UTF-8 takes no default character.
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, fallback, nullptr);
    if (n <= 0) return {};
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), n, fallback, nullptr);
    return text;
}

}  // namespace

std::wstring WideFromCp932(std::string_view cp932) {
    return ToWide(kCp932, cp932);
}
std::string Cp932FromWide(std::wstring_view wide) {
    return FromWide(kCp932, wide);
}
std::wstring WideFromUtf8(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}
std::string Utf8FromWide(std::wstring_view wide) {
    return FromWide(CP_UTF8, wide);
}

}  // namespace velmora::win32
