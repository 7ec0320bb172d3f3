# Writes the module-definition file of a stand-in for a system DLL (cmake -P): every function that
# the DLL's import library names is exported undecorated and bound to one function of the stand-in.
#   -DIMPORT_LIBRARY=libx.a -DDLL=X.dll -DNM=<target>-nm -DDEF=out.def -DALIAS=function
# The import library names each function twice: its import pointer "__imp_<name>" and a code stub
# "<name>" (with the target's underscore and, on 32-bit x86, the "@bytes" of stdcall). The stubs
# are taken; data exports have no stub.
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
    string(REGEX REPLACE "@[0-9]+$" "" name "${name}")
    string(APPEND exports "  ${name} = ${ALIAS}\n")
  endif()
endforeach()
if(exports STREQUAL "")
  message(FATAL_ERROR "no function found in ${IMPORT_LIBRARY}")
endif()
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n${exports}")
