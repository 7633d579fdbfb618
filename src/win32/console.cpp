#include <windows.h>

#include "win32/console.h"

#include <cstdio>

#include "core/text/wide_text.h"

namespace velmora::win32 {
namespace {

bool g_attached = false;  // to the console of the parent

bool Redirected() {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    return err && err != INVALID_HANDLE_VALUE;
}

}  // namespace

void UseParentConsole() {
    if (Redirected() || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    g_attached = true;
    std::FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    freopen_s(&ignored, "CONOUT$", "w", stderr);
}

void TellWithoutConsole(const std::string& title, const std::string& text) {
    if (g_attached || Redirected()) return;
    MessageBoxW(nullptr, text::Utf8ToWide(text).c_str(), text::Utf8ToWide(title).c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace velmora::win32
