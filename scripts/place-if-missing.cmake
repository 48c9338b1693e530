# Copies SOURCE to TARGET unless TARGET already exists.
if(NOT EXISTS "${TARGET}")
  file(COPY_FILE "${SOURCE}" "${TARGET}")
  message(STATUS "Placed ${TARGET}")
endif()
