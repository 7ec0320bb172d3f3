# Shared by the MinGW-w64 toolchain files: AK_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${AK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${AK_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${AK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows executables run here under the project's Wine wrapper, so CTest can start them.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
