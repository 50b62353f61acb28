# Pads IMAGE with zero bytes to exactly SIZE bytes; fails (and removes IMAGE,
# so that the next build links again) when it is already larger.
file(SIZE "${IMAGE}" linked)
if(linked GREATER SIZE)
  file(REMOVE "${IMAGE}")
  message(FATAL_ERROR "${IMAGE}: the linked image is ${linked} bytes, over the ${SIZE} the archive format allows")
endif()
message(STATUS "quorvex-stub: linked image ${linked} bytes, padded to ${SIZE}")
execute_process(COMMAND truncate -s ${SIZE} "${IMAGE}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot pad ${IMAGE}")
endif()
