# The product: 32-bit Windows, MinGW-w64 with POSIX threads.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
