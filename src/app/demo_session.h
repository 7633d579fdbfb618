#pragma once
// `velmora --demo`: the demo delivery service inside the program on
// 127.0.0.1 and a throw-away profile (hive files, data, temporary and runtime
// folders) that the environment points at, all removed at the end.

#include <filesystem>
#include <memory>
#include <string>

namespace velmora::demo {
class DemoService;
}

namespace velmora {

class DemoSession {
  public:
    DemoSession();
    ~DemoSession();  // stops the service and removes the profile
    DemoSession(const DemoSession&) = delete;
    DemoSession& operator=(const DemoSession&) = delete;

    // Creates the profile, starts the service and points XDG_CONFIG_HOME,
    // XDG_CONFIG_DIRS, XDG_DATA_HOME, XDG_RUNTIME_DIR and TMPDIR at the
    // profile. Must run before the toolkit starts. False with `error` set.
    bool Start(std::string& error);

    const std::filesystem::path& Root() const { return root_; }
    std::string ServiceAddress() const;
    int ServiceRequests() const;

  private:
    std::filesystem::path root_;
    std::unique_ptr<demo::DemoService> service_;
};

}  // namespace velmora
