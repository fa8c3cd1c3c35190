# Cross toolchain for the Windows x64 build: Debian's MinGW-w64 with the posix
# thread model (the win32 model of GCC 12 has no std::thread / std::mutex).
# Cross-built tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -B build/win
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZALO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${ZALO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZALO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZALO_MINGW_PREFIX}-windres)
set(CMAKE_AR           ${ZALO_MINGW_PREFIX}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB       ${ZALO_MINGW_PREFIX}-ranlib CACHE FILEPATH "Ranlib")

# Headers and libraries come from the MinGW sysroot only; programs (the
# build tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZALO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and gtest_discover_tests run the .exe files through Wine; its exit
# code is the program's. The caller sets WINEPREFIX (scripts/harness.sh).
find_program(ZALO_WINE_EXECUTABLE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZALO_WINE_EXECUTABLE})
