# Build-time settings of the game built into the downloader. Production values are the defaults;
# test builds override them on the cmake command line. Nothing is read from a file at run time.
set(AK_GAME_TITLE "Iron Fable" CACHE STRING "Title of the game")
set(AK_VERSION "1.0.0.0" CACHE STRING "Version of the downloader, four numbers")

string(REPLACE "." "," AK_VERSION_NUMBERS "${AK_VERSION}")
set(AK_SETTINGS_DIR ${CMAKE_BINARY_DIR}/settings)
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_settings.h.in ${AK_SETTINGS_DIR}/build_settings.h @ONLY)
