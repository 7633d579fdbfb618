#pragma once
// Where the stderr lines of a program of the window subsystem go: the console
// it was started from, a redirection, or nowhere (a start from the desktop).

#include <string>

namespace velmora::win32 {

// Takes the parent's console when the output is not redirected.
void UseParentConsole();

// A failure the user must hear of, already said on stderr: when stderr reaches
// no one, a message box says it too (UTF-8).
void TellWithoutConsole(const std::string& title, const std::string& text);

}  // namespace velmora::win32
