# Build-time settings of the game built into the downloader. Production values are the defaults;
# test builds override them on the cmake command line. Nothing is read from a file at run time.
set(AK_GAME_TITLE "Iron Fable" CACHE STRING "Title of the game")
set(AK_GAME_CODE "irf" CACHE STRING "Short code of the game: first component of every server path")
set(AK_GAME_BUILD_VERSION "671" CACHE STRING "Build version of the game, reported to analytics")
set(AK_GAME_LANGUAGE "en" CACHE STRING "Language of the game, reported to analytics")
set(AK_SERVER_HOST "downloads.tesselgames.com" CACHE STRING "Host of the publisher's server")
set(AK_SERVER_PORT "80" CACHE STRING "Port of the publisher's server")
set(AK_ANALYTICS_HOST "api.mixpanel.com" CACHE STRING "Host of the analytics service")
set(AK_ANALYTICS_PORT "80" CACHE STRING "Port of the analytics service")
set(AK_ANALYTICS_TOKEN "5d0c2a9e7b41f6038e2d9c1a4b7f3e60" CACHE STRING "Analytics project token")
set(AK_INSTALLER_BASE_URL "https://install.akamai.com" CACHE STRING
    "Scheme and host of the download service's installer server (no trailing slash)")
set(AK_VERSION "1.0.0.0" CACHE STRING "Version of the downloader, four numbers")

string(REPLACE "." "," AK_VERSION_NUMBERS "${AK_VERSION}")
set(AK_SETTINGS_DIR ${CMAKE_BINARY_DIR}/settings)
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_settings.h.in ${AK_SETTINGS_DIR}/build_settings.h @ONLY)
