# Cross-building for 64-bit Windows with Debian's mingw-w64. The -posix
# compilers carry winpthreads, which std::thread needs. VELMORA_WIN_DEPS (an
# environment variable, so that try_compile sees it too) names the prefix of
# the cross-built libcurl and libxml2.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE})
if(DEFINED ENV{VELMORA_WIN_DEPS})
  list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{VELMORA_WIN_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the programs run under Wine without a single DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
