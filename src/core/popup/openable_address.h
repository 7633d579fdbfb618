#pragma once
// Which addresses the program hands to the desktop's browser. Qt-free.

#include <string_view>

namespace velmora {

// Where an address comes from: a feed (ticker and card links) is not trusted
// with more than web pages; the installation's settings may name local files.
enum class AddressOrigin { Feed, Settings };

// True for an absolute http or https address with a host; for Settings also a
// file address (file:/… or file://…/…). Control characters, blanks around the
// address and every other scheme (including scheme-less paths) give false.
bool IsOpenableAddress(std::string_view utf8Address, AddressOrigin origin);

}  // namespace velmora
