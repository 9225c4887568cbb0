# Fails the build when the installer program is longer than DIRECTORY_OFFSET: its payload
# directory starts at that fixed offset, so a longer program would overlap it.
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "${FILE} is ${size} bytes, longer than DIRECTORY_OFFSET (${LIMIT}); the payload table would overlap the program")
endif()
message(STATUS "pqsetup.exe: ${size} of ${LIMIT} bytes")
