#pragma once
// What `velmora --demo` sets up and says on both desktops: the service's
// configuration, the profile that points the client at it, and the lines it
// prints on stdout.

#include <string>

#include "core/delivery/delivery_cycle.h"
#include "demo_profile.h"
#include "demo_service.h"

namespace velmora::demo {

// A client the service knows from the start and a new item every 50 s.
DemoConfig DesktopDemoConfig();
// That client's identity and the shortest interval the settings sheet accepts.
DemoProfile DesktopDemoProfile();

std::string DemoServiceLine(const std::string& address);
std::string DemoProfileLine(const std::string& where);
std::string DemoCycleLine(CycleResult result, int items, int serviceRequests);
std::string DemoQuitLine(bool saved);
std::string DemoHandedOverLine();

}  // namespace velmora::demo
