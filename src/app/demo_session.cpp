#include "app/demo_session.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "demo_service.h"
#include "desktop_demo.h"

namespace velmora {
namespace {

std::filesystem::path TempBase() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? std::filesystem::path(tmp) : std::filesystem::path("/tmp");
}

}  // namespace

DemoSession::DemoSession() = default;

DemoSession::~DemoSession() {
    if (service_) service_->Stop();
    service_.reset();
    if (!root_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
}

bool DemoSession::Start(std::string& error) {
    std::string pattern = (TempBase() / "velmora-demo-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        error = "cannot create a profile folder under " + TempBase().string();
        return false;
    }
    root_ = buffer.data();
    std::error_code ec;
    for (const char* sub : {"config", "xdg", "data", "tmp", "run"}) {
        std::filesystem::create_directory(root_ / sub, ec);
        if (ec) {
            error = "cannot create " + (root_ / sub).string() + ": " + ec.message();
            return false;
        }
    }
    chmod((root_ / "run").c_str(), 0700);

    service_ = std::make_unique<demo::DemoService>(demo::DesktopDemoConfig());
    if (!service_->Start()) {
        error = "cannot start the demo service on 127.0.0.1";
        return false;
    }

    if (!demo::WriteDemoProfile(*service_, demo::DesktopDemoProfile(), root_ / "config",
                                root_ / "xdg", error)) {
        return false;
    }
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (root_ / "xdg").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    return true;
}

std::string DemoSession::ServiceAddress() const {
    return service_ ? service_->BaseUrl() : "";
}

int DemoSession::ServiceRequests() const {
    return service_ ? service_->ServiceRequests() : 0;
}

}  // namespace velmora
