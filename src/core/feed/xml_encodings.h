#pragma once
// The Japanese encodings of the service's documents for libxml2: Shift_JIS as
// CP932 and EUC-JP. On Linux libxml2 finds them through iconv; on Windows,
// which has no iconv, our own handlers through the system's code pages are
// registered with libxml2.

namespace velmora {

// Idempotent and safe from any thread; call before parsing.
void RegisterXmlEncodings();

}  // namespace velmora
