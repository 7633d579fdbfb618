#pragma once
// Making feed addresses safe where the card template puts them: inside an
// HTML attribute (the links) and inside a JavaScript string (the picture).
// Texts are CP932; a double-byte character is never split. Qt-free.

#include <string>
#include <string_view>

namespace velmora {

// The placeholder picture: bitmap 170 through the program's "res" scheme.
inline constexpr std::string_view kPlaceholderAddress = "res://velmora.exe/#2/#170";

// & < > " ' become character references. A lead byte without its second byte
// becomes "?", so it can never swallow the closing quote.
std::string EscapeHtmlAttribute(std::string_view cp932);

// For a double-quoted JavaScript string inside a script element: backslash,
// both quotes, < and > (so no "</script>") and control bytes are escaped.
std::string EscapeScriptString(std::string_view cp932);

// A headline or detail as words: tags dropped, the usual character
// references read (&amp; &lt; &gt; &quot; &#39; &apos; &nbsp; and numbered
// ASCII ones), white space run together, no blanks at the ends.
std::string CardPlainText(std::string_view cp932);

// The item's link when it is an absolute http or https address, else "".
std::string CardLinkAddress(std::string_view cp932Link);

// The item's picture when it is an http or https address or the placeholder, else "".
std::string CardPictureAddress(std::string_view cp932Image);

}  // namespace velmora
