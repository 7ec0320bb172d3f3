# System DLLs that the shipped programs load only when first called, never at start-up.
#
# Windows resolves a program's static imports before its first line runs, and for a DLL outside the
# system's KnownDLLs list it searches the program's own folder first: a DLL planted beside the
# downloader in a Downloads folder would run. The shipped programs restrict the DLL search to the
# system folder at the top of their entry point, and take every DLL outside KnownDLLs through a
# delay-import library instead, so that it is loaded after that restriction, from the system folder.
#
#   ak_system_dll(NAME)      an INTERFACE target "system_dll_NAME" for libraries to link: the DLL's
#                            delay-import library for a target whose AK_DELAY_LOAD property is ON
#                            (the shipped programs), its ordinary import library for all others
#                            (tests link the same libraries as before).
#
# The delay-import library is made at build time from the toolchain's own import library: every
# function it names, in a .def file, through dlltool --output-delaylib. The MinGW runtime's
# __delayLoadHelper2 loads the DLL on the first call, through the program's hook that takes it from
# the system folder by full path (windows_common/system_folder_dlls.cpp).
# dlltool's 64-bit stub keeps the four integer argument registers across the helper but not the
# floating-point ones: a function taking float or double arguments must not be delay-loaded on
# 64-bit builds unless it is called first with none (none of the functions used today takes any).

set(AK_DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${AK_DELAY_LOAD_DIR})

#   ak_dll_definition(OUTPUT NAME [ALIAS function])
# A build step writing the module-definition file of system DLL NAME (every function of the
# toolchain's import library) to OUTPUT; with ALIAS, that of a stand-in DLL binding every name to
# one function (cmake/write_delay_def.cmake).
function(ak_dll_definition output name)
  cmake_parse_arguments(PARSE_ARGV 2 definition "" "ALIAS" "")
  set(import_library ${CMAKE_FIND_ROOT_PATH}/lib/lib${name}.a)
  set(alias)
  if(definition_ALIAS)
    set(alias -DALIAS=${definition_ALIAS})
  endif()
  string(TOUPPER ${name} upper)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DIMPORT_LIBRARY=${import_library} -DDLL=${upper}.dll -DNM=${AK_MINGW_TRIPLE}-nm
            -DDEF=${output} ${alias} -P ${PROJECT_SOURCE_DIR}/cmake/write_delay_def.cmake
    DEPENDS ${import_library} ${PROJECT_SOURCE_DIR}/cmake/write_delay_def.cmake
    VERBATIM)
endfunction()

function(ak_system_dll name)
  string(TOUPPER ${name} upper)
  set(def ${AK_DELAY_LOAD_DIR}/${name}.def)
  set(delay_library ${AK_DELAY_LOAD_DIR}/lib${name}_delay.a)
  ak_dll_definition(${def} ${name})
  add_custom_command(
    OUTPUT ${delay_library}
    COMMAND ${AK_MINGW_TRIPLE}-dlltool --kill-at -d ${def} -D ${upper}.dll -y ${delay_library}
    DEPENDS ${def}
    COMMENT "Delay-import library of ${upper}.dll"
    VERBATIM)
  add_custom_target(system_dll_${name}_delay_library DEPENDS ${delay_library})
  add_library(system_dll_${name} INTERFACE)
  add_dependencies(system_dll_${name} system_dll_${name}_delay_library)
  target_link_libraries(system_dll_${name} INTERFACE
    "$<IF:$<BOOL:$<TARGET_PROPERTY:AK_DELAY_LOAD>>,${delay_library},${name}>")
endfunction()
