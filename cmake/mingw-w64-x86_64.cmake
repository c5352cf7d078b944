# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the POSIX
# threading flavour, which std::thread and friends need).
#
#   cmake --preset windows      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
#
# Programs are linked statically, so they run on a bare Windows without the
# compiler's runtime DLLs. Tests run under Wine, in a prefix of their own in
# the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VRK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VRK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VRK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VRK_MINGW_TRIPLET}-windres)

# Libraries and headers come from the target's tree only; host programs
# (windres, Wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VRK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread linked in: nothing but system DLLs needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test programs run through Wine: quiet, in a throwaway prefix in the build
# folder, without offering to install .NET or a browser engine, and with
# their windows on the test session's virtual X server (wine_run.sh).
set(VRK_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader that runs the Windows test programs")
set(VRK_WINE_ENVIRONMENT WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDLLOVERRIDES=mscoree,mshtml=)
set(CMAKE_CROSSCOMPILING_EMULATOR env ${VRK_WINE_ENVIRONMENT} sh ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh
    ${VRK_WINE_LOADER})
