#pragma once
// One copy per instance name: a mutex of that name, and the running copy's
// tool sheet found by its window property of the same name.

#include <windows.h>

#include <string>

namespace velmora::win32 {

class SingleInstance {
  public:
    enum class Start { First, HandedOver, NoAnswer };

    explicit SingleInstance(std::wstring name) : name_(std::move(name)) {}
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // The first copy keeps the mutex. A later one posts the running sheet
    // 1057 and 1058, or the tray command `command` when it is not 0, and
    // ends; it waits a while for a sheet that is still starting, and takes
    // the place of a copy that ends meanwhile.
    Start Acquire(int command);
    const std::wstring& Name() const { return name_; }

  private:
    bool TakeMutex();

    std::wstring name_;
    HANDLE mutex_ = nullptr;
};

// The top-level window that carries the property `name`, or null.
HWND FindSheetWindow(const std::wstring& name);

}  // namespace velmora::win32
