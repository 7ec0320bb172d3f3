# The same code for 64-bit Windows: what runs under Wine on machines that cannot execute 32-bit
# programs (there Wine's 32-bit half cannot start).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(AK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
