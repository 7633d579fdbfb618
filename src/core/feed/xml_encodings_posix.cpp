#include "core/feed/xml_encodings.h"

namespace velmora {

// libxml2 is built with iconv here, which knows both.
void RegisterXmlEncodings() {}

}  // namespace velmora
