# Cross-compilation to Windows x64 with Debian's mingw-w64 (posix threads).
#
# The posix flavour is the one whose libstdc++ has std::thread and friends; it
# brings libwinpthread, which is why the build links with -static.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BXML_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BXML_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BXML_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BXML_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw-w64 sysroot only; programs (the
# host's tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BXML_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine's 64-bit loader itself: the /usr/bin/wine wrapper looks for wine32 first
# and complains when it is missing.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
