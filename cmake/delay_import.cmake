# Delay-import libraries for system DLLs. A program linked against pq_delay_<name> instead
# of <name> does not import the DLL when it starts: the first call loads it, by name, through
# the ordinary LoadLibraryA, so whatever search path the program has set by then applies
# (see src/platform/win32/system_dll_search.h). The Win32 code keeps calling the API by its
# plain names; only the link line changes.
#
#   pq_delay_import(user32 gdi32)          defines pq_delay_user32 and pq_delay_gdi32
#   target_link_libraries(app PRIVATE pq_delay_user32 pq_delay_gdi32)
#
# Each library is made at build time from mingw-w64's own import library of the DLL, so every
# function that one offers is offered here as well.
#
# Linking one also compiles the target with the DLL's own build macro (_USER32_, ...), which
# drops dllimport from the headers' declarations: calls then go through the library's stub.
# GNU ld leaves out the stub of an import that is only called through its __imp_ pointer, and
# in a delay-import library that stub is what loads the DLL: its pointer would stay null.
set(PQ_DELAY_IMPORT_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/make_delay_import.cmake)

function(pq_delay_import)
  foreach(dll IN LISTS ARGN)
    if(TARGET pq_delay_${dll})
      continue()
    endif()
    find_library(PQ_IMPORT_LIBRARY_${dll} NAMES ${dll} REQUIRED NO_CMAKE_ENVIRONMENT_PATH NO_SYSTEM_ENVIRONMENT_PATH)
    set(output ${CMAKE_BINARY_DIR}/delay-import/lib${dll}_delay.a)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
              -DIMPORT_LIBRARY=${PQ_IMPORT_LIBRARY_${dll}} -DDLL=${dll}.dll -DOUTPUT=${output}
              -P ${PQ_DELAY_IMPORT_SCRIPT}
      DEPENDS ${PQ_IMPORT_LIBRARY_${dll}} ${PQ_DELAY_IMPORT_SCRIPT}
      COMMENT "Delay-import library for ${dll}.dll"
      VERBATIM)
    add_custom_target(pq_delay_${dll}_file DEPENDS ${output})
    add_library(pq_delay_${dll} INTERFACE)
    string(TOUPPER "_${dll}_" build_macro)
    target_compile_definitions(pq_delay_${dll} INTERFACE ${build_macro})
    target_link_libraries(pq_delay_${dll} INTERFACE ${output})
    add_dependencies(pq_delay_${dll} pq_delay_${dll}_file)
  endforeach()
endfunction()
