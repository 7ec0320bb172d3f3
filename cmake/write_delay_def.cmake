# Writes a module-definition file naming every function of a DLL's import library (cmake -P):
#   -DIMPORT_LIBRARY=libx.a -DDLL=X.dll -DNM=<target>-nm -DDEF=out.def [-DALIAS=function]
# With ALIAS, the file describes a stand-in DLL instead: every name is exported undecorated and
# bound to that one function of the stand-in (the tests' planted DLLs).
# The import library names each function twice: its import pointer "__imp_<name>" and a code stub
# "<name>" (with the target's underscore and, on 32-bit x86, the "@bytes" of stdcall). The stubs
# are taken; data exports have no stub and cannot be delay-loaded anyway.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${IMPORT_LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(exports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ T (.+)$")
    set(name ${CMAKE_MATCH_1})
    if(name MATCHES "^__imp_" OR name MATCHES "^_head_" OR name MATCHES "_iname$")
      continue()
    endif()
    # 32-bit symbols carry a leading underscore that the .def file does not.
    if(NM MATCHES "^i686" AND name MATCHES "^_(.+)$")
      set(name ${CMAKE_MATCH_1})
    endif()
    if(DEFINED ALIAS)
      string(REGEX REPLACE "@[0-9]+$" "" name "${name}")
      string(APPEND exports "  ${name} = ${ALIAS}\n")
    else()
      string(APPEND exports "  ${name}\n")
    endif()
  endif()
endforeach()
if(exports STREQUAL "")
  message(FATAL_ERROR "no function found in ${IMPORT_LIBRARY}")
endif()
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n${exports}")
