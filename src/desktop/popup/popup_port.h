#pragma once
// The news popup behind the core's PopupPort; tests give their own.

#include <functional>
#include <memory>

#include "core/shell/popup_port.h"

namespace velmora {

using PopupFactory = std::function<std::unique_ptr<PopupPort>()>;

// Creates the news popup window (CreatePopup) and shows it; nothing when it
// cannot be created.
std::unique_ptr<PopupPort> MakeNewsPopup();

}  // namespace velmora
