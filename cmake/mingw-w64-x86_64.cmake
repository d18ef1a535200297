# Cross-building for 64-bit Windows on Debian with mingw-w64: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake.
# The programs it builds run under wine64, which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNHOLD_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix flavour of the compilers: the win32-threads one has no std::thread, std::mutex or std::jthread.
set(CMAKE_C_COMPILER ${VARNHOLD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNHOLD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNHOLD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNHOLD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# BOTH rather than ONLY: SFML finds its bundled mingw libraries (OpenAL, FreeType, …) by absolute paths in its own
# tree, which ONLY would re-root under /usr/x86_64-w64-mingw32 and miss.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A Windows machine has none of the compiler's runtime DLLs: the C and C++ runtimes and winpthread go into the exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools run under Wine in a prefix of the build tree's own, so no user's ~/.wine is touched. The tests make
# it once before any other (wineboot); the settings keep Wine from offering to install Mono or Gecko and from
# printing its own debugging channels.
find_program(VARNHOLD_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VARNHOLD_WINE64 NAMES wine64)
set(VARNHOLD_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(VARNHOLD_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINEPREFIX=${VARNHOLD_WINEPREFIX}
        WINEDLLOVERRIDES=mscoree,mshtml= WINEDEBUG=-all ${VARNHOLD_WINE64})
endif()
