# Cross-building the Windows program with mingw-w64 (64-bit) on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZARVO_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix compilers by name: the plain names may pick the win32 thread
# model, whose libstdc++ has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${ZARVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARVO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static: without it the programs need libwinpthread-1.dll, libstdc++-6.dll
# and libgcc_s_seh-1.dll beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the .exe files under Wine, in one prefix kept in
# the build folder.
get_filename_component(ZARVO_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(ZARVO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ZARVO_SOURCE_ROOT}/tests/wine/wine-run.sh;--prefix=${ZARVO_WINE_PREFIX}")
