#include "win32/single_instance.h"

#include "core/shell/sheet_messages.h"

namespace velmora::win32 {
namespace {

// A first copy may still be starting: its sheet sets the property once made.
constexpr DWORD kWaitForSheetMs = 5000;
constexpr DWORD kPollMs = 50;

struct Search {
    const std::wstring* name;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (GetPropW(window, search->name->c_str()) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindSheetWindow(const std::wstring& name) {
    Search search{&name};
    // Top-level windows in Z order.
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

SingleInstance::~SingleInstance() {
    if (mutex_) CloseHandle(mutex_);
}

// True when this copy now holds the mutex; false when another copy does.
bool SingleInstance::TakeMutex() {
    mutex_ = CreateMutexW(nullptr, TRUE, name_.c_str());
    // A mutex that cannot be made for another reason: start as the first copy.
    if (!mutex_ || GetLastError() != ERROR_ALREADY_EXISTS) return true;
    CloseHandle(mutex_);
    mutex_ = nullptr;
    return false;
}

SingleInstance::Start SingleInstance::Acquire(int command) {
    if (TakeMutex()) return Start::First;
    for (DWORD waited = 0;; waited += kPollMs) {
        if (HWND sheet = FindSheetWindow(name_)) {
            if (command != 0) {
                PostMessageW(sheet, message::UM_MENUCOMMAND, static_cast<WPARAM>(command), 0);
            } else {
                PostMessageW(sheet, message::UM_SHOWNEWS, 0, 0);
                PostMessageW(sheet, message::UM_FETCHNEWS, 0, 0);
            }
            return Start::HandedOver;
        }
        if (waited >= kWaitForSheetMs) return Start::NoAnswer;
        Sleep(kPollMs);
        // A copy that is ending has taken its property away: once it is gone,
        // this start takes its place.
        if (TakeMutex()) return Start::First;
    }
}

}  // namespace velmora::win32
