#include "desktop_demo.h"

namespace velmora::demo {
namespace {

// Known to the service from the start, so the first cycle fetches news at once.
const Identity kDemoClient{"C-DEMO-0001", "demo-client-password"};
constexpr unsigned kNewItemSeconds = 50;

const char* CycleText(CycleResult result) {
    switch (result) {
        case CycleResult::NothingNew:
            return "nothing new";
        case CycleResult::News:
            return "news";
        case CycleResult::Redirected:
            return "redirected";
        case CycleResult::Failed:
            break;
    }
    return "failed";
}

}  // namespace

DemoConfig DesktopDemoConfig() {
    DemoConfig config;
    config.clients = {kDemoClient};
    config.newItemSeconds = kNewItemSeconds;
    return config;
}

DemoProfile DesktopDemoProfile() {
    DemoProfile profile;
    profile.client = kDemoClient;
    // The first cycle runs at start; later ones at the shortest interval.
    profile.rereadMinutes = 5;
    return profile;
}

std::string DemoServiceLine(const std::string& address) {
    return "velmora demo: delivery service at " + address + "\n";
}

std::string DemoProfileLine(const std::string& where) {
    return "velmora demo: throw-away profile in " + where + " (removed at exit)\n";
}

std::string DemoCycleLine(CycleResult result, int items, int serviceRequests) {
    return std::string("velmora demo: cycle: ") + CycleText(result) + ", " + std::to_string(items) +
           " items, " + std::to_string(serviceRequests) + " service requests so far\n";
}

std::string DemoQuitLine(bool saved) {
    return std::string("velmora demo: quit, item store ") + (saved ? "saved" : "NOT saved") + "\n";
}

std::string DemoHandedOverLine() {
    return "velmora demo: handed over to the running copy\n";
}

}  // namespace velmora::demo
