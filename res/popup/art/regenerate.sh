#!/bin/sh
# Redraws the popup bitmaps in res/popup/bmp from make_popup_art.cpp.
#   res/popup/art/regenerate.sh [build folder]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build}
cmake --build "$build" --target velmora_popup_art
"$build/src/desktop/velmora_popup_art" "$here/../bmp"
