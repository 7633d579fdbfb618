#pragma once
// Programs whose pictures must be painted by a real X server run themselves
// again under xvfb-run.

#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>
#include <string>
#include <vector>

namespace velmora::test_support {

// Unless already under it, replaces this process with the same command line
// under xvfb-run; returns only when that is not possible (no xvfb-run).
inline void RunAgainUnderXvfb(int argc, char** argv) {
    if (!qgetenv("VELMORA_UNDER_XVFB").isEmpty()) return;
    std::vector<std::string> words = {"xvfb-run",
                                      "-a",
                                      "-s",
                                      "-screen 0 1024x768x24",
                                      "env",
                                      "VELMORA_UNDER_XVFB=1",
                                      "QT_QPA_PLATFORM=xcb",
                                      argv[0]};
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
}

}  // namespace velmora::test_support
