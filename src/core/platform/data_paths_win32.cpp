#include <windows.h>

#include <shlobj.h>

#include "core/platform/data_paths.h"

namespace velmora {

std::filesystem::path UserDataHome() {
    wchar_t* folder = nullptr;
    std::filesystem::path home;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &folder)))
        home = folder;
    CoTaskMemFree(folder);
    return home;
}

}  // namespace velmora
