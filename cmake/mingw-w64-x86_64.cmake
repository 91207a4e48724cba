# Cross-compiling Belmora for 64-bit Windows with Debian's MinGW-w64 (posix threads).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Programs are linked statically (no libstdc++/libgcc/libwinpthread DLLs beside
# the .exe). Test programs run under wine with a prefix of the build's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BELMORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the Windows programs under wine (wine-run.sh): silent, headless,
# in a prefix kept in the build folder (tests/platform/win32 makes it at build time).
find_program(BELMORA_WINE NAMES wine wine64)
if(BELMORA_WINE)
  set(BELMORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env BELMORA_WINE=${BELMORA_WINE}
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${BELMORA_WINE_PREFIX})
endif()
