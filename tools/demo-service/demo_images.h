#pragma once
// The pictures of the demo items: small PNGs (120 x 80) drawn in code.

#include <string>

namespace velmora::demo {

inline constexpr int kPictureWidth = 120;
inline constexpr int kPictureHeight = 80;

// PNG bytes of picture `number` (1 to 6); empty for any other number.
std::string DemoPicture(int number);

}  // namespace velmora::demo
