// What only the Windows layer can get wrong: the hand-over by mutex and
// window property, private messages reaching the controller, the tray icon
// coming back with "TaskbarCreated", the installer's settings import, and
// dialog texts that fit their controls.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/shell/sheet_messages.h"
#include "core/text/cp932.h"
#include "core/text/wide_text.h"
#include "support/delivery_fakes.h"
#include "support/fixed_clock.h"
#include "support/registry_sandbox_win32.h"
#include "support/temp_folder.h"
#include "win32/res/resource_ids.h"
#include "win32/settings_import.h"
#include "win32/single_instance.h"
#include "win32/tool_sheet.h"
#include "win32/tray_icon.h"

namespace velmora::win32 {
namespace {

using test_support::FixedClock;
using test_support::kSampleInstant;

// A top-level window that records the private messages it receives.
class RecordingWindow {
  public:
    RecordingWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelmoraTestRecorder";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  wc.hInstance, this);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordingWindow() { DestroyWindow(window_); }
    HWND Window() const { return window_; }
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    std::vector<std::pair<UINT, WPARAM>> received;

  private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        if (self && m >= WM_USER) self->received.emplace_back(m, wp);
        return DefWindowProcW(w, m, wp, lp);
    }
    HWND window_ = nullptr;
};

std::wstring UniqueName(const wchar_t* what) {
    return std::wstring(L"VelmoraTest") + what + std::to_wstring(GetCurrentProcessId());
}

TEST(Win32HandOver, ASecondStartPostsToTheSheetThatCarriesTheProperty) {
    const std::wstring name = UniqueName(L"HandOver");
    HANDLE first = CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(first, nullptr);
    RecordingWindow sheet;
    SetPropW(sheet.Window(), name.c_str(), reinterpret_cast<HANDLE>(1));

    EXPECT_EQ(SingleInstance(name).Acquire(0), SingleInstance::Start::HandedOver);
    EXPECT_EQ(SingleInstance(name).Acquire(kCmdExit), SingleInstance::Start::HandedOver);
    sheet.Pump();
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {message::UM_SHOWNEWS, 0}, {message::UM_FETCHNEWS, 0}, {message::UM_MENUCOMMAND, kCmdExit}};
    EXPECT_EQ(sheet.received, expected);

    // Another name is a copy of its own.
    const std::wstring other = UniqueName(L"Other");
    SingleInstance second(other);
    EXPECT_EQ(second.Acquire(0), SingleInstance::Start::First);
    RemovePropW(sheet.Window(), name.c_str());
    CloseHandle(first);
}

TEST(Win32HandOver, AStartWhileTheFirstCopyStartsOrEndsIsNotLost) {
    const std::wstring name = UniqueName(L"Starting");
    HANDLE first = CreateMutexW(nullptr, TRUE, name.c_str());
    RecordingWindow sheet;
    // The first copy's sheet gets its property a little later.
    std::thread late([&] {
        Sleep(300);
        SetPropW(sheet.Window(), name.c_str(), reinterpret_cast<HANDLE>(1));
    });
    EXPECT_EQ(SingleInstance(name).Acquire(0), SingleInstance::Start::HandedOver);
    late.join();
    sheet.Pump();
    ASSERT_EQ(sheet.received.size(), 2u);
    EXPECT_EQ(sheet.received[0].first, static_cast<UINT>(message::UM_SHOWNEWS));

    // A copy that is ending has taken its property away; once it is gone, a
    // start waiting for it runs as the first copy.
    RemovePropW(sheet.Window(), name.c_str());
    std::thread ending([&] {
        Sleep(300);
        CloseHandle(first);
    });
    SingleInstance next(name);
    EXPECT_EQ(next.Acquire(0), SingleInstance::Start::First);
    ending.join();
}

std::wstring ReadMachineString(const wchar_t* value) {
    wchar_t text[256] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VELMORA\\Client\\1.0", value,
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text, &size) != ERROR_SUCCESS)
        return L"<absent>";
    return text;
}

// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are scratch keys for these.
class Win32Settings : public test_support::RegistrySandbox {};

TEST_F(Win32Settings, ImportWritesTheMachineValuesAndRefusesABrokenExport) {
    test_support::TempFolder dir;
    const auto good = dir / "machine.reg";
    test_support::WriteFile(
        good,
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
        "\"server1\"=\"http://127.0.0.1:9/rss/channel.cgi\"\r\n"
        "\"Title\"=\"\xe3\x83\xb4\xe3\x82\xa7\xe3\x83\xab\"\r\n"
        "\"timeout\"=dword:0000001e\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
        "\"GroupID\"=\"not for the machine\"\r\n");
    ASSERT_EQ(ImportMachineSettings(good), 0);
    EXPECT_EQ(ReadMachineString(L"server1"), L"http://127.0.0.1:9/rss/channel.cgi");
    EXPECT_EQ(ReadMachineString(L"Title"), L"ヴェル");
    EXPECT_EQ(ReadMachineString(L"GroupID"), L"<absent>");

    const auto broken = dir / "broken.reg";
    test_support::WriteFile(broken,
                            "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
                            "\"server1\"=\"http://changed\"\r\nnot a value line\r\n");
    EXPECT_EQ(ImportMachineSettings(broken), 2);
    EXPECT_EQ(ImportMachineSettings(dir / "missing.reg"), 2);
    EXPECT_EQ(ReadMachineString(L"server1"), L"http://127.0.0.1:9/rss/channel.cgi");
}

// Every static text and button of a template holds its text in the font the
// dialog really got.
void ExpectTextsFit(int templateId) {
    // The settings page is a child window: it needs a parent.
    RecordingWindow parent;
    HWND dialog = CreateDialogParamW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent.Window(),
        [](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
            if (m == WM_INITDIALOG) ApplyDialogFont(d);
            return m == WM_INITDIALOG;
        },
        0);
    ASSERT_NE(dialog, nullptr) << "template " << templateId;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        wchar_t text[256] = {};
        GetWindowTextW(c, text, 256);
        if (!*text || (lstrcmpiW(cls, L"Static") != 0 && lstrcmpiW(cls, L"Button") != 0)) continue;
        RECT room{};
        GetClientRect(c, &room);
        RECT need = room;
        HDC dc = GetDC(c);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
        DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        const bool button = lstrcmpiW(cls, L"Button") == 0;
        EXPECT_LE(need.right - need.left, room.right - room.left - (button ? 4 : 0))
            << "template " << templateId << ": " << text::WideToUtf8(text);
        EXPECT_LE(need.bottom - need.top, room.bottom - room.top)
            << "template " << templateId << ": " << text::WideToUtf8(text);
    }
    DestroyWindow(dialog);
}

TEST(Win32Dialogs, EveryTextFitsItsControl) {
    for (int id : {IDD_ABOUT, IDD_ERROR, IDD_DELIVERY_NO, IDD_OPTION_PAGE}) ExpectTextsFit(id);
}

// The real sheet with a transfer that answers nothing: its private messages
// and commands reach the controller.
TEST_F(Win32Settings, ToolSheetMessagesAndCommandsReachTheController) {
    test_support::TempFolder dir;
    test_support::FakeTransfer network;
    FixedClock clock(kSampleInstant);
    SheetStartup startup;
    startup.dataFile = dir / "VELMORA.dat";
    startup.normalIcon = LoadIcon(nullptr, IDI_APPLICATION);
    startup.blinkIcon = startup.normalIcon;
    startup.instanceName = UniqueName(L"Sheet");
    CToolSheet sheet(std::move(startup), network, clock);
    ASSERT_TRUE(sheet.Create());
    const auto pump = [] {
        for (int i = 0; i < 20; ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(5);
        }
    };
    pump();
    EXPECT_FALSE(IsWindowVisible(sheet.Window())) << "the sheet hides itself at start";
    EXPECT_NE(GetPropW(sheet.Window(), UniqueName(L"Sheet").c_str()), nullptr);

    PostMessageW(sheet.Window(), message::UM_MENUCOMMAND, kCmdTool, 0);
    pump();
    EXPECT_TRUE(IsWindowVisible(sheet.Window())) << "ツール shows the sheet";
    PostMessageW(sheet.Window(), WM_COMMAND, IDCANCEL, 0);
    pump();
    EXPECT_FALSE(IsWindowVisible(sheet.Window()));

    PostMessageW(sheet.Window(), message::UM_MENUCOMMAND, kCmdExit, 0);
    pump();
    EXPECT_TRUE(sheet.Controller().Ended());
    EXPECT_TRUE(sheet.Controller().Saved());
    EXPECT_EQ(GetPropW(sheet.Window(), UniqueName(L"Sheet").c_str()), nullptr)
        << "an ending sheet answers no more second starts";
}

// What reached the shell, for the tray test.
struct ShellCall {
    DWORD action;
    UINT flags;
    HICON icon;
    std::wstring tip;
};
std::vector<ShellCall> g_shell;
BOOL WINAPI RecordShell(DWORD action, PNOTIFYICONDATAW data) {
    g_shell.push_back({action, data->uFlags, data->hIcon, data->szTip});
    EXPECT_EQ(data->uID, static_cast<UINT>(kTrayIconId));
    EXPECT_EQ(data->uCallbackMessage, static_cast<UINT>(message::UM_TRAYNOTIFY));
    return TRUE;
}

TEST(Win32TrayIcon, TheShellsNewTaskbarGetsTheNormalIconAndTipUntilRemoved) {
    RecordingWindow sheet;
    HICON normal = LoadIcon(nullptr, IDI_APPLICATION);
    HICON blink = LoadIcon(nullptr, IDI_WINLOGO);
    g_shell.clear();
    TrayIcon tray(sheet.Window(), normal, blink, RecordShell);
    ASSERT_TRUE(tray.Add());
    tray.SetImage(TrayImage::Blink);
    tray.SetTip(text::Utf8ToCp932("エラー"));
    tray.OnTaskbarCreated();
    ASSERT_EQ(g_shell.size(), 4u);
    EXPECT_EQ(g_shell[1].icon, blink);
    EXPECT_EQ(g_shell[2].tip, L"エラー");
    EXPECT_EQ(g_shell[3].action, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(g_shell[3].icon, normal);
    EXPECT_EQ(g_shell[3].tip, L"ヴェルモラ");
    tray.Remove();
    tray.OnTaskbarCreated();
    EXPECT_EQ(g_shell.back().action, static_cast<DWORD>(NIM_DELETE)) << "removed for good";
}

}  // namespace
}  // namespace velmora::win32
