#include "core/platform/data_paths.h"
#include "core/platform/xdg_folders.h"

namespace velmora {

std::filesystem::path UserDataHome() {
    return platform::DataHome();
}

}  // namespace velmora
