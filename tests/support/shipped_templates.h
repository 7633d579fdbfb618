#pragma once
// The card templates as shipped, read from the source tree.

#include <fstream>
#include <sstream>
#include <string>

namespace velmora::test_support {

// res/popup/html/<id>.html, whole; empty when it cannot be read.
inline std::string ReadTemplate(int id) {
    std::ifstream in(
        std::string(VELMORA_SOURCE_DIR) + "/res/popup/html/" + std::to_string(id) + ".html",
        std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace velmora::test_support
