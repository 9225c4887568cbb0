# Makes the delay-import library OUTPUT for DLL from the import library IMPORT_LIBRARY: its
# function symbols (_Name@N on i386) become a module definition, dlltool builds from that.
# Run by pq_delay_import (delay_import.cmake).
execute_process(COMMAND ${NM} ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} ${IMPORT_LIBRARY} failed (${status})")
endif()
# Only the code thunks ("T"): data exports cannot be delay-loaded and no program of ours uses one.
string(REGEX MATCHALL "[0-9a-fA-F]+ T _[^\n]+" thunks "${symbols}")
if(NOT thunks)
  message(FATAL_ERROR "no functions found in ${IMPORT_LIBRARY}")
endif()
set(definition "LIBRARY ${DLL}\nEXPORTS\n")
foreach(thunk IN LISTS thunks)
  string(REGEX REPLACE "^[0-9a-fA-F]+ T _" "" name "${thunk}")
  string(APPEND definition "${name}\n")
endforeach()
set(definition_file ${OUTPUT}.def)
file(WRITE ${definition_file} "${definition}")
# -k: the DLL's export names carry no @N, as in the import library. Run beside the output
# and given bare file names, dlltool names the members and symbols after the library alone,
# not after the build folder.
get_filename_component(directory ${OUTPUT} DIRECTORY)
get_filename_component(library ${OUTPUT} NAME)
get_filename_component(prefix ${OUTPUT} NAME_WE)
execute_process(COMMAND ${DLLTOOL} -m i386 -k -d ${definition_file} -D ${DLL} -y ${library} -t ${prefix}
                WORKING_DIRECTORY ${directory} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUTPUT} (${status})")
endif()
