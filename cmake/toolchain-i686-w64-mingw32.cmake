# Cross-compiling for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686).
#
# The posix thread model is the one whose libstdc++ has std::thread and
# std::mutex; the win32 model has neither.  Everything links statically, so a
# program needs no libstdc++-6.dll, libgcc_s_dw2-1.dll or libwinpthread-1.dll
# beside it (without them Wine ends it with status 53).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(HOBNAR_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${HOBNAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HOBNAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HOBNAR_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${HOBNAR_MINGW_TRIPLE}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${HOBNAR_MINGW_TRIPLE}-ranlib CACHE FILEPATH "Archive indexer")
set(CMAKE_STRIP ${HOBNAR_MINGW_TRIPLE}-strip CACHE FILEPATH "Symbol stripper")

# Every function and datum in a section of its own, so that the linker drops
# what nothing calls (the program is downloaded: its size matters).
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Headers and libraries come from the MinGW sysroot only, never from the
# build machine's /usr/include or /usr/lib; programs (code generators) may
# still be the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${HOBNAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
