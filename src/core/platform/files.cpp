#include "core/platform/files.h"

namespace velmora::platform {

std::string PathText(const std::filesystem::path& file) {
    const std::u8string text = file.u8string();
    return std::string(text.begin(), text.end());
}

std::string DescribeFileError(const std::filesystem::path& file, std::error_code error) {
    std::string what;
    if (error == std::errc::is_a_directory) {
        what = "is a folder, not a file";
    } else if (error == std::errc::no_such_device) {
        what = "is not a regular file";
    } else if (error == std::errc::file_too_large) {
        what = "is too large";
    } else {
        what = "cannot be used (" + error.message() + ")";
    }
    return PathText(file) + ": " + what;
}

}  // namespace velmora::platform
