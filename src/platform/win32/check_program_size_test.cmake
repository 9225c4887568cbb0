# Tests check_program_size.cmake: a program at the limit passes and stays; one byte over
# fails the build and is removed, so that the next build links it again.
set(program "${WORK_DIR}/program-size-test.exe")
set(check "${CMAKE_CURRENT_LIST_DIR}/check_program_size.cmake")

file(WRITE "${program}" "0123456789")
execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${program} -DLIMIT=10 -P ${check}
                RESULT_VARIABLE at_limit OUTPUT_QUIET ERROR_QUIET)
if(NOT at_limit EQUAL 0 OR NOT EXISTS "${program}")
  message(FATAL_ERROR "a program exactly at the limit was refused")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${program} -DLIMIT=9 -P ${check}
                RESULT_VARIABLE over_limit OUTPUT_QUIET ERROR_VARIABLE message)
if(over_limit EQUAL 0)
  message(FATAL_ERROR "a program one byte over the limit was accepted")
endif()
if(EXISTS "${program}")
  message(FATAL_ERROR "a refused program was left in place")
endif()
if(NOT message MATCHES "longer than DIRECTORY_OFFSET")
  message(FATAL_ERROR "the refusal does not say why: ${message}")
endif()
