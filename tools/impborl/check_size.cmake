# Fails unless LIBRARY is at most LIMIT bytes: every installer stores impborl.dll, a small one
# up to three times, so its size is most of what an installer adds to its author's files.
file(SIZE "${LIBRARY}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${LIBRARY} is ${size} bytes, more than ${LIMIT}")
endif()
message(STATUS "impborl.dll: ${size} of ${LIMIT} bytes")
