#pragma once
// CP932 texts of the program meeting Qt's strings, at the edge of the display.

#include <QString>
#include <string>
#include <string_view>

#include "core/text/cp932.h"

namespace velmora {

inline QString QStringFromCp932(std::string_view cp932) {
    return QString::fromStdString(text::Cp932ToUtf8(cp932));
}

inline std::string Cp932FromQString(const QString& s) {
    return text::Utf8ToCp932(s.toStdString());
}

}  // namespace velmora
