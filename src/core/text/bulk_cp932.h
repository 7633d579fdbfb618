#pragma once
// UTF-8 to CP932 for the bulk of a feed document.

#include <string>
#include <string_view>

namespace velmora::text {

// Gives exactly what Utf8ToCp932 gives. That one runs a fresh iconv
// conversion per call at roughly a hundred instructions per byte, which made
// up a quarter of a feed load; this one looks each character up in a table
// filled from Utf8ToCp932 itself, one character the first time it is
// met, and hands anything that is not plain valid UTF-8 back to it.
std::string BulkUtf8ToCp932(std::string_view utf8);

}  // namespace velmora::text
